// High-resolution stopwatch on the system's performance counter.
#pragma once

#include <cstdint>

namespace device {

class HiTimer {
  public:
    HiTimer();
    ~HiTimer();
    HiTimer(const HiTimer&) = delete;
    HiTimer& operator=(const HiTimer&) = delete;

    void Start(bool reset);
    void Stop();
    void Reset();
    // Seconds of the current run (a fresh counter reading); 0 when not running.
    long double RunSeconds();
    // Seconds of all runs since the last reset, using the last stored reading.
    double TotalSeconds() const;
    // Busy-waits until the given number of seconds has passed. Never sleeps on a machine with a
    // counter; without one it sleeps in short steps so it still ends after about that time.
    void WaitSeconds(double seconds);

    bool Running() const { return startCount != 0; }

    int64_t frequency = 0;
    int64_t startCount = 0;
    int64_t stopCount = 0;
    int64_t total = 0;
    int64_t overhead = 0;
    bool unavailable = false;

  private:
    int64_t Read() const;
};

}  // namespace device
