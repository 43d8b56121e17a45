// The status a program ends with, for scripts: the console and the windows' script mode end a
// start-up or an update run with the same numbers.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "engine/RestartCheck.h"
#include "engine/UpdateEngine.h"

namespace engine {

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

// A start-up that did not end Ready: bad package 5, no matching drive 3, access denied or the
// notice declined 4, no device object 1. Ready is 0.
int StartExitStatus(StartEnd end);

// An update run: 0 only when every drive the run chose was flashed and confirmed its commit.
// `questionUnanswered`: a question of the run was left without an answer, which refuses (4)
// whatever became of the drives.
int RunExitStatus(const RunReport& run, bool questionUnanswered);

// The check after a restart: 0 when the drive reports the expected revision, else 1.
int CheckExitStatus(CheckOutcome outcome);

// The windows' script mode (BRENVO_UNATTENDED=1): no message box or dialog waits for a person,
// an unattended package's run (or the OEM wizard's check after a restart) is the whole program,
// and the program ends with the status the console would give: start-up's when it did not end
// Ready, else the run's. A package that is not unattended waits for a person to press Update;
// script mode refuses it (4), saying so.
int ScriptExitStatus(StartEnd start, const RunReport& lastRun, bool questionUnanswered);
// What a window's script mode remembers for its exit status besides start-up and the last run.
struct ScriptOutcome {
    bool questionUnanswered = false;    // a question of the run went to nobody
    std::optional<CheckOutcome> check;  // the OEM wizard's check after a restart, when it ran
    // The check's status when it ran, else ScriptExitStatus.
    int Status(StartEnd start, const RunReport& lastRun) const;
};
// Whether script mode runs the package at all: an unattended package, or the OEM wizard started
// for its check after a restart (`commandLine`: the program's, the program first).
bool ScriptNeedsNobody(const package::PackageOptions& options,
                       const std::vector<std::string>& commandLine);
inline constexpr char kScriptNeedsPersonText[] =
    "This package updates a drive only when a person chooses it and presses Update, which "
    "nobody does in script mode (BRENVO_UNATTENDED=1): nothing was flashed. brenvo-cli update "
    "runs such a package from a script.";

}  // namespace engine
