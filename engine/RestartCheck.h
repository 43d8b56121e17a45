// The check after a restart: the entry that makes the system run the program once more after the
// restart, the command line it leaves, and the comparison of the drive's revision with the one
// expected.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "device/DriveRecord.h"

namespace engine {

class UpdateEngine;

inline constexpr char kRunOnceKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunOnce";
inline constexpr char kRestartValueName[] = "QVFWUpdate";
inline constexpr char kCheckSwitch[] = "/QVCHECK";

// The command the system runs at the next start: the program's path in quotes (a path with
// blanks must still give exactly three parameters; a quote in it is escaped with a backslash, and
// the backslashes just before a quote are doubled, as the system's splitting of a command line
// undoes), the switch, the drive's list index and the revision the drive should then report.
//
// With `identity` (DriveIdentity of the updated drive) the entry also names the drive, as a last
// word of 48 hexadecimal digits, so that the check knows it is looking at the drive it updated;
// an entry without it (older ones) checks whatever drive is at the index.
std::string RestartEntry(const std::string& programPath, int driveIndex,
                         const std::string& newRevision, const std::string& identity = "");
// The drive's maker (8 bytes) and model (16 bytes), as INQUIRY reported them, written as 48
// hexadecimal digits: no blank or quote of a drive's name can reach the command line.
std::string DriveIdentity(const device::DriveRecord& record);
// Why RestartEntry cannot carry these (an empty path, an index outside 0-999, a revision that is
// not 1 to 8 visible ASCII characters without a quote, a backslash or a leading dash), or "" when
// it can: the check after the restart would then not run as asked.
std::string RestartEntryProblem(const std::string& programPath, int driveIndex,
                                const std::string& newRevision);

// A restart entry's parts, read back from exactly what RestartEntry writes.
struct RestartEntryParts {
    std::string programPath;
    int driveIndex = 0;
    std::string revision;
    std::string identity;  // empty for an entry of the older form
};
// nullopt unless `entry` is, byte for byte, what RestartEntry writes for carriable parts: a
// restart entry starts the check and nothing else.
std::optional<RestartEntryParts> ParseRestartEntry(const std::string& entry);
// Why the entry for this drive and revision could not be registered on this system, or "": asked
// before a flash, so a run whose check could not follow is refused while the drive is untouched.
std::string RestartCheckProblem(int driveIndex, const std::string& newRevision,
                                const std::string& identity = "");
// Writes the entry under the local machine's RunOnce key; nothing is said when the key cannot be
// written. An entry RestartEntry cannot carry is not written: the problem is returned.
std::string WriteRestartCheck(int driveIndex, const std::string& newRevision,
                              const std::string& identity = "");

struct CheckRequest {
    bool requested = false;  // the program was started for the check
    int driveIndex = -1;     // -1 when the index is not a number: no drive of the list
    std::string expected;    // trimmed of blanks
    std::string identity;    // the updated drive's DriveIdentity; empty: any drive at the index
};
// `parameters` as the program received them, parameter 0 being the program itself.
CheckRequest ParseCheckCommandLine(const std::vector<std::string>& parameters);

enum class CheckOutcome { Differs = 0, Matches = 1, NotListed = 2 };

struct CheckResult {
    CheckOutcome outcome = CheckOutcome::NotListed;
    std::string message;            // the result page's text
    std::vector<std::string> memo;  // why the check failed; empty when it passed
};

// Selects the drive in the engine's list and compares the revision this start found on it with
// the expected one. It passes exactly when that drive answers, runs a whole firmware and reports
// the expected revision, and is not of another maker or model than the package's entries name;
// the package's ranges are not applied.
CheckResult VerifyUpdate(UpdateEngine& engine, const CheckRequest& request);

}  // namespace engine
