// The command trace: one line per command the drive received, with its bytes and its answer.
#include <gtest/gtest.h>

#include "common/Crc32.h"
#include "device/AtapiDevice.h"
#include "device/CommandSet.h"
#include "tests/DriveTestSupport.h"

namespace {
using testing_support::DriveBench;
using testing_support::TraceCapture;

class CommandTrace : public testing::TestWithParam<const char*> {};

TEST_P(CommandTrace, RecordsEachCommandWithItsDataAndAnswer) {
    DriveBench bench(GetParam());
    device::AtapiDevice device;
    ASSERT_TRUE(device.OpenDrive(0));
    TraceCapture trace;
    double start = bench.Now();
    ASSERT_TRUE(device::Inquiry(device, 0, 0, 96));
    uint32_t inquiryCrc = common::Crc32(device.ReadBuffer().first(96));
    EXPECT_FALSE(device::ReadBuffer(device, 0xFFFFF0, 64));  // beyond the staging buffer
    auto out = device.WriteBuffer();
    for (int i = 0; i < 20; ++i)
        out[i] = static_cast<uint8_t>(i);
    EXPECT_FALSE(device::WriteBuffer(device, 0, 20, device::kControlData));  // no profile yet

    auto lines = trace.Lines();
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0]["device"], "E:");
    EXPECT_EQ(lines[0]["cdb"], "120000006000000000000000");
    EXPECT_EQ(lines[0]["dir"], 1);
    EXPECT_EQ(lines[0]["len"], 96);
    EXPECT_EQ(lines[0]["head"], "058000325b00000051554f5256414e54");
    EXPECT_EQ(lines[0]["crc32"], inquiryCrc);
    EXPECT_EQ(lines[0]["outcome"], 1);
    EXPECT_EQ(lines[0]["sense"], nlohmann::json::array({0, 0, 0}));
    EXPECT_GE(lines[0]["t"].get<double>(), start);
    EXPECT_EQ(lines[1]["outcome"], 2);
    EXPECT_EQ(lines[1]["sense"], nlohmann::json::array({5, 0x24, 0}));
    EXPECT_EQ(lines[2]["dir"], 0);
    EXPECT_EQ(lines[2]["head"], "000102030405060708090a0b0c0d0e0f");
    EXPECT_EQ(lines[2]["crc32"], common::Crc32(out.first(20)));
    EXPECT_EQ(lines[2]["sense"], nlohmann::json::array({5, 0x2C, 0}));
    EXPECT_LT(lines[0]["t"].get<double>(), lines[1]["t"].get<double>());
    EXPECT_LT(lines[1]["t"].get<double>(), lines[2]["t"].get<double>());
}

INSTANTIATE_TEST_SUITE_P(BothTransports, CommandTrace, testing::Values("typical", "aspi"));

}  // namespace
