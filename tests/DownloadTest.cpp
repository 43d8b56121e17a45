// The three firmware downloads end to end on the emulated drive: what the drive receives, what
// its flash holds afterwards, and how each procedure meets the seeded faults.
#include <gtest/gtest.h>

#include "common/Text.h"
#include "device/AtapiDevice.h"
#include "device/CommandSet.h"
#include "engine/Downloads.h"
#include "platform/emulated/BenchFile.h"
#include "platform/emulated/FirmwareImage.h"
#include "tests/DriveTestSupport.h"

namespace {
using device::AtapiDevice;
using nlohmann::json;
using platform::emulated::CommandKind;
using platform::emulated::DriveFault;
using platform::emulated::DriveSettings;
using platform::emulated::Machine;
using platform::emulated::MakeFirmwareImage;
using testing_support::AddFault;
using testing_support::ChangeDrive;
using testing_support::DriveBench;
using testing_support::TraceCapture;

constexpr size_t kMebibyte = 1 << 20;
constexpr size_t kBankImage = 128 * 1024;

std::string Op(const json& line) {
    return line["cdb"].get<std::string>().substr(0, 2);
}

// The trace lines whose block starts with the given hex text.
std::vector<json> Starting(const std::vector<json>& lines, const std::string& prefix) {
    std::vector<json> found;
    for (const auto& l : lines)
        if (l["cdb"].get<std::string>().rfind(prefix, 0) == 0) found.push_back(l);
    return found;
}

std::string HexOf(std::span<const uint8_t> bytes) {
    return common::Hex(bytes);
}

// The 24-bit offset of a READ/WRITE BUFFER block in a trace line.
uint32_t BufferOffset(const json& line) {
    return std::stoul(line["cdb"].get<std::string>().substr(6, 6), nullptr, 16);
}

// A drive of the typical bench, opened.
struct Opened {
    explicit Opened(DriveBench& bench, int index = 0) : bench(bench) {
        EXPECT_TRUE(device.OpenDrive(index));
    }
    DriveBench& bench;
    AtapiDevice device;
};

TEST(VerifiedDownload, FlashesOneMebibyteAndTheDriveTakesTheNewIdentity) {
    DriveBench bench("typical");
    Opened e(bench);
    auto image = MakeFirmwareImage("QV12", "QV12-04", kMebibyte);
    TraceCapture trace;
    ASSERT_TRUE(engine::VerifiedDownload(e.device, image, false));
    EXPECT_EQ(bench.drive(0).Flash(), image);

    auto lines = trace.Lines();
    // Ready wait, then StopUnit before the profile.
    size_t stop = 0;
    while (stop < lines.size() && Op(lines[stop]) == "00")
        ++stop;
    ASSERT_LT(stop + 2, lines.size());
    EXPECT_EQ(lines[stop]["cdb"], "1b0000000000000000000000");
    EXPECT_EQ(lines[stop + 1]["cdb"], "df1100000000000000000000");
    EXPECT_EQ(lines[stop + 2]["cdb"].get<std::string>().substr(18, 2), "7f");
    // Each chunk is written and at once read back, in order.
    std::vector<json> chunks(lines.begin() + stop + 3, lines.end() - 1);
    ASSERT_EQ(chunks.size(), 1024u);
    for (size_t i = 0; i < chunks.size(); ++i) {
        const auto& l = chunks[i];
        ASSERT_EQ(Op(l), i % 2 == 0 ? "3b" : "3c") << i;
        ASSERT_EQ(BufferOffset(l), (i / 2) * 2048) << i;
        ASSERT_EQ(l["len"], 2048);
        ASSERT_EQ(l["head"], HexOf(std::span(image).subspan((i / 2) * 2048, 16))) << i;
    }
    EXPECT_EQ(chunks.back()["cdb"],
              "3c0101"
              "0ff800"
              "000800"
              "000000");
    // The commit, without a bank, after a pause of 3 seconds.
    const auto& commit = lines.back();
    EXPECT_EQ(commit["cdb"], "3b0501000000000000800000");
    EXPECT_EQ(commit["dir"], 2);
    EXPECT_GE(commit["t"].get<double>() - chunks.back()["t"].get<double>(), 3.0);

    ASSERT_TRUE(device::WaitReady(e.device, 60));
    ASSERT_TRUE(e.device.ReidentifyCurrent());
    EXPECT_STREQ(e.device.DriveAt(0)->revision, "QV12");
    EXPECT_STREQ(e.device.DriveAt(0)->driveTag, "QV12-04");
}

TEST(VerifiedDownload, CommitVariantAndAForeignImageThatStillChangesTheRevision) {
    DriveBench bench("typical");
    Opened e(bench);
    std::vector<uint8_t> image(kMebibyte, 0x5A);  // not made by the firmware tool
    TraceCapture trace;
    ASSERT_TRUE(engine::VerifiedDownload(e.device, image, true));
    EXPECT_EQ(trace.Lines().back()["cdb"], "3b0501000000000000a00000");
    EXPECT_TRUE(device::WaitReady(e.device, 60));
    ASSERT_TRUE(e.device.ReidentifyCurrent());
    EXPECT_STRNE(e.device.DriveAt(0)->revision, "QV11");
    EXPECT_EQ(std::strlen(e.device.DriveAt(0)->revision), 4u);
}

TEST(VerifiedDownload, RetriesFromTheFirstChunkAndGivesUpAfterThreeAttempts) {
    DriveBench bench("typical", [](Machine& m) {
        // The 100th read-back of each attempt comes back wrong.
        for (int nth : {100, 200, 300})
            AddFault(m, 0,
                     {.kind = DriveFault::Kind::CorruptReadBack,
                      .command = CommandKind::ReadBuffer,
                      .nth = nth,
                      .seed = 7});
    });
    Opened e(bench);
    auto before = bench.drive(0).Flash();
    auto image = MakeFirmwareImage("QV12", "", kMebibyte);
    TraceCapture trace;
    EXPECT_FALSE(engine::VerifiedDownload(e.device, image, false));
    std::vector<json> writes;
    for (const auto& w : Starting(trace.Lines(), "3b0501"))
        if (w["len"] == 2048) writes.push_back(w);
    ASSERT_EQ(writes.size(), 3u * 100);
    EXPECT_EQ(BufferOffset(writes[100]), 0u);
    EXPECT_EQ(BufferOffset(writes[200]), 0u);
    EXPECT_TRUE(Starting(trace.Lines(), "3b0501000000000000").empty());  // no commit
    EXPECT_EQ(bench.drive(0).Flash(), before);
}

TEST(VerifiedDownload, ASecondAttemptThatSucceedsIsCommitted) {
    DriveBench bench("typical", [](Machine& m) {
        AddFault(m, 0,
                 {.kind = DriveFault::Kind::FailCommand,
                  .command = CommandKind::WriteBuffer,
                  .nth = 512});
    });
    Opened e(bench);
    auto image = MakeFirmwareImage("QV12", "", kMebibyte);
    EXPECT_TRUE(engine::VerifiedDownload(e.device, image, false));
    EXPECT_EQ(bench.drive(0).Received(CommandKind::WriteBuffer), 512 + 512);
    EXPECT_EQ(bench.drive(0).Flash(), image);
}

TEST(PowerCut, LeavesTheFlashHalfWrittenAndTheDriveSaysSoAfterRestart) {
    testing_support::TempDir dir;
    std::string benchPath = dir.File("bench.json");
    auto image = MakeFirmwareImage("QV12", "", kMebibyte);
    {
        DriveBench bench("typical", [](Machine& m) {
            AddFault(m, 0, {.kind = DriveFault::Kind::PowerCut, .command = CommandKind::Commit});
        });
        Opened e(bench);
        EXPECT_FALSE(engine::VerifiedDownload(e.device, image, false));
        EXPECT_TRUE(bench.drive(0).PoweredOff());
        EXPECT_FALSE(device::Inquiry(e.device, 0, 0, 96));
        auto flash = bench.drive(0).Flash();
        EXPECT_TRUE(std::equal(image.begin(), image.begin() + kMebibyte / 2, flash.begin()));
        EXPECT_NE(flash, image);
        platform::emulated::SaveBench(bench.machine(), benchPath);
    }
    auto machine = platform::emulated::LoadBench(benchPath);
    machine->drives[0] = std::make_shared<platform::emulated::OpticalDrive>([&] {
        auto s = machine->drives[0]->Settings();
        s.faults.clear();
        return s;
    }());
    platform::ScopedSystem scope(std::make_unique<platform::emulated::EmulatedSystem>(machine));
    AtapiDevice device;
    EXPECT_STREQ(device.DriveAt(0)->revision, "0000");
    EXPECT_STREQ(device.DriveAt(0)->vendorSpecific, "FLASH INCOMPLETE");
    // Flashing again mends it.
    ASSERT_TRUE(device.OpenDrive(0));
    EXPECT_TRUE(engine::VerifiedDownload(device, image, false));
    EXPECT_TRUE(device::WaitReady(device, 60));
    EXPECT_TRUE(device.ReidentifyCurrent());
    EXPECT_STREQ(device.DriveAt(0)->revision, "QV12");
}

TEST(BankDownload, SendsTheUpperHalfFirstAndCommitsEachBank) {
    DriveBench bench("bank");
    Opened e(bench);
    auto image = MakeFirmwareImage("QV12", "", kBankImage);
    TraceCapture trace;
    ASSERT_TRUE(engine::BankDownload(e.device, image, engine::kBankChunkSize, true));
    EXPECT_EQ(bench.drive(0).Flash(), image);

    auto lines = trace.Lines();
    auto commits = Starting(lines, "3b05010000000000");
    ASSERT_EQ(commits.size(), 2u);
    EXPECT_EQ(commits[0]["cdb"], "3b0501000000000000800100");  // bank 1, always 0x80
    EXPECT_EQ(commits[1]["cdb"], "3b0501000000000000a00000");  // bank 0, the variant
    auto profiles = Starting(lines,
                             "3b0501000000000500"
                             "7f");
    EXPECT_EQ(profiles.size(), 2u);
    auto writes = Starting(lines, "3b0501");
    std::vector<json> data;
    for (const auto& w : writes)
        if (w["cdb"].get<std::string>().substr(18, 2) == "00" && w["len"] == 4096)
            data.push_back(w);
    ASSERT_EQ(data.size(), 32u);
    for (size_t j = 0; j < 32; ++j) {
        size_t half = j < 16 ? 1 : 0;
        EXPECT_EQ(BufferOffset(data[j]), (j % 16) * 4096) << j;
        EXPECT_EQ(data[j]["head"],
                  HexOf(std::span(image).subspan(half * 0x10000 + (j % 16) * 4096, 16)))
            << j;
    }
    // All chunks of a half are written before the first is read back.
    auto reads = Starting(lines, "3c");
    ASSERT_EQ(reads.size(), 32u);
    EXPECT_GT(reads[0]["t"].get<double>(), data[15]["t"].get<double>());
    // A second pause: one second before each commit.
    EXPECT_GE(commits[0]["t"].get<double>() - reads[15]["t"].get<double>(), 1.0);

    ASSERT_TRUE(device::WaitReady(e.device, 60));
    ASSERT_TRUE(e.device.ReidentifyCurrent());
    EXPECT_STREQ(e.device.DriveAt(0)->revision, "QV12");
}

TEST(BankDownload, ADifferenceInTheLastChunkWritesTheWholeHalfAgain) {
    DriveBench bench("bank", [](Machine& m) {
        AddFault(m, 0,
                 {.kind = DriveFault::Kind::CorruptReadBack,
                  .command = CommandKind::ReadBuffer,
                  .nth = 16});
    });
    Opened e(bench);
    auto image = MakeFirmwareImage("QV12", "", kBankImage);
    TraceCapture trace;
    ASSERT_TRUE(engine::BankDownload(e.device, image, engine::kBankChunkSize, false));
    EXPECT_EQ(bench.drive(0).Received(CommandKind::WriteBuffer), 16 * 3);
    EXPECT_EQ(bench.drive(0).Received(CommandKind::ReadBuffer), 16 * 3);
    EXPECT_EQ(Starting(trace.Lines(), "3b0501000000000000800000").size(), 1u);
    EXPECT_EQ(bench.drive(0).Flash(), image);
}

TEST(BankDownload, ThreeBadAttemptsFailTheWholeProcedure) {
    DriveBench bench("bank", [](Machine& m) {
        AddFault(m, 0,
                 {.kind = DriveFault::Kind::CorruptReadBack,
                  .command = CommandKind::ReadBuffer,
                  .times = 0});
    });
    Opened e(bench);
    auto before = bench.drive(0).Flash();
    EXPECT_FALSE(engine::BankDownload(e.device, MakeFirmwareImage("QV12", "", kBankImage),
                                      engine::kBankChunkSize, false));
    EXPECT_EQ(bench.drive(0).Received(CommandKind::WriteBuffer), 16 * 3);
    EXPECT_EQ(bench.drive(0).Received(CommandKind::Commit), 0);
    EXPECT_EQ(bench.drive(0).Flash(), before);
}

TEST(BlockDownload, OpensSendsThirtyTwoSummedBlocksAndCommits) {
    DriveBench bench("typical");
    Opened f(bench, 1);  // no flash identification
    auto image = MakeFirmwareImage("1.01", "", kBankImage);
    TraceCapture trace;
    ASSERT_TRUE(engine::BlockDownload(f.device, image));
    auto lines = trace.Lines();
    ASSERT_EQ(lines.size(), 1u + 32 + 1);
    EXPECT_EQ(lines[0]["cdb"], "f20100000000000000000000");
    for (size_t j = 0; j < 32; ++j) {
        char cdb[32];
        std::snprintf(cdb, sizeof cdb,
                      "f203%08zx00001002"
                      "0000",
                      j * 4096);
        EXPECT_EQ(lines[1 + j]["cdb"], cdb);
        EXPECT_EQ(lines[1 + j]["len"], 4098);
    }
    EXPECT_EQ(lines.back()["cdb"], "f20400000000000200000001");
    auto flash = bench.drive(1).Flash();
    EXPECT_TRUE(std::equal(image.begin(), image.end(), flash.begin()));
    EXPECT_TRUE(device::WaitReady(f.device, 60));
    EXPECT_TRUE(f.device.ReidentifyCurrent());
    EXPECT_STREQ(f.device.DriveAt(1)->revision, "1.01");
}

TEST(BlockDownload, ALoaderRevisionSkipsTheOpen) {
    DriveBench bench("typical", [](Machine& m) {
        ChangeDrive(m, 1, [](DriveSettings& d) { d.revision = "0.90"; });
    });
    Opened f(bench, 1);
    TraceCapture trace;
    ASSERT_TRUE(engine::BlockDownload(f.device, MakeFirmwareImage("1.01", "", kBankImage)));
    EXPECT_EQ(Op(trace.Lines().front()), "f2");
    EXPECT_EQ(trace.Lines().front()["cdb"].get<std::string>().substr(0, 4), "f203");
}

TEST(BlockDownload, ABlockFailureRestartsAtBlockZeroAndThreeSendNoCommit) {
    auto image = MakeFirmwareImage("1.01", "", kBankImage);
    {
        DriveBench bench("typical", [](Machine& m) {
            AddFault(m, 1,
                     {.kind = DriveFault::Kind::FailCommand,
                      .command = CommandKind::DownloadBlock,
                      .nth = 21});
        });
        Opened f(bench, 1);
        TraceCapture trace;
        ASSERT_TRUE(engine::BlockDownload(f.device, image));
        auto blocks = Starting(trace.Lines(), "f203");
        ASSERT_EQ(blocks.size(), 21u + 32);
        EXPECT_EQ(blocks[20]["outcome"], 2);
        EXPECT_EQ(blocks[21]["cdb"], "f20300000000000010020000");
    }
    DriveBench bench("typical", [](Machine& m) {
        for (int nth : {21, 42, 63})
            AddFault(m, 1,
                     {.kind = DriveFault::Kind::FailCommand,
                      .command = CommandKind::DownloadBlock,
                      .nth = nth});
    });
    Opened f(bench, 1);
    auto before = bench.drive(1).Flash();
    EXPECT_FALSE(engine::BlockDownload(f.device, image));
    EXPECT_EQ(bench.drive(1).Received(CommandKind::DownloadBlock), 63);
    EXPECT_EQ(bench.drive(1).Received(CommandKind::DownloadCommit), 0);
    EXPECT_EQ(bench.drive(1).Flash(), before);
}

// Sizes the procedure cannot transfer whole are refused before the drive hears anything.
TEST(Downloads, RefuseImagesTheyCannotTransferWhole) {
    DriveBench bench("typical");
    Opened e(bench);
    int before = bench.drive(0).Received(CommandKind::Any);
    std::vector<uint8_t> oneMebibytePlus(kMebibyte + 1000, 0x11);
    std::vector<uint8_t> shortBank(kBankImage - 100, 0x11);
    std::vector<uint8_t> halfBank(kBankImage / 2, 0x11);
    std::vector<uint8_t> tooLarge((16u << 20) + 2048, 0x11);
    EXPECT_FALSE(engine::VerifiedDownload(e.device, oneMebibytePlus, false));
    EXPECT_FALSE(engine::VerifiedDownload(e.device, {}, false));
    EXPECT_FALSE(engine::VerifiedDownload(e.device, tooLarge, false));
    EXPECT_FALSE(engine::BlockDownload(e.device, shortBank));
    EXPECT_FALSE(engine::BlockDownload(e.device, {}));
    EXPECT_FALSE(engine::BankDownload(e.device, shortBank, 4096, false));
    EXPECT_FALSE(engine::BankDownload(e.device, halfBank, 4096, false));
    EXPECT_FALSE(engine::BankDownload(e.device, std::vector<uint8_t>(kBankImage), 3000, false));
    EXPECT_FALSE(engine::TransferAndVerify(e.device, halfBank, 1, 4096));
    EXPECT_EQ(bench.drive(0).Received(CommandKind::Any), before);
}

TEST(Downloads, TheFlashPersistsInTheBenchFile) {
    testing_support::TempDir dir;
    auto image = MakeFirmwareImage("QV12", "", kMebibyte);
    {
        DriveBench bench("typical");
        Opened e(bench);
        ASSERT_TRUE(engine::VerifiedDownload(e.device, image, false));
        platform::emulated::SaveBench(bench.machine(), dir.File("bench.json"));
    }
    auto machine = platform::emulated::LoadBench(dir.File("bench.json"));
    EXPECT_EQ(machine->drives[0]->Flash(), image);
    EXPECT_EQ(machine->drives[0]->Settings().revision, "QV12");
}

}  // namespace

namespace {

// Every procedure against every lasting fault: it fails, and the flash does not hold the image.
enum class Procedure { Verified, Bank, Block };

struct ProcedureFault {
    const char* name;
    Procedure procedure;
    DriveFault fault;
};

void PrintTo(const ProcedureFault& c, std::ostream* os) {
    *os << c.name;
}

class EveryProcedure : public testing::TestWithParam<ProcedureFault> {};

TEST_P(EveryProcedure, FailsUnderTheFaultAndLeavesNoFalseSuccess) {
    const auto& c = GetParam();
    const char* preset = c.procedure == Procedure::Bank ? "bank" : "typical";
    int drive = c.procedure == Procedure::Block ? 1 : 0;
    DriveBench bench(preset, [&](Machine& m) { AddFault(m, drive, c.fault); });
    Opened opened(bench, drive);
    auto& device = opened.device;
    device.SetTimeout(100);
    std::vector<uint8_t> image =
        MakeFirmwareImage("QV12", "", c.procedure == Procedure::Verified ? kMebibyte : kBankImage);
    bool ok = false;
    switch (c.procedure) {
        case Procedure::Verified:
            ok = engine::VerifiedDownload(device, image, false);
            break;
        case Procedure::Bank:
            ok = engine::BankDownload(device, image, engine::kBankChunkSize, false);
            break;
        case Procedure::Block:
            ok = engine::BlockDownload(device, image);
            break;
    }
    EXPECT_FALSE(ok);
    auto flash = bench.drive(drive).Flash();
    EXPECT_FALSE(std::equal(image.begin(), image.end(), flash.begin()));
}

DriveFault Lasting(DriveFault::Kind kind, CommandKind command = CommandKind::Any) {
    return {.kind = kind, .command = command, .times = 0};
}

INSTANTIATE_TEST_SUITE_P(
    SeededFaults, EveryProcedure,
    testing::Values(
        ProcedureFault{"VerifiedNeverReady", Procedure::Verified,
                       Lasting(DriveFault::Kind::NeverReady)},
        ProcedureFault{"VerifiedReadBackCorrupt",
                       Procedure::Verified,
                       {.kind = DriveFault::Kind::CorruptReadBack,
                        .command = CommandKind::ReadBuffer,
                        .times = 0,
                        .seed = 3}},
        ProcedureFault{"VerifiedTransportGone",
                       Procedure::Verified,
                       {.kind = DriveFault::Kind::TransportFailure,
                        .command = CommandKind::ReadBuffer,
                        .nth = 10,
                        .times = 0}},
        ProcedureFault{"VerifiedCommitRefused",
                       Procedure::Verified,
                       {.kind = DriveFault::Kind::FailCommand, .command = CommandKind::Commit}},
        ProcedureFault{"VerifiedPowerCutInCommit",
                       Procedure::Verified,
                       {.kind = DriveFault::Kind::PowerCut, .command = CommandKind::Commit}},
        ProcedureFault{"VerifiedUnitAttention", Procedure::Verified,
                       Lasting(DriveFault::Kind::UnitAttentionForever)},
        ProcedureFault{"BankNeverReady", Procedure::Bank, Lasting(DriveFault::Kind::NeverReady)},
        ProcedureFault{"BankUnitAttention", Procedure::Bank,
                       Lasting(DriveFault::Kind::UnitAttentionForever)},
        ProcedureFault{"BankTransport", Procedure::Bank,
                       Lasting(DriveFault::Kind::TransportFailure, CommandKind::WriteBuffer)},
        ProcedureFault{"BankSlowReadBack",
                       Procedure::Bank,
                       {.kind = DriveFault::Kind::SlowCommand,
                        .command = CommandKind::ReadBuffer,
                        .times = 0,
                        .seconds = 101}},
        ProcedureFault{"BankPowerCutInFirstCommit",
                       Procedure::Bank,
                       {.kind = DriveFault::Kind::PowerCut, .command = CommandKind::Commit}},
        ProcedureFault{
            "BankPowerCutInSecondCommit",
            Procedure::Bank,
            {.kind = DriveFault::Kind::PowerCut, .command = CommandKind::Commit, .nth = 2}},
        ProcedureFault{
            "BankSecondCommitRefused",
            Procedure::Bank,
            {.kind = DriveFault::Kind::FailCommand, .command = CommandKind::Commit, .nth = 2}},
        ProcedureFault{"BlockNeverReady", Procedure::Block, Lasting(DriveFault::Kind::NeverReady)},
        ProcedureFault{"BlockUnitAttention", Procedure::Block,
                       Lasting(DriveFault::Kind::UnitAttentionForever)},
        ProcedureFault{"BlockTransport", Procedure::Block,
                       Lasting(DriveFault::Kind::TransportFailure, CommandKind::DownloadBlock)},
        ProcedureFault{
            "BlockOpenRefused",
            Procedure::Block,
            {.kind = DriveFault::Kind::FailCommand, .command = CommandKind::DownloadOpen}},
        ProcedureFault{
            "BlockCommitRefused",
            Procedure::Block,
            {.kind = DriveFault::Kind::FailCommand, .command = CommandKind::DownloadCommit}},
        ProcedureFault{
            "BlockPowerCutInCommit",
            Procedure::Block,
            {.kind = DriveFault::Kind::PowerCut, .command = CommandKind::DownloadCommit}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(VerifiedDownload, AMebibyteReachesEachChipWhoseProfileGoesTo0x80000) {
    // Chunk 256 of a 1 MiB image also goes to 0x80000 without a control byte: the drive takes it
    // as data, not as a second profile.
    for (auto id :
         {std::array<uint8_t, 4>{0xDA, 0xC8, 0, 0}, std::array<uint8_t, 4>{0xBF, 0xB4, 0, 0}}) {
        DriveBench bench("typical", [&](platform::emulated::Machine& m) {
            ChangeDrive(m, 0, [&](platform::emulated::DriveSettings& d) { d.flashId = id; });
        });
        Opened e(bench);
        auto image = MakeFirmwareImage("QV12", "", kMebibyte);
        ASSERT_TRUE(engine::VerifiedDownload(e.device, image, true)) << int(id[0]);
        EXPECT_EQ(bench.drive(0).Flash(), image);
        EXPECT_EQ(bench.drive(0).Settings().revision, "QV12");
        EXPECT_EQ(bench.drive(0).Received(platform::emulated::CommandKind::Profile), 1);
    }
}

TEST(BankDownload, ABankWrittenWithoutTheOtherLeavesTheDriveInItsBootLoader) {
    DriveBench bench("bank", [](platform::emulated::Machine& m) {
        // The second half fails every write: bank 1 is committed, bank 0 never is.
        AddFault(m, 0,
                 {platform::emulated::DriveFault::Kind::FailCommand,
                  platform::emulated::CommandKind::WriteBuffer, 17, 0});
    });
    Opened e(bench);
    EXPECT_FALSE(
        engine::BankDownload(e.device, MakeFirmwareImage("QV12", "", kBankImage), 4096, true));
    auto drive = bench.drive(0).Settings();
    EXPECT_TRUE(drive.flashIncomplete);
    ASSERT_TRUE(e.device.ReidentifyCurrent());
    EXPECT_STREQ(e.device.Current().revision, "0000");
    EXPECT_STREQ(e.device.Current().vendorSpecific, "FLASH INCOMPLETE");
}

}  // namespace
