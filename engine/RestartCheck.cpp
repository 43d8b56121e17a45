#include "engine/RestartCheck.h"

#include "common/Text.h"
#include "engine/DriveList.h"
#include "engine/UpdateEngine.h"
#include "platform/System.h"

namespace engine {
namespace {
constexpr char kSuccessText[] = "The firmware update was successful.";
constexpr char kFailureText[] =
    "Firmware update failed.\n    \nThe firmware update program could not verify that\nthe "
    "selected drive has been properly updated.";
// The revision a drive reports while its boot loader runs in place of a firmware.
constexpr char kLoaderRevision[] = "0000";
}  // namespace

std::string RestartEntry(const std::string& programPath, int driveIndex,
                         const std::string& newRevision) {
    return "\"" + programPath + "\" /QVCHECK " + std::to_string(driveIndex) + " " + newRevision;
}

void WriteRestartCheck(int driveIndex, const std::string& newRevision) {
    auto& system = platform::CurrentSystem();
    system.SetRegistryString(platform::RegistryRoot::LocalMachine, kRunOnceKey, kRestartValueName,
                             RestartEntry(system.ModuleFileName(), driveIndex, newRevision));
}

CheckRequest ParseCheckCommandLine(const std::vector<std::string>& parameters) {
    CheckRequest request;
    if (parameters.size() != 4 || parameters[1] != kCheckSwitch) return request;
    request.requested = true;
    const std::string& index = parameters[2];
    // An index that is not a number names no drive of the list.
    bool numeric = !index.empty() && index.size() <= 9 &&
                   index.find_first_not_of("0123456789") == std::string::npos;
    request.driveIndex = numeric ? std::stoi(index) : -1;
    request.expected = common::TrimBlanks(parameters[3]);
    return request;
}

CheckResult VerifyUpdate(UpdateEngine& engine, const CheckRequest& request) {
    CheckResult result;
    const int items = static_cast<int>(engine.ListLines().size());
    if (request.driveIndex < 0 || request.driveIndex >= items) {
        result.outcome = CheckOutcome::NotListed;
        result.message = kFailureText;
        return result;
    }
    engine.DrivesChange(request.driveIndex);
    // What the drive at that index reports now, not what the revision label kept from another
    // drive: a drive the package does not match, or one running its boot loader ("0000"), has
    // not been updated by this package.
    const device::DriveRecord* record = engine.ListedDrive(request.driveIndex);
    const std::string found =
        record && record->present ? common::TrimBlanks(DriveRevision(*record, engine.Form())) : "";
    if (record && record->present && record->matched && found != kLoaderRevision &&
        found == request.expected) {
        result.outcome = CheckOutcome::Matches;
        result.message = kSuccessText;
        return result;
    }
    result.outcome = CheckOutcome::Differs;
    result.message = kFailureText;
    result.memo = {"The firmware version reported by the drive " + found + " does",
                   "not match the expected version(" + request.expected + ")."};
    return result;
}

}  // namespace engine
