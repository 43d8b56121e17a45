// What brenvo-cli says when an update run has ended: a line per chosen drive, and the exit status
// that sums the run up. Scripts read the status; people read the lines.
#pragma once

#include <iosfwd>
#include <string>

#include "engine/ExitStatus.h"
#include "engine/UpdateEngine.h"

namespace cli {

// Exit codes, also in --help and the README; the windows' script mode ends with the same.
using engine::kExitBadMachine;
using engine::kExitBadPackage;
using engine::kExitDeclined;
using engine::kExitFlashFailed;
using engine::kExitNo64BitDriver;
using engine::kExitNoDrive;
using engine::kExitNoFlashDriver;
using engine::kExitOk;
using engine::kExitOutcomeUnknown;
using engine::kExitUsage;

// What is said of a drive left alone because it already holds the package's revision or a newer
// one: "already QV12: not flashed ...".
std::string UpToDateText(const engine::DriveResult& drive);

// Writes the report of the engine's last run and returns the exit status: 0 only when every
// drive the run chose was flashed and confirmed its commit. `unanswered`: a question of the run
// went unanswered.
int ReportRun(const engine::RunReport& run, bool unanswered, std::ostream& out, std::ostream& err);

}  // namespace cli
