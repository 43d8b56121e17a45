// TBrenvoMain: the program's one permanent window. Its construction is the program's start-up;
// its drive list, revision line, buttons and progress display draw the window session
// (engine::WindowSession), which serves the update engine: message boxes and dialogs go through
// ui::Modal, work the flash workers hand back is carried to this window's thread.
#pragma once

#include <string>
#include <vector>

#include "app/MainForm.h"
#include "engine/WindowSession.h"
#include "package/Package.h"
#include "platform/DirectIde.h"

namespace app {

class TBrenvoMain : public MainForm, public engine::WindowDisplay {
    Q_OBJECT
  public:
    // Builds and localises the window, then runs the session's start-up. Returns normally when
    // start-up ended the program: TerminateRequested() tells, and the window must not be shown.
    // `commandLine` is the program's, already checked (engine::ParseWindowCommandLine): Qt is
    // never handed it, so the window reads it from here. `directIde`: whether this machine can
    // take a direct-IDE package.
    explicit TBrenvoMain(package::Package& package, std::vector<std::string> commandLine = {},
                         platform::DirectIde directIde = platform::DirectIde::Available,
                         QWidget* parent = nullptr);
    ~TBrenvoMain() override;

    engine::WindowSession& Session() { return session_; }
    engine::UpdateEngine& Engine() { return session_.Engine(); }
    engine::StartEnd StartResult() const { return session_.StartResult(); }
    // Start-up, the update procedure or the Close button asked for the end of the program.
    bool TerminateRequested() const { return session_.TerminateRequested(); }
    bool ClosableFromTitleBar() const { return session_.ClosableFromTitleBar(); }
    void SetScriptMode(bool script) { session_.SetScriptMode(script); }
    bool ScriptMode() const { return session_.ScriptMode(); }
    int ExitStatus() const { return session_.ExitStatus(); }
    void CheckEnded(engine::CheckOutcome outcome) { session_.CheckEnded(outcome); }
    void RequestTerminate() { session_.RequestTerminate(); }

    // --- the window's events ---
    void FormShow();
    void FormPaint() { session_.Painted(); }
    void FormDestroy() { session_.End(); }
    void cboDrivesChange();
    void cmdUpdateClick() { session_.UpdatePressed(); }
    void cmdCloseClick() { session_.ClosePressed(); }
    void tmrTimer() { session_.TimerTick(); }
    // The direct-IDE path's callbacks; callable from the flash worker, carried out here in the
    // order they were made.
    void showProgress(int percent) { session_.ShowProgressFromWorker(percent); }
    void showStatus(const std::string& text) { session_.ShowStatusFromWorker(text); }
    // Runs the oldest task the workers posted (invoked by name, so no functor object of ours
    // crosses threads inside Qt's queue).
    Q_INVOKABLE void RunPostedTask() { session_.RunPostedTask(); }

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
    void HideWindow() override;
    // The OEM variant hands the program to its wizard at the window's first paint: the window
    // hides and the wizard, which it owns, shows instead.
    void ShowOemWizard() override;
    void RunLater(engine::Later what) override;
    void EndLoop() override;
    bool OnUiThread() const override;
    void WakeForPostedTask() override;
    void WaitForEvents() override;

  protected:
    void showEvent(QShowEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

  private:
    // Message boxes and dialogs of start-up have no window to sit on yet.
    QWidget* DialogOwner();

    bool closing_ = false;  // the window is closing on the session's word
    engine::WindowSession session_;
};

// The one main window while it exists, for the callbacks that need to reach it.
extern TBrenvoMain* BrenvoMain;

}  // namespace app
