// What brenvo-cli says when an update run has ended: a line per chosen drive, and the exit status
// that sums the run up. Scripts read the status; people read the lines.
#pragma once

#include <iosfwd>

#include "engine/UpdateEngine.h"

namespace cli {

// Exit codes, also in --help and the README.
inline constexpr int kExitOk = 0;
inline constexpr int kExitFlashFailed = 1;
inline constexpr int kExitUsage = 2;
inline constexpr int kExitNoDrive = 3;
inline constexpr int kExitDeclined = 4;
inline constexpr int kExitBadPackage = 5;
inline constexpr int kExitBadMachine = 6;
inline constexpr int kExitOutcomeUnknown = 7;
// A direct-IDE package on a system without its flash driver (Linux).
inline constexpr int kExitNoFlashDriver = 8;
// A direct-IDE package on a 64-bit Windows, which cannot load the 32-bit flash driver.
inline constexpr int kExitNo64BitDriver = 9;

// Writes the report of the engine's last run and returns the exit status: 0 only when every
// drive the run chose was flashed and confirmed its commit. `unanswered`: a question of the run
// went unanswered.
int ReportRun(const engine::RunReport& run, bool unanswered, std::ostream& out, std::ostream& err);

}  // namespace cli
