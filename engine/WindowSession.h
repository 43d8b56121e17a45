// The main window's session, whatever draws it: start-up, script mode, the selected-drive guard,
// the hand-over to the flash workers, questions nobody answered, the close rules, the drive list
// and the exit status. It is the engine's view; the window behind it only draws (WindowDisplay)
// and passes its toolkit's events on.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "engine/DialogTexts.h"
#include "engine/ExitStatus.h"
#include "engine/RestartCheck.h"
#include "engine/TaskQueue.h"
#include "engine/UpdateEngine.h"
#include "engine/UpdateView.h"
#include "engine/WizardFlow.h"
#include "package/Package.h"
#include "platform/DirectIde.h"

namespace engine {

// One modal dialog, by id, with what it shows.
struct DialogRequest {
    DialogId id = DialogId::MostUpdate;
    uint8_t* answer = nullptr;  // ShowMsg, UpdateCfm and EjectDisc answer through it
    int language = 0;
    int uiVariant = 0;        // ShowMsg's words follow the variant
    std::string oldRevision;  // UpdateCfm
    std::string newRevision;
};

// What the session asks of the window, on the window's thread; `Later` work comes back through
// WindowSession::RunLater at a later turn of the window's loop.
enum class Later {
    StartUnattended,  // the unattended run, once the window is on the screen
    HandOver,         // the OEM wizard takes the screen
    RefuseScript,     // script mode with a package that needs a person
};

class WindowDisplay {
  public:
    virtual ~WindowDisplay() = default;

    // The package's caption and language, once it has been read.
    virtual void ApplyPackage(const std::string& caption, int language) = 0;

    // --- modal: a message box, a question, a dialog; each returns once it has been answered
    // (or, in script mode, has been answered by nobody) ---
    virtual void Message(MessageKind kind, const std::string& text, const std::string& caption) = 0;
    virtual bool Question(const std::string& text, const std::string& caption,
                          AskButtons buttons) = 0;
    virtual void Dialog(const DialogRequest& request) = 0;
    // How many questions have gone to nobody so far (script mode's modal answers none).
    virtual int Unanswered() const = 0;
    // Nobody answers: a warning of the tray loop then ends the loop.
    virtual bool AnswersNobody() const = 0;

    // --- the window's parts ---
    virtual void DrawDriveList(const std::vector<std::string>& lines) = 0;
    virtual void SelectDrive(int item) = 0;
    virtual void DrawRevisionLine(const RevisionLine& line) = 0;
    virtual void DrawOldRevision(const std::string& text) = 0;
    virtual void DrawStatus(const std::string& text) = 0;
    virtual void DrawStatusColour(Colour colour) = 0;
    virtual void DrawProgress(int position, int maximum) = 0;
    virtual void DrawPercent(const std::string& text) = 0;
    virtual void EnableControls(bool update, bool close, bool driveList) = 0;
    virtual void SetTimerRunning(bool running) = 0;
    virtual void Repaint() = 0;
    virtual void SetFlashing(bool) {}
    // The Close button ended the program: the window goes from the screen.
    virtual void HideWindow() = 0;
    // The OEM variant: the window hides and the wizard shows instead.
    virtual void ShowOemWizard() = 0;

    // --- the loop ---
    virtual void RunLater(Later what) = 0;
    // Ends the window's loop (and any modal loop within) at its next turn.
    virtual void EndLoop() = 0;
    virtual bool OnUiThread() const = 0;
    // A task was posted: the loop calls WindowSession::RunPostedTask at its next turn.
    virtual void WakeForPostedTask() = 0;
    // Waits for the next event of the loop and handles it.
    virtual void WaitForEvents() = 0;
    // The engine is about to go: what holds on to it (the OEM wizard) goes first.
    virtual void BeforeEngineEnds() {}
};

// The session is also what the OEM wizard drives: it presses Update and Close through it.
class WindowSession : public UpdateView, public WizardHost {
  public:
    WindowSession(package::Package& package, WindowDisplay& display,
                  std::vector<std::string> commandLine,
                  platform::DirectIde directIde = platform::DirectIde::Available);
    ~WindowSession() override;

    // Reads the package, has the window apply it, runs the engine's start-up. Anything but Ready
    // has said why and asked the loop to end: the window must not be shown.
    void Start();

    UpdateEngine& Engine() override { return *engine_; }
    bool HasEngine() const { return engine_ != nullptr; }
    StartEnd StartResult() const { return startResult_; }
    bool TerminateRequested() const override { return terminateRequested_; }
    // The title bar's close (and Alt+F4) is refused exactly while a run is on.
    bool ClosableFromTitleBar() const { return !engine_ || !engine_->InRun(); }
    const std::vector<std::string>& CommandLine() const { return commandLine_; }

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
    void CheckEnded(CheckOutcome outcome) override;
    void PressUpdate() override { UpdatePressed(); }
    void PressClose() override { ClosePressed(); }

    // --- the window's events ---
    // True the first time the window is on the screen (the window places itself then).
    bool FirstShow();
    // The window is on the screen for the first time: script mode's rules, the unattended run.
    void Shown();
    void Painted();
    void DriveChosen(int item);
    void UpdatePressed();
    void ClosePressed();
    // The title bar's close or Alt+F4: true when the window may close.
    bool CloseAsked();
    void TimerTick();
    void RunLater(Later what);
    // The direct-IDE path's callbacks; callable from a flash worker.
    void ShowProgressFromWorker(int percent);
    void ShowStatusFromWorker(const std::string& text);
    void RunPostedTask();
    // The window goes: waits for the workers, then lets the engine go. The window calls it
    // while it can still draw and run its loop, before the session itself goes.
    void End();

    // --- UpdateView ---
    void ShowMessage(MessageKind kind, const std::string& text,
                     const std::string& caption) override;
    bool Ask(const std::string& text, const std::string& caption, AskButtons buttons) override;
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
    void SetStatusColour(Colour colour) override;
    void SetProgress(int position, int maximum) override;
    void SetPercent(const std::string& text) override;
    void SetButtons(bool updateEnabled, bool closeEnabled) override;
    void SetOldRevision(const std::string& text) override;
    void SetTimerRunning(bool running) override;
    void DriveListChanged() override;
    void Repaint() override;
    void RequestTerminate() override;
    bool StopRequested() override;
    void SetFlashing(bool flashing) override;
    void PostToUiThread(std::function<void()> task) override;

  private:
    // The drive of the selected item is one the package may update.
    bool SelectedDriveMatched() const;
    void ShowDialog(DialogId id, uint8_t* answer = nullptr, const std::string& oldRevision = "",
                    const std::string& newRevision = "");

    package::Package& package_;
    WindowDisplay& display_;
    std::vector<std::string> commandLine_;
    platform::DirectIde directIde_;
    // Declared before the engine: the engine's end waits for its workers, which may still post.
    TaskQueue posted_;
    std::mutex posting_;
    std::unique_ptr<UpdateEngine> engine_;
    StartEnd startResult_ = StartEnd::Ready;
    // Started for the check after a restart: the wizard checks, no update runs.
    bool checkStart_ = false;
    bool terminateRequested_ = false;
    bool shownOnce_ = false;
    bool handedOver_ = false;
    bool warnedUnattended_ = false;  // a warning went to nobody: the tray loop must not go on
    bool scriptMode_ = false;
    std::vector<std::string> drawnLines_;  // the drive list as the window shows it
    ScriptOutcome script_;
    RunReport finalRun_;  // the last run, kept when the engine goes
};

}  // namespace engine
