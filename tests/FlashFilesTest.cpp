// Flash contents beside the bench: saves that stop half way, benches with inline contents, and
// contents files that went missing or bad.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "platform/emulated/BenchFile.h"
#include "platform/emulated/FirmwareImage.h"
#include "tests/TestMachine.h"
#include "tools/bench/Presets.h"

namespace {
using namespace platform::emulated;
using testing_support::TempDir;
namespace fs = std::filesystem;

constexpr size_t kFlashSize = 64 * 1024;

std::string Read(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

void Write(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

// The files of a folder, by name.
std::vector<std::string> Files(const TempDir& dir) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir.File("")))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

std::shared_ptr<Machine> TwoDrives() {
    auto m = std::make_shared<Machine>();
    for (const char* letter : {"E:", "F:"}) {
        DriveSettings d = benchtool::QuorvantDrive(letter, "1:0:0:0");
        d.flash = FlashContents(kFlashSize, 0xFF);
        m->drives.push_back(std::make_shared<OpticalDrive>(std::move(d)));
    }
    return m;
}

// Gives both drives a firmware of this revision, as a flash would.
void Flash(Machine& m, const std::string& revision) {
    for (auto& drive : m.drives) {
        drive->ByHand([&](DriveSettings& d) {
            d.flash = MakeFirmwareImage(revision, "", kFlashSize);
            d.revision = revision;
        });
    }
}

// What a loaded bench says of each drive: the revision, and whether the flash holds that
// revision's firmware.
void ExpectState(const std::string& path, const std::string& revision) {
    auto m = LoadBench(path);
    ASSERT_EQ(m->drives.size(), 2u);
    for (const auto& drive : m->drives) {
        EXPECT_EQ(drive->Settings().revision, revision);
        EXPECT_EQ(drive->Flash(), MakeFirmwareImage(revision, "", kFlashSize)) << revision;
    }
}

TEST(FlashFiles, ASaveStoppedAtAnyStepLeavesTheOldBenchOrTheNew) {
    TempDir dir("brenvo-test-stopped-save");
    const std::string path = dir.File("pc.json");
    auto m = TwoDrives();
    Flash(*m, "QV12");
    SaveBench(*m, path);
    Flash(*m, "QV13");

    // The process dies right after the step; its files stay as they are.
    auto dieAt = [&](SaveStep step) {
        SaveBench(*m, path, [&](SaveStep reached) {
            if (reached == step) _exit(0);
        });
        _exit(1);
    };
    EXPECT_EXIT(dieAt(SaveStep::ContentsWritten), testing::ExitedWithCode(0), "");
    ExpectState(path, "QV12");
    EXPECT_EXIT(dieAt(SaveStep::BenchWritten), testing::ExitedWithCode(0), "");
    ExpectState(path, "QV13");

    // A whole save afterwards leaves only the files the bench names.
    SaveBench(*m, path);
    ExpectState(path, "QV13");
    auto files = Files(dir);
    EXPECT_EQ(files.size(), 3u);
    for (const auto& name : files) {
        if (name != "pc.json") EXPECT_NE(Read(path).find(name), std::string::npos) << name;
    }
}

TEST(FlashFiles, BenchStaysSmallAndContentsAreWrittenOnlyWhenChanged) {
    TempDir dir;
    const std::string path = dir.File("pc.json");
    auto m = TwoDrives();
    SaveBench(*m, path);
    EXPECT_EQ(Files(dir), std::vector<std::string>{"pc.json"}) << "a fresh flash needs no file";

    Flash(*m, "QV12");
    SaveBench(*m, path);
    EXPECT_LT(Read(path).size(), 4000u);
    EXPECT_NE(Read(path).find(R"("file": "pc.E.1.flash")"), std::string::npos);
    auto written = fs::last_write_time(dir.File("pc.E.1.flash"));

    // The next run changes nothing: the contents file is neither read nor written again.
    auto next = LoadBench(path);
    SaveBench(*next, path);
    EXPECT_EQ(fs::last_write_time(dir.File("pc.E.1.flash")), written);
    EXPECT_EQ(Files(dir), (std::vector<std::string>{"pc.E.1.flash", "pc.F.1.flash", "pc.json"}));

    // Changed contents go to a new name; the old file goes once the bench names the new one.
    next->drives[0]->ByHand([](DriveSettings& d) { d.flash.Write(0, std::vector<uint8_t>{1}); });
    SaveBench(*next, path);
    EXPECT_EQ(Files(dir), (std::vector<std::string>{"pc.E.2.flash", "pc.F.1.flash", "pc.json"}));
    EXPECT_EQ(LoadBench(path)->drives[0]->Flash()[0], 1);
}

TEST(FlashFiles, BenchesWithInlineContentsStillLoadAndMoveToFiles) {
    TempDir dir;
    const std::string path = dir.File("old.json");
    // A bench as the earlier format wrote it: a flashed drive as base64 and an IDE chip as the
    // base64 of its start, erased beyond.
    Write(path, R"({"brenvoBench": 1,
      "ide": {"slots": [{"slot": 0, "chipRow": 0, "flash": "AQID"}]},
      "drives": [{"letter": "E:", "flash": {"size": 4, "base64": "3q2+7w=="}},
                 {"letter": "F:", "flash": {"size": 8, "fill": 0}}]})");
    auto m = LoadBench(path);
    EXPECT_EQ(m->drives[0]->Flash(), (std::vector<uint8_t>{0xDE, 0xAD, 0xBE, 0xEF}));
    EXPECT_EQ(m->drives[1]->Flash(), std::vector<uint8_t>(8, 0));
    const FlashContents& chip = m->ide.driveSlots[0].flash;
    ASSERT_GT(chip.size(), 4u);
    EXPECT_EQ(chip.ToVector()[2], 3);
    EXPECT_EQ(chip.back(), 0xFF);

    SaveBench(*m, path);
    std::string text = Read(path);
    EXPECT_EQ(text.find("base64"), std::string::npos);
    EXPECT_NE(text.find(R"("file": "old.ide0.1.flash")"), std::string::npos);
    auto again = LoadBench(path);
    EXPECT_EQ(again->drives[0]->Flash(), (std::vector<uint8_t>{0xDE, 0xAD, 0xBE, 0xEF}));
    EXPECT_TRUE(again->ide.driveSlots[0].flash == chip.Bytes());
}

TEST(FlashFiles, AMissingOrBadContentsFileIsAnErrorNamingIt) {
    TempDir dir;
    const std::string path = dir.File("pc.json");
    auto m = TwoDrives();
    Flash(*m, "QV12");
    SaveBench(*m, path);
    const std::string contents = dir.File("pc.F.1.flash");
    const std::string good = Read(contents);

    auto loadError = [&] {
        try {
            LoadBench(path);
        } catch (const BenchError& e) {
            return std::string(e.what());
        }
        return std::string();
    };
    fs::remove(contents);
    EXPECT_NE(loadError().find("drives[1].flash.file: " + contents +
                               ": the flash contents file "
                               "is missing"),
              std::string::npos)
        << loadError();
    Write(contents, good.substr(1));
    EXPECT_NE(loadError().find(contents + ": the flash contents file holds 65535 bytes"),
              std::string::npos);

    // Contents of the right size but not the ones the bench names: the drive stops answering
    // the first time a command needs them, and says why.
    std::string other = good;
    other[100] ^= 1;
    Write(contents, other);
    auto loaded = LoadBench(path);
    OpticalDrive& drive = *loaded->drives[1];
    std::array<uint8_t, 12> inquiry{0x12, 0, 0, 0, 36};
    std::array<uint8_t, 36> answer{};
    EXPECT_EQ(drive.Execute(inquiry, 1, answer, 0).status, DriveAnswer::Status::Good);
    std::array<uint8_t, 12> readBuffer{0x3C, 0x01, 0x01, 0, 0, 0, 0, 0x08, 0};
    std::array<uint8_t, 2048> data{};
    EXPECT_EQ(drive.Execute(readBuffer, 1, data, 0).status, DriveAnswer::Status::NoAnswer);
    EXPECT_NE(drive.ContentsProblem().find(contents + ": the flash contents file has crc32"),
              std::string::npos);
    EXPECT_EQ(drive.Execute(inquiry, 1, answer, 0).status, DriveAnswer::Status::NoAnswer);
    // Saving keeps naming the file as it was; nothing else is lost.
    SaveBench(*loaded, path);
    EXPECT_EQ(Read(contents), other);
    EXPECT_EQ(LoadBench(path)->drives[0]->Flash(), MakeFirmwareImage("QV12", "", kFlashSize));
}

TEST(FlashContents, ACopyKeepsTheBytesItWasTakenWith) {
    OpticalDrive drive([] {
        DriveSettings d;
        d.flash = FlashContents(16, 0xFF);
        return d;
    }());
    DriveSettings before = drive.Settings();
    drive.ByHand([](DriveSettings& d) { d.flash.Write(4, std::vector<uint8_t>{7, 8}); });
    DriveSettings after = drive.Settings();
    drive.ByHand([](DriveSettings& d) { d.flash.Write(4, std::vector<uint8_t>{9}); });
    EXPECT_EQ(before.flash.Uniform(), std::optional<uint8_t>(0xFF));
    EXPECT_EQ(after.flash.ToVector()[4], 7) << "the drive's later write reached an older copy";
    EXPECT_EQ(drive.Flash()[4], 9);
    EXPECT_EQ(drive.Flash()[5], 8);
    drive.ByHand([](DriveSettings& d) { d.flash.Fill(0xFF); });
    EXPECT_EQ(drive.Settings().flash.Crc32(), before.flash.Crc32());
}

TEST(FlashFiles, ABenchNamesOnlyFilesBesideIt) {
    for (const char* name : {"../pc.E.1.flash", "/etc/passwd", "..", ""}) {
        std::string text = std::string(R"({"brenvoBench": 1, "drives": [{"letter": "E:",
            "flash": {"size": 4, "file": ")") +
                           name + R"(", "crc32": "00000000"}}]})";
        try {
            ParseBench(text, "bench.json");
            ADD_FAILURE() << name;
        } catch (const BenchError& e) {
            EXPECT_NE(std::string(e.what()).find("drives[0].flash.file: expected the name of a "
                                                 "file beside the bench"),
                      std::string::npos)
                << e.what();
        }
    }
}

}  // namespace
