#include "engine/ExitStatus.h"

namespace engine {

int StartExitStatus(StartEnd end) {
    switch (end) {
        case StartEnd::Ready:
            return kExitOk;
        case StartEnd::NoFirmware:
        case StartEnd::DamagedPackage:
            return kExitBadPackage;
        case StartEnd::DeviceFailed:
            return kExitFlashFailed;
        case StartEnd::AccessDenied:
        case StartEnd::NoticeDeclined:
        case StartEnd::DriveHeld:
            return kExitDeclined;
        case StartEnd::NoMatchingDrive:
            return kExitNoDrive;
        case StartEnd::NoFlashDriver:
            return kExitNoFlashDriver;
        case StartEnd::No64BitDriver:
            return kExitNo64BitDriver;
    }
    return kExitFlashFailed;
}

int RunExitStatus(const RunReport& run, bool questionUnanswered) {
    if (questionUnanswered) return kExitDeclined;
    switch (run.end) {
        case RunEnd::Succeeded:
            return kExitOk;
        case RunEnd::Failed:
            return kExitFlashFailed;
        case RunEnd::Unknown:
            return kExitOutcomeUnknown;
        case RunEnd::NoDrive:
            return kExitNoDrive;
        case RunEnd::Declined:
        case RunEnd::Stopped:
        case RunEnd::None:
            break;
    }
    return kExitDeclined;
}

int CheckExitStatus(CheckOutcome outcome) {
    return outcome == CheckOutcome::Matches ? kExitOk : kExitFlashFailed;
}

int ScriptExitStatus(StartEnd start, const RunReport& lastRun, bool questionUnanswered) {
    if (start != StartEnd::Ready)
        return questionUnanswered ? kExitDeclined : StartExitStatus(start);
    // No run at all (RunEnd::None) refuses as well.
    return RunExitStatus(lastRun, questionUnanswered);
}

int ScriptOutcome::Status(StartEnd start, const RunReport& lastRun) const {
    return check ? CheckExitStatus(*check) : ScriptExitStatus(start, lastRun, questionUnanswered);
}

bool ScriptNeedsNobody(const package::PackageOptions& options,
                       const std::vector<std::string>& commandLine) {
    return options.unattended ||
           (options.uiVariant == 2 && ParseCheckCommandLine(commandLine).requested);
}

}  // namespace engine
