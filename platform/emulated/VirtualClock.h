// The emulated PC's clock.
//
// Virtual (the default): time stands still until somebody waits. A sleep moves it forward by the
// sleep's length and every reading of the performance counter by one polling quantum, so a
// 60-second polling loop costs microseconds of wall time. Paced: time follows the wall clock from
// the start of the run, for people watching a window.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>

namespace platform::emulated {

class VirtualClock {
  public:
    static constexpr int64_t kNanosPerSecond = 1'000'000'000;

    VirtualClock(bool paced, int64_t startNanos, int64_t pollQuantumNanos);

    bool Paced() const { return paced_; }
    int64_t PollQuantumNanos() const { return pollQuantumNanos_; }

    // Current time in nanoseconds since the bench was made.
    int64_t NowNanos() const;
    // One reading of the performance counter: returns the time, then moves it on by a quantum.
    int64_t ReadForPolling();
    // A sleep of the program, or time that emulated hardware spends on a command.
    void Sleep(int64_t nanos);

    double NowSeconds() const { return static_cast<double>(NowNanos()) / kNanosPerSecond; }

  private:
    bool paced_;
    int64_t pollQuantumNanos_;
    std::atomic<int64_t> virtualNanos_;
    std::chrono::steady_clock::time_point wallStart_;
};

}  // namespace platform::emulated
