// The package block: the start-up parse, its refusals, image selection and the revision texts.
#ifdef _WIN32
#define NOMINMAX
#include <windows.h>
#endif
#include <gtest/gtest.h>

#include <fstream>
#include <vector>

#include "package/OptionNames.h"
#include "package/Package.h"
#include "package/PackageBlock.h"
#include "package/PackageChecksum.h"

namespace {
using namespace package;

// A block as the build leaves it, with the given option digits and image 1 of `size` bytes.
class BlockTest : public ::testing::Test {
  protected:
    BlockTest() : bytes_(kBlockSize) { WriteUnpackagedBlock(bytes_); }

    void SetOptions(const std::string& digits) {
        std::copy(digits.begin(), digits.end(), bytes_.begin() + kParaOptOffset + 9);
    }
    void SetImage(int n, int64_t start, int64_t size) {
        char text[16];
        std::snprintf(text, sizeof text, "%010lld", static_cast<long long>(start));
        std::copy_n(text, 10, bytes_.begin() + BinStartValueOffset(n));
        std::snprintf(text, sizeof text, "%010lld", static_cast<long long>(size));
        std::copy_n(text, 10, bytes_.begin() + BinSizeValueOffset(n));
    }
    void SetLow(int image, int entry, const std::string& text) {
        SetFieldText(bytes_, EntryOffset(image, entry) + kEntryLowOffset, kEntryLowSize, text);
    }
    void SetNewFw(int n, const std::string& value) {
        std::fill_n(bytes_.begin() + NewFwValueOffset(n), kNewFwValueSize, 0);
        std::copy(value.begin(), value.end(), bytes_.begin() + NewFwValueOffset(n));
    }

    std::vector<uint8_t> bytes_;
};

TEST_F(BlockTest, ShippedOptionsReadAsTheirNamesSay) {
    SetOptions(kShippedOptions);
    SetImage(1, 0, 1048576);
    Package p(bytes_);
    ASSERT_TRUE(p.Parse().ok());
    const PackageOptions& o = p.Options();
    EXPECT_EQ(o.uiVariant, 0);
    EXPECT_EQ(o.language, 0);
    EXPECT_TRUE(o.warnNewer);
    EXPECT_FALSE(o.checkTray);
    EXPECT_TRUE(o.commitVariant);
    EXPECT_TRUE(o.rebootAfterSuccess);
    EXPECT_TRUE(o.askBeforeReboot);
    EXPECT_FALSE(o.unattended);
    EXPECT_FALSE(o.exitWhenDone);
    EXPECT_EQ(o.noticeKind, 0);
    EXPECT_EQ(o.imageCount, 1);
    EXPECT_FALSE(o.directIde);
    EXPECT_FALSE(o.listMatchedOnly);
    EXPECT_TRUE(o.stayAfterSuccess);
    EXPECT_FALSE(o.warnSame);
    EXPECT_FALSE(o.skipCurrent);
    EXPECT_EQ(o.imageSize, 0);
    EXPECT_EQ(o.imageStart, 0);
    EXPECT_EQ(o.imageData, bytes_.data() + kImageAreaOffset);
}

TEST_F(BlockTest, EachDigitLandsInItsOwnField) {
    // Alternating flags and distinct integers, so a read one position off shows.
    SetOptions(OptionsWith({{"uiVariant", 2},
                            {"language", 1},
                            {"rebootAfterSuccess", 0},
                            {"unattended", 1},
                            {"noticeKind", 2},
                            {"imageCount", 3},
                            {"directIde", 1},
                            {"askBeforeReboot", 0},
                            {"warnSame", 1},
                            {"skipCurrent", 1}}));
    SetImage(1, 0, 10);
    SetImage(2, 10, 10);
    SetImage(3, 20, 10);
    Package p(bytes_);
    ASSERT_TRUE(p.Parse().ok());
    const PackageOptions& o = p.Options();
    EXPECT_EQ(o.uiVariant, 2);
    EXPECT_EQ(o.language, 1);
    EXPECT_TRUE(o.warnNewer);
    EXPECT_FALSE(o.checkTray);
    EXPECT_TRUE(o.commitVariant);
    EXPECT_FALSE(o.rebootAfterSuccess);
    EXPECT_TRUE(o.unattended);
    EXPECT_FALSE(o.exitWhenDone);
    EXPECT_EQ(o.noticeKind, 2);
    EXPECT_EQ(o.imageCount, 3);
    EXPECT_TRUE(o.directIde);
    EXPECT_FALSE(o.listMatchedOnly);
    EXPECT_TRUE(o.stayAfterSuccess);
    EXPECT_FALSE(o.askBeforeReboot);
    EXPECT_TRUE(o.warnSame);
    EXPECT_TRUE(o.skipCurrent);
}

TEST_F(BlockTest, LongRevisionModeComesFromLowerBoundsOnly) {
    SetOptions(kShippedOptions);
    SetImage(1, 0, 1024);
    SetLow(1, 1, "QV10");
    {
        Package p(bytes_);
        p.Parse();
        EXPECT_FALSE(p.LongRevisionMode()) << "4-character bounds and placeholders";
    }
    SetLow(1, 2, "  QV10 ");  // blanks trimmed: still 4 characters
    SetFieldText(bytes_, EntryOffset(1, 1) + kEntryHighOffset, kEntryHighSize, "QV10-05");
    {
        Package p(bytes_);
        p.Parse();
        EXPECT_FALSE(p.LongRevisionMode()) << "a long upper bound does not count";
    }
    SetLow(4, 8, "QV10-");  // image 4 lies beyond imageCount, and still counts
    Package p(bytes_);
    p.Parse();
    EXPECT_TRUE(p.LongRevisionMode());
}

TEST_F(BlockTest, ParseTerminatesBoundsAtSevenCharacters) {
    SetOptions(kShippedOptions);
    SetImage(1, 0, 1024);
    auto at = EntryOffset(2, 3);
    std::string eight = "ABCDEFGH";
    std::copy(eight.begin(), eight.end(), bytes_.begin() + at + kEntryLowOffset);
    std::copy(eight.begin(), eight.end(), bytes_.begin() + at + kEntryHighOffset);
    Package p(bytes_);
    p.Parse();
    EXPECT_EQ(p.EntryLow(2, 3), "ABCDEFG");
    EXPECT_EQ(p.EntryHigh(2, 3), "ABCDEFG");
    EXPECT_TRUE(p.LongRevisionMode());
}

TEST_F(BlockTest, PlaceholdersAreRecognised) {
    Package p(bytes_);
    EXPECT_EQ(p.EntryLow(2, 3), "#FLSH23");
    EXPECT_TRUE(p.EntryIsPlaceholder(2, 3));
    SetLow(2, 3, "QV10");
    EXPECT_FALSE(p.EntryIsPlaceholder(2, 3));
}

TEST_F(BlockTest, DamagedPackagesAreRefusedWithAReason) {
    struct Case {
        std::string options;
        int64_t start, size;
        PackageProblem problem;
        const char* says;
    };
    const Case cases[] = {
        {std::string(32, '0'), 0, 1024, PackageProblem::NoImages, ""},
        {OptionsWith({{"imageCount", 5}}), 0, 1024, PackageProblem::TooManyImages, "5 images"},
        {"000101x0001001100000000000000000", 0, 1024, PackageProblem::BadOptionDigit, "digit 7"},
        {"00010110001001100x00000000000000", 0, 1024, PackageProblem::BadOptionDigit, "digit 18"},
        {kShippedOptions, 0, 0, PackageProblem::BadImage, "image 1"},
        {kShippedOptions, 2097152 - 1023, 1024, PackageProblem::BadImage, "image 1"},
        {kShippedOptions, -4, 1024, PackageProblem::BadImage, "image 1"},
    };
    for (const auto& c : cases) {
        WriteUnpackagedBlock(bytes_);
        SetOptions(c.options);
        SetImage(1, 0, 0);
        if (c.start >= 0) {
            SetImage(1, c.start, c.size);
        } else {
            std::string negative = "-000000004";
            std::copy(negative.begin(), negative.end(), bytes_.begin() + BinStartValueOffset(1));
            SetImage(1, 0, 0);
            std::copy(negative.begin(), negative.end(), bytes_.begin() + BinStartValueOffset(1));
            std::string size = "0000001024";
            std::copy(size.begin(), size.end(), bytes_.begin() + BinSizeValueOffset(1));
        }
        Package p(bytes_);
        ParseResult r = p.Parse();
        EXPECT_EQ(r.problem, c.problem) << c.options << " start " << c.start;
        EXPECT_NE(r.message.find(c.says), std::string::npos) << r.message;
    }
}

TEST_F(BlockTest, ADigitThatIsNeverReadCarriesNoMeaning) {
    SetOptions("000x0110001001100000000000000000");  // digit 3 is not read
    SetOptions("000101100010011x0000000000000000");  // nor is digit 16
    SetImage(1, 0, 1024);
    Package p(bytes_);
    EXPECT_TRUE(p.Parse().ok());
}

TEST_F(BlockTest, TheLastImageMayEndExactlyAtTheAreaEnd) {
    SetOptions(kShippedOptions);
    SetImage(1, 2097152 - 1024, 1024);
    Package p(bytes_);
    EXPECT_TRUE(p.Parse().ok());
}

TEST(DecimalValue, ConvertsLikeTheBlockNumbersNeed) {
    EXPECT_EQ(DecimalValue("0001048576"), 1048576);
    EXPECT_EQ(DecimalValue("  +0012"), 12);
    EXPECT_EQ(DecimalValue("-5"), -5);
    EXPECT_EQ(DecimalValue("12ab34"), 12);
    EXPECT_EQ(DecimalValue(""), 0);
    EXPECT_EQ(DecimalValue("abc"), 0);
    EXPECT_EQ(DecimalValue("-"), 0);
    EXPECT_EQ(DecimalValue("9999999999"), 2147483647);
    EXPECT_EQ(DecimalValue("-9999999999"), -2147483647 - 1);
}

TEST_F(BlockTest, RevisionTextsForComparisonAndDisplay) {
    SetNewFw(1, "QV12-04");
    SetNewFw(2, " QV1   ");
    Package p(bytes_);
    EXPECT_EQ(p.NewRevision(1, false), "QV12");
    EXPECT_EQ(p.NewRevision(1, true), "QV12-04");
    EXPECT_EQ(p.NewRevision(2, true), "QV1");
    EXPECT_EQ(p.NewRevisionLabel(3), "N/A ") << "kept with its trailing blank";
    EXPECT_EQ(p.NewRevision(3, false), "N/A ");
    // An eighth character is never part of the long form.
    std::string eight = "ABCDEFGH";
    std::copy(eight.begin(), eight.end(), bytes_.begin() + NewFwValueOffset(4));
    EXPECT_EQ(p.NewRevision(4, true), "ABCDEFG");
}

TEST_F(BlockTest, SelectingAnImageCopiesItsStoredBytes) {
    SetOptions(OptionsWith({{"imageCount", 2}}));
    SetImage(1, 0, 4096);
    SetImage(2, 5000, 3000);
    for (int i = 0; i < 3000; ++i)
        bytes_[kImageAreaOffset + 5000 + i] = static_cast<uint8_t>(i * 7);
    Package p(bytes_);
    ASSERT_TRUE(p.Parse().ok());
    std::vector<uint8_t> copy = p.SelectImage(1);
    ASSERT_EQ(copy.size(), 3000u);
    EXPECT_EQ(copy[2999], static_cast<uint8_t>(2999 * 7));
    EXPECT_EQ(p.Options().imageSize, 3000);
    EXPECT_EQ(p.Options().imageStart, 5000);
    EXPECT_EQ(p.Options().imageData, bytes_.data() + kImageAreaOffset + 5000);
    copy[0] ^= 0xFF;
    EXPECT_EQ(bytes_[kImageAreaOffset + 5000], 0) << "the copy, not the stored image, changes";
}

TEST(OwnBlock, LiesInTheProgramFileExactlyOnce) {
#ifdef _WIN32
    char self[MAX_PATH + 1] = {};
    GetModuleFileNameA(nullptr, self, MAX_PATH);
    std::ifstream in(self, std::ios::binary);
#else
    std::ifstream in("/proc/self/exe", std::ios::binary);
#endif
    std::vector<uint8_t> file((std::istreambuf_iterator<char>(in)), {});
    int64_t at = LocateBlock(file);
    ASSERT_GE(at, 0) << "the block must be initialised data the packaging step can find";
    auto own = OwnBlock();
    // Start-up may have written terminators into the running copy; compare the untouched header.
    EXPECT_TRUE(std::equal(own.begin(), own.begin() + kConstraintsOffset, file.begin() + at));
    EXPECT_TRUE(
        std::equal(own.begin() + kParaOptOffset, own.end(), file.begin() + at + kParaOptOffset));
    Package p(own);
    EXPECT_EQ(p.Parse().problem, PackageProblem::NoImages)
        << "a program that was never packaged carries no firmware";
}

TEST(LocateBlock, NeedsEveryKeyTextInPlaceAndOnlyOneBlock) {
    std::vector<uint8_t> file(kBlockSize * 2 + 500, 0xCC);
    WriteUnpackagedBlock(std::span<uint8_t>(file).subspan(100, kBlockSize));
    EXPECT_EQ(LocateBlock(file), 100);
    file[100 + kBinSizeOffset + 2 * kBinSizeRecordSize] = 'X';  // "BIN_SIZE3=" spoilt
    EXPECT_EQ(LocateBlock(file), -1);
    file[100 + kBinSizeOffset + 2 * kBinSizeRecordSize] = 'B';
    WriteUnpackagedBlock(std::span<uint8_t>(file).subspan(kBlockSize + 300, kBlockSize));
    EXPECT_EQ(LocateBlock(file), -2);
    // A block cut short by the end of the file is no block.
    std::vector<uint8_t> shortFile(file.begin(), file.begin() + 100 + kBlockSize - 1);
    EXPECT_EQ(LocateBlock(shortFile), -1);
}

TEST_F(BlockTest, AChecksummedPackageDamagedAnywhereIsRefused) {
    SetOptions(kShippedOptions);
    SetImage(1, 0, 1024);
    for (size_t i = 0; i < 1024; ++i)
        bytes_[kImageAreaOffset + i] = static_cast<uint8_t>(i * 7);
    StampChecksum(bytes_);
    const std::vector<uint8_t> packed = bytes_;
    EXPECT_TRUE(Package(bytes_).Parse().ok());
    const size_t digit1 = kParaOptOffset + 9;  // option digit d lies at digit1 + d - 1

    struct Damage {
        const char* what;
        size_t offset;
        uint8_t flip;
    };
    for (Damage d : {Damage{"a bit of the image", kImageAreaOffset + 513, 0x10},
                     Damage{"a bit of its key table", KeyTableOffset(1) + 7, 0x01},
                     Damage{"a digit of BIN_SIZE1", BinSizeValueOffset(1) + 9, 0x01},
                     Damage{"a digit of BIN_START1", BinStartValueOffset(1) + 8, 0x01},
                     Damage{"the commit-mode digit", digit1 + 5, 0x01},
                     Damage{"option digit 18", digit1 + 17, 0x01},
                     Damage{"a constraint", EntryOffset(1, 1) + kEntryVendorOffset, 0x02},
                     Damage{"the title", kTitleOffset, 0x01},
                     Damage{"a digit of the checksum", digit1 + 31, 0x01},
                     Damage{"the marker, into another", digit1 + 21, 0x01},
                     Damage{"the marker, into a letter", digit1 + 18, 0x40}}) {
        SCOPED_TRACE(d.what);
        bytes_ = packed;
        bytes_[d.offset] ^= d.flip;
        ParseResult r = Package(bytes_).Parse();
        EXPECT_EQ(r.problem, PackageProblem::BadChecksum);
        EXPECT_EQ(r.message.rfind("The firmware package is damaged: ", 0), 0u);
    }
}

TEST_F(BlockTest, TheChecksumCoversEveryImageAndEveryRecordNotOnlyTheFirst) {
    std::string options = kShippedOptions;
    options[10] = '4';  // four images
    SetOptions(options);
    for (int n = 1; n <= 4; ++n) {
        SetImage(n, (n - 1) * 4096, 2048);
        SetNewFw(n, "QV1" + std::to_string(n));
        SetLow(n, 1, "QV10");
    }
    for (size_t i = 0; i < 4 * 4096; ++i)
        bytes_[kImageAreaOffset + i] = static_cast<uint8_t>(i * 13 + 1);
    StampChecksum(bytes_);
    const std::vector<uint8_t> packed = bytes_;
    ASSERT_TRUE(Package(bytes_).Parse().ok());
    for (auto [what, offset] : std::initializer_list<std::pair<const char*, size_t>>{
             {"image 4", kImageAreaOffset + 3 * 4096 + 2047},
             {"image 3", kImageAreaOffset + 2 * 4096 + 100},
             {"key table 2", KeyTableOffset(2) + 1023},
             {"key table 4", KeyTableOffset(4)},
             {"the new revision of image 2", NewFwValueOffset(2) + 3},
             {"the new revision of image 4", NewFwValueOffset(4)},
             {"BIN_START4", BinStartValueOffset(4) + 9},
             {"BIN_SIZE3", BinSizeValueOffset(3) + 9},
             {"a constraint of image 4", EntryOffset(4, 1) + kEntryLowOffset + 3},
             {"the last entry of image 3", EntryOffset(3, kEntriesPerImage) + kEntryProductOffset},
             {"the drive name", kDriveNameOffset + 3}}) {
        SCOPED_TRACE(what);
        bytes_ = packed;
        bytes_[offset] ^= 0x04;
        EXPECT_EQ(Package(bytes_).Parse().problem, PackageProblem::BadChecksum);
    }
}

TEST_F(BlockTest, PackagesPackedBeforeTheWholeBlockChecksumStillRun) {
    SetOptions(kShippedOptions);
    SetImage(1, 0, 1024);
    EXPECT_EQ(CheckChecksum(bytes_), ChecksumState::Absent) << "all fourteen digits zero";
    EXPECT_TRUE(Package(bytes_).Parse().ok());
    // Both older kinds run, and tell their user what their checksum leaves out.
    const std::string notice = "checksum does not cover its options and constraints";
    EXPECT_NE(Package(bytes_).Parse().notice.find(notice), std::string::npos);

    // The earlier checksum covers what the flash depends on, and only that.
    char crc[11];
    std::snprintf(crc, sizeof crc, "%010u", static_cast<unsigned>(FlashChecksum(bytes_)));
    const std::string tail = std::string(kFlashChecksumMarker) + crc;
    std::copy(tail.begin(), tail.end(), bytes_.begin() + kParaOptOffset + 9 + 18);
    EXPECT_EQ(CheckChecksum(bytes_), ChecksumState::Matches);
    EXPECT_NE(Package(bytes_).Parse().notice.find(notice), std::string::npos);
    bytes_[kTitleOffset] ^= 1;
    EXPECT_TRUE(Package(bytes_).Parse().ok());
    StampChecksum(bytes_);
    EXPECT_EQ(Package(bytes_).Parse().notice, "") << "the whole-block checksum covers them";
    bytes_[kImageAreaOffset + 5] ^= 1;
    EXPECT_EQ(Package(bytes_).Parse().problem, PackageProblem::BadChecksum);
}

}  // namespace
