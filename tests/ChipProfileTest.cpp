// Sending the flash profile of the drive's chip: header, length and place by table entry.
#include <gtest/gtest.h>

#include <cstring>

#include "device/AtapiDevice.h"
#include "device/CommandSet.h"
#include "engine/SendChipProfile.h"
#include "package/FlashProfiles.h"
#include "tests/DriveTestSupport.h"

namespace {
using device::AtapiDevice;
using platform::emulated::CommandKind;
using platform::emulated::DriveSettings;
using platform::emulated::Machine;
using testing_support::ChangeDrive;
using testing_support::DriveBench;
using testing_support::TraceCapture;

struct ProfileCase {
    const char* name;
    std::array<uint8_t, 4> flashId;
    const char* cdb;    // the WRITE BUFFER block the drive receives
    const char* head;   // the first bytes of the transfer
    int profileOffset;  // where the profile bytes start in the transfer
    int entry;
};

void PrintTo(const ProfileCase& c, std::ostream* os) {
    *os << c.name;
}

class SendChipProfile : public testing::TestWithParam<ProfileCase> {};

TEST_P(SendChipProfile, SendsTheEntrysProfileAndTheDriveTakesIt) {
    const auto& c = GetParam();
    DriveBench bench("bank", [&](Machine& m) {
        ChangeDrive(m, 0, [&](DriveSettings& d) { d.flashId = c.flashId; });
    });
    AtapiDevice device;
    ASSERT_TRUE(device.OpenDrive(0));
    TraceCapture trace;
    EXPECT_TRUE(engine::SendChipProfile(device));
    auto lines = trace.Lines();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0]["cdb"], "df1100000000000000000000");
    EXPECT_EQ(lines[1]["cdb"], c.cdb);
    EXPECT_EQ(lines[1]["outcome"], 1);  // the drive's loader accepted it
    EXPECT_EQ(lines[1]["head"].get<std::string>().substr(0, std::strlen(c.head)), c.head);
    auto profile = package::ProfileBytes(c.entry);
    auto sent = device.WriteBuffer().subspan(c.profileOffset, 16);
    EXPECT_TRUE(std::equal(sent.begin(), sent.end(), profile.begin()));
}

INSTANTIATE_TEST_SUITE_P(
    TableEntries, SendChipProfile,
    testing::Values(
        // Entry 3: the header counts inside the 1280 bytes.
        ProfileCase{
            "Entry3", {0xBF, 0xB6, 0x00, 0x01}, "3b05010000000005007f0000", "bfb600010500", 6, 3},
        // Entry 0: a 4-byte header, 314 profile bytes, at 0x80000 without control.
        ProfileCase{
            "Entry0", {0xDA, 0xC8, 0x00, 0x00}, "3b050108000000013e000000", "dac80000", 4, 0},
        // Entry 39, not 31, 35 or 38 that share maker and device: 1054 + 6 bytes.
        ProfileCase{
            "Entry39", {0xBF, 0xD8, 0x00, 0x8A}, "3b05010000000004247f0000", "bfd8008a041e", 6, 39},
        // Entry 49, the last profile of the area.
        ProfileCase{"Entry49",
                    {0xBF, 0x41, 0x00, 0x0E},
                    "3b050100000000087c7f0000",
                    "bf41000e0876",
                    6,
                    49}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(SendChipProfileRefusal, UnknownOrMissingChipSendsNothing) {
    DriveBench bench("typical", [](Machine& m) {
        // The reserved byte must be 0 to match any entry.
        ChangeDrive(m, 0, [](DriveSettings& d) {
            d.flashId = std::array<uint8_t, 4>{0xBF, 0xD8, 0x01, 0x0A};
        });
    });
    AtapiDevice device;
    for (int drive : {0, 1}) {
        ASSERT_TRUE(device.OpenDrive(drive));
        EXPECT_FALSE(engine::SendChipProfile(device));
        EXPECT_EQ(bench.drive(drive).Received(CommandKind::Profile), 0);
    }
}

TEST(SendChipProfileRefusal, TheLoaderRefusesAProfileForAnotherChip) {
    DriveBench bench("typical");
    AtapiDevice device;
    ASSERT_TRUE(device.OpenDrive(0));
    // The profile of entry 3 sent to a drive whose chip is entry 38.
    auto out = device.WriteBuffer();
    auto header = package::FlashIdBytes(3);
    std::copy(header.begin(), header.end(), out.begin());
    auto profile = package::ProfileBytes(3);
    std::copy(profile.begin(), profile.end() - 6, out.begin() + 6);
    EXPECT_FALSE(device::WriteBuffer(device, 0, 1280, device::kControlProfile));
    EXPECT_EQ(device.SenseKey(), 0x05);
    // Without an accepted profile the loader takes no firmware data.
    EXPECT_FALSE(device::WriteBuffer(device, 0, 2048, device::kControlData));
    EXPECT_TRUE(engine::SendChipProfile(device));
    EXPECT_TRUE(device::WriteBuffer(device, 0, 2048, device::kControlData));
}

}  // namespace
