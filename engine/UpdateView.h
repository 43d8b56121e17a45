// What the update engine needs from a front-end: the main window, the console, or a test.
//
// Every call comes on the front-end's own thread (the user-interface thread), except
// PostToUiThread, which the flash workers call to hand work back to it.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace engine {

enum class RunEnd;  // the run's verdict (UpdateEngine.h)

enum class MessageKind { Warning, Information, Error };
// YesNoDefaultNo: the question whose careless Enter must not act (focus and default on No).
enum class AskButtons { YesNo, OkCancel, YesNoDefaultNo };
enum class Colour { Black, Navy, Maroon };

// Where a run of the update procedure stands.
enum class Step {
    Preparing,  // the drive is made ready: disc and tray checked, waited for; nothing written
    Flashing,   // the firmware is being written
    Checking,   // the flash has ended: the drives are identified again
    Done,       // the run succeeded
};

// A drive an attended run is about to write, and the change.
struct PlannedChange {
    std::string drive;  // address and identity: "E: QUORVANT DVD-RW QV-1600"
    std::string fromRevision;
    std::string toRevision;
};

class UpdateView {
  public:
    virtual ~UpdateView() = default;

    // --- message boxes (one OK button) and questions ---
    virtual void ShowMessage(MessageKind kind, const std::string& text,
                             const std::string& caption) = 0;
    // A warning with Yes/No or OK/Cancel; true for Yes or OK.
    virtual bool Ask(const std::string& text, const std::string& caption, AskButtons buttons) = 0;

    // --- the modal dialogs; answers come back through the caller's flag, written only by the
    // dialog's buttons ---
    virtual void ShowNewerWarning(uint8_t* answer) = 0;  // the drive already has this or newer
    virtual void ShowMostUpdate() = 0;                   // refusal: the drive is up to date
    virtual void ShowUpdateConfirm(uint8_t* answer, const std::string& oldRevision,
                                   const std::string& newRevision) = 0;
    virtual void ShowEjectDisc(uint8_t* answer) = 0;
    virtual void ShowInvalidUser() = 0;    // refusal: administrator rights needed
    virtual void ShowNoProperDrive() = 0;  // refusal: no drive the package supports
    // The reboot dialogs restart the computer through the system themselves.
    virtual void ShowReboot() = 0;
    virtual void ShowRebootZulk() = 0;

    // --- the window ---
    virtual void SetStatus(const std::string& text) = 0;
    virtual void SetStatusColour(Colour colour) = 0;
    virtual void SetProgress(int position, int maximum) = 0;
    virtual void SetPercent(const std::string& text) = 0;
    virtual void SetButtons(bool updateEnabled, bool closeEnabled) = 0;
    // The current-revision label while an unattended run chooses its drives.
    virtual void SetOldRevision(const std::string& text) = 0;
    // The 100 ms progress timer; while it runs the front-end calls UpdateEngine::TimerTick.
    virtual void SetTimerRunning(bool running) = 0;
    // The drive list, its selection or the revision line changed: read them from the engine.
    virtual void DriveListChanged() = 0;
    // Lets the window repaint during long steps on the user-interface thread.
    virtual void Repaint() = 0;
    // Ends the program at the next turn of the front-end's loop.
    virtual void RequestTerminate() = 0;
    // True when the user has asked to stop (closed the program) while the tray loop waits for a
    // disc to be taken out; the loop then gives up and nothing is flashed.
    virtual bool StopRequested() { return false; }
    // A drive's flash is being written (true) or has ended: a window keeps the system from
    // shutting down meanwhile where the system asks windows first.
    virtual void SetFlashing(bool) {}
    // True when the user has said that this run must not restart the computer, not even where
    // the package restarts it without asking; the view then says that a restart is still needed
    // to finish the update.
    virtual bool RestartHeld() { return false; }

    // --- the procedure as facts: a view that is no window draws from these, not from the
    // widgets' states (SetFlashing says whether a flash is under way, SetProgress the bar's
    // position and maximum) ---
    // The run has come to `step`; `words` name it as the status line does, without animation.
    virtual void SetStep(Step, const std::string& /*words*/) {}
    // The run has given its verdict (every run that UpdateClick began, written or not).
    virtual void SetVerdict(RunEnd) {}
    // Asked once per attended run, after its drives are chosen and before anything is written to
    // any of them: false ends the run with nothing written. A window's Update button is this
    // consent, so the windows keep the default.
    // True when the person said no before the run began (the console's --no): then even a
    // package that starts without asking writes nothing, and the run's question is put to
    // record that answer.
    virtual bool RunRefused() const { return false; }
    virtual bool ConfirmRun(const std::vector<PlannedChange>&) { return true; }

    // True for a terminal's view: texts that tell the user a command to type name the
    // console's way (sudo), not the window's.
    virtual bool IsConsole() const { return false; }

    // --- threads ---
    // Runs the task on the user-interface thread, in the order posted.
    virtual void PostToUiThread(std::function<void()> task) = 0;
};

}  // namespace engine
