// Whether a stop would cut a flash.
//
// From the first command that can change a drive's flash until every drive of the run has
// finished, nothing of ours may end the program: a drive cut off in the middle of its flash is
// left in its boot loader. Before that point a stop ends the run with nothing written. Every
// front-end asks here before it acts on a stop request (a signal, Ctrl+C, a console closed), and
// the engine passes here before it starts a flash, so the two can never cross: either the stop
// comes first and nothing is flashed, or the flash comes first and the stop waits for it.
//
// Lock-free: a signal handler may call RequestStop.
#pragma once

#include <atomic>

namespace engine {

enum class StopAnswer {
    EndUnchanged,   // nothing was written: end now; the drives were not changed
    FlashUnderway,  // a flash is being written: say so, once; the run ends when it has finished
    AlreadyTold,    // asked again while the same flash goes on: nothing more to say
    EndAfterFlash,  // the flash has finished: the run ends with its verdict
};

// What a front-end says for each answer (English, as the console's own lines are).
inline constexpr char kStoppedUnchangedText[] =
    "Stopped before anything was written: the drive was not changed.";
inline constexpr char kFlashUnderwayText[] =
    "A firmware flash is in progress and stopping now would leave the drive unusable: the run "
    "will end when the drive has finished.";
inline constexpr char kNoRestartAfterStopText[] =
    "The run was asked to stop: the computer is not restarted now. Restart it yourself to finish "
    "the update.";

class FlashGate {
  public:
    // Before the first flash worker of a run starts: false when a stop came first, and then
    // nothing may be written.
    bool BeginFlash();
    // Every worker of the run has ended: the drives have committed, or the run has failed.
    void EndFlash();

    StopAnswer RequestStop();
    // A stop was asked for at any point: later drives of the run are not started.
    bool StopRequested() const { return stopRequested_.load(std::memory_order_acquire); }
    bool Flashing() const { return state_.load(std::memory_order_acquire) == kFlashing; }

  private:
    static constexpr int kIdle = 0;               // nothing written yet
    static constexpr int kFlashing = 1;           // a flash is being written
    static constexpr int kFinished = 2;           // a flash was written and has ended
    static constexpr int kStopped = 3;            // stopped before any flash: none may begin
    static constexpr int kStoppedAfterFlash = 4;  // stopped after a flash: no other may begin

    std::atomic<int> state_{kIdle};
    std::atomic<bool> stopRequested_{false};
    std::atomic<bool> told_{false};
    static_assert(std::atomic<int>::is_always_lock_free && std::atomic<bool>::is_always_lock_free,
                  "a signal handler calls RequestStop");
};

}  // namespace engine
