// The drives and the ASPI manager in bench files, and brenvo-bench's drive presets and images.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "common/Crc32.h"
#include "platform/emulated/BenchFile.h"
#include "platform/emulated/FirmwareImage.h"
#include "tests/DriveTestSupport.h"
#include "tools/bench/BenchTool.h"

namespace {
using platform::emulated::BenchError;
using platform::emulated::Machine;
using platform::emulated::ParseBench;

std::string BenchWith(const std::string& drives, const std::string& aspi = "{}") {
    return R"({"brenvoBench": 1, "aspi": )" + aspi + R"(, "drives": )" + drives + "}";
}

std::string DriveBenchErrorOf(const std::string& text) {
    try {
        ParseBench(text, "bench.json");
    } catch (const BenchError& e) {
        return e.what();
    }
    return "no error";
}

const char* kDrive = R"({"letter": "E:", "address": "1:0:0:0", "vendor": "QUORVANT",
    "flash": {"size": 4096, "fill": 255})";

TEST(BenchDrives, BadFieldsAreNamedWithTheirFile) {
    auto drive = [](const std::string& extra) {
        return BenchWith(std::string("[") + kDrive + ", " + extra + "}]");
    };
    EXPECT_EQ(DriveBenchErrorOf(BenchWith(std::string("[") + kDrive + "}]")), "no error");
    EXPECT_NE(
        DriveBenchErrorOf(drive(R"("address": "1:0:0")")).find("bench.json.drives[0].address:"),
        std::string::npos);
    EXPECT_NE(
        DriveBenchErrorOf(drive(R"("flashId": "bf d8")")).find("bench.json.drives[0].flashId:"),
        std::string::npos);
    EXPECT_NE(
        DriveBenchErrorOf(drive(R"("vendorr": "X")")).find("drives[0].vendorr: unknown field"),
        std::string::npos);
    EXPECT_NE(DriveBenchErrorOf(drive(R"("faults": [{"kind": "meltdown"}])"))
                  .find("bench.json.drives[0].faults[0].kind:"),
              std::string::npos);
    EXPECT_NE(
        DriveBenchErrorOf(drive(R"("faults": [{"kind": "failCommand", "sense": [16, 0, 0]}])"))
            .find("faults[0].sense:"),
        std::string::npos);
    EXPECT_NE(DriveBenchErrorOf(
                  BenchWith(R"([{"letter": "E:", "flash": {"size": 4, "base64": "AAA="}}])"))
                  .find("drives[0].flash.base64:"),
              std::string::npos);
    EXPECT_NE(DriveBenchErrorOf(BenchWith(std::string("[") + kDrive + "}, " + kDrive + "}]"))
                  .find("drives[1].letter: two drives"),
              std::string::npos);
    EXPECT_NE(
        DriveBenchErrorOf(BenchWith("[]", R"({"completion": "later"})")).find("aspi.completion:"),
        std::string::npos);
}

TEST(BenchDrives, StateSurvivesTheRoundTrip) {
    Machine m;
    benchtool::ApplyPreset("aspi", m);
    m.aspi.supportStatus = 0xE1;
    testing_support::ChangeDrive(m, 1, [](auto& d) {
        d.flash = platform::emulated::MakeFirmwareImage("1.01", "", 4096);
        d.trayOpen = true;
        d.faults.push_back({.kind = platform::emulated::DriveFault::Kind::SlowCommand,
                            .command = platform::emulated::CommandKind::Commit,
                            .nth = 2,
                            .seconds = 9});
        d.faults.push_back(
            {.kind = platform::emulated::DriveFault::Kind::BadCell, .address = 0x123});
    });
    std::string text = platform::emulated::SerializeBench(m);
    // A fresh flash is kept as its fill byte, a written one as base64.
    EXPECT_NE(text.find(R"("fill": 255)"), std::string::npos);
    EXPECT_NE(text.find(R"("base64")"), std::string::npos);
    auto back = ParseBench(text, "bench.json");
    EXPECT_EQ(back->family, platform::emulated::Family::Windows9x);
    EXPECT_TRUE(back->aspi.present);
    EXPECT_EQ(back->aspi.supportStatus, 0xE1);
    ASSERT_EQ(back->drives.size(), 2u);
    auto e = back->drives[0]->Settings();
    EXPECT_EQ(e.flashId, (std::array<uint8_t, 4>{0xBF, 0xD8, 0x00, 0x0A}));
    EXPECT_EQ(e.driveTag, "QV11-03");
    auto f = back->drives[1]->Settings();
    EXPECT_EQ(f.flash, platform::emulated::MakeFirmwareImage("1.01", "", 4096));
    EXPECT_TRUE(f.trayOpen);
    EXPECT_FALSE(f.driveTag.has_value());
    ASSERT_EQ(f.faults.size(), 2u);
    EXPECT_EQ(f.faults[0].command, platform::emulated::CommandKind::Commit);
    EXPECT_EQ(f.faults[0].nth, 2);
    EXPECT_EQ(f.faults[0].seconds, 9);
    EXPECT_EQ(f.faults[1].kind, platform::emulated::DriveFault::Kind::BadCell);
    EXPECT_EQ(f.faults[1].address, 0x123);
    EXPECT_EQ(platform::emulated::SerializeBench(*back), text);
}

TEST(BenchTool, MakesDrivePresetsImagesAndShowsThem) {
    testing_support::TempDir dir;
    std::ostringstream out, err;
    ASSERT_EQ(benchtool::Run({"new", "--preset", "sixteen", dir.File("b.json")}, out, err), 0);
    EXPECT_EQ(platform::emulated::LoadBench(dir.File("b.json"))->drives.size(), 16u);
    EXPECT_EQ(benchtool::Run({"new", "--preset", "nine", dir.File("c.json")}, out, err), 2);
    EXPECT_NE(err.str().find("bank"), std::string::npos);

    ASSERT_EQ(
        benchtool::Run({"firmware", "--revision", "QV12", "--size", "131072", dir.File("fw.bin")},
                       out, err),
        0);
    std::ifstream in(dir.File("fw.bin"), std::ios::binary);
    std::vector<uint8_t> image((std::istreambuf_iterator<char>(in)), {});
    EXPECT_EQ(image, platform::emulated::MakeFirmwareImage("QV12", "", 131072));
    auto identity = platform::emulated::IdentityOfFlash(image, "QV11");
    EXPECT_EQ(identity.revision, "QV12");
    EXPECT_EQ(identity.driveTag, "QV12-00");
    EXPECT_EQ(benchtool::Run({"firmware", "--revision", "QV123", "--size", "4096", "x"}, out, err),
              2);

    ASSERT_EQ(benchtool::Run({"new", "--preset", "bank", dir.File("d.json")}, out, err), 0);
    std::ostringstream shown;
    ASSERT_EQ(benchtool::Run({"show", dir.File("d.json")}, shown, err), 0);
    char crc[9];
    std::snprintf(crc, sizeof crc, "%08x", common::Crc32(std::vector<uint8_t>(131072, 0xFF)));
    EXPECT_NE(shown.str().find("E: 1:0:0:0  QUORVANT DVD-RW QV-1600  revision QV11 (QV11-03), "
                               "flash 131072 bytes crc32 " +
                               std::string(crc) + ", ready"),
              std::string::npos)
        << shown.str();
}

TEST(BenchTool, NewPacedMakesTheSameBenchOnAClockThatKeepsRealTime) {
    testing_support::TempDir dir;
    std::ostringstream out, err;
    ASSERT_EQ(benchtool::Run({"new", "--preset", "typical", dir.File("v.json")}, out, err), 0);
    ASSERT_EQ(
        benchtool::Run({"new", dir.File("p.json"), "--paced", "--preset", "typical"}, out, err), 0)
        << err.str();
    auto virtualBench = platform::emulated::LoadBench(dir.File("v.json"));
    auto pacedBench = platform::emulated::LoadBench(dir.File("p.json"));
    EXPECT_FALSE(virtualBench->clockSettings.paced);
    EXPECT_TRUE(pacedBench->clockSettings.paced);
    EXPECT_EQ(pacedBench->drives.size(), virtualBench->drives.size());
    std::ostringstream shown;
    ASSERT_EQ(benchtool::Run({"show", dir.File("p.json")}, shown, err), 0);
    EXPECT_NE(shown.str().find("Clock:             paced in real time"), std::string::npos)
        << shown.str();
    // A flag takes no value: a second output file after it is still a usage error.
    EXPECT_EQ(benchtool::Run({"new", "--paced", dir.File("a.json"), dir.File("b.json")}, out, err),
              2);
}

TEST(FirmwareIdentity, AForeignImageNeverKeepsTheOldRevision) {
    std::vector<uint8_t> flash(4096, 0x00);
    auto first = platform::emulated::IdentityOfFlash(flash, "QV11");
    auto again = platform::emulated::IdentityOfFlash(flash, first.revision);
    EXPECT_NE(first.revision, "QV11");
    EXPECT_NE(again.revision, first.revision);
    EXPECT_EQ(again.revision.size(), 4u);
}

}  // namespace
