#include "device/HiTimer.h"

#include "platform/System.h"

namespace device {
namespace {
// Without a counter the wait sleeps in steps of this many milliseconds.
constexpr uint32_t kSleepStepMs = 10;
}  // namespace

HiTimer::HiTimer() {
    int64_t f = 0;
    if (!platform::CurrentSystem().QueryPerformanceFrequency(f) || f <= 0) {
        unavailable = true;
        return;
    }
    frequency = f;
    Start(false);
    Stop();
    overhead = total;
    startCount = 0;
    stopCount = 0;
    total = 0;
}

HiTimer::~HiTimer() {
    if (Running()) Stop();
}

int64_t HiTimer::Read() const {
    int64_t count = 0;
    platform::CurrentSystem().QueryPerformanceCounter(count);
    return count;
}

void HiTimer::Start(bool reset) {
    if (unavailable) return;
    if (reset) Reset();
    startCount = Read();
}

void HiTimer::Stop() {
    if (unavailable) return;
    stopCount = Read();
    total += stopCount - startCount - overhead;
    startCount = 0;
}

void HiTimer::Reset() {
    if (unavailable) return;
    if (Running()) Stop();
    total = 0;
}

long double HiTimer::RunSeconds() {
    if (unavailable || !Running()) return 0;
    stopCount = Read();
    return static_cast<long double>(stopCount - overhead - startCount) / frequency;
}

double HiTimer::TotalSeconds() const {
    if (unavailable) return 0;
    if (Running()) {
        return static_cast<double>(total + stopCount - startCount - overhead) / frequency;
    }
    return static_cast<double>(total) / frequency;
}

void HiTimer::WaitSeconds(double seconds) {
    if (unavailable) {
        // Every reading is 0 here, so the counter cannot end the wait: sleep it off instead.
        auto& system = platform::CurrentSystem();
        double waited = 0;
        while (waited < seconds) {
            system.Sleep(kSleepStepMs);
            waited += kSleepStepMs / 1000.0;
        }
        return;
    }
    Start(true);
    while (RunSeconds() < seconds) {
    }
    Stop();
}

}  // namespace device
