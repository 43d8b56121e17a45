// A drive left in its boot loader by a cut flash, and whether this package may bring it back.
// Ordinary matching never takes such a drive (it cannot say which firmware it ran); only an
// explicit recovery run, asked for by the user, writes to it.
#pragma once

#include <string>
#include <vector>

#include "device/DriveRecord.h"
#include "package/Package.h"

namespace engine {

// The drive shows both signs of its own loader: revision "0000" and FLASH INCOMPLETE. A drive
// showing only one of them is another maker's loader, or no loader at all.
bool ShowsBothLoaderSigns(const device::DriveRecord& record);

enum class RecoveryVerdict {
    NotInLoader,  // the drive runs a whole firmware: nothing to recover
    Recoverable,  // exactly one image names the drive's maker and model
    OneSignOnly,  // in a loader, but not showing both of its signs
    NotNamed,     // no image names the drive's maker and model
    Ambiguous,    // more than one image names them
    Unattended,   // the package updates without asking: it never recovers
};

struct RecoveryFinding {
    RecoveryVerdict verdict = RecoveryVerdict::NotInLoader;
    int imageIndex = -1;      // the image (0-based) to flash, when Recoverable
    std::vector<int> images;  // every image (0-based) that names the drive
};

// Whether `record` may be recovered with this package, and with which image. An entry counts
// only when it names the drive's exact maker and model: an empty maker or model never does.
RecoveryFinding FindRecovery(const device::DriveRecord& record, const package::Package& package);

// What the user is told about a drive in its loader: how to recover it, or why this package
// cannot. `item` is its number in the list. Empty for a drive not in its loader.
std::string LoaderDriveText(const RecoveryFinding& finding, int item);

// What the windows' start-up offers: when no drive may be updated but one may be recovered, the
// first such drive and its image. The question is DialogId::Recover, focus and default on No.
struct RecoveryOffer {
    bool offer = false;
    int drive = -1;  // index into `drives`
    int imageIndex = -1;
};
RecoveryOffer OfferRecovery(const std::vector<const device::DriveRecord*>& drives,
                            const package::Package& package);

}  // namespace engine
