// brenvo-pack: what a packaged program carries, and every refusal leaving no output behind.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>

#include "common/NewFile.h"
#include "engine/DriveList.h"
#include "package/OptionNames.h"
#include "package/Package.h"
#include "package/PackageChecksum.h"
#include "package/PackageFile.h"
#include "package/Scramble.h"
#include "tests/TestMachine.h"
#include "tools/pack/Packer.h"

namespace {
using namespace package;
using testing_support::TempDir;
namespace fs = std::filesystem;

constexpr size_t kBlockAt = 777;

void WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
}

std::vector<uint8_t> ReadBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

std::vector<uint8_t> Pattern(size_t size, uint8_t seed) {
    std::vector<uint8_t> bytes(size);
    uint32_t state = seed * 2654435761u + 1;
    for (auto& b : bytes) {
        state = state * 1664525u + 1013904223u;
        b = static_cast<uint8_t>(state >> 24);
    }
    return bytes;
}

class PackTool : public ::testing::Test {
  protected:
    PackTool() {
        // A stand-in for a built program: code around one unpackaged block.
        auto program = Pattern(kBlockAt, 1);
        program.resize(kBlockAt + kBlockSize);
        WriteUnpackagedBlock(std::span<uint8_t>(program).subspan(kBlockAt, kBlockSize));
        auto tail = Pattern(3000, 2);
        program.insert(program.end(), tail.begin(), tail.end());
        WriteBytes(input(), program);
        fs::permissions(input(), fs::perms::owner_all);
        WriteBytes(dir_.File("fw1.bin"), Pattern(1048576, 3));
        WriteBytes(dir_.File("fw2.bin"), Pattern(131072, 4));
        WriteBytes(dir_.File("key1.bin"), Pattern(1024, 5));
        WriteBytes(dir_.File("key2.bin"), Pattern(1024, 6));
    }

    std::string input() const { return dir_.File("brenvo.exe"); }
    std::string output() const { return dir_.File("packed.exe"); }

    int Pack(const std::string& manifest) {
        std::ofstream(dir_.File("manifest.json")) << manifest;
        out_.str("");
        err_.str("");
        return pack::PackExecutable(dir_.File("manifest.json"), input(), output(), out_, err_);
    }

    // The manifest of the usual two-image package with one field replaced.
    static std::string Manifest(
        const std::string& options = OptionsWith({{"imageCount", 2}}),
        const std::string& image2 =
            R"({"file": "fw2.bin", "key": "key2.bin", "newRevision": "QV05",
                                        "constraints": [{"low": "QV00", "high": "QV04",
                                                         "vendor": "QUORVANT", "product": "DVD-ROM QV-52"}]})",
        const std::string& title = "Firmware Flasher - QV12 - DVD-RW QV-1600") {
        return R"({"title": ")" + title + R"(", "driveName": "DVD-RW QV-1600",
                   "buildDate": "2026/12/07", "creditTag": "[Brenvo test      ]",
                   "toolTag": "brenvo-pack 0.1", "versionTag": "[QV12 test]",
                   "options": ")" +
               options + R"(",
                   "images": [{"file": "fw1.bin", "key": "key1.bin", "newRevision": "QV12",
                               "constraints": [{"low": "QV10", "high": "QV19", "vendor": "", "product": ""},
                                               {"low": "QV20"}]},
                              )" +
               image2 + "]}";
    }

    void ExpectRefused(const std::string& manifest, const std::string& reason) {
        EXPECT_EQ(Pack(manifest), 1);
        EXPECT_NE(err_.str().find(reason), std::string::npos) << err_.str();
        EXPECT_NE(err_.str().find("nothing was written"), std::string::npos);
        EXPECT_FALSE(fs::exists(output())) << "a refusal leaves no output";
        EXPECT_FALSE(fs::exists(output() + ".packing"));
    }

    TempDir dir_;
    std::ostringstream out_, err_;
};

TEST_F(PackTool, WritesEveryFieldAtItsOffsetInItsFormat) {
    ASSERT_EQ(Pack(Manifest()), 0) << err_.str();
    auto file = ReadBytes(output());
    auto original = ReadBytes(input());
    ASSERT_EQ(file.size(), original.size());
    EXPECT_TRUE(std::equal(original.begin(), original.begin() + kBlockAt, file.begin()))
        << "bytes before the block are untouched";
    EXPECT_TRUE(std::equal(original.end() - 3000, original.end(), file.end() - 3000))
        << "bytes behind the block are untouched";
    std::span<const uint8_t> block(file.data() + kBlockAt, kBlockSize);
    auto text = [&](size_t offset, size_t size) {
        return std::string(reinterpret_cast<const char*>(block.data()) + offset, size);
    };
    EXPECT_EQ(text(kBinStartOffset, 22), std::string("BIN_START1=0000000000\0", 22));
    EXPECT_EQ(text(kBinStartOffset + 22, 22), std::string("BIN_START2=0001048576\0", 22))
        << "images follow one another when no start is given";
    EXPECT_EQ(text(kBinSizeOffset, 21), std::string("BIN_SIZE1=0001048576\0", 21));
    EXPECT_EQ(text(kBinSizeOffset + 21, 21), std::string("BIN_SIZE2=0000131072\0", 21));
    EXPECT_EQ(text(kBinSizeOffset + 42, 21), std::string("BIN_SIZE3=0000000000\0", 21));
    EXPECT_EQ(text(kNewFwOffset, 16), std::string("NEW_FW1=QV12\0\0\0\0", 16));
    EXPECT_EQ(text(kNewFwOffset + 32, 16), std::string("NEW_FW3=N/A \0\0\0\0", 16));
    // Digits 19-32: the checksum's marker, then the CRC-32 over the whole block but them.
    char crc[11];
    std::snprintf(crc, sizeof crc, "%010u", static_cast<unsigned>(package::BlockChecksum(block)));
    EXPECT_EQ(text(kParaOptOffset, 42),
              std::string("PARA_OPT=000101100020011000") + "7320" + crc + std::string(1, '\0'));
    EXPECT_EQ(text(EntryOffset(1, 3), 8), std::string("#FLSH13\0", 8)) << "placeholders stay";
    EXPECT_EQ(text(EntryOffset(2, 1) + kEntryVendorOffset, 12),
              std::string("QUORVANT\0\0\0\0", 12));

    // Key table n at 2052 + (n - 1) * 1024; images scrambled at 6148 + start.
    auto key2 = ReadBytes(dir_.File("key2.bin"));
    EXPECT_TRUE(std::equal(key2.begin(), key2.end(), block.begin() + 2052 + 1024));
    auto fw2 = ReadBytes(dir_.File("fw2.bin"));
    std::vector<uint8_t> stored(block.begin() + 6148 + 1048576,
                                block.begin() + 6148 + 1048576 + 131072);
    EXPECT_NE(stored, fw2) << "stored scrambled";
    UnscrambleImage(stored, key2);
    EXPECT_EQ(stored, fw2);
#ifndef _WIN32  // Windows has no execute permission to keep
    EXPECT_TRUE(fs::status(output()).permissions() == fs::perms::owner_all)
        << "the copy stays executable";
    // ...but never set-user-ID or set-group-ID, whatever the input or the file it replaces was.
    fs::permissions(input(), fs::perms::set_uid | fs::perms::set_gid | fs::perms::sticky_bit,
                    fs::perm_options::add);
    fs::permissions(output(), fs::perms::set_uid | fs::perms::set_gid, fs::perm_options::add);
    ASSERT_EQ(Pack(Manifest()), 0) << err_.str();
    EXPECT_TRUE(fs::status(output()).permissions() == fs::perms::owner_all)
        << std::oct << static_cast<unsigned>(fs::status(output()).permissions());
#endif
}

TEST_F(PackTool, TheProgramsOwnParseGivesBackTheManifest) {
    ASSERT_EQ(Pack(Manifest()), 0) << err_.str();
    auto file = ReadBytes(output());
    ASSERT_EQ(LocateBlock(file), static_cast<int64_t>(kBlockAt));
    Package p(std::span<uint8_t>(file).subspan(kBlockAt, kBlockSize));
    ParseResult r = p.Parse();
    ASSERT_TRUE(r.ok()) << r.message;
    EXPECT_EQ(r.caption, "Firmware Flasher - QV12 - DVD-RW QV-1600");
    EXPECT_EQ(p.DriveName(), "DVD-RW QV-1600");
    EXPECT_EQ(p.Options().imageCount, 2);
    EXPECT_TRUE(p.Options().warnNewer);
    EXPECT_EQ(p.EntryLow(1, 2), "QV20");
    EXPECT_EQ(p.EntryHigh(1, 2), "") << "a field not given is empty: no restriction";
    EXPECT_EQ(p.EntryProduct(2, 1), "DVD-ROM QV-52   ") << "padded as the drive reports it";
    EXPECT_EQ(p.NewRevision(2, false), "QV05");
    EXPECT_FALSE(p.LongRevisionMode());
}

TEST_F(PackTool, AMakersDriveNameMatchesTheDriveAsWrittenAndATooLongOneIsRefused) {
    // The maker writes the product as it is written everywhere else, without the blanks the drive
    // pads it with to 16 characters.
    ASSERT_EQ(Pack(Manifest(OptionsWith({{"imageCount", 2}}),
                            R"({"file": "fw2.bin", "key": "key2.bin", "newRevision": "QV12",
                                "constraints": [{"low": "QV00", "high": "QV09",
                                                 "vendor": "QUORVANT", "product": "DVD-RW QV-1600"}]})")),
              0)
        << err_.str();
    auto file = ReadBytes(output());
    Package p(std::span<uint8_t>(file).subspan(kBlockAt, kBlockSize));
    ASSERT_TRUE(p.Parse().ok());
    device::DriveRecord drive;
    std::snprintf(drive.vendor, sizeof drive.vendor, "%-8s", "QUORVANT");
    std::snprintf(drive.product, sizeof drive.product, "%-16s", "DVD-RW QV-1600");
    std::snprintf(drive.revision, sizeof drive.revision, "QV05");  // only image 2 takes it
    std::snprintf(drive.idText, sizeof drive.idText, "%s%s", drive.vendor, drive.product);
    drive.present = 1;
    engine::MatchDrive(drive, p, engine::RevisionForm{false, true});
    EXPECT_TRUE(drive.matched);
    EXPECT_EQ(drive.imageIndex, 1);

    fs::remove(output());
    ExpectRefused(Manifest(OptionsWith({{"imageCount", 2}}),
                           R"({"file": "fw2.bin", "key": "key2.bin", "newRevision": "QV12",
                               "constraints": [{"vendor": "QUORVANT-X"}]})"),
                  "a drive reports its vendor in 8");
    ExpectRefused(Manifest(OptionsWith({{"imageCount", 2}}),
                           R"({"file": "fw2.bin", "key": "key2.bin", "newRevision": "QV12",
                               "constraints": [{"product": "DVD-RW QV-1600 EXT"}]})"),
                  "a drive reports its product in 16");
}

TEST_F(PackTool, ShowDescribesThePackageInPlainWords) {
    ASSERT_EQ(Pack(Manifest()), 0);
    std::ostringstream out, err;
    EXPECT_EQ(pack::ShowExecutable(output(), out, err), 0) << err.str();
    const std::string shown = out.str();
    for (const char* expected :
         {"Title:         \"Firmware Flasher - QV12 - DVD-RW QV-1600\"",
          "Drive name:    \"DVD-RW QV-1600\"", "11  imageCount         2",
          "6  commitVariant      yes  (commit mode 0xA0)",
          "Image 1: start 0, size 1048576, new revision \"QV12\", crc32",
          "constraint 1: revision \"QV10\" to \"QV19\", vendor (any), product (any)",
          "constraint 1: revision \"QV00\" to \"QV04\", vendor \"QUORVANT\"",
          "Image 3: not carried (new revision \"N/A \")"}) {
        EXPECT_NE(shown.find(expected), std::string::npos) << expected << "\nin:\n" << shown;
    }
    EXPECT_EQ(shown.find("constraint 3"), std::string::npos) << "placeholders are not listed";
}

TEST_F(PackTool, RefusesAndWritesNothing) {
    ExpectRefused(Manifest("0001011000200110000000000000000"), "expected exactly 32 digits");
    ExpectRefused(Manifest("000101100020011000000000000000x0"), "expected exactly 32 digits");
    ExpectRefused(Manifest(kShippedOptions),
                  "option digit 11 (the image count) is 1 but the manifest lists 2 images");
    ExpectRefused(Manifest(OptionsWith({{"imageCount", 2}}),
                           R"({"file": "fw2.bin", "key": "key2.bin", "newRevision": "QV05-001"})"),
                  "images[1].newRevision: \"QV05-001\" is 8 bytes; the field holds at most 7");
    ExpectRefused(Manifest(OptionsWith({{"imageCount", 2}}),
                           R"({"file": "fw2.bin", "key": "key2.bin", "newRevision": "QV05",
                               "start": 1000000})"),
                  "image 2 (bytes 1000000 to 1131071) overlaps image 1 (bytes 0 to 1048575)");
    ExpectRefused(Manifest(OptionsWith({{"imageCount", 2}}),
                           R"({"file": "fw2.bin", "key": "key2.bin", "newRevision": "QV05",
                               "start": 2000000})"),
                  "does not fit in the 2 MiB image area");
    ExpectRefused(Manifest(OptionsWith({{"imageCount", 2}}),
                           R"({"file": "fw2.bin", "key": "fw1.bin", "newRevision": "QV05"})"),
                  "a key table is 1024 bytes; this one is 1048576");
    ExpectRefused(Manifest(OptionsWith({{"imageCount", 2}}),
                           R"({"file": "missing.bin", "key": "key2.bin", "newRevision": "QV05"})"),
                  "missing.bin does not exist");
    ExpectRefused(Manifest(OptionsWith({{"imageCount", 2}}),
                           R"({"file": "fw2.bin", "key": "key2.bin", "newRevision": "QV05",
                               "colour": "red"})"),
                  "images[1].colour: unknown field");
    ExpectRefused(
        Manifest(OptionsWith({{"imageCount", 2}}),
                 R"({"file": "fw2.bin", "key": "key2.bin", "newRevision": "QV05"})",
                 std::string(64, 'T')),
        "title: \"" + std::string(59, 'T') + "... is 64 bytes; the field holds at most 63");
    std::string five = R"({"file": "fw2.bin", "key": "key2.bin", "newRevision": "A"})";
    ExpectRefused(
        Manifest(OptionsWith({{"imageCount", 5}}), five + "," + five + "," + five + "," + five),
        "a package holds at most 4 images; the manifest lists 5");
    std::string nine;
    for (int i = 0; i < 9; ++i)
        nine += std::string(i ? "," : "") + R"({"low": "A"})";
    ExpectRefused(Manifest(OptionsWith({{"imageCount", 2}}),
                           R"({"file": "fw2.bin", "key": "key2.bin", "newRevision": "QV05",
                               "constraints": [)" +
                               nine + "]}"),
                  "an image takes at most 8 constraints; this one has 9");
}

TEST_F(PackTool, ShowEscapesControlsAndNamesAChecksumThatLeavesTheOptionsOut) {
    // brenvo-pack writes no control into a text; one found in a package is shown escaped.
    ExpectRefused(Manifest(OptionsWith({{"imageCount", 2}}),
                           R"({"file": "fw2.bin", "key": "key2.bin", "newRevision": "QV05"})",
                           "Flasher\\u001b[2J\\r"),
                  "title: \"Flasher\\x1b[2J\\r\" holds a control character");
    ASSERT_EQ(Pack(Manifest()), 0);
    auto show = [&] {
        std::ostringstream out, err;
        pack::ShowExecutable(output(), out, err);
        return out.str() + err.str();
    };
    const std::string notice = "checksum does not cover its options and constraints";
    EXPECT_EQ(show().find(notice), std::string::npos) << "today's packages cover them";
    auto packed = ReadBytes(output());
    const size_t block = kBlockAt;
    packed[block + kDriveNameOffset] = 0x1b;
    packed[block + EntryOffset(1, 1) + kEntryVendorOffset] = '\r';
    // No checksum at all, as packages were packed before there was one: it runs, and says so.
    std::fill_n(packed.begin() + block + kParaOptOffset + 9 + 18, 14, '0');
    WriteBytes(output(), packed);
    const std::string shown = show();
    EXPECT_NE(shown.find("Drive name:    \"\\x1bVD-RW QV-1600\""), std::string::npos) << shown;
    EXPECT_NE(shown.find("vendor \"\\r\""), std::string::npos) << shown;
    EXPECT_EQ(shown.find_first_of("\x1b\r"), std::string::npos) << shown;
    EXPECT_NE(shown.find("Note: This package's " + notice), std::string::npos) << shown;
    EXPECT_EQ(shown.find(notice), shown.rfind(notice)) << "said once";
}

TEST_F(PackTool, RefusesAProgramWithoutExactlyOneBlock) {
    auto program = ReadBytes(input());
    WriteBytes(input(), std::vector<uint8_t>(program.begin(), program.begin() + 5000));
    ExpectRefused(Manifest(), "holds no package block");

    program.insert(program.end(), program.begin() + kBlockAt,
                   program.begin() + kBlockAt + kBlockSize);
    WriteBytes(input(), program);
    ExpectRefused(Manifest(), "holds more than one package block");
}

TEST_F(PackTool, RefusesAnImageItsDownloadPathCannotSendWhole) {
    WriteBytes(dir_.File("odd.bin"), Pattern(100000, 9));
    const std::string odd = R"({"file": "odd.bin", "key": "key2.bin", "newRevision": "QV05"})";
    ExpectRefused(Manifest(OptionsWith({{"imageCount", 2}}), odd),
                  "images[1].file: odd.bin is 100000 bytes, not a whole number of 2048-byte "
                  "chunks");
    EXPECT_EQ(Pack(Manifest()), 0) << "1 MiB and 128 KiB images go whole: " << err_.str();
    EXPECT_EQ(err_.str(), "");
    // The direct-IDE path programs any size up to 1 MiB, and nothing larger.
    EXPECT_EQ(Pack(Manifest(OptionsWith({{"imageCount", 2}, {"directIde", 1}}), odd)), 0)
        << err_.str();
    fs::remove(output());
    WriteBytes(dir_.File("big.bin"), Pattern(1048576 + 2048, 9));
    ExpectRefused(Manifest(OptionsWith({{"imageCount", 2}, {"directIde", 1}}),
                           R"({"file": "big.bin", "key": "key2.bin", "newRevision": "QV05"})"),
                  "images[1].file: big.bin is 1050624 bytes; the direct-IDE path flashes at most "
                  "1 MiB");
}

TEST_F(PackTool, RefusesARangeThatHoldsNoRevisionAndRevisionsWiderThanCompared) {
    auto image2 = [](const std::string& revision, const std::string& low, const std::string& high) {
        return R"({"file": "fw2.bin", "key": "key2.bin", "newRevision": ")" + revision +
               R"(", "constraints": [{"low": ")" + low + R"(", "high": ")" + high + R"("}]})";
    };
    const std::string options = OptionsWith({{"imageCount", 2}});
    ExpectRefused(Manifest(options, image2("QV05", "QV13", "QV10")),
                  "images[1].constraints[0].low: \"QV13\" is above the upper bound \"QV10\"");
    ExpectRefused(Manifest(options, image2("QV13A", "QV00", "QV04")),
                  "images[1].newRevision: \"QV13A\" is 5 characters; this package's revisions "
                  "are compared in 4 characters");
    ExpectRefused(Manifest(options, image2("QV05", "QV00", "QV10X")),
                  "images[1].constraints[0].high: \"QV10X\" is 5 characters");
    // A lower bound longer than 4 asks for the drive tag's 7 characters over SCSI pass-through;
    // the direct-IDE path compares 4 whatever the bounds say.
    EXPECT_EQ(Pack(Manifest(options, image2("QV13A", "QV10X", "QV19Z"))), 0) << err_.str();
    fs::remove(output());
    ExpectRefused(
        Manifest(OptionsWith({{"imageCount", 2}, {"directIde", 1}}), image2("QV05", "QV10X", "")),
        "images[1].constraints[0].low: \"QV10X\" is 5 characters");
    // Equal bounds hold one revision; an open end holds many.
    EXPECT_EQ(Pack(Manifest(options, image2("QV05", "QV04", "QV04"))), 0) << err_.str();
    EXPECT_EQ(Pack(Manifest(options, image2("QV05", "QV04", ""))), 0) << err_.str();
}

TEST_F(PackTool, ShowAndTheConsoleFlagAPackageAnOlderPackerLetThrough) {
    ASSERT_EQ(Pack(Manifest()), 0) << err_.str();
    auto describe = [&](std::vector<uint8_t>& file, bool& usable) {
        return package::DescribePackage(std::span<uint8_t>(file.data() + kBlockAt, kBlockSize),
                                        usable);
    };
    const std::vector<uint8_t> good = ReadBytes(output());
    bool usable = false;
    auto copy = good;
    EXPECT_EQ(describe(copy, usable).find("Flaw"), std::string::npos);
    EXPECT_TRUE(usable);

    // What older packers wrote: no checksum digits, and fields they did not check.
    auto older = [&](const std::function<void(std::span<uint8_t>)>& edit) {
        auto file = good;
        std::fill_n(file.begin() + kBlockAt + kParaOptOffset + 9 + 18, 14, '0');
        edit(std::span<uint8_t>(file.data() + kBlockAt, kBlockSize));
        return file;
    };
    auto flagged = [&](std::vector<uint8_t> file, const std::string& flaw) {
        bool fine = true;
        const std::string shown = describe(file, fine);
        EXPECT_FALSE(fine) << shown;
        EXPECT_NE(shown.find("Flaw: " + flaw), std::string::npos) << shown;
        EXPECT_NE(shown.find("No drive can be updated by this package"), std::string::npos)
            << shown;
    };
    flagged(older([](std::span<uint8_t> b) {
                SetFieldText(b, EntryOffset(2, 1) + kEntryLowOffset, kEntryLowSize, "QV09");
            }),
            "image 2, constraint 1, lower bound: \"QV09\" is above the upper bound \"QV04\"");
    flagged(older([](std::span<uint8_t> b) {
                SetFieldText(b, NewFwValueOffset(1), kNewFwValueSize, "QV13A");
            }),
            "image 1, new revision: \"QV13A\" is 5 characters");
    flagged(older([](std::span<uint8_t> b) {
                SetFieldText(b, EntryOffset(1, 1) + kEntryHighOffset, kEntryHighSize, "QV10X");
            }),
            "image 1, constraint 1, upper bound: \"QV10X\" is 5 characters");
    flagged(older([](std::span<uint8_t> b) {
                const std::string size = "0000100000";
                std::copy(size.begin(), size.end(), b.begin() + BinSizeValueOffset(2));
            }),
            "image 2 is 100000 bytes, not a whole number of 2048-byte chunks");
}

TEST_F(PackTool, RefusesAnOutputThatIsNoRegularFileOrIsAnInput) {
    std::ofstream(dir_.File("manifest.json")) << Manifest();
    const auto key = ReadBytes(dir_.File("key1.bin")), image = ReadBytes(dir_.File("fw1.bin"));
    auto refusal = [&](const std::string& target) {
        err_.str("");
        EXPECT_EQ(pack::PackExecutable(dir_.File("manifest.json"), input(), target, out_, err_), 1)
            << target;
        return err_.str();
    };
    fs::create_directory(output());
    EXPECT_NE(refusal(output()).find("is a folder, not a file"), std::string::npos);
    EXPECT_NE(refusal(dir_.File("manifest.json")).find("is the manifest"), std::string::npos);
    EXPECT_NE(refusal(dir_.File("key1.bin")).find("is key1.bin, which the manifest names"),
              std::string::npos);
    EXPECT_NE(refusal(dir_.File("fw1.bin")).find("is fw1.bin, which the manifest names"),
              std::string::npos);
    EXPECT_EQ(ReadBytes(dir_.File("key1.bin")), key);
    EXPECT_EQ(ReadBytes(dir_.File("fw1.bin")), image);
#ifndef _WIN32
    EXPECT_NE(refusal("/dev/full").find("not a regular file"), std::string::npos);
    EXPECT_TRUE(fs::is_character_file("/dev/full"));
    fs::create_symlink(dir_.File("victim"), dir_.File("link.exe"));
    EXPECT_NE(refusal(dir_.File("link.exe")).find("is a symbolic link"), std::string::npos);

    // A link left at the very temporary name the packer opens first is never written through.
    std::ofstream(dir_.File("victim")) << "precious";
    fs::remove(output());
    fs::create_symlink(dir_.File("victim"), output() + ".packing.AAAAAA");
    int attempts = 0;
    common::SetFreshSuffixSource([&](int attempt) {
        ++attempts;
        return attempt == 0 ? std::string("AAAAAA") : std::string("BBBBBB");
    });
    EXPECT_EQ(pack::PackExecutable(dir_.File("manifest.json"), input(), output(), out_, err_), 0)
        << err_.str();
    common::SetFreshSuffixSource({});
    EXPECT_EQ(attempts, 2) << "the link's name was tried first";
    EXPECT_EQ(ReadBytes(dir_.File("victim")),
              std::vector<uint8_t>({'p', 'r', 'e', 'c', 'i', 'o', 'u', 's'}));
    EXPECT_TRUE(fs::is_symlink(output() + ".packing.AAAAAA"));
    fs::remove(output() + ".packing.AAAAAA");
#endif
    // Nothing of a refused or finished run is left beside the output.
    for (const auto& entry : fs::directory_iterator(dir_.path()))
        EXPECT_EQ(entry.path().filename().string().find(".packing"), std::string::npos)
            << entry.path();
}

TEST_F(PackTool, RepackingStartsFromTheUnpackagedState) {
    ASSERT_EQ(Pack(Manifest()), 0);
    fs::rename(output(), input());
    ASSERT_EQ(Pack(R"({"title": "One", "driveName": "D", "options": ")" +
                   std::string(kShippedOptions) + R"(",
                       "images": [{"file": "fw2.bin", "key": "key2.bin", "newRevision": "QV05"}]})"),
              0)
        << err_.str();
    auto file = ReadBytes(output());
    Package p(std::span<uint8_t>(file).subspan(kBlockAt, kBlockSize));
    ASSERT_TRUE(p.Parse().ok());
    EXPECT_EQ(p.ImageSize(2), 0) << "the old second image is gone";
    EXPECT_EQ(p.NewRevisionLabel(2), "N/A ");
    EXPECT_TRUE(p.EntryIsPlaceholder(1, 1)) << "and so are the old constraints";
    EXPECT_EQ(p.VersionTag(), "");
}

}  // namespace

TEST_F(PackTool, RefusesWhatNoProgramCouldUse) {
    const std::string none = R"({"title": "T", "driveName": "D", "options": ")" +
                             OptionsWith({{"imageCount", 0}}) + R"(",
            "images": []})";
    ExpectRefused(none, "images: the list is empty; a package holds 1 to 4 images");
    ExpectRefused(Manifest(OptionsWith({{"imageCount", 2}}),
                           R"({"file": "fw2.bin", "key": "key2.bin", "newRevision": "QV05"})",
                           "Firmware\\u0000Flasher"),
                  "manifest.json.title: holds a NUL character");
    ExpectRefused(Manifest(OptionsWith({{"uiVariant", 9}, {"imageCount", 2}})),
                  "option digit 1 (the user-interface variant) is 9; the variants are 0");
    ExpectRefused(R"({"title": )" + std::string(100'000, '['),
                  "manifest.json: nested deeper than 64 levels");
    ExpectRefused(Manifest(OptionsWith({{"imageCount", 2}}),
                           R"({"file": "fw2.bin", "key": "key2.bin", "newRevision": "QV05"})",
                           std::string(5000, 'T')),
                  "title: \"" + std::string(59, 'T') + "... is 5000 bytes");
}

TEST_F(PackTool, RefusesToWriteOverItsInput) {
    const auto original = ReadBytes(input());
    std::ofstream(dir_.File("manifest.json")) << Manifest();
    const std::string spelt = dir_.path() + "/./brenvo.exe";
#ifdef _WIN32
    // Windows lets only administrators make symbolic links; a hard link is the same file as well.
    fs::create_hard_link(input(), dir_.File("link.exe"));
#else
    fs::create_symlink(input(), dir_.File("link.exe"));
#endif
    for (const std::string& target : {input(), spelt, dir_.File("link.exe")}) {
        err_.str("");
        EXPECT_EQ(pack::PackExecutable(dir_.File("manifest.json"), input(), target, out_, err_), 1);
        EXPECT_NE(err_.str().find("is the input program itself"), std::string::npos) << err_.str();
    }
    EXPECT_EQ(ReadBytes(input()), original);
}

TEST_F(PackTool, SaysWhyAnInputCannotBeRead) {
    std::ofstream(dir_.File("manifest.json")) << Manifest();
    auto refusal = [&](const std::string& manifest, const std::string& program) {
        err_.str("");
        EXPECT_EQ(pack::PackExecutable(manifest, program, output(), out_, err_), 1);
        return err_.str();
    };
    EXPECT_NE(refusal(dir_.path(), input()).find(dir_.path() + ": the manifest is a folder"),
              std::string::npos);
    EXPECT_NE(refusal(dir_.File("manifest.json"), dir_.path()).find("is a folder, not a file"),
              std::string::npos);
    EXPECT_NE(refusal(dir_.File("manifest.json"), "/proc/self/mem").find("cannot be read"),
              std::string::npos);
    EXPECT_FALSE(fs::exists(output()));
}
