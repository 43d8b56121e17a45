#include "engine/DriveList.h"

#include <cstdio>

#include "common/Text.h"

namespace engine {
namespace {

// Characters are counted from 1; a position beyond the end of a text yields the empty text.
std::string CharAt(const std::string& text, size_t position) {
    return position >= 1 && position <= text.size() ? text.substr(position - 1, 1) : "";
}

using common::Head;

int CollationKey(unsigned char c) {
    if (c >= '0' && c <= '9') return 1000 + (c - '0');
    if (c >= 'a' && c <= 'z') return 2000 + 2 * (c - 'a');
    if (c >= 'A' && c <= 'Z') return 2000 + 2 * (c - 'A') + 1;
    if (c < 0x80) return c;  // blanks, punctuation and symbols sort first
    return 3000 + c;
}

// The byte-order range test: shorter text first on a common prefix.
bool Below(const std::string& a, const std::string& b) {
    return a.compare(b) < 0;
}

}  // namespace

std::string DriveRevision(const device::DriveRecord& record, RevisionForm form) {
    if (form.Long()) return common::TrimBlanks(FieldText(record.driveTag));
    return Head(FieldText(record.revision), 4);
}

int CollateCompare(const std::string& a, const std::string& b) {
    for (size_t i = 0; i < a.size() && i < b.size(); ++i) {
        int ka = CollationKey(static_cast<unsigned char>(a[i]));
        int kb = CollationKey(static_cast<unsigned char>(b[i]));
        if (ka != kb) return ka < kb ? -1 : 1;
    }
    if (a.size() == b.size()) return 0;
    return a.size() < b.size() ? -1 : 1;
}

void CompareRevisions(device::DriveRecord& record, const std::string& r, const std::string& n,
                      bool longRevisionMode, bool warnNewer) {
    auto newer = [&] {
        if (warnNewer) record.driveNewer = 1;
    };
    if (CharAt(r, 1) != CharAt(n, 1) || CharAt(r, 2) != CharAt(n, 2)) return;
    if (CharAt(r, 3) == CharAt(n, 3)) {
        int fourth = CollateCompare(CharAt(r, 4), CharAt(n, 4));
        if (fourth > 0) {
            newer();
        } else if (fourth == 0) {
            if (longRevisionMode && r.size() >= 6 && n.size() >= 6) {
                int sixth = CollateCompare(CharAt(r, 6), CharAt(n, 6));
                if (sixth > 0) newer();
                if (sixth == 0) record.sameRevision = 1;
            } else {
                record.sameRevision = 1;
            }
        }
        return;
    }
    auto isDigit = [](const std::string& c) { return c.size() == 1 && c[0] >= '0' && c[0] <= '9'; };
    if (isDigit(CharAt(r, 3)) && isDigit(CharAt(n, 3)) &&
        CollateCompare(r.substr(2, 2), n.substr(2, 2)) > 0) {
        newer();
    }
}

namespace {
// Walks the package's constraint entries in order and hands `take` the image k (0-based) of each
// entry that names the drive's maker and model and, with `applyRanges`, takes its revision; the
// walk stops when `take` returns true.
template <typename Take>
void WalkEntries(const device::DriveRecord& record, const package::Package& package,
                 RevisionForm form, bool applyRanges, Take take) {
    const std::string revision = DriveRevision(record, form);
    const std::string vendor = Head(FieldText(record.vendor), 8);
    const std::string product = Head(FieldText(record.product), 16);
    auto bound = [&](const std::string& text) {
        return form.Long() ? common::TrimBlanks(text) : Head(text, 4);
    };
    for (int k = 0; k < package.Options().imageCount; ++k) {
        for (int e = 0; e < package::kEntriesPerImage; ++e) {
            const std::string low = bound(package.EntryLow(k + 1, e + 1));
            const std::string high = bound(package.EntryHigh(k + 1, e + 1));
            const std::string entryVendor = Head(package.EntryVendor(k + 1, e + 1), 8);
            const std::string entryProduct = Head(package.EntryProduct(k + 1, e + 1), 16);
            bool matches;
            if (e == 0 && Head(low, 4) == "#FLS" && CharAt(entryVendor, 1) == "#" &&
                CharAt(high, 1) == "#" && CharAt(entryProduct, 1) == "#") {
                matches = true;  // an untouched first entry takes every drive
            } else {
                matches = (entryVendor.empty() || entryVendor == vendor) &&
                          (entryProduct.empty() || entryProduct == product) &&
                          (!applyRanges || ((low.empty() || !Below(revision, low)) &&
                                            (high.empty() || !Below(high, revision))));
            }
            if (matches && take(k)) return;
        }
    }
}
}  // namespace

bool OfPackageFamily(const device::DriveRecord& record, const package::Package& package) {
    bool family = false;
    if (!record.present) return false;
    WalkEntries(record, package, RevisionForm{}, false, [&](int) { return family = true; });
    return family;
}

bool InBootLoader(const device::DriveRecord& record) {
    return Head(FieldText(record.revision), 4) == "0000" ||
           FieldText(record.vendorSpecific).rfind("FLASH INCOMPLETE", 0) == 0;
}

bool HoldsSameOrNewer(const device::DriveRecord& record, const package::Package& package,
                      RevisionForm form) {
    if (!record.matched) return false;
    device::DriveRecord compared = record;
    compared.driveNewer = 0;
    compared.sameRevision = 0;
    CompareRevisions(compared, DriveRevision(record, form),
                     package.NewRevision(record.imageIndex + 1, form.Long()),
                     package.LongRevisionMode(), true);
    return compared.driveNewer || compared.sameRevision;
}

void MatchDrive(device::DriveRecord& record, const package::Package& package, RevisionForm form) {
    record.matched = 0;
    // A drive in its boot loader cannot say which firmware it ran: whatever the ranges, only an
    // explicit recovery run writes to it.
    if (!record.present || InBootLoader(record)) return;
    const std::string revision = DriveRevision(record, form);
    const auto& options = package.Options();
    WalkEntries(record, package, form, true, [&](int k) {
        record.matched = 1;
        record.imageIndex = static_cast<int16_t>(k);
        record.driveNewer = 0;
        record.sameRevision = 0;
        CompareRevisions(record, revision, package.NewRevision(k + 1, form.Long()),
                         package.LongRevisionMode(), options.warnNewer);
        return true;
    });
}

std::string DriveLine(const device::DriveRecord& r, RevisionForm form) {
    char line[160];
    const std::string root = FieldText(r.rootPath);
    const std::string name = ShownField(r.idText);
    if (form.Long()) {
        std::snprintf(line, sizeof line, "%2d-%d-%d-%d %.2s%24s %8s", r.adapter, r.path, r.target,
                      r.lun, root.c_str(), name.c_str(), ShownField(r.driveTag).c_str());
    } else {
        std::snprintf(line, sizeof line, "%2d-%d-%d-%d %.2s%24s %4s", r.adapter, r.path, r.target,
                      r.lun, root.c_str(), name.c_str(), ShownField(r.revision).c_str());
    }
    return line;
}

std::string RefusalText(int language) {
    if (language == 1) return "您所選擇這台光碟機並不允許被更新韌體 !";
    if (language == 2) return "このドライブをアップデートすることができません。";
    return "This drive is not allowed to be updated.";
}

std::string AnnouncementText(int language) {
    if (language == 1) return "光碟機韌體將被更新 , 從";
    if (language == 2) return "ファームウェアをアップデートします。";
    return "It will be updated from";
}

std::string NoMatchReport(int language, const std::string& driveName, const std::string& list) {
    if (language == 1) {
        return "找不到符合條件的光碟機 !\n這個更新程式只適用於 " + driveName +
               " 這個型號的光碟機.\n\nDetected drives :\n" + list;
    }
    if (language == 2) {
        return "正しいドライブが見つかりません。このアップデートプログラムは " + driveName + " " +
               "ドライブにしか使用できません。" + "\n\n" + "下記のドライブが見付かりました。" +
               "\n" + list;
    }
    return "No matched drive detected !\nThis utility is only for " + driveName +
           " drive.\n\nDetected drives :\n" + list;
}

}  // namespace engine
