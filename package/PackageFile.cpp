#include "package/PackageFile.h"

#include <cstdio>
#include <sstream>

#include "common/Crc32.h"
#include "common/Files.h"
#include "common/Text.h"
#include "package/Package.h"
#include "package/PackageBlock.h"
#include "package/PackageFlaws.h"
#include "package/Scramble.h"

namespace package {
namespace {

const char* const kLanguages[] = {"English", "Traditional Chinese", "Japanese"};

std::string OptionLines(const PackageOptions& o) {
    std::ostringstream s;
    auto yesNo = [](bool b) { return b ? "yes" : "no"; };
    const char* variants[] = {"standard (message boxes)", "custom dialogs", "OEM wizard"};
    s << "    1  uiVariant          " << o.uiVariant << "  "
      << (o.uiVariant >= 0 && o.uiVariant <= 2 ? variants[o.uiVariant] : "(no such variant)")
      << "\n";
    s << "    2  language           " << o.language << "  "
      << kLanguages[o.language == 1   ? 1
                    : o.language == 2 ? 2
                                      : 0]
      << "\n";
    s << "    4  warnNewer          " << yesNo(o.warnNewer) << "\n";
    s << "    5  checkTray          " << yesNo(o.checkTray) << "\n";
    s << "    6  commitVariant      " << yesNo(o.commitVariant) << "  (commit mode "
      << (o.commitVariant ? "0xA0" : "0x80") << ")\n";
    s << "    7  rebootAfterSuccess " << yesNo(o.rebootAfterSuccess) << "\n";
    s << "    8  unattended         " << yesNo(o.unattended) << "\n";
    s << "    9  exitWhenDone       " << yesNo(o.exitWhenDone) << "\n";
    s << "   10  noticeKind         " << o.noticeKind << "  "
      << (o.noticeKind == 1   ? "two-point notice"
          : o.noticeKind == 2 ? "three-point notice"
                              : "no notice")
      << "\n";
    s << "   11  imageCount         " << o.imageCount << "\n";
    s << "   12  directIde          " << yesNo(o.directIde)
      << (o.directIde ? "  (direct-IDE path)" : "  (SCSI pass-through)") << "\n";
    s << "   13  listMatchedOnly    " << yesNo(o.listMatchedOnly) << "\n";
    s << "   14  stayAfterSuccess   " << yesNo(o.stayAfterSuccess) << "\n";
    s << "   15  askBeforeReboot    " << yesNo(o.askBeforeReboot) << "\n";
    s << "   17  warnSame           " << yesNo(o.warnSame) << "\n";
    s << "   18  skipCurrent        " << yesNo(o.skipCurrent) << "\n";
    return s.str();
}

}  // namespace

std::vector<uint8_t> ReadProgramFile(const std::string& path) {
    std::string problem;
    auto bytes = common::ReadWholeFile(path, problem);
    if (!bytes) throw PackageFileError(path + " " + problem);
    return std::move(*bytes);
}

int64_t FindPackageBlock(const std::vector<uint8_t>& file, const std::string& path) {
    int64_t at = LocateBlock(file);
    if (at == -1) {
        throw PackageFileError(path +
                               " holds no package block (is it a Brenvo program that carries a "
                               "package?)");
    }
    if (at == -2)
        throw PackageFileError(path + " holds more than one package block; refusing to guess");
    return at;
}

std::vector<uint8_t> ReadPackageBlock(const std::string& path) {
    std::vector<uint8_t> file = ReadProgramFile(path);
    int64_t at = FindPackageBlock(file, path);
    return std::vector<uint8_t>(file.begin() + at, file.begin() + at + kBlockSize);
}

std::string DescribePackage(std::span<uint8_t> block, bool& usable) {
    Package p(block);
    ParseResult parsed = p.Parse();
    usable = parsed.ok();
    const PackageOptions& o = p.Options();
    std::ostringstream s;
    s << "  Title:         " << common::QuotedShown(p.Title()) << "\n";
    s << "  Drive name:    " << common::QuotedShown(p.DriveName()) << "\n";
    s << "  Build date:    " << p.BuildDate() << "\n";
    s << "  Credit tag:    " << common::QuotedShown(p.CreditTag()) << "\n";
    s << "  Tool tag:      " << common::QuotedShown(p.ToolTag()) << "\n";
    s << "  Version tag:   " << common::QuotedShown(p.VersionTag()) << "\n";
    s << "  Options:       " << p.OptionDigits() << "\n";
    if (parsed.problem != PackageProblem::BadOptionDigit) s << OptionLines(o);
    s << "  Long revisions: " << (p.LongRevisionMode() ? "yes" : "no") << "\n";
    for (int n = 1; n <= kMaxImages; ++n) {
        int32_t size = p.ImageSize(n);
        s << "  Image " << n << ": ";
        if (size == 0 && p.ImageStart(n) == 0) {
            s << "not carried (new revision " << common::QuotedShown(p.NewRevisionLabel(n))
              << ")\n";
        } else {
            s << "start " << p.ImageStart(n) << ", size " << size << ", new revision "
              << common::QuotedShown(p.NewRevisionLabel(n));
            if (p.ImageFits(n)) {
                std::vector<uint8_t> image = p.SelectImage(n - 1);
                UnscrambleImage(image, p.KeyTable(n));
                char crc[16];
                std::snprintf(crc, sizeof crc, "%08x", common::Crc32(image));
                s << ", crc32 " << crc << " (unscrambled, as the drive will hold it)\n";
            } else {
                s << ", OUTSIDE the image area\n";
            }
        }
        for (int e = 1; e <= kEntriesPerImage; ++e) {
            if (p.EntryIsPlaceholder(n, e)) continue;
            auto orAny = [](const std::string& t, const char* any) {
                return t.empty() ? std::string(any) : common::QuotedShown(t);
            };
            s << "    constraint " << e << ": revision " << orAny(p.EntryLow(n, e), "(any)")
              << " to " << orAny(p.EntryHigh(n, e), "(any)") << ", vendor "
              << orAny(p.EntryVendor(n, e), "(any)") << ", product "
              << orAny(p.EntryProduct(n, e), "(any)") << "\n";
        }
        if (p.EntryIsPlaceholder(n, 1) && n <= o.imageCount) {
            s << "    constraint 1 is an untouched placeholder: every drive matches this image\n";
        }
    }
    // A package an older packer let through can parse and still never update a drive.
    const std::vector<std::string> flaws =
        parsed.ok() ? PackageFlaws(p) : std::vector<std::string>{};
    for (const auto& flaw : flaws)
        s << "  Flaw: " << flaw << "\n";
    if (!flaws.empty()) {
        usable = false;
        s << "  No drive can be updated by this package: the packer that wrote it let through what "
             "brenvo-pack now refuses.\n";
    }
    if (parsed.problem == PackageProblem::NoImages) {
        s << "  The program would stop at start: it carries no firmware (image count 0).\n";
    } else if (!usable) {
        s << "  The program would refuse this package: " << parsed.message << "\n";
    }
    if (!parsed.notice.empty()) s << "  Note: " << parsed.notice << "\n";
    return s.str();
}

}  // namespace package
