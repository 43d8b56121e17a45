#include "tools/pack/Packer.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <ostream>
#include <sstream>
#include <vector>

#include "common/Crc32.h"
#include "common/Files.h"
#include "common/JsonFields.h"
#include "common/NewFile.h"
#include "common/Text.h"
#include "common/WideText.h"
#include "directide/RurDriver.h"
#include "engine/Downloads.h"
#include "package/Package.h"
#include "package/PackageChecksum.h"
#include "package/Scramble.h"

namespace pack {
namespace {
namespace fs = std::filesystem;
using namespace package;

std::string Digits(int64_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "%010lld", static_cast<long long>(value));
    return text;
}

struct Placement {
    int64_t start;
    int64_t size;
};

std::vector<Placement> PlaceImages(const Manifest& m) {
    std::vector<Placement> placed;
    int64_t next = 0;
    for (size_t i = 0; i < m.images.size(); ++i) {
        const auto& image = m.images[i];
        Placement p{image.start.value_or(next), static_cast<int64_t>(image.data.size())};
        if (p.start + p.size > static_cast<int64_t>(kImageAreaSize)) {
            throw PackError("image " + std::to_string(i + 1) + " (" + image.file + ", " +
                            std::to_string(p.size) + " bytes at " + std::to_string(p.start) +
                            ") does not fit in the 2 MiB image area (2097152 bytes)");
        }
        for (size_t j = 0; j < placed.size(); ++j) {
            const auto& q = placed[j];
            if (p.start < q.start + q.size && q.start < p.start + p.size) {
                throw PackError("image " + std::to_string(i + 1) + " (bytes " +
                                std::to_string(p.start) + " to " +
                                std::to_string(p.start + p.size - 1) + ") overlaps image " +
                                std::to_string(j + 1) + " (bytes " + std::to_string(q.start) +
                                " to " + std::to_string(q.start + q.size - 1) + ")");
            }
        }
        placed.push_back(p);
        next = p.start + p.size;
    }
    return placed;
}

// True when both names reach one file (the same path spelt otherwise, or a link to it).
bool SameFile(const std::string& a, const std::string& b) {
    std::error_code ecA, ecB;
    const fs::path fileA = common::FilePath(a), fileB = common::FilePath(b);
    if (fs::equivalent(fileA, fileB, ecA)) return true;
    fs::path pathA = fs::weakly_canonical(fileA, ecA), pathB = fs::weakly_canonical(fileB, ecB);
    return !ecA && !ecB && pathA == pathB;
}

std::vector<uint8_t> ReadAll(const std::string& path) {
    std::string problem;
    auto bytes = common::ReadWholeFile(path, problem);
    if (!bytes) throw PackError(path + " " + problem);
    return std::move(*bytes);
}

int64_t FindBlock(const std::vector<uint8_t>& file, const std::string& path) {
    int64_t at = LocateBlock(file);
    if (at == -1) {
        throw PackError(path +
                        " holds no package block (is it a Brenvo program that carries a "
                        "package?)");
    }
    if (at == -2) throw PackError(path + " holds more than one package block; refusing to guess");
    return at;
}

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

// A text of the block in quotes; the constraint texts are read as they are (they decide the
// matching), so they are escaped here before they reach the terminal.
std::string Quoted(const std::string& text) {
    return "\"" + common::ShownText(text) + "\"";
}

}  // namespace

std::vector<std::string> TransferWarnings(const Manifest& m) {
    std::vector<std::string> warnings;
    const bool directIde = m.options.size() > 11 && m.options[11] != '0';
    for (size_t i = 0; i < m.images.size(); ++i) {
        const size_t size = m.images[i].data.size();
        std::string image = "image " + std::to_string(i + 1) + " (" + m.images[i].file + ", " +
                            std::to_string(size) + " bytes)";
        if (directIde) {
            if (size > directide::kMaxFlashImageSize) {
                warnings.push_back(image + " is larger than the 1 MiB the direct-IDE path flashes");
            }
        } else if (size != engine::kBankImageSize && (size % engine::kVerifiedChunkSize != 0 ||
                                                      size > engine::kLargestVerifiedImage)) {
            warnings.push_back(
                image +
                " is not a whole number of 2048-byte chunks (up to 16 MiB); the program "
                "will refuse to send it");
        }
    }
    return warnings;
}

void WritePackage(const Manifest& m, std::span<uint8_t> block) {
    auto placed = PlaceImages(m);
    WriteUnpackagedBlock(block);
    SetFieldText(block, kCreditOffset, kCreditSize, m.creditTag);
    SetFieldText(block, kToolTagOffset, kToolTagSize, m.toolTag);
    SetFieldText(block, kTitleOffset, kTitleSize, m.title);
    SetFieldText(block, kBuildDateOffset, kBuildDateSize, m.buildDate);
    SetFieldText(block, kVersionTagOffset, kVersionTagSize, m.versionTag);
    SetFieldText(block, kDriveNameOffset, kDriveNameSize, m.driveName);
    std::copy(m.options.begin(), m.options.end(), block.begin() + kParaOptOffset + 9);
    for (size_t i = 0; i < m.images.size(); ++i) {
        const int n = static_cast<int>(i) + 1;
        const auto& image = m.images[i];
        std::string start = Digits(placed[i].start), size = Digits(placed[i].size);
        std::copy(start.begin(), start.end(), block.begin() + BinStartValueOffset(n));
        std::copy(size.begin(), size.end(), block.begin() + BinSizeValueOffset(n));
        SetFieldText(block, NewFwValueOffset(n), kNewFwValueSize, image.newRevision);
        std::copy(image.key.begin(), image.key.end(), block.begin() + KeyTableOffset(n));
        auto stored = block.subspan(kImageAreaOffset + placed[i].start, image.data.size());
        std::copy(image.data.begin(), image.data.end(), stored.begin());
        UnscrambleImage(stored, image.key);
        for (size_t e = 0; e < image.constraints.size(); ++e) {
            const auto& c = image.constraints[e];
            size_t at = EntryOffset(n, static_cast<int>(e) + 1);
            SetFieldText(block, at + kEntryLowOffset, kEntryLowSize, c.low);
            SetFieldText(block, at + kEntryHighOffset, kEntryHighSize, c.high);
            SetFieldText(block, at + kEntryVendorOffset, kEntryVendorSize, c.vendor);
            SetFieldText(block, at + kEntryProductOffset, kEntryProductSize, c.product);
        }
    }
    // Option digits 19-32 carry the checksum start-up checks the package against.
    StampChecksum(block);
}

std::string VerifyPackage(const Manifest& m, std::span<const uint8_t> written) {
    std::vector<uint8_t> copy(written.begin(), written.end());
    Package p(copy);
    ParseResult parsed = p.Parse();
    if (!parsed.ok() && !(m.images.empty() && parsed.problem == PackageProblem::NoImages)) {
        return "the written package does not parse: " + parsed.message;
    }
    if (p.Title() != m.title || p.DriveName() != m.driveName ||
        p.OptionDigits().substr(0, kChecksumFirstDigit - 1) !=
            m.options.substr(0, kChecksumFirstDigit - 1) ||
        CheckChecksum(written) != ChecksumState::Matches || p.BuildDate() != m.buildDate ||
        p.CreditTag() != m.creditTag || p.ToolTag() != m.toolTag ||
        p.VersionTag() != m.versionTag) {
        return "the texts or options read back differ from the manifest";
    }
    for (size_t i = 0; i < m.images.size(); ++i) {
        const int n = static_cast<int>(i) + 1;
        const auto& image = m.images[i];
        std::vector<uint8_t> stored = p.SelectImage(static_cast<int>(i));
        UnscrambleImage(stored, p.KeyTable(n));
        if (stored != image.data) return "image " + std::to_string(n) + " reads back differently";
        if (p.NewRevisionLabel(n) != image.newRevision) {
            return "the new revision of image " + std::to_string(n) + " reads back differently";
        }
        for (size_t e = 0; e < image.constraints.size(); ++e) {
            const auto& c = image.constraints[e];
            int entry = static_cast<int>(e) + 1;
            if (p.EntryLow(n, entry) != c.low || p.EntryHigh(n, entry) != c.high ||
                p.EntryVendor(n, entry) != c.vendor || p.EntryProduct(n, entry) != c.product) {
                return "constraint " + std::to_string(entry) + " of image " + std::to_string(n) +
                       " reads back differently";
            }
        }
    }
    return "";
}

std::string DescribePackage(std::span<uint8_t> block, bool& usable) {
    Package p(block);
    ParseResult parsed = p.Parse();
    usable = parsed.ok();
    const PackageOptions& o = p.Options();
    std::ostringstream s;
    s << "  Title:         " << Quoted(p.Title()) << "\n";
    s << "  Drive name:    " << Quoted(p.DriveName()) << "\n";
    s << "  Build date:    " << p.BuildDate() << "\n";
    s << "  Credit tag:    " << Quoted(p.CreditTag()) << "\n";
    s << "  Tool tag:      " << Quoted(p.ToolTag()) << "\n";
    s << "  Version tag:   " << Quoted(p.VersionTag()) << "\n";
    s << "  Options:       " << p.OptionDigits() << "\n";
    if (parsed.problem != PackageProblem::BadOptionDigit) s << OptionLines(o);
    s << "  Long revisions: " << (p.LongRevisionMode() ? "yes" : "no") << "\n";
    for (int n = 1; n <= kMaxImages; ++n) {
        int32_t size = p.ImageSize(n);
        s << "  Image " << n << ": ";
        if (size == 0 && p.ImageStart(n) == 0) {
            s << "not carried (new revision " << Quoted(p.NewRevisionLabel(n)) << ")\n";
        } else {
            s << "start " << p.ImageStart(n) << ", size " << size << ", new revision "
              << Quoted(p.NewRevisionLabel(n));
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
                return t.empty() ? std::string(any) : Quoted(t);
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
    if (parsed.problem == PackageProblem::NoImages) {
        s << "  The program would stop at start: it carries no firmware (image count 0).\n";
    } else if (!usable) {
        s << "  The program would refuse this package: " << parsed.message << "\n";
    }
    if (!parsed.notice.empty()) s << "  Note: " << parsed.notice << "\n";
    return s.str();
}

std::vector<uint8_t> ReadPackageBlock(const std::string& path) {
    std::vector<uint8_t> file = ReadAll(path);
    int64_t at = FindBlock(file, path);
    return std::vector<uint8_t>(file.begin() + at, file.begin() + at + kBlockSize);
}

int PackExecutable(const std::string& manifestPath, const std::string& input,
                   const std::string& output, std::ostream& out, std::ostream& err) {
    common::NewFile copy;
    try {
        if (SameFile(input, output)) {
            throw PackError("the output " + output +
                            " is the input program itself; name another file for the packaged "
                            "copy");
        }
        // Only a regular file is replaced: never a device, a folder or the target of a link.
        if (std::string what = common::NotReplaceable(output); !what.empty())
            throw PackError("the output " + output + " " + what);
        if (SameFile(manifestPath, output))
            throw PackError("the output " + output + " is the manifest; name another file");
        Manifest manifest = LoadManifest(manifestPath);
        const fs::path folder = common::FilePath(manifestPath).parent_path();
        for (const auto& image : manifest.images) {
            for (const std::string& used : {image.file, image.keyFile}) {
                if (SameFile(common::PathText(folder / common::FilePath(used)), output))
                    throw PackError("the output " + output + " is " + used +
                                    ", which the manifest names; name another file");
            }
        }
        std::vector<uint8_t> file = ReadAll(input);
        int64_t at = FindBlock(file, input);
        std::span<uint8_t> block(file.data() + at, kBlockSize);
        WritePackage(manifest, block);
        std::string problem;
        if (!copy.Create(output, ".packing", problem))
            throw PackError("cannot make a new file beside " + output + ": " + problem);
        if (!copy.Write(file)) throw PackError("cannot write " + copy.Path());
        // Read the copy back through the descriptor it was written by (its name, in a folder
        // others can write, might meanwhile name another file) and compare it with what was
        // meant; its block, at the same place, must read as the manifest says.
        if (!copy.Holds(file)) throw PackError("the written copy reads back differently");
        problem = VerifyPackage(manifest, std::span<const uint8_t>(file.data() + at, kBlockSize));
        if (!problem.empty()) throw PackError("verification failed: " + problem);
        // Runnable as the input was, but never set-user-ID or set-group-ID: a packaged copy
        // does not carry someone else's rights.
        std::error_code ec;
        const fs::perms inputMode = fs::status(common::FilePath(input), ec).permissions();
        if (!ec && !copy.SetPermissions(static_cast<unsigned>(inputMode) & 0777, problem))
            throw PackError("cannot set the permissions of " + copy.Path() + ": " + problem);
        if (!copy.PutInPlace(output, problem))
            throw PackError("cannot move the packaged copy to " + output + ": " + problem);
        copy.Close(false);
        for (const auto& warning : TransferWarnings(manifest)) {
            err << "brenvo-pack: warning: " << warning << "\n";
        }
        out << "brenvo-pack: packaged " << manifest.images.size() << " image(s) into " << output
            << " (block at file offset " << at << "), verified.\n";
        return 0;
    } catch (const std::exception& e) {
        copy.Discard();
        err << "brenvo-pack: " << e.what() << "\nbrenvo-pack: nothing was written.\n";
        return 1;
    }
}

int ShowExecutable(const std::string& path, std::ostream& out, std::ostream& err) {
    try {
        std::vector<uint8_t> file = ReadAll(path);
        int64_t at = FindBlock(file, path);
        bool usable = false;
        out << "Package in " << path << " (block at file offset " << at << "):\n"
            << DescribePackage(std::span<uint8_t>(file.data() + at, kBlockSize), usable);
        return usable ? 0 : 1;
    } catch (const std::exception& e) {
        err << "brenvo-pack: " << e.what() << "\n";
        return 1;
    }
}

}  // namespace pack
