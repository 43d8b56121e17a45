// TBrenvoMain: the program's one permanent window. Its construction is the program's start-up;
// its drive list, revision line, buttons and progress display show the update engine, which it
// serves as the engine's view: message boxes and dialogs go through ui::Modal, work the flash
// workers hand back is carried to this window's thread.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "app/MainForm.h"
#include "engine/ExitStatus.h"
#include "engine/RestartCheck.h"
#include "engine/TaskQueue.h"
#include "engine/UpdateEngine.h"
#include "engine/UpdateView.h"
#include "engine/WizardFlow.h"
#include "package/Package.h"

namespace app {

class TBrenvoMain : public MainForm, public engine::UpdateView, public engine::WizardHost {
    Q_OBJECT
  public:
    // Builds and localises the window, then runs the engine's start-up. Returns normally when
    // start-up ended the program: TerminateRequested() tells, and the window must not be shown.
    // `commandLine` is the program's, already checked (engine::ParseWindowCommandLine): Qt is
    // never handed it, so the window reads it from here.
    explicit TBrenvoMain(package::Package& package, std::vector<std::string> commandLine = {},
                         QWidget* parent = nullptr);
    ~TBrenvoMain() override;

    engine::UpdateEngine& Engine() override { return *engine_; }
    engine::StartEnd StartResult() const { return startResult_; }
    // Start-up, the update procedure or the Close button asked for the end of the program.
    bool TerminateRequested() const override { return terminateRequested_; }
    // False once start-up has succeeded: only the Close button ends the program then.
    bool ClosableFromTitleBar() const { return closableFromTitleBar_; }

    // Script mode (BRENVO_UNATTENDED=1): nobody is there to press Update, so an unattended
    // package's run is the whole program and it ends with the run's verdict; any other package
    // is refused once the window is up, nothing flashed. Set before the window is shown.
    void SetScriptMode(bool script) { scriptMode_ = script; }
    bool ScriptMode() const { return scriptMode_; }
    // The status the program ends with, as brenvo-cli's: start-up's end, the check's after a
    // restart, else the last run's.
    int ExitStatus() const;
    // The OEM wizard's check after a restart has given its result; in script mode that ends the
    // program.
    void CheckEnded(engine::CheckOutcome outcome) override;

    // --- the window's events ---
    void FormShow();
    void FormPaint();
    void FormDestroy();
    void cboDrivesChange();
    void cmdUpdateClick();
    void cmdCloseClick();
    void tmrTimer();
    // The direct-IDE path's callbacks; callable from the flash worker, carried out here in the
    // order they were made.
    void showProgress(int percent);
    void showStatus(const std::string& text);

    // The OEM variant hands the program to its wizard at the window's first paint: the window
    // hides and the wizard, which it owns, shows instead.
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
    void PostToUiThread(std::function<void()> task) override;
    // Runs the oldest task the workers posted (invoked by name, so no functor object of ours
    // crosses threads inside Qt's queue).
    Q_INVOKABLE void RunPostedTask();

  protected:
    void showEvent(QShowEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

  private:
    int Language() const;
    // The revision line of the selected drive as the engine has it.
    void ShowRevisionLine();
    // The drive of the selected item is one the package may update.
    bool SelectedDriveMatched() const;
    // Message boxes and dialogs of start-up have no window to sit on yet.
    QWidget* DialogOwner();
    // After a question: one that nobody answered (script mode) refuses the run.
    void NoteUnanswered(int unansweredBefore);

    package::Package& package_;
    // Declared before the engine: the engine's end waits for its workers, which may still post.
    engine::TaskQueue posted_;
    std::mutex posting_;
    std::unique_ptr<engine::UpdateEngine> engine_;
    engine::StartEnd startResult_ = engine::StartEnd::Ready;
    // Started for the check after a restart: the wizard checks, no update runs.
    bool checkStart_ = false;
    std::vector<std::string> commandLine_;
    bool terminateRequested_ = false;
    bool closableFromTitleBar_ = true;
    bool closingByButton_ = false;
    bool shownOnce_ = false;
    bool handedOver_ = false;
    bool warnedUnattended_ = false;  // a warning went to nobody: the tray loop must not go on
    bool scriptMode_ = false;
    engine::ScriptOutcome script_;
    engine::RunReport finalRun_;  // the last run, kept when the engine goes
};

// The one main window while it exists, for the callbacks that need to reach it.
extern TBrenvoMain* BrenvoMain;

}  // namespace app
