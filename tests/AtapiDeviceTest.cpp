// The command executor on both transports: the request bytes, the outcome rules and the ASPI
// manager's loading.
#include <gtest/gtest.h>

#include "device/AtapiDevice.h"
#include "device/CommandSet.h"
#include "tests/DriveTestSupport.h"

namespace {
using device::AtapiDevice;
using platform::emulated::CommandKind;
using platform::emulated::DriveFault;
using platform::emulated::Family;
using platform::emulated::Machine;
using testing_support::AddFault;
using testing_support::DriveBench;
using testing_support::MessageBoxCapture;

uint32_t Le32(const std::vector<uint8_t>& r, size_t at) {
    return r[at] | r[at + 1] << 8 | r[at + 2] << 16 | uint32_t{r[at + 3]} << 24;
}

const std::array<uint8_t, 12> kTestUnitReady{};

TEST(PassThroughRequest, CarriesTheLayoutOfA32BitProcess) {
    DriveBench bench("typical", [](Machine& m) {
        testing_support::ChangeDrive(m, 1, [](auto& d) {
            d.address = std::array<int, 4>{1, 0, 1, 3};
        });
    });
    AtapiDevice device;
    ASSERT_TRUE(device.OpenDrive(1));  // F: at 1:0:1:3
    auto& recorded = bench.recorder().requests;

    bench.recorder().Clear();
    ASSERT_TRUE(device::Inquiry(device, 0, 0, 96));
    const auto& r = recorded.at(0);
    EXPECT_EQ(r.size(), 80u);
    EXPECT_EQ(r[0] | r[1] << 8, 44);
    EXPECT_EQ(r[3], 1);  // PathId: the adapter number
    EXPECT_EQ(r[4], 1);  // TargetId
    EXPECT_EQ(r[5], 0);  // Lun: always 0 on this transport
    EXPECT_EQ(r[6], 12);
    EXPECT_EQ(r[7], 24);
    EXPECT_EQ(r[8], 1);
    EXPECT_EQ(Le32(r, 12), 96u);
    EXPECT_EQ(Le32(r, 16), 60u);  // an ordinary command: the short time-out
    EXPECT_EQ(Le32(r, 20), platform::kDataBufferRead);
    EXPECT_EQ(Le32(r, 24), 48u);
    EXPECT_EQ(r[28], 0x12);
    EXPECT_EQ(r[32], 96);
    for (size_t i = 40; i < 80; ++i)
        EXPECT_EQ(r[i], 0) << "byte " << i;
    EXPECT_EQ(bench.recorder().dataSizes.at(0), 96u);
}

TEST(PassThroughRequest, DataBufferFollowsDirectionAndIsNullWithoutData) {
    DriveBench bench("typical");
    AtapiDevice device;
    ASSERT_TRUE(device.OpenDrive(0));
    auto& recorded = bench.recorder().requests;
    bench.recorder().Clear();
    device::WriteBuffer(device, 0, 16, device::kControlData);  // out, 16 bytes
    device::TestUnitReady(device);                             // no data
    std::array<uint8_t, 12> readNothing{0x3C, 0x01, 0x01};     // in, length 0
    device.Execute(readNothing, device::kDataIn, 0);
    std::array<uint8_t, 12> noDataWithLength{0x00};
    device.Execute(noDataWithLength, device::kNoData, 32);  // direction 2 wins over a length
    ASSERT_EQ(recorded.size(), 4u);
    EXPECT_EQ(Le32(recorded[0], 20), platform::kDataBufferWrite);
    EXPECT_EQ(Le32(recorded[1], 20), platform::kDataBufferNone);
    EXPECT_EQ(Le32(recorded[2], 20), platform::kDataBufferNone);
    EXPECT_EQ(Le32(recorded[3], 20), platform::kDataBufferNone);
    EXPECT_EQ(bench.recorder().dataSizes[3], 0u);
}

TEST(Execute, OutcomeAndSenseOfEachKindOfAnswer) {
    DriveBench bench("typical", [](Machine& m) {
        AddFault(m, 0,
                 {.kind = DriveFault::Kind::FailCommand,
                  .command = CommandKind::ReadBuffer,
                  .nth = 1,
                  .sense = {0x03, 0x11, 0x05}});
        AddFault(m, 0,
                 {.kind = DriveFault::Kind::TransportFailure,
                  .command = CommandKind::ReadBuffer,
                  .nth = 3});
    });
    AtapiDevice device;
    ASSERT_TRUE(device.OpenDrive(0));

    EXPECT_FALSE(device::ReadBuffer(device, 0, 64));
    EXPECT_EQ(device.Outcome(), device::kOutcomeCheckCondition);
    EXPECT_EQ(device.SenseKey(), 0x03);
    EXPECT_EQ(device.Asc(), 0x11);
    EXPECT_EQ(device.Ascq(), 0x05);
    EXPECT_EQ(device.transferred, 0u);

    // The next command's sense area starts empty again.
    EXPECT_TRUE(device::ReadBuffer(device, 0, 64));
    EXPECT_EQ(device.Outcome(), device::kOutcomeSuccess);
    EXPECT_EQ(device.SenseKey(), 0);
    EXPECT_EQ(device.Asc(), 0);
    EXPECT_EQ(device.transferred, 64u);
    EXPECT_EQ(device.lastCommand[0], 0x3C);

    EXPECT_FALSE(device::ReadBuffer(device, 0, 64));
    EXPECT_EQ(device.Outcome(), device::kOutcomeFailed);
    EXPECT_EQ(device.SenseKey(), 0);
}

TEST(Execute, LengthAboveTheBuffersFailsWithoutReachingTheDrive) {
    DriveBench bench("typical");
    AtapiDevice device;
    ASSERT_TRUE(device.OpenDrive(0));
    int before = bench.drive(0).Received(CommandKind::Any);
    size_t requests = bench.recorder().requests.size();
    std::array<uint8_t, 12> read{0x3C, 0x01, 0x01, 0, 0, 0, 0x01, 0x00, 0x01};
    EXPECT_FALSE(device.Execute(read, device::kDataIn, AtapiDevice::kBufferSize + 1));
    EXPECT_EQ(device.Outcome(), device::kOutcomeFailed);
    EXPECT_EQ(device.transferred, 0u);
    EXPECT_EQ(bench.drive(0).Received(CommandKind::Any), before);
    EXPECT_EQ(bench.recorder().requests.size(), requests);
    // The full buffer size itself is allowed.
    std::array<uint8_t, 12> full{0x3C, 0x01, 0x01, 0, 0, 0, 0x01, 0x00, 0x00};
    EXPECT_TRUE(device.Execute(full, device::kDataIn, AtapiDevice::kBufferSize));
}

TEST(Execute, WithoutAnOpenDriveLeavesTheOutcomeAlone) {
    DriveBench bench("typical");
    AtapiDevice device;
    ASSERT_TRUE(device.OpenDrive(0));
    device::ReadFlashId(device);
    device.CloseDrive();
    EXPECT_FALSE(device::TestUnitReady(device));
    EXPECT_EQ(device.Outcome(), device::kOutcomeSuccess);
    EXPECT_EQ(device.lastCommand[0], 0xDF);
}

// A command that outlasts the time-out fails with outcome 0 on every transport: cut short by the
// system (pass-through), by the bounded wait for the event (ASPI), or measured afterwards when the
// manager finished it synchronously, even though the drive reported success.
struct TimeOutCase {
    const char* name;
    const char* preset;
    bool synchronous;
};

void PrintTo(const TimeOutCase& c, std::ostream* os) {
    *os << c.name;
}

class TimeOut : public testing::TestWithParam<TimeOutCase> {};

TEST_P(TimeOut, CountsAsFailedWithOutcomeZero) {
    DriveBench bench(GetParam().preset, [](Machine& m) {
        m.aspi.completesByEvent = !GetParam().synchronous;
        AddFault(m, 0,
                 {.kind = DriveFault::Kind::SlowCommand,
                  .command = CommandKind::Inquiry,
                  .nth = 1,
                  .times = 0,
                  .seconds = 10});
    });
    AtapiDevice device;
    ASSERT_TRUE(device.OpenDrive(0));
    device.SetTimeout(5);
    EXPECT_FALSE(device::Inquiry(device, 0, 0, 96));
    EXPECT_EQ(device.Outcome(), device::kOutcomeFailed);
    EXPECT_GE(device.elapsed, 4.99);
    if (GetParam().synchronous) {
        EXPECT_TRUE(device.timedOut);
        EXPECT_NEAR(device.elapsed, 10.0, 0.01);
    }
    device.SetTimeout(11);
    EXPECT_TRUE(device::Inquiry(device, 0, 0, 96));
    EXPECT_FALSE(device.timedOut);
    EXPECT_NEAR(device.elapsed, 10.0, 0.01);
}

INSTANTIATE_TEST_SUITE_P(EveryTransport, TimeOut,
                         testing::Values(TimeOutCase{"PassThrough", "typical", false},
                                         TimeOutCase{"AspiEvent", "aspi", false},
                                         TimeOutCase{"AspiSynchronous", "aspi", true}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(AspiRequest, CarriesAdapterTargetLunAndTheEvent) {
    DriveBench bench("aspi", [](Machine& m) {
        testing_support::ChangeDrive(m, 1, [](auto& d) {
            d.address = std::array<int, 4>{0, 0, 3, 2};
        });
    });
    AtapiDevice device;
    ASSERT_EQ(device.DriveCount(), 2);
    ASSERT_TRUE(device.OpenDrive(0));  // the OTHERCO drive now sorts first, at 0:0:3:2
    EXPECT_EQ(device.lun, 2);
    auto& recorded = bench.recorder().requests;
    bench.recorder().Clear();
    int waits = bench.recorder().waits;
    ASSERT_TRUE(device::Inquiry(device, 0, 0, 96));
    const auto& r = recorded.at(0);
    EXPECT_EQ(r[0], 2);     // SC_EXEC_SCSI_CMD
    EXPECT_EQ(r[1], 0);     // pending when sent
    EXPECT_EQ(r[2], 0);     // adapter
    EXPECT_EQ(r[3], 0x48);  // data in, event notification
    EXPECT_EQ(r[8], 3);
    EXPECT_EQ(r[9], 2);
    EXPECT_EQ(Le32(r, 12), 96u);
    EXPECT_EQ(Le32(r, 16), platform::kDataBufferRead);
    EXPECT_EQ(r[20], 14);
    EXPECT_EQ(r[21], 12);
    EXPECT_NE(Le32(r, 24), 0u);
    EXPECT_EQ(r[48], 0x12);
    // The manager finished through the event: the program waited for it.
    EXPECT_EQ(bench.recorder().waits, waits + 1);
}

TEST(AspiRequest, SynchronousCompletionIsNotWaitedFor) {
    DriveBench bench("aspi", [](Machine& m) { m.aspi.completesByEvent = false; });
    AtapiDevice device;
    ASSERT_TRUE(device.OpenDrive(0));
    int waits = bench.recorder().waits;
    EXPECT_TRUE(device::Inquiry(device, 0, 0, 96));
    EXPECT_EQ(bench.recorder().waits, waits);
}

TEST(AspiRequest, WithoutEventsThePollFindsTheAnswer) {
    DriveBench bench("aspi", [](Machine& m) { m.aspi.eventsFail = true; });
    AtapiDevice device;
    ASSERT_TRUE(device.OpenDrive(0));
    auto& recorded = bench.recorder().requests;
    bench.recorder().Clear();
    EXPECT_FALSE(device::ReadBuffer(device, 0x7FFFFF, 64));  // beyond the staging buffer
    EXPECT_EQ(device.Outcome(), device::kOutcomeCheckCondition);
    EXPECT_EQ(device.SenseKey(), 0x05);
    EXPECT_EQ(device.Asc(), 0x24);
    EXPECT_EQ(recorded.at(0)[3], 0x08);  // no event flag
    EXPECT_EQ(Le32(recorded.at(0), 24), 0u);
    EXPECT_TRUE(device::Inquiry(device, 0, 0, 96));
}

TEST(AspiRequest, TransportErrorWithoutSenseIsOutcomeZero) {
    DriveBench bench("aspi", [](Machine& m) {
        AddFault(m, 0,
                 {.kind = DriveFault::Kind::TransportFailure,
                  .command = CommandKind::Inquiry,
                  .nth = 1,
                  .times = 0});
    });
    AtapiDevice device;
    ASSERT_TRUE(device.OpenDrive(0));
    EXPECT_FALSE(device::Inquiry(device, 0, 0, 96));
    EXPECT_EQ(device.Outcome(), device::kOutcomeFailed);
}

struct LoadCase {
    const char* name;
    void (*configure)(Machine&);
    const char* text;
    const char* caption;
};

void PrintTo(const LoadCase& c, std::ostream* os) {
    *os << c.name;
}

class LoadAspi : public testing::TestWithParam<LoadCase> {};

TEST_P(LoadAspi, ShowsTheMessageOfEachFailureAndFindsNoDrives) {
    MessageBoxCapture boxes;
    DriveBench bench("aspi", GetParam().configure);
    AtapiDevice device;
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(boxes.shown[0].text, GetParam().text);
    EXPECT_EQ(boxes.shown[0].caption, GetParam().caption);
    EXPECT_EQ(boxes.shown[0].icon, platform::MessageIcon::Error);
    EXPECT_EQ(device.aspiModule, platform::kNullModule);
    EXPECT_FALSE(device.sendCommandEntry);
    EXPECT_EQ(device.DriveCount(), 0);
    EXPECT_EQ(device.DriveAt(0), nullptr);
}

INSTANTIATE_TEST_SUITE_P(
    EachFailure, LoadAspi,
    testing::Values(LoadCase{"NoLibrary", [](Machine& m) { m.aspi.present = false; },
                             "LoadLibrary:\nWNASPI32.DLL not found.", "Error FS 002"},
                    LoadCase{"NoSupportInfo",
                             [](Machine& m) { m.aspi.getSupportInfoEntry = false; },
                             "GetProcAddress:\nGetASPI32SupportInfo not fount.", "Error FS 003"},
                    LoadCase{"NoSendCommand", [](Machine& m) { m.aspi.sendCommandEntry = false; },
                             "GetProcAddress:\npfnSendASPI32Command not found.", "Error FS 004"},
                    LoadCase{"OldManager", [](Machine& m) { m.aspi.supportStatus = 0xE1; },
                             "Old ASPI manager.", "GetASPISupportInfo:"},
                    LoadCase{"RealMode", [](Machine& m) { m.aspi.supportStatus = 0xE2; },
                             "ASPI for Windows does not support real mode.", "GetASPISupportInfo:"},
                    LoadCase{"NoManager", [](Machine& m) { m.aspi.supportStatus = 0xE3; },
                             "Could not find the ASPI manager.", "GetASPISupportInfo:"},
                    LoadCase{"OtherStatus", [](Machine& m) { m.aspi.supportStatus = 0xE4; },
                             "Error initializing ASPI.", "GetASPISupportInfo:"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(LoadAspi, ALoadedManagerShowsNothing) {
    MessageBoxCapture boxes;
    DriveBench bench("aspi");
    AtapiDevice device;
    EXPECT_TRUE(boxes.shown.empty());
    EXPECT_NE(device.aspiModule, platform::kNullModule);
    EXPECT_EQ(device.DriveCount(), 2);
    EXPECT_EQ(device.drives[0].viaAspi, 1);
}

}  // namespace
