// TMainQV for Windows: the OEM wizard. With the OEM variant it stands in front of the hidden main
// window, which still does the work: the wizard mirrors its drive list, revision labels and
// progress, presses its buttons, writes the restart entry and restarts the computer. Started with
// "/QVCHECK index revision" it checks the drive's revision after that restart instead.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "engine/RestartCheck.h"
#include "engine/WizardPages.h"
#include "win32/Forms.h"

namespace win32ui {

class TBrenvoMain;

// The client area the pages were drawn in.
inline constexpr int kWizardClientWidth = 444;
inline constexpr int kWizardClientHeight = 277;

using engine::kCompletePage;
using engine::kDrivePage;
using engine::kNoPage;
using engine::kProgressPage;
using engine::kResultPage;
using engine::kVerifyPage;
using engine::kWelcomePage;

class TMainQV : public Form {
  public:
    TMainQV(TBrenvoMain& main, const std::vector<std::string>& commandLine);
    ~TMainQV() override;

    // Shows the wizard in the middle of the screen and starts its timer.
    void Show();

    uint8_t page = kNoPage;

    // --- the page steps ---
    void ShowWelcomePage();
    void ShowDrivePage();
    void CopyVersions();
    void ShowProgressPage();
    void ShowCompletePage();
    void ShowVerifyPage();
    void ShowResultPage(const engine::CheckResult& result);

    // --- the form's events ---
    void FormCreate(const std::vector<std::string>& commandLine);
    void btnNextClick();
    void btnBackClick();
    void btnCancelClick();
    void cboDrivesChange();
    void tmrT1Timer();

    HWND panLogo, imgLogo1, imgLogo2, imgLogo3, lblMessage, lblVersion, lblOldFW, lblNewFW, imgRedx,
        imgCheck, cboDrives, pbar, memShowMsg, btnBack, btnNext, btnCancel;

    int checkDriveIndex = 0;
    std::string expectedVersion;

  protected:
    // A close request while the update runs is refused: the wizard stays until the run ends.
    void CloseRequested() override;

  private:
    void SetLook(const engine::WizardLook& look);
    void SetButton(HWND button, engine::WizardButton state, const char* text);
    // Carries out where a button led.
    void Take(engine::WizardStep step);
    void FitPageTexts();
    void ConfirmCancel();
    bool Flashing() const;
    void ShutDown();
    void EndProgram();
    bool AskInEnglish(const std::string& text);

    TBrenvoMain& main_;
    std::vector<HBITMAP> pictures_;
    bool shownOnce_ = false;
};

}  // namespace win32ui
