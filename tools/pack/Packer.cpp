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
#include "package/Package.h"
#include "package/PackageChecksum.h"
#include "package/PackageFile.h"
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

}  // namespace

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
        std::vector<uint8_t> file = ReadProgramFile(input);
        int64_t at = FindPackageBlock(file, input);
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
        std::vector<uint8_t> file = ReadProgramFile(path);
        int64_t at = FindPackageBlock(file, path);
        bool usable = false;
        out << "Package in " << path << " (block at file offset " << at << "):\n"
            << package::DescribePackage(std::span<uint8_t>(file.data() + at, kBlockSize), usable);
        return usable ? 0 : 1;
    } catch (const std::exception& e) {
        err << "brenvo-pack: " << e.what() << "\n";
        return 1;
    }
}

}  // namespace pack
