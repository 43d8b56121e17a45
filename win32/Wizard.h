// TMainQV for Windows: the OEM wizard's window. With the OEM variant it stands in front of the
// hidden main window; engine::WizardFlow walks its pages, and this window draws them. Started
// with "/QVCHECK index revision" it shows the check of the drive's revision after the restart.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "engine/RestartCheck.h"
#include "engine/WizardFlow.h"
#include "engine/WizardPages.h"
#include "win32/Forms.h"

namespace win32ui {

class TMainQV : public Form, private engine::WizardDisplay {
  public:
    // `host` is the main window behind the wizard, `owner` that window's handle; `commandLine` is
    // the program's, the program itself first.
    TMainQV(engine::WizardHost& host, HWND owner, const std::vector<std::string>& commandLine);
    ~TMainQV() override;

    // Shows the wizard in the middle of the screen.
    void Show();

    uint8_t Page() const { return flow_.Page(); }
    engine::WizardFlow& Flow() { return flow_; }

    HWND panLogo, imgLogo1, imgLogo2, imgLogo3, lblMessage, lblVersion, lblOldFW, lblNewFW, imgRedx,
        imgCheck, cboDrives, pbar, memShowMsg, btnBack, btnNext, btnCancel;

  protected:
    // A close request while the update runs is refused: the wizard stays until the run ends.
    void CloseRequested() override;

  private:
    // --- engine::WizardDisplay ---
    void ShowLook(const engine::WizardLook& look) override;
    void ShowDrives(const std::vector<std::string>& lines, int selected) override;
    void ShowRevisions(const std::string& oldRevision, const std::string& newRevision,
                       bool updateOffered) override;
    void ShowProgress(int position, int maximum) override;
    void ShowResult(const engine::CheckResult& result) override;
    void StartPolling() override;
    bool Ask(const std::string& question) override;
    void Warn(const std::string& text) override;
    // An owned window stays on the screen when its owner hides.
    void Dismiss() override { Close(); }

    void SetButton(HWND button, engine::WizardButton state, const char* text);
    void FitPageTexts();

    engine::WizardFlow flow_;
    std::vector<HBITMAP> pictures_;
    bool shownOnce_ = false;
};

}  // namespace win32ui
