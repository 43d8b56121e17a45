#include "engine/FlashGate.h"

namespace engine {

bool FlashGate::BeginFlash() {
    int state = state_.load(std::memory_order_acquire);
    while (state == kIdle || state == kFinished) {
        if (state_.compare_exchange_weak(state, kFlashing, std::memory_order_acq_rel)) {
            told_.store(false, std::memory_order_release);
            return true;
        }
    }
    return false;
}

void FlashGate::EndFlash() {
    int flashing = kFlashing;
    state_.compare_exchange_strong(flashing, kFinished, std::memory_order_acq_rel);
}

StopAnswer FlashGate::RequestStop() {
    stopRequested_.store(true, std::memory_order_release);
    int state = state_.load(std::memory_order_acquire);
    while (true) {
        switch (state) {
            case kFlashing:
                return told_.exchange(true, std::memory_order_acq_rel) ? StopAnswer::AlreadyTold
                                                                       : StopAnswer::FlashUnderway;
            case kStopped:
                return StopAnswer::EndUnchanged;
            case kIdle:
                if (state_.compare_exchange_weak(state, kStopped, std::memory_order_acq_rel))
                    return StopAnswer::EndUnchanged;
                break;
            case kFinished:
                if (state_.compare_exchange_weak(state, kStoppedAfterFlash,
                                                 std::memory_order_acq_rel))
                    return StopAnswer::EndAfterFlash;
                break;
            default:
                return StopAnswer::EndAfterFlash;
        }
    }
}

}  // namespace engine
