// Which drives the package may update, and how the drive list shows them.
#pragma once

#include <string>

#include "common/Text.h"
#include "device/DriveRecord.h"
#include "package/Package.h"

namespace engine {

// Revisions compare in their long form (the drive tag, the whole NEW_FW value) only when the
// package carries long revisions and the drives are reached by SCSI pass-through.
struct RevisionForm {
    bool longRevisionMode = false;  // the package's process-wide flag
    bool passThrough = true;        // false on the direct-IDE path
    bool Long() const { return longRevisionMode && passThrough; }
};

// The drive revision of a record: its 4-character revision, or its drive tag trimmed of blanks.
std::string DriveRevision(const device::DriveRecord& record, RevisionForm form);

// Collation of revision characters as the user locale sorts them: symbols, then digits, then
// letters alphabetically with the lower case first. -1, 0 or 1.
int CollateCompare(const std::string& a, const std::string& b);

// Writes matched, imageIndex, driveNewer and sameRevision of one record. A drive in its boot
// loader is never matched (see engine/Recovery.h).
void MatchDrive(device::DriveRecord& record, const package::Package& package, RevisionForm form);

// The drive is one the package's entries name by maker and model, whatever its revision: a drive
// of the family, before or after its update.
bool OfPackageFamily(const device::DriveRecord& record, const package::Package& package);

// The drive runs its boot loader instead of a whole firmware: it reports revision "0000", or
// says that its flash is incomplete.
bool InBootLoader(const device::DriveRecord& record);

// The matched drive already holds the revision its image installs, or a newer one, whether or
// not the package warns about it.
bool HoldsSameOrNewer(const device::DriveRecord& record, const package::Package& package,
                      RevisionForm form);

// The revision comparison of a matched drive: sets driveNewer (only with warnNewer) or
// sameRevision.
void CompareRevisions(device::DriveRecord& record, const std::string& driveRevision,
                      const std::string& newRevision, bool longRevisionMode, bool warnNewer);

// One line of the drive list: "%2d-%d-%d-%d %.2s%24s %4s" (or "%8s" with the drive tag).
std::string DriveLine(const device::DriveRecord& record, RevisionForm form);

// The texts the main window and the console show, by language (1 Traditional Chinese,
// 2 Japanese, else English).
std::string RefusalText(int language);
std::string AnnouncementText(int language);
std::string NoMatchReport(int language, const std::string& driveName,
                          const std::string& driveListText);

// The text of a fixed-width record field (stops at the first zero).
template <size_t N>
std::string FieldText(const char (&field)[N]) {
    size_t n = 0;
    while (n < N && field[n] != 0)
        ++n;
    return std::string(field, n);
}

// The same text as a screen, a window or a log shows it (common::ShownText). The record keeps
// the bytes the drive answered, which the matching compares; whatever shows a drive's identity
// takes it through here, since a drive (or a bench) may answer with terminal controls.
template <size_t N>
std::string ShownField(const char (&field)[N]) {
    return common::ShownText(FieldText(field));
}

}  // namespace engine
