#include "cli/RunReport.h"

#include <ostream>

namespace cli {

std::string UpToDateText(const engine::DriveResult& drive) {
    return "already " + drive.oldRevision +
           (drive.oldRevision == drive.packageRevision
                ? ""
                : ", newer than the package's " + drive.packageRevision) +
           ": not flashed (--force flashes it all the same)";
}

int ReportRun(const engine::RunReport& run, bool unanswered, std::ostream& out, std::ostream& err) {
    bool anyFlashed = false;
    for (const auto& d : run.upToDate)
        out << d.line << "\n    " << UpToDateText(d) << "\n";
    for (const auto& d : run.drives) {
        out << d.line << "\n    before " << d.oldRevision << ", package " << d.packageRevision;
        switch (d.outcome) {
            case engine::DriveOutcome::NotFlashed:
                out << (run.end == engine::RunEnd::Declined
                            ? ": not flashed"
                            : ": not flashed, the run stopped before its turn");
                break;
            case engine::DriveOutcome::Failed:
                out << ": the flash failed";
                break;
            case engine::DriveOutcome::Unknown:
                out << (d.stoppedAnswering
                            ? ": the drive stopped answering, its state is unknown"
                            : ": the drive did not confirm its commit in time, the outcome is "
                              "unknown");
                break;
            case engine::DriveOutcome::Flashed:
                anyFlashed = true;
                if (run.recovery) out << ": recovered";
                break;
        }
        if (d.outcome != engine::DriveOutcome::NotFlashed) {
            if (d.answered) {
                out << ", now " << d.revisionAfter;
            } else {
                out << ", now: the drive did not answer";
            }
        }
        out << "\n";
        if (d.inBootLoader && d.outcome != engine::DriveOutcome::NotFlashed)
            out << "    The drive runs its boot loader: the firmware in its flash is not whole.\n";
        if (run.recovery && d.outcome == engine::DriveOutcome::Failed && !d.inBootLoader)
            out << "    The drive did not come back with the image's revision: it was not "
                   "recovered.\n";
        if (run.end == engine::RunEnd::Succeeded && d.answered &&
            d.revisionAfter != d.packageRevision) {
            out << "    Note: the drive reports " << d.revisionAfter
                << ", not the package's revision " << d.packageRevision
                << "; on some drives the new revision shows only after a restart.\n";
        }
    }
    const int status = engine::RunExitStatus(run, unanswered);
    if (unanswered) return status;
    switch (status) {
        case kExitOk:
        case kExitFlashFailed:
            break;
        case kExitOutcomeUnknown:
            err << "brenvo-cli: the outcome of the update is unknown\n";
            break;
        case kExitNoDrive:
            err << "brenvo-cli: no drive to update\n";
            break;
        default:
            err << (anyFlashed ? "brenvo-cli: not every chosen drive was flashed\n"
                               : "brenvo-cli: nothing was flashed\n");
            break;
    }
    return status;
}

}  // namespace cli
