// TBrenvoMain for Windows: the program's one permanent window, drawn with Win32 controls. Its
// construction is the program's start-up; it serves the update engine as the engine's view:
// message boxes and dialogs go through win32ui::Modal, and the work the flash workers hand back
// comes to this window's thread as a posted message.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

#include "engine/ExitStatus.h"
#include "engine/RestartCheck.h"
#include "engine/TaskQueue.h"
#include "engine/UpdateEngine.h"
#include "engine/UpdateView.h"
#include "engine/WizardFlow.h"
#include "package/Package.h"
#include "platform/MachineSession.h"
#include "win32/Forms.h"

namespace win32ui {

class TMainQV;

// The fixed client area the controls were placed in.
inline constexpr int kMainClientWidth = 494;
inline constexpr int kMainClientHeight = 140;
// Pixels between the parts of the revision line.
inline constexpr int kRevisionSpacing = 10;
// The title of the program's message boxes.
inline constexpr char kApplicationTitle[] = "Brenvo";

// Messages the window posts to itself.
inline constexpr UINT kRunPostedTask = WM_APP + 1;
inline constexpr UINT kShowMessageBox = WM_APP + 2;
inline constexpr UINT kStartUnattended = WM_APP + 3;
inline constexpr UINT kHandOver = WM_APP + 4;
inline constexpr UINT kRefuseScript = WM_APP + 5;

class TBrenvoMain : public Form, public engine::UpdateView, public engine::WizardHost {
  public:
    // Builds and localises the window, then runs the engine's start-up. Returns normally when
    // start-up ended the program: TerminateRequested() tells, and the window must not be shown.
    // `commandLine` is the program's, the program first (the OEM wizard reads it). A direct-IDE
    // package where `directIde` says this Windows is 64-bit is refused before start-up, nothing
    // installed: DirectIdeRefused() tells.
    using DirectIde = platform::MachineSession::DirectIde;
    TBrenvoMain(package::Package& package, std::vector<std::string> commandLine = {},
                DirectIde directIde = DirectIde::Available);
    ~TBrenvoMain() override;

    engine::UpdateEngine& Engine() override { return *engine_; }
    engine::StartEnd StartResult() const { return startResult_; }
    bool TerminateRequested() const override { return terminateRequested_; }
    bool DirectIdeRefused() const { return directIdeRefused_; }
    // False once start-up has succeeded: only the Close button ends the program then.
    bool ClosableFromTitleBar() const { return closableFromTitleBar_; }
    TMainQV* Wizard() { return wizard_.get(); }

    // Script mode (BRENVO_UNATTENDED=1): nobody is there to press Update, so an unattended
    // package's run is the whole program and it ends with the run's verdict; any other package
    // is refused once the window is up, nothing flashed. Set before the window is shown.
    void SetScriptMode(bool script) { scriptMode_ = script; }
    bool ScriptMode() const { return scriptMode_; }
    // The status the program ends with, as brenvo-cli's: the direct-IDE refusal's, start-up's
    // end, the check's after a restart, else the last run's.
    int ExitStatus() const;
    // The OEM wizard's check after a restart has given its result; in script mode that ends the
    // program.
    void CheckEnded(engine::CheckOutcome outcome) override;

    // The three-way rule: 1 Traditional Chinese (texts only), 2 Japanese (fonts first, then
    // texts), any other value English.
    void Localise(int language);
    // Places old revision, "to" and new revision after the message, 10 pixels apart and centred on
    // its height.
    void LayoutRevisionLine();

    // --- the window's events ---
    void FormShow();
    void FormDestroy();
    void cboDrivesChange();
    void cmdUpdateClick();
    void cmdCloseClick();
    void tmrTimer();
    // The direct-IDE path's callbacks; callable from the flash worker.
    void showProgress(int percent);
    void showStatus(const std::string& text);
    void HandOverToOemWizard();
    // The wizard presses Update and Close.
    void PressUpdate() override { cmdUpdateClick(); }
    void PressClose() override { cmdCloseClick(); }

    // --- engine::UpdateView ---
    void ShowMessage(engine::MessageKind kind, const std::string& text,
                     const std::string& caption) override;
    bool Ask(const std::string& text, const std::string& caption,
             engine::AskButtons buttons) override;
    void ShowNewerWarning(uint8_t* answer) override;
    void ShowMostUpdate() override;
    void ShowUpdateConfirm(uint8_t* answer, const std::string& oldRevision,
                           const std::string& newRevision) override;
    void ShowEjectDisc(uint8_t* answer) override;
    void ShowInvalidUser() override;
    void ShowNoProperDrive() override;
    void ShowReboot() override;
    void ShowRebootZulk() override;
    void SetStatus(const std::string& text) override;
    void SetStatusColour(engine::Colour colour) override;
    void SetProgress(int position, int maximum) override;
    void SetPercent(const std::string& text) override;
    void SetButtons(bool updateEnabled, bool closeEnabled) override;
    void SetOldRevision(const std::string& text) override;
    void SetTimerRunning(bool running) override;
    void DriveListChanged() override;
    void Repaint() override;
    void RequestTerminate() override;
    bool StopRequested() override;
    // While a flash is written Windows is asked to hold a shutdown, with the reason shown.
    void SetFlashing(bool flashing) override;
    bool Flashing() const { return flashing_; }
    void PostToUiThread(std::function<void()> task) override;

    HWND Label1, cboDrives, cmdUpdate, cmdClose, lblUpdateMsg, lblOldFW, lblTo, lblNewFW, Bevel1,
        lblMsg, pbar, lblPercent;

  protected:
    bool HandleMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;
    void CloseRequested() override;
    void Painted() override;

  private:
    int Language() const;
    void ShowRevisionLine();
    bool SelectedDriveMatched() const;
    HWND DialogOwner() const;
    void RunPostedTask();
    // After a question: one that nobody answered (script mode) refuses the run.
    void NoteUnanswered(int unansweredBefore);

    package::Package& package_;
    std::vector<std::string> commandLine_;
    DWORD uiThread_;
    // Declared before the engine: the engine's end waits for its workers, which may still post.
    engine::TaskQueue posted_;
    std::mutex posting_;
    std::unique_ptr<engine::UpdateEngine> engine_;
    std::unique_ptr<TMainQV> wizard_;
    engine::StartEnd startResult_ = engine::StartEnd::Ready;
    bool terminateRequested_ = false;
    bool directIdeRefused_ = false;
    bool closableFromTitleBar_ = true;
    bool shownOnce_ = false;
    bool handedOver_ = false;
    bool warnedUnattended_ = false;
    bool flashing_ = false;
    bool scriptMode_ = false;
    engine::ScriptOutcome script_;
    engine::RunReport finalRun_;  // the last run, kept when the engine goes
};

// The one main window while it exists.
extern TBrenvoMain* BrenvoMain;

// Routes the core's message boxes (platform::ShowMessageBox) through Modal, on the window's thread
// whichever thread asks.
void InstallMessageBoxHandler();

}  // namespace win32ui
