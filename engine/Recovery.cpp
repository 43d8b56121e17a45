#include "engine/Recovery.h"

#include "common/Text.h"
#include "engine/DriveList.h"

namespace engine {
namespace {

constexpr char kLoaderRevision[] = "0000";
constexpr char kLoaderText[] = "FLASH INCOMPLETE";

using common::Head;

// The entry names this maker and model, both of them, exactly as the drive reports them.
bool NamesDrive(const package::Package& package, int image, int entry,
                const device::DriveRecord& record) {
    if (package.EntryIsPlaceholder(image, entry)) return false;
    const std::string vendor = Head(package.EntryVendor(image, entry), 8);
    const std::string product = Head(package.EntryProduct(image, entry), 16);
    if (common::TrimBlanks(vendor).empty() || common::TrimBlanks(product).empty()) return false;
    return vendor == Head(FieldText(record.vendor), 8) &&
           product == Head(FieldText(record.product), 16);
}

}  // namespace

bool ShowsBothLoaderSigns(const device::DriveRecord& record) {
    return Head(FieldText(record.revision), 4) == kLoaderRevision &&
           FieldText(record.vendorSpecific).rfind(kLoaderText, 0) == 0;
}

RecoveryFinding FindRecovery(const device::DriveRecord& record, const package::Package& package) {
    RecoveryFinding finding;
    if (!record.present || !InBootLoader(record)) return finding;
    for (int k = 0; k < package.Options().imageCount; ++k) {
        for (int e = 0; e < package::kEntriesPerImage; ++e) {
            if (NamesDrive(package, k + 1, e + 1, record)) {
                finding.images.push_back(k);
                break;
            }
        }
    }
    if (!ShowsBothLoaderSigns(record)) {
        finding.verdict = RecoveryVerdict::OneSignOnly;
    } else if (finding.images.empty()) {
        finding.verdict = RecoveryVerdict::NotNamed;
    } else if (finding.images.size() > 1) {
        finding.verdict = RecoveryVerdict::Ambiguous;
    } else if (package.Options().unattended) {
        finding.verdict = RecoveryVerdict::Unattended;
    } else {
        finding.verdict = RecoveryVerdict::Recoverable;
        finding.imageIndex = finding.images.front();
    }
    return finding;
}

std::string LoaderDriveText(const RecoveryFinding& f, int item) {
    const std::string head = "in its boot loader (a flash was cut short): ";
    switch (f.verdict) {
        case RecoveryVerdict::NotInLoader:
            return "";
        case RecoveryVerdict::Recoverable:
            return head + "this package can recover it with image " +
                   std::to_string(f.imageIndex + 1) + " (brenvo-cli update --recover --drive " +
                   std::to_string(item) + ")";
        case RecoveryVerdict::OneSignOnly:
            return head +
                   "this package cannot recover it: it does not report both revision 0000 and "
                   "FLASH INCOMPLETE, so it is not known which drive's loader this is";
        case RecoveryVerdict::NotNamed:
            return head +
                   "this package cannot recover it: none of its images names this drive's maker "
                   "and model; only the maker's package for this drive can";
        case RecoveryVerdict::Ambiguous: {
            std::string images;
            for (int k : f.images)
                images += (images.empty() ? "" : " and ") + std::to_string(k + 1);
            return head + "this package cannot recover it: images " + images +
                   " both name this drive's maker and model, and the drive cannot say which "
                   "one it ran";
        }
        case RecoveryVerdict::Unattended:
            return head +
                   "this package cannot recover it: it updates without asking, and a drive is "
                   "recovered only when someone asks for it";
    }
    return "";
}

RecoveryOffer OfferRecovery(const std::vector<const device::DriveRecord*>& drives,
                            const package::Package& package) {
    RecoveryOffer offer;
    for (const device::DriveRecord* r : drives) {
        if (r && r->present && r->matched) return offer;  // there is a drive to update
    }
    for (int i = 0; i < static_cast<int>(drives.size()); ++i) {
        if (!drives[i]) continue;
        RecoveryFinding f = FindRecovery(*drives[i], package);
        if (f.verdict == RecoveryVerdict::Recoverable) {
            offer = {true, i, f.imageIndex};
            return offer;
        }
    }
    return offer;
}

}  // namespace engine
