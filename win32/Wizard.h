// TMainQV for Windows: the OEM wizard. With the OEM variant it stands in front of the hidden main
// window, which still does the work: the wizard mirrors its drive list, revision labels and
// progress, presses its buttons, writes the restart entry and restarts the computer. Started with
// "/QVCHECK index revision" it checks the drive's revision after that restart instead.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "engine/RestartCheck.h"
#include "win32/Forms.h"

namespace win32ui {

class TBrenvoMain;

// The client area the pages were drawn in.
inline constexpr int kWizardClientWidth = 444;
inline constexpr int kWizardClientHeight = 277;

enum WizardPage : uint8_t {
    kNoPage = 0,
    kWelcomePage = 1,
    kDrivePage = 2,
    kProgressPage = 3,
    kCompletePage = 4,
    kVerifyPage = 5,
    kResultPage = 6
};

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
    enum class Button { Shown, Disabled, Hidden };
    struct Look {
        uint8_t page;
        bool version;  // lblVersion
        bool drive;    // lblOldFW, lblNewFW, cboDrives
        bool bar;      // pbar
        Button back;
        Button next;
        const char* nextText;
        Button cancel;
        const char* cancelText;
        POINT messageAt;
        const char* message;
    };
    void SetLook(const Look& look);
    void SetButton(HWND button, Button state, const char* text);
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
