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
    // The check asks one thing: does the drive at that index now report the revision expected?
    // The package's ranges choose drives to update; after its update a drive has normally left
    // them, so they are not applied here.
    CheckResult result;
    result.outcome = CheckOutcome::Differs;
    result.message = kFailureText;
    const int items = static_cast<int>(engine.ListLines().size());
    // The revision comes from the command line and the found one from the drive: both are shown
    // escaped, and compared as they are.
    const std::string expected =
        "the expected version(" + common::ShownText(request.expected) + ").";
    if (request.driveIndex < 0 || request.driveIndex >= items) {
        result.outcome = CheckOutcome::NotListed;
        result.memo = {"The drive list has no drive " +
                           (request.driveIndex < 0 ? std::string("at the index given")
                                                   : std::to_string(request.driveIndex)) +
                           " (it has " + std::to_string(items) + " drives),",
                       "so no drive could be compared with", expected};
        return result;
    }
    engine.DrivesChange(request.driveIndex);
    // What the drive at that index reports now, not what the revision label kept from another
    // drive.
    const device::DriveRecord* record = engine.ListedDrive(request.driveIndex);
    const bool answered = record && record->present &&
                          (record->vendor[0] || record->product[0] || record->revision[0]);
    const std::string at = "The drive at index " + std::to_string(request.driveIndex);
    if (!answered) {
        result.memo = {at + " did not answer, so its",
                       "firmware version could not be compared with", expected};
        return result;
    }
    if (!OfPackageFamily(*record, engine.Package())) {
        result.memo = {at + " is a " + common::TrimBlanks(ShownField(record->idText)) + ",",
                       "not a drive this package updates."};
        return result;
    }
    const std::string found = common::TrimBlanks(DriveRevision(*record, engine.Form()));
    if (InBootLoader(*record)) {
        result.memo = {
            "The drive reports " + ShownField(record->revision) + ": it runs its boot loader,",
            "the firmware in its flash is not whole and does", "not match " + expected};
        return result;
    }
    if (found != request.expected) {
        result.memo = {
            "The firmware version reported by the drive " + common::ShownText(found) + " does",
            "not match " + expected};
        return result;
    }
    result.outcome = CheckOutcome::Matches;
    result.message = kSuccessText;
    return result;
}

}  // namespace engine
