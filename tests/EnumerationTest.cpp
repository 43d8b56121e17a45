// Finding, ordering and identifying the drives; opening and closing them.
#include <gtest/gtest.h>

#include <cstring>

#include "device/AtapiDevice.h"
#include "tests/DriveTestSupport.h"

namespace {
using device::AtapiDevice;
using platform::emulated::CommandKind;
using platform::emulated::DriveFault;
using platform::emulated::DriveSettings;
using platform::emulated::Machine;
using platform::emulated::OpticalDrive;
using testing_support::AddFault;
using testing_support::ChangeDrive;
using testing_support::DriveBench;

void AddDrive(Machine& m, const std::string& letter, std::optional<std::string> address) {
    m.drives.push_back(
        std::make_shared<OpticalDrive>(benchtool::OtherDrive(letter, address.value_or("0:0:0:0"))));
    if (!address) ChangeDrive(m, m.drives.size() - 1, [](DriveSettings& d) { d.address.reset(); });
}

TEST(Enumerate, IdentifiesTheTypicalDrives) {
    DriveBench bench("typical");
    AtapiDevice device;
    ASSERT_EQ(device.DriveCount(), 2);
    const auto* e = device.DriveAt(0);
    ASSERT_NE(e, nullptr);
    EXPECT_STREQ(e->rootPath, "E:\\");
    EXPECT_EQ(std::string(e->idText, 24), "QUORVANTDVD-RW QV-1600  ");
    EXPECT_STREQ(e->vendor, "QUORVANT");
    EXPECT_STREQ(e->revision, "QV11");
    EXPECT_STREQ(e->driveTag, "QV11-03");
    EXPECT_EQ(e->flashKey, (std::array<uint8_t, 4>{0xBF, 0xD8, 0x00, 0x0A}));
    EXPECT_EQ(e->adapter, 1);
    EXPECT_EQ(e->target, 0);
    EXPECT_EQ(e->viaAspi, 0);
    const auto* f = device.DriveAt(1);
    ASSERT_NE(f, nullptr);
    EXPECT_STREQ(f->revision, "1.00");
    EXPECT_STREQ(f->driveTag, "");
    EXPECT_EQ(f->flashKey, (std::array<uint8_t, 4>{}));
    EXPECT_EQ(f->target, 1);
    EXPECT_EQ(device.DriveAt(2), nullptr);
    EXPECT_EQ(device.CurrentIndex(), AtapiDevice::kNoCurrentDrive);
}

TEST(Enumerate, TheSameDrivesThroughAspi) {
    DriveBench bench("aspi");
    AtapiDevice device;
    ASSERT_EQ(device.DriveCount(), 2);
    EXPECT_STREQ(device.drives[0].revision, "QV11");
    EXPECT_STREQ(device.drives[0].driveTag, "QV11-03");
    EXPECT_EQ(device.drives[0].flashKey, (std::array<uint8_t, 4>{0xBF, 0xD8, 0x00, 0x0A}));
    EXPECT_STREQ(device.drives[1].vendor, "OTHERCO ");
    EXPECT_EQ(device.drives[1].viaAspi, 1);
    EXPECT_STREQ(device.drives[1].rootPath, "");
}

TEST(Enumerate, DrivesWithoutAddressGetSubstitutesAndSortByKey) {
    DriveBench bench("default", [](Machine& m) {
        AddDrive(m, "D:", std::nullopt);
        AddDrive(m, "G:", "16:0:0:0");  // key 65536: after every smaller key
        AddDrive(m, "H:", std::nullopt);
        AddDrive(m, "J:", "1:0:2:0");
        AddDrive(m, "K:", "1:0:2:0");  // the same key as J:
    });
    AtapiDevice device;
    ASSERT_EQ(device.DriveCount(), 5);
    std::vector<std::string> order;
    for (int i = 0; i < device.DriveCount(); ++i)
        order.push_back(std::string(device.DriveAt(i)->rootPath, 2) + "@" +
                        std::to_string(device.DriveAt(i)->adapter));
    EXPECT_EQ(order, (std::vector<std::string>{"J:@1", "K:@1", "D:@2", "H:@3", "G:@16"}));
    // A drive with a substitute address still opens by its letter and answers.
    ASSERT_TRUE(device.OpenDrive(2));
    EXPECT_TRUE(device.IdentifyCurrent());
    EXPECT_STREQ(device.Current().vendor, "OTHERCO ");
}

TEST(Enumerate, ADriveThatCannotBeOpenedStaysAbsentWithItsError) {
    DriveBench bench("typical", [](Machine& m) {
        m.security.administrator = false;  // no read/write access to volumes
    });
    AtapiDevice device;
    EXPECT_EQ(device.DriveCount(), 0);
    EXPECT_EQ(device.LastError(), platform::kErrorAccessDenied);

    DriveBench other("typical", [](Machine& m) {
        ChangeDrive(m, 0, [](DriveSettings& d) { d.openError = 32; });
    });
    AtapiDevice second;
    ASSERT_EQ(second.DriveCount(), 1);
    EXPECT_STREQ(second.DriveAt(0)->vendor, "OTHERCO ");
    EXPECT_EQ(second.LastError(), 32u);
}

TEST(Enumerate, NeverMoreThanSixteenRecords) {
    DriveBench bench("sixteen", [](Machine& m) { AddDrive(m, "Z:", "0:0:0:0"); });
    AtapiDevice device;
    EXPECT_EQ(device.DriveCount(), 16);
    // The seventeenth root in letter order (Z:) is not added, although its key is the smallest.
    for (int i = 0; i < 16; ++i) {
        EXPECT_STREQ(device.DriveAt(i)->vendor, "QUORVANT") << i;
        EXPECT_EQ(device.DriveAt(i)->target, i);
    }
    EXPECT_EQ(device.DriveAt(16), nullptr);
}

TEST(Enumerate, NeverMoreThanSixteenThroughAspi) {
    DriveBench bench("sixteen", [](Machine& m) {
        m.family = platform::emulated::Family::Windows9x;
        m.aspi.present = true;
        AddDrive(m, "Z:", "1:0:15:5");  // found last: after target 15, lun 0
    });
    AtapiDevice device;
    EXPECT_EQ(device.DriveCount(), 16);
    for (int i = 0; i < 16; ++i)
        EXPECT_EQ(device.DriveAt(i)->lun, 0) << i;
    EXPECT_EQ(device.DriveAt(16), nullptr);
}

TEST(Identify, EachDriveGetsItsOwnTenAttempts) {
    DriveBench bench("typical", [](Machine& m) {
        // E: fails INQUIRY for good; F: fails it nine times and answers the tenth.
        AddFault(
            m, 0,
            {.kind = DriveFault::Kind::FailCommand, .command = CommandKind::Inquiry, .times = 0});
        AddFault(
            m, 1,
            {.kind = DriveFault::Kind::FailCommand, .command = CommandKind::Inquiry, .times = 9});
    });
    AtapiDevice device;
    ASSERT_EQ(device.DriveCount(), 2);
    EXPECT_EQ(bench.drive(0).Received(CommandKind::Inquiry), 10);
    EXPECT_STREQ(device.DriveAt(0)->vendor, "");
    EXPECT_EQ(device.DriveAt(0)->flashKey, (std::array<uint8_t, 4>{0xBF, 0xD8, 0x00, 0x0A}));
    EXPECT_EQ(bench.drive(1).Received(CommandKind::Inquiry), 10);
    EXPECT_STREQ(device.DriveAt(1)->vendor, "OTHERCO ");
}

TEST(Identify, ZeroVendorAndProductCountAsNotIdentified) {
    DriveBench bench("typical", [](Machine& m) {
        ChangeDrive(m, 1, [](DriveSettings& d) {
            d.vendor = std::string(8, '\0');
            d.product = std::string(16, '\0');
        });
    });
    AtapiDevice device;
    ASSERT_TRUE(device.OpenDrive(1));
    EXPECT_FALSE(device.IdentifyCurrent());
    EXPECT_STREQ(device.Current().revision, "1.00");
    EXPECT_EQ(bench.drive(1).Received(CommandKind::Inquiry), 11);
}

TEST(OpenDrive, FailureLeavesNoCurrentDriveAndCloseResets) {
    DriveBench bench("typical");
    AtapiDevice device;
    ASSERT_TRUE(device.OpenDrive(1));
    EXPECT_EQ(device.CurrentIndex(), 1);
    EXPECT_EQ(device.target, 1);
    EXPECT_STREQ(device.Current().vendor, "OTHERCO ");
    device.CloseDrive();
    EXPECT_EQ(device.CurrentIndex(), AtapiDevice::kNoCurrentDrive);
    EXPECT_EQ(device.adapter, -1);
    EXPECT_EQ(device.driveHandle, platform::kInvalidHandle);
    EXPECT_FALSE(device.OpenDrive(2));
    EXPECT_FALSE(device.OpenDrive(-1));

    // The drive's volume refuses from now on.
    bench.machine().security.administrator = false;
    EXPECT_FALSE(device.OpenDrive(0));
    EXPECT_EQ(device.CurrentIndex(), -1);
    EXPECT_EQ(device.adapter, -1);
    EXPECT_EQ(device.LastError(), platform::kErrorAccessDenied);
}

TEST(ReidentifyCurrent, KeepsTryingAndUpdatesTheRecord) {
    DriveBench bench("typical", [](Machine& m) {
        AddFault(m, 1,
                 {.kind = DriveFault::Kind::FailCommand,
                  .command = CommandKind::Inquiry,
                  .nth = 2,
                  .times = 500});
    });
    AtapiDevice device;
    ASSERT_TRUE(device.OpenDrive(1));
    std::memset(device.drives[1].revision, 0, sizeof device.drives[1].revision);
    EXPECT_TRUE(device.ReidentifyCurrent());
    EXPECT_STREQ(device.drives[1].revision, "1.00");
    EXPECT_EQ(bench.drive(1).Received(CommandKind::Inquiry), 1 + 501);

    DriveBench dead("typical", [](Machine& m) {
        AddFault(m, 0, {.kind = DriveFault::Kind::TransportFailure, .times = 0});
    });
    AtapiDevice second;
    ASSERT_TRUE(second.OpenDrive(0));
    EXPECT_STREQ(second.DriveAt(0)->rootPath, "E:\\");
    EXPECT_FALSE(second.ReidentifyCurrent());
}

}  // namespace
