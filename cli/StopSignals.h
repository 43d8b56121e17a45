// Stop requests from outside the program: SIGINT, SIGTERM and SIGHUP, or on Windows the
// console's Ctrl+C, Ctrl+Break and close. Each is put to the flash gate: with nothing written
// the program ends at once (exit status 4, a line saying the drive was not changed); while a
// flash is written it says so once and the run goes on to its true verdict.
#pragma once

#include "engine/FlashGate.h"

namespace cli {

class StopSignals {
  public:
    // Installs the handlers for the lifetime of the object; `gate` must outlive it.
    explicit StopSignals(engine::FlashGate& gate);
    ~StopSignals();
    StopSignals(const StopSignals&) = delete;
    StopSignals& operator=(const StopSignals&) = delete;
};

}  // namespace cli
