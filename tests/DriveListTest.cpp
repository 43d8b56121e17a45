// Matching drives against the package's constraints, the revision comparison and the list lines.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "engine/DriveClaims.h"
#include "engine/DriveList.h"
#include "package/OptionNames.h"
#include "package/Package.h"

namespace {
using device::DriveRecord;
using engine::RevisionForm;
using namespace package;

constexpr RevisionForm kShort{false, true};

DriveRecord Drive(const char* vendor, const char* product, const char* revision,
                  const char* tag = "", const char* root = "E:\\") {
    DriveRecord r;
    std::strncpy(r.vendor, vendor, 8);
    std::strncpy(r.product, product, 16);
    std::strncpy(r.revision, revision, 4);
    std::strncpy(r.driveTag, tag, 7);
    std::strncpy(r.rootPath, root, 3);
    std::snprintf(r.idText, sizeof r.idText, "%-8.8s%-16.16s", vendor, product);
    r.adapter = 1;
    r.present = 1;
    return r;
}

class Matching : public ::testing::Test {
  protected:
    Matching() : bytes_(kBlockSize) {
        WriteUnpackagedBlock(bytes_);
        Options(kShippedOptions);
        NewRevision(1, "QV13");
    }
    void Options(const std::string& digits) {
        std::copy(digits.begin(), digits.end(), bytes_.begin() + kParaOptOffset + 9);
    }
    void Entry(int k, int e, const char* low, const char* high, const char* vendor = "",
               const char* product = "") {
        size_t at = EntryOffset(k, e);
        SetFieldText(bytes_, at + kEntryLowOffset, kEntryLowSize, low);
        SetFieldText(bytes_, at + kEntryHighOffset, kEntryHighSize, high);
        SetFieldText(bytes_, at + kEntryVendorOffset, kEntryVendorSize, vendor);
        SetFieldText(bytes_, at + kEntryProductOffset, kEntryProductSize, product);
    }
    void NewRevision(int n, const char* revision) {
        SetFieldText(bytes_, NewFwValueOffset(n), kNewFwValueSize, revision);
    }
    DriveRecord Match(DriveRecord r, RevisionForm form = kShort) {
        Package p(bytes_);
        p.Parse();
        engine::MatchDrive(r, p, form);
        return r;
    }

    std::vector<uint8_t> bytes_;
};

TEST_F(Matching, RangesByByteOrderWithVendorAndProductFree) {
    Entry(1, 1, "QV10", "QV14");
    Entry(1, 2, "QV16", "QV19");
    Entry(1, 3, "QVA0", "QVZZ");
    Entry(1, 4, "AB00", "AB99");
    struct Case {
        const char* revision;
        bool matched;
    } cases[] = {{"QV10", true},  {"QV14", true}, {"QV15", false}, {"QV19", true},
                 {"QV1a", false}, {"QVB7", true}, {"QV0Z", false}, {"AB50", true}};
    for (const auto& c : cases) {
        DriveRecord r = Match(Drive("ANYONE", "ANYTHING", c.revision));
        EXPECT_EQ(r.matched, c.matched) << c.revision;
        if (c.matched) EXPECT_EQ(r.imageIndex, 0);
    }
}

TEST_F(Matching, VendorAndProductCompareTheirFirst8And16Characters) {
    Entry(1, 1, "", "", "QUORVANT", "DVD-RW QV-1600");
    EXPECT_TRUE(Match(Drive("QUORVANT", "DVD-RW QV-1600", "ZZ99")).matched);
    EXPECT_FALSE(Match(Drive("QUORVANT", "DVD-ROM QV-52", "QV11")).matched);
    EXPECT_FALSE(Match(Drive("quorvant", "DVD-RW QV-1600", "QV11")).matched) << "case counts";
    Entry(1, 1, "", "", "QUORVANTXYZ", "");  // only 8 characters take part
    EXPECT_TRUE(Match(Drive("QUORVANT", "X", "QV11")).matched);
}

TEST_F(Matching, AnUntouchedFirstEntryTakesEveryPresentDrive) {
    DriveRecord r = Match(Drive("OTHERCO", "CD-ROM XJ-52", "1.00"));
    EXPECT_TRUE(r.matched);
    EXPECT_EQ(r.imageIndex, 0);
    DriveRecord absent = Drive("OTHERCO", "CD-ROM XJ-52", "1.00");
    absent.present = 0;
    absent.matched = 1;
    EXPECT_FALSE(Match(absent).matched) << "absent records are cleared";
    // A placeholder in a later entry is an ordinary entry that matches nothing.
    Entry(1, 1, "QV10", "QV19");
    EXPECT_FALSE(Match(Drive("OTHERCO", "CD-ROM XJ-52", "1.00")).matched);
}

TEST_F(Matching, LaterImagesAreTriedInOrderAndOnlyUpToTheImageCount) {
    Options(OptionsWith({{"imageCount", 2}}));
    Entry(1, 1, "QV10", "QV19");
    Entry(2, 1, "QV00", "QV09");
    NewRevision(2, "QV05");
    DriveRecord r = Match(Drive("Q", "P", "QV03"));
    EXPECT_TRUE(r.matched);
    EXPECT_EQ(r.imageIndex, 1);
    Entry(3, 1, "", "");  // would match anything, but the package carries two images
    EXPECT_FALSE(Match(Drive("Q", "P", "XX00")).matched);
}

TEST_F(Matching, RevisionComparisonSetsNewerAndSame) {
    Entry(1, 1, "", "");
    struct Case {
        const char *drive, *fresh;
        int newer, same;
    } cases[] = {
        {"AB12", "AB13", 0, 0}, {"AB12", "AB12", 0, 1}, {"AB15", "AB13", 1, 0},
        {"AB9X", "ABC1", 0, 0}, {"AB21", "AB19", 1, 0}, {"AB19", "AB21", 0, 0},
        {"ABCb", "ABCa", 1, 0}, {"ABCa", "ABCB", 0, 0}, {"XY12", "AB12", 0, 0},
        {"AB1", "AB12", 0, 0},  {"AB1A", "AB19", 1, 0}, {"ABC1", "AB9X", 0, 0},
        {"ABCA", "ABCa", 1, 0}, {"ABCa", "ABCA", 0, 0}, {"AB1-", "AB10", 0, 0},
    };
    for (const auto& c : cases) {
        NewRevision(1, c.fresh);
        DriveRecord r = Match(Drive("Q", "P", c.drive));
        EXPECT_EQ(r.driveNewer, c.newer) << c.drive << " against " << c.fresh;
        EXPECT_EQ(r.sameRevision, c.same) << c.drive << " against " << c.fresh;
    }
    // Without warnNewer the newer drive is not marked.
    Options(OptionsWith({{"warnNewer", 0}}));
    NewRevision(1, "AB13");
    EXPECT_EQ(Match(Drive("Q", "P", "AB15")).driveNewer, 0);
}

TEST_F(Matching, LongRevisionsCompareTheDriveTagUpToItsSixthCharacter) {
    Entry(1, 1, "QV11-00", "QV11-99");  // a 7-character bound sets long-revision mode
    NewRevision(1, "QV11-05");
    RevisionForm longForm{true, true};
    DriveRecord older = Match(Drive("Q", "P", "QV11", "QV11-03"), longForm);
    EXPECT_TRUE(older.matched);
    EXPECT_EQ(older.sameRevision, 1) << "character 7 takes no part: -03 and -05 count as the same";
    EXPECT_EQ(Match(Drive("Q", "P", "QV11", "QV11-00"), longForm).sameRevision, 1);
    NewRevision(1, "QV11-15");
    DriveRecord behind = Match(Drive("Q", "P", "QV11", "QV11-05"), longForm);
    EXPECT_EQ(behind.driveNewer + behind.sameRevision, 0);
    NewRevision(1, "QV11-05");
    EXPECT_EQ(Match(Drive("Q", "P", "QV11", "QV11-05"), longForm).sameRevision, 1);
    EXPECT_EQ(Match(Drive("Q", "P", "QV11", "QV11-15"), longForm).driveNewer, 1);
    EXPECT_FALSE(Match(Drive("Q", "P", "QV12", "QV10-99"), longForm).matched)
        << "the drive tag decides, not the revision";
    // On the direct-IDE path bounds and revisions are cut to 4 characters.
    DriveRecord ide = Match(Drive("Q", "P", "QV11", "QV10-99"), RevisionForm{true, false});
    EXPECT_TRUE(ide.matched);
    EXPECT_EQ(ide.sameRevision, 1);
}

TEST(DriveLine, FormatsAddressLetterNameAndRevision) {
    DriveRecord r = Drive("QUORVANT", "DVD-RW QV-1600", "QV11", "QV11-03");
    r.adapter = 1;
    r.target = 1;
    EXPECT_EQ(engine::DriveLine(r, kShort), " 1-0-1-0 E:QUORVANTDVD-RW QV-1600   QV11");
    EXPECT_EQ(engine::DriveLine(r, RevisionForm{true, true}),
              " 1-0-1-0 E:QUORVANTDVD-RW QV-1600    QV11-03");
    DriveRecord ide = Drive("QUORVANT", "DVD-ROM QV-52", "QV05", "", "");
    ide.adapter = 12;
    EXPECT_EQ(engine::DriveLine(ide, RevisionForm{true, false}),
              "12-0-0-0 QUORVANTDVD-ROM QV-52    QV05")
        << "no letter column: the name follows the address and one blank";
    DriveRecord unnamed;
    unnamed.present = 1;
    EXPECT_EQ(engine::DriveLine(unnamed, kShort), " 0-0-0-0 " + std::string(24 + 1 + 4, ' '));
}

TEST(DriveLine, ADrivesControlBytesAreShownEscapedAndMatchedAsAnswered) {
    // A drive (or a bench) answering with terminal controls: the list line, the name in the
    // messages and the revision label show them escaped; the record keeps them as answered.
    DriveRecord r = Drive("\x1b[2J\r", "\x1b[1AOK\x9b",
                          "Q\x7f"
                          "1",
                          "");
    const std::string line = engine::DriveLine(r, kShort);
    EXPECT_EQ(line,
              " 1-0-0-0 E:\\x1b[2J\\r   \\x1b[1AOK\\x9b" + std::string(9 + 1, ' ') + "Q\\x7f1");
    EXPECT_EQ(engine::DriveName(r), "E: (\\x1b[2J\\r \\x1b[1AOK\\x9b)");
    EXPECT_EQ(engine::ShownField(r.revision), "Q\\x7f1");
    EXPECT_EQ(std::string(r.vendor), "\x1b[2J\r");
    // Other text, a Japanese name included, shows as it is.
    DriveRecord named = Drive("QUORVANT", "\xe5\x85\x89\xe5\xad\xa6 QV", "QV11");
    EXPECT_EQ(engine::DriveName(named), "E: (QUORVANT 光学 QV)");
}

TEST(DriveListTexts, NoMatchReportInTheThreeLanguages) {
    const std::string list = " 1-0-0-0 E:OTHERCO CD-ROM XJ-52       1.00\n";
    EXPECT_EQ(engine::NoMatchReport(0, "DVD-RW QV-1600", list),
              "No matched drive detected !\nThis utility is only for DVD-RW QV-1600 drive.\n\n"
              "Detected drives :\n" +
                  list);
    EXPECT_EQ(engine::NoMatchReport(1, "X", ""),
              "找不到符合條件的光碟機 !\n這個更新程式只適用於 X 這個型號的光碟機.\n\nDetected "
              "drives :\n");
    EXPECT_EQ(engine::NoMatchReport(2, "X", ""),
              "正しいドライブが見つかりません。このアップデートプログラムは X "
              "ドライブにしか使用できません。\n\n下記のドライブが見付かりました。\n");
    EXPECT_EQ(engine::RefusalText(7), "This drive is not allowed to be updated.");
    EXPECT_EQ(engine::AnnouncementText(2), "ファームウェアをアップデートします。");
}

}  // namespace
