#include "platform/emulated/VirtualClock.h"

#include <thread>

namespace platform::emulated {

VirtualClock::VirtualClock(bool paced, int64_t startNanos, int64_t pollQuantumNanos)
    : paced_(paced),
      pollQuantumNanos_(pollQuantumNanos),
      virtualNanos_(startNanos),
      wallStart_(std::chrono::steady_clock::now()) {}

int64_t VirtualClock::NowNanos() const {
    int64_t base = virtualNanos_.load(std::memory_order_acquire);
    if (!paced_) return base;
    auto wall = std::chrono::steady_clock::now() - wallStart_;
    return base + std::chrono::duration_cast<std::chrono::nanoseconds>(wall).count();
}

int64_t VirtualClock::ReadForPolling() {
    if (paced_) return NowNanos();
    return virtualNanos_.fetch_add(pollQuantumNanos_, std::memory_order_acq_rel);
}

void VirtualClock::Sleep(int64_t nanos) {
    if (nanos <= 0) return;
    if (paced_) {
        std::this_thread::sleep_for(std::chrono::nanoseconds(nanos));
        return;
    }
    virtualNanos_.fetch_add(nanos, std::memory_order_acq_rel);
}

}  // namespace platform::emulated
