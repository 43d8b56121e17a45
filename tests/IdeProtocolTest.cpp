// The flash driver's requests and the IDE and PCI operations built on them.
#include <fstream>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "platform/Trace.h"
#include "tests/IdeTestSupport.h"

namespace {
using directide::RurDriver;
using platform::emulated::Family;
using testing_support::IdeMachine;
using testing_support::TempDir;

// The trace lines written while `body` runs.
template <typename Body>
std::vector<nlohmann::json> Traced(Body body) {
    TempDir dir;
    std::string path = dir.File("trace.jsonl"), error;
    EXPECT_TRUE(platform::Trace::OpenFile(path, error)) << error;
    body();
    platform::Trace::Close();
    std::vector<nlohmann::json> lines;
    std::ifstream in(path);
    for (std::string line; std::getline(in, line);)
        lines.push_back(nlohmann::json::parse(line));
    return lines;
}

RurDriver& Opened(RurDriver& driver) {
    testing::internal::CaptureStdout();
    driver.InstallAndOpen();
    testing::internal::GetCapturedStdout();
    return driver;
}

TEST(IdeDetection, FindsTheDrivesAndFillsTheirRecords) {
    auto pc = IdeMachine();
    RurDriver driver;
    Opened(driver);
    EXPECT_EQ(driver.slotPresent, (std::array<uint8_t, 8>{1, 0, 0, 1, 0, 0, 0, 0}));
    EXPECT_STREQ(driver.slotName[3].data(), "QUORVANTDVD-ROM QV-52   ");
    EXPECT_STREQ(driver.slotRevision[3].data(), "QV05");
    const auto* second = driver.DriveForListPosition(1);
    ASSERT_EQ(second, driver.DriveAtSlot(3));
    EXPECT_STREQ(second->vendor, "QUORVANT");
    EXPECT_STREQ(second->product, "DVD-ROM QV-52   ");
    EXPECT_STREQ(second->revision, "QV05");
    EXPECT_STREQ(second->idText, "QUORVANTDVD-ROM QV-52   ");
    EXPECT_EQ(second->adapter, 1);
    EXPECT_EQ(second->target, 1);
    EXPECT_EQ(second->present, 1);
    EXPECT_STREQ(second->rootPath, "");
    EXPECT_EQ(driver.DriveForListPosition(2), nullptr);
}

TEST(IdeDetection, SlowIdentificationOtherKindsAndVanishedDrivesAreNotPresent) {
    auto pc = IdeMachine();
    RurDriver driver;
    Opened(driver);
    auto& slots = pc.machine().ide.driveSlots;
    slots[0].identifyPolls = 101;  // completes on the last poll allowed
    slots[3].identifyPolls = 102;  // one poll too late
    driver.DetectDevices();
    EXPECT_EQ(driver.DetectedCount(), 1);
    EXPECT_EQ(driver.DriveAtSlot(3)->present, 0);
    slots[0].kind = 5;
    driver.DetectDevices();
    EXPECT_EQ(driver.DetectedCount(), 0);
    // The record of a slot no longer detected is cleared with its flag.
    EXPECT_EQ(driver.DriveForListPosition(0), nullptr);
    EXPECT_STREQ(driver.DriveAtSlot(0)->vendor, "");
}

TEST(IdeDetection, ASlotWhoseSelectionTheDriverRefusesIsNotDetected) {
    auto pc = IdeMachine();
    RurDriver driver;
    Opened(driver);
    // The driver refuses the selections of slots 1 and 2: what answers then is the drive
    // selected before (slot 0), which must not be listed there too.
    platform::emulated::IdeFault refused{platform::emulated::IdeFaultKind::RequestFails, -1, 2};
    refused.request = static_cast<int>(directide::DriverRequest::SelectDevice);
    refused.nth = 2;
    pc.machine().ide.driveSlots[0].faults.push_back(refused);
    pc.machine().ide.requestsSeen = {};
    driver.DetectDevices();
    EXPECT_EQ(driver.slotPresent, (std::array<uint8_t, 8>{1, 0, 0, 1, 0, 0, 0, 0}));
}

TEST(IdeDetection, RedetectCurrentRefreshesOnlyTheCurrentSlot) {
    auto pc = IdeMachine();
    RurDriver driver;
    Opened(driver);
    pc.machine().ide.driveSlots[0].revision = "QV12";
    pc.machine().ide.driveSlots[3].revision = "QV06";
    driver.SelectSlot(3);
    driver.RedetectCurrent();
    EXPECT_STREQ(driver.DriveAtSlot(3)->revision, "QV06");
    EXPECT_STREQ(driver.DriveAtSlot(0)->revision, "QV11");
}

TEST(IdeRequests, SelectSlotSendsThePartnerFlagAndTracesTheRequest) {
    auto pc = IdeMachine();
    RurDriver driver;
    Opened(driver);
    auto lines = Traced([&] {
        EXPECT_EQ(driver.SelectSlot(1), 0);  // nobody at the primary slave
        EXPECT_EQ(driver.SelectSlot(2), 0);
    });
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0]["device"], "slot 1");
    EXPECT_EQ(lines[0]["code"], "0x95002414");
    // Port 0x1F0, select 0xB0, 1, partner slot 0 present.
    EXPECT_EQ(lines[0]["in"], "f0010000b00000000100000001000000");
    EXPECT_EQ(lines[0]["out"], "00000000");
    EXPECT_EQ(lines[0]["status"], 0);
    EXPECT_TRUE(lines[0]["t"].is_number());
    EXPECT_EQ(lines[1]["in"], "70010000a00000000100000001000000");  // partner slot 3 present
    EXPECT_EQ(driver.currentPort, 0x170);
    EXPECT_EQ(driver.currentSelect, 0xA0);
    EXPECT_EQ(driver.SelectSlot(8), 0);
    EXPECT_EQ(driver.currentSlot, 2);
}

TEST(IdeRequests, TheOlderFamilyUsesItsOwnCodesAndPciRequests) {
    auto pc = IdeMachine(Family::Windows9x);
    RurDriver driver;
    Opened(driver);
    auto lines = Traced([&] {
        driver.SelectSlot(0);
        EXPECT_EQ(driver.PciRead(0x80000000u), 0x07351039u);
        driver.DetectSisChip();
    });
    EXPECT_EQ(lines[0]["code"], "0x00001009");
    EXPECT_EQ(lines[1]["code"], "0x00001000");
    // The PCI read leaves with its 8 bytes and no output; the answer comes back in them.
    EXPECT_EQ(lines[1]["in"], "0000008000000000");
    EXPECT_EQ(lines[1]["out"], "");
    EXPECT_TRUE(driver.sisFound);
    EXPECT_EQ(driver.sisAddress, 0x80001100u);
}

TEST(IdeRequests, NothingIsSentWithoutADriver) {
    auto pc = IdeMachine();
    RurDriver driver;  // never opened
    auto lines = Traced([&] { EXPECT_EQ(driver.SelectSlot(0), 0); });
    EXPECT_TRUE(lines.empty());
}

TEST(SisTiming, EachDrivePositionChangesOnlyItsOwnHalf) {
    struct Case {
        int slot;
        uint32_t timing40, timing44;
    };
    // Saved values 0x0A310A31 and 0x0B320B32 (the preset).
    const Case cases[] = {
        {0, 0x0A310503, 0x0B320B32}, {1, 0x05030A31, 0x0B320B32},
        {3, 0x0A310A31, 0x05030B32}, {4, 0x0A310A31, 0x0B320B32},  // channel 2: no SiS timing
        {7, 0x0A310A31, 0x0B320B32},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.slot);
        auto pc = IdeMachine();
        RurDriver driver;
        Opened(driver);
        driver.SelectSlot(c.slot);
        driver.DetectSisChip();
        driver.RecordPciData();
        driver.SetSisTiming();
        EXPECT_EQ(pc.machine().ide.pci.timing40, c.timing40);
        EXPECT_EQ(pc.machine().ide.pci.timing44, c.timing44);
        driver.RestorePciData();
        EXPECT_EQ(pc.machine().ide.pci.timing40, 0x0A310A31u);
        EXPECT_EQ(pc.machine().ide.pci.timing44, 0x0B320B32u);
    }
}

TEST(SisTiming, AHostBridgeOfAnotherMakerIsNeverScanned) {
    auto pc = IdeMachine();
    pc.machine().ide.pci.hostVendor = 0x8086;
    RurDriver driver;
    Opened(driver);
    auto lines = Traced([&] { driver.DetectSisChip(); });
    EXPECT_FALSE(driver.sisFound);
    EXPECT_EQ(lines.size(), 2u);  // the address write and the one read of device 0
}

TEST(DmaMode, MultiwordWinsOverUltraAndTheHighestBitIsTheMode) {
    struct Case {
        uint8_t mwdma, udma;
        uint8_t mwdmaAfter, udmaAfter;
    };
    const Case cases[] = {
        {0x02, 0x04, 0x02, 0x00},  // both selected: multiword DMA 1 is restored
        {0x00, 0x04, 0x00, 0x04},  // Ultra DMA 2, mode value 0x42
        {0x00, 0x05, 0x00, 0x04},  // the highest bit counts
        {0x00, 0x00, 0x00, 0x00},  // nothing recorded, nothing set
    };
    for (const auto& c : cases) {
        auto pc = IdeMachine();
        auto& slot = pc.machine().ide.driveSlots[0];
        slot.mwdmaSelected = c.mwdma;
        slot.udmaSelected = c.udma;
        RurDriver driver;
        Opened(driver);
        driver.SelectSlot(0);
        driver.GetDmaMode();
        slot.mwdmaSelected = slot.udmaSelected = 0;  // as after a reset
        driver.SetDmaMode();
        EXPECT_EQ(slot.mwdmaSelected, c.mwdmaAfter);
        EXPECT_EQ(slot.udmaSelected, c.udmaAfter);
    }
}

TEST(DmaMode, ARefusedModeIsRetriedForItsWholeBudget) {
    auto pc = IdeMachine();
    auto& slot = pc.machine().ide.driveSlots[0];
    RurDriver driver;
    Opened(driver);
    driver.SelectSlot(0);
    driver.GetDmaMode();
    slot.udmaSupported = 0;  // the drive now refuses Ultra DMA 2
    double start = pc.Now();
    driver.SetDmaMode();
    EXPECT_NEAR(pc.Now() - start, 10000 * 0.5, 1.0);
}

TEST(WaitForDrive, ADriveThatNeverBecomesReadyIsWaitedForAFixedTime) {
    auto pc = IdeMachine();
    pc.machine().ide.driveSlots[3].faults.push_back({platform::emulated::IdeFaultKind::NeverReady});
    RurDriver driver;
    Opened(driver);
    driver.SelectSlot(3);
    double start = pc.Now();
    driver.WaitForDrive();
    EXPECT_NEAR(pc.Now() - start, 1000 * 0.05, 0.01);
}

}  // namespace
