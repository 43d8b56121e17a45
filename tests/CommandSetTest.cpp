// The command blocks of the drive family and the polling helpers, on the emulated drive.
#include <gtest/gtest.h>

#include "device/AtapiDevice.h"
#include "device/CommandSet.h"
#include "tests/DriveTestSupport.h"

namespace {
using device::AtapiDevice;
using platform::emulated::CommandKind;
using platform::emulated::DriveFault;
using platform::emulated::DriveSettings;
using platform::emulated::Machine;
using testing_support::AddFault;
using testing_support::ChangeDrive;
using testing_support::DriveBench;
using testing_support::TraceCapture;

// The command block of the last request that crossed the seam (pass-through layout).
std::vector<uint8_t> LastCdb(DriveBench& bench) {
    const auto& r = bench.recorder().requests.back();
    return {r.begin() + 28, r.begin() + 40};
}

TEST(DownloadBlock, AppendsTheWrappedSumLowByteFirst) {
    DriveBench bench("typical", [](Machine& m) {
        ChangeDrive(m, 1, [](DriveSettings& d) { d.revision = "0.99"; });  // loader mode
    });
    TraceCapture trace;
    AtapiDevice device;
    ASSERT_TRUE(device.OpenDrive(1));
    auto out = device.WriteBuffer();
    std::fill_n(out.begin(), 4096, 0xFF);
    EXPECT_TRUE(device::DownloadBlock(device, 0x12345678 & 0xFF000, 4096));
    auto cdb = LastCdb(bench);
    EXPECT_EQ(cdb,
              (std::vector<uint8_t>{0xF2, 0x03, 0x00, 0x04, 0x50, 0x00, 0, 0, 0x10, 0x02, 0, 0}));
    EXPECT_EQ(bench.recorder().dataSizes.back(), 4098u);
    EXPECT_EQ(out[4096], 0x00);
    EXPECT_EQ(out[4097], 0xF0);
    EXPECT_EQ(trace.Lines().back()["len"], 4098);

    // A sum the drive disagrees with is refused.
    out[0] = 0x01;
    std::array<uint8_t, 12> block{0xF2, 0x03, 0, 0, 0, 0, 0, 0, 0x00, 0x06};
    out[4] = 0x00;  // sum of 01 FF FF FF is 0x0300; send 0x0000 instead
    out[5] = 0x00;
    EXPECT_FALSE(device.Execute(block, device::kDataOut, 6));
    EXPECT_EQ(device.SenseKey(), 0x05);
}

TEST(CommitBuffer, SendsNoDataAndABankByteOnlyWhenGiven) {
    DriveBench bench("bank");
    AtapiDevice device;
    ASSERT_TRUE(device.OpenDrive(0));
    device::CommitBuffer(device, device::kNoBank, 0x80);
    EXPECT_EQ(LastCdb(bench),
              (std::vector<uint8_t>{0x3B, 0x05, 0x01, 0, 0, 0, 0, 0, 0, 0x80, 0, 0}));
    EXPECT_EQ(bench.recorder().requests.back()[8], device::kNoData);
    EXPECT_EQ(bench.recorder().dataSizes.back(), 0u);
    device::CommitBuffer(device, 1, 0xA0);
    EXPECT_EQ(LastCdb(bench),
              (std::vector<uint8_t>{0x3B, 0x05, 0x01, 0, 0, 0, 0, 0, 0, 0xA0, 1, 0}));
}

TEST(Blocks, StandardCommandsCarryTheirFields) {
    DriveBench bench("typical");
    AtapiDevice device;
    ASSERT_TRUE(device.OpenDrive(0));
    device::ReadBuffer(device, 0x0FF800, 2048);
    EXPECT_EQ(LastCdb(bench), (std::vector<uint8_t>{0x3C, 0x01, 0x01, 0x0F, 0xF8, 0x00, 0x00, 0x08,
                                                    0x00, 0, 0, 0}));
    device::WriteBuffer(device, 0x0FF800, 2048, 0);
    EXPECT_EQ(LastCdb(bench), (std::vector<uint8_t>{0x3B, 0x05, 0x01, 0x0F, 0xF8, 0x00, 0x00, 0x08,
                                                    0x00, 0, 0, 0}));
    device::LoadTray(device);
    EXPECT_EQ(LastCdb(bench)[4], 0x03);
    device::EjectTray(device);
    EXPECT_EQ(LastCdb(bench)[4], 0x02);
    device::StopUnit(device);
    EXPECT_EQ(LastCdb(bench), (std::vector<uint8_t>{0x1B, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
    device::IsTrayOpen(device);
    EXPECT_EQ(LastCdb(bench), (std::vector<uint8_t>{0x4A, 0x01, 0, 0, 0x10, 0, 0, 0, 8, 0, 0, 0}));
    device::DownloadCommit(device, 0x20000);
    EXPECT_EQ(LastCdb(bench),
              (std::vector<uint8_t>{0xF2, 0x04, 0, 0, 0, 0, 0, 0x02, 0, 0, 0, 0x01}));
}

TEST(TrayAndDisc, AnswersFollowTheDrive) {
    DriveBench bench("typical", [](Machine& m) {
        ChangeDrive(m, 0, [](DriveSettings& d) { d.backgroundFormat = 2; });
        ChangeDrive(m, 1, [](DriveSettings& d) { d.trayLocked = true; });
    });
    AtapiDevice device;
    ASSERT_TRUE(device.OpenDrive(0));
    EXPECT_FALSE(device::IsTrayOpen(device));
    EXPECT_EQ(device::BackgroundFormatStatus(device), 2);
    EXPECT_TRUE(device::StopBackgroundFormat(device));
    EXPECT_EQ(device::BackgroundFormatStatus(device), 1);
    EXPECT_TRUE(device::EjectTray(device));
    EXPECT_TRUE(device::IsTrayOpen(device));
    EXPECT_EQ(device::BackgroundFormatStatus(device), 4);  // no disc to ask
    EXPECT_TRUE(device::IsMediumAbsent(device));
    EXPECT_TRUE(device::LoadTray(device));
    EXPECT_FALSE(device::IsTrayOpen(device));
    // The loaded disc spins up within the 30 seconds of the wait.
    EXPECT_FALSE(device::IsMediumAbsent(device));

    ASSERT_TRUE(device.OpenDrive(1));
    EXPECT_FALSE(device::EjectTray(device));
    EXPECT_FALSE(device::IsTrayOpen(device));
}

TEST(WaitReady, GivesUpAfterTheLimitPollingEvery300Ms) {
    DriveBench bench("typical",
                     [](Machine& m) { AddFault(m, 0, {.kind = DriveFault::Kind::NeverReady}); });
    AtapiDevice device;
    ASSERT_TRUE(device.OpenDrive(0));
    int before = bench.drive(0).Received(CommandKind::TestUnitReady);
    double start = bench.Now();
    EXPECT_FALSE(device::WaitReady(device, 60));
    EXPECT_GE(bench.Now() - start, 60.0);
    EXPECT_LT(bench.Now() - start, 61.0);
    int polls = bench.drive(0).Received(CommandKind::TestUnitReady) - before;
    EXPECT_GE(polls, 200);  // 60 s / 300 ms, plus the last look
    EXPECT_LE(polls, 203);
    EXPECT_TRUE(device::SenseIs(device, 0x02, 0x04));
    EXPECT_FALSE(device::IsMediumAbsent(device));
}

TEST(WaitReady, EndsAtOnceOnAnyOtherAnswer) {
    DriveBench bench("typical", [](Machine& m) {
        ChangeDrive(m, 0, [](DriveSettings& d) { d.medium = false; });
        ChangeDrive(m, 1, [](DriveSettings& d) { d.readyAt = 10; });
    });
    AtapiDevice device;
    ASSERT_TRUE(device.OpenDrive(0));
    double start = bench.Now();
    EXPECT_TRUE(device::WaitReady(device, 60));
    EXPECT_LT(bench.Now() - start, 0.01);
    EXPECT_TRUE(device::IsMediumAbsent(device));

    // A drive becoming ready is waited for, and the wait ends when it is.
    ASSERT_TRUE(device.OpenDrive(1));
    EXPECT_TRUE(device::WaitReady(device, 60));
    EXPECT_GE(bench.Now(), 10.0);
    EXPECT_LT(bench.Now(), 10.5);
}

TEST(WaitNoUnitAttention, StopsAfterOneAnswerOrTheBound) {
    DriveBench bench("typical", [](Machine& m) {
        ChangeDrive(m, 0, [](DriveSettings& d) { d.unitAttention = true; });
        AddFault(m, 1, {.kind = DriveFault::Kind::UnitAttentionForever});
    });
    AtapiDevice device;
    // Enumeration waited the pending unit attention away before it read the drive tag.
    EXPECT_STREQ(device.drives[0].driveTag, "QV11-03");
    ASSERT_TRUE(device.OpenDrive(1));
    int before = bench.drive(1).Received(CommandKind::TestUnitReady);
    EXPECT_FALSE(device::WaitNoUnitAttention(device));
    EXPECT_EQ(bench.drive(1).Received(CommandKind::TestUnitReady) - before,
              device::kUnitAttentionTries);
}

TEST(ReadFlashId, AnAllZeroAnswerIsNoIdentification) {
    DriveBench bench("typical", [](Machine& m) {
        ChangeDrive(m, 1, [](DriveSettings& d) { d.flashId = std::array<uint8_t, 4>{}; });
    });
    AtapiDevice device;
    ASSERT_TRUE(device.OpenDrive(1));
    EXPECT_FALSE(device::ReadFlashId(device));
    EXPECT_EQ(device.Outcome(), device::kOutcomeSuccess);
    ASSERT_TRUE(device.OpenDrive(0));
    EXPECT_TRUE(device::ReadFlashId(device));
}

}  // namespace
