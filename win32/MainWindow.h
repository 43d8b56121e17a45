// TBrenvoMain for Windows: the program's one permanent window, drawn with Win32 controls. Its
// construction is the program's start-up; it draws the window session (engine::WindowSession),
// which serves the update engine: message boxes and dialogs go through win32ui::Modal, and the
// work the flash workers hand back comes to this window's thread as a posted message.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "engine/WindowSession.h"
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
// The session's work for a later turn of the loop; wParam is the engine::Later.
inline constexpr UINT kRunLater = WM_APP + 3;

class TBrenvoMain : public Form, public engine::WindowDisplay {
  public:
    // Builds and localises the window, then runs the session's start-up. Returns normally when
    // start-up ended the program: TerminateRequested() tells, and the window must not be shown.
    // `commandLine` is the program's, the program first (the OEM wizard reads it). A direct-IDE
    // package where `directIde` says this Windows is 64-bit is refused by start-up, nothing
    // installed: DirectIdeRefused() tells.
    using DirectIde = platform::MachineSession::DirectIde;
    TBrenvoMain(package::Package& package, std::vector<std::string> commandLine = {},
                DirectIde directIde = DirectIde::Available);
    ~TBrenvoMain() override;

    engine::WindowSession& Session() { return session_; }
    engine::UpdateEngine& Engine() { return session_.Engine(); }
    engine::StartEnd StartResult() const { return session_.StartResult(); }
    bool TerminateRequested() const { return session_.TerminateRequested(); }
    bool DirectIdeRefused() const { return StartResult() == engine::StartEnd::No64BitDriver; }
    bool ClosableFromTitleBar() const { return session_.ClosableFromTitleBar(); }
    TMainQV* Wizard() { return wizard_.get(); }
    void SetScriptMode(bool script) { session_.SetScriptMode(script); }
    bool ScriptMode() const { return session_.ScriptMode(); }
    int ExitStatus() const { return session_.ExitStatus(); }
    void CheckEnded(engine::CheckOutcome outcome) { session_.CheckEnded(outcome); }
    void RequestTerminate() { session_.RequestTerminate(); }

    // The three-way rule: 1 Traditional Chinese (texts only), 2 Japanese (fonts first, then
    // texts), any other value English.
    void Localise(int language);
    // Places old revision, "to" and new revision after the message, 10 pixels apart and centred on
    // its height.
    void LayoutRevisionLine();

    // --- the window's events ---
    void FormShow();
    void FormDestroy() { session_.End(); }
    void cboDrivesChange();
    void cmdUpdateClick() { session_.UpdatePressed(); }
    void cmdCloseClick() { session_.ClosePressed(); }
    void tmrTimer() { session_.TimerTick(); }
    // The direct-IDE path's callbacks; callable from the flash worker.
    void showProgress(int percent) { session_.ShowProgressFromWorker(percent); }
    void showStatus(const std::string& text) { session_.ShowStatusFromWorker(text); }

    // --- engine::WindowDisplay ---
    void ApplyPackage(const std::string& caption, int language) override;
    void Message(engine::MessageKind kind, const std::string& text,
                 const std::string& caption) override;
    bool Question(const std::string& text, const std::string& caption,
                  engine::AskButtons buttons) override;
    void Dialog(const engine::DialogRequest& request) override;
    int Unanswered() const override;
    bool AnswersNobody() const override;
    void DrawDriveList(const std::vector<std::string>& lines) override;
    void SelectDrive(int item) override;
    void DrawRevisionLine(const engine::RevisionLine& line) override;
    void DrawOldRevision(const std::string& text) override;
    void DrawStatus(const std::string& text) override;
    void DrawStatusColour(engine::Colour colour) override;
    void DrawProgress(int position, int maximum) override;
    void DrawPercent(const std::string& text) override;
    void EnableControls(bool update, bool close, bool driveList) override;
    void SetTimerRunning(bool running) override;
    void Repaint() override;
    // While a flash is written Windows is asked to hold a shutdown, with the reason shown.
    void SetFlashing(bool flashing) override;
    bool Flashing() const { return flashing_; }
    void HideWindow() override;
    void ShowOemWizard() override;
    void RunLater(engine::Later what) override;
    void EndLoop() override;
    bool OnUiThread() const override;
    void WakeForPostedTask() override;
    void WaitForEvents() override;
    void BeforeEngineEnds() override;

    HWND Label1, cboDrives, cmdUpdate, cmdClose, lblUpdateMsg, lblOldFW, lblTo, lblNewFW, Bevel1,
        lblMsg, pbar, lblPercent;

  protected:
    bool HandleMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;
    void CloseRequested() override;
    void Painted() override;

  private:
    HWND DialogOwner() const;

    DWORD uiThread_;
    int language_ = 0;
    std::unique_ptr<TMainQV> wizard_;
    bool flashing_ = false;
    engine::WindowSession session_;
};

// The one main window while it exists.
extern TBrenvoMain* BrenvoMain;

// Routes the core's message boxes (platform::ShowMessageBox) through Modal, on the window's thread
// whichever thread asks.
void InstallMessageBoxHandler();

}  // namespace win32ui
