// The direct flashing sequence on the emulated IDE machine.
#include <algorithm>

#include <gtest/gtest.h>

#include "platform/emulated/FirmwareImage.h"

#include "platform/FlashChips.h"
#include "tests/IdeTestSupport.h"

namespace {
using directide::RurDriver;
using platform::emulated::Family;
using platform::emulated::IdeFault;
using platform::emulated::IdeFaultKind;
using platform::emulated::Machine;
using testing_support::IdeMachine;
using testing_support::TestImage;

struct FlashRun {
    std::vector<std::string> statuses;
    std::vector<int> progress;
    uint8_t result = 0xEE;
    std::string revision, vendorSpecific;  // the flashed slot's record after the run
};

// Installs the driver, selects the slot and runs one flashing of `image` (its first `size`
// bytes).
FlashRun Flash(int slot, const std::vector<uint8_t>& image, size_t size = 0) {
    FlashRun run;
    directide::IdeJob job;
    job.onProgress = [&](int p) { run.progress.push_back(p); };
    job.onStatus = [&](const std::string& s) { run.statuses.push_back(s); };
    run.result = testing_support::RunDirectFlash(
        slot, std::span(image).first(size ? size : image.size()), job, [&](RurDriver& driver) {
            if (const auto* record = driver.DriveAtSlot(slot)) {
                run.revision = record->revision;
                run.vendorSpecific = record->vendorSpecific;
            }
        });
    return run;
}

bool ChipStartsWith(const Machine& m, int slot, const std::vector<uint8_t>& image) {
    const auto& flash = m.ide.driveSlots[static_cast<size_t>(slot)].flash;
    return flash.size() >= image.size() && std::equal(image.begin(), image.end(), flash.begin());
}

// What every run leaves behind, whatever its result.
void ExpectRestored(Machine& m, int slot) {
    EXPECT_EQ(m.ide.pci.timing40, 0x0A310A31u);
    EXPECT_EQ(m.ide.pci.timing44, 0x0B320B32u);
    const auto& s = m.ide.driveSlots[static_cast<size_t>(slot)];
    EXPECT_EQ(slot == 0 ? s.udmaSelected : s.mwdmaSelected, 0x04);
    EXPECT_FALSE(s.flashMode);  // the drive was reset
    for (const auto& d : m.ide.cdroms)
        EXPECT_TRUE(d.started);
}

const std::vector<std::string> kStatuses = {
    "Stop CDROM ...",     "DetectSiSChip ...", "RecordPCIData ...", "SetSiSTimming ...",
    "UpdateMessage ...",  "GetDMAMode ...",    "WriteCmd ...",      "Updating ...",
    "RestorePCIData ...", "ResetDevice ...",   "SetDMAMode ...",
};

TEST(DirectFlash, AOneMebibyteImageOnAMethodOneChip) {
    auto pc = IdeMachine();
    auto image = TestImage(0x100000);
    FlashRun run = Flash(0, image);
    EXPECT_EQ(run.result, 0);
    EXPECT_TRUE(ChipStartsWith(pc.machine(), 0, image));
    EXPECT_EQ(run.statuses, kStatuses);
    EXPECT_EQ(run.progress.front(), 0);
    EXPECT_EQ(run.progress.back(), 100);
    EXPECT_EQ(run.progress.size(), 0x100000 / 128 + 1);
    EXPECT_EQ(pc.machine().ide.counters.eraseRequests, 1);
    EXPECT_EQ(pc.machine().ide.counters.pageRequests, 0);
    ExpectRestored(pc.machine(), 0);
    // The closing detection shows the drive as the new firmware makes it answer.
    const auto& flash = pc.machine().ide.driveSlots[0].flash;
    std::string revision = platform::emulated::IdentityOfFlash(flash, "QV11").revision;
    EXPECT_NE(revision, "QV11");
    EXPECT_EQ(pc.machine().ide.driveSlots[0].revision, revision);
}

TEST(DirectFlash, TheListShowsTheRevisionTheDriveReportsAfterTheRun) {
    auto pc = IdeMachine();
    RurDriver driver;
    testing::internal::CaptureStdout();
    driver.InstallAndOpen();
    testing::internal::GetCapturedStdout();
    EXPECT_STREQ(driver.DriveAtSlot(3)->revision, "QV05");
    driver.SelectSlot(3);
    auto image = TestImage(0x8000, 21);
    directide::IdeJob job;
    job.image = image.data();
    job.imageSize = static_cast<uint32_t>(image.size());
    driver.ConfigureRun(job);
    driver.RunFlashing();
    std::string expected =
        platform::emulated::IdentityOfFlash(pc.machine().ide.driveSlots[3].flash, "QV05").revision;
    EXPECT_STREQ(driver.DriveAtSlot(3)->revision, expected.c_str());
    EXPECT_EQ(driver.DetectedCount(), 2);
}

TEST(DirectFlash, AQuarterMebibyteImageOnAMethodZeroChipIsNeverErased) {
    auto pc = IdeMachine();
    auto image = TestImage(0x40000, 3);
    FlashRun run = Flash(3, image);
    EXPECT_EQ(run.result, 0);
    EXPECT_TRUE(ChipStartsWith(pc.machine(), 3, image));
    EXPECT_EQ(pc.machine().ide.counters.eraseRequests, 0);
    EXPECT_EQ(pc.machine().ide.counters.pageRequests, 0x40000 / 128);
    EXPECT_EQ(run.statuses, kStatuses);
    ExpectRestored(pc.machine(), 3);
}

TEST(DirectFlash, BothImageSizesOnBothChipMethods) {
    for (int slot : {0, 3}) {
        for (size_t size : {size_t{0x40000}, size_t{0x80000}}) {
            SCOPED_TRACE(std::to_string(slot) + "/" + std::to_string(size));
            auto pc = IdeMachine();
            auto image = TestImage(size, static_cast<uint32_t>(size + slot));
            EXPECT_EQ(Flash(slot, image).result, 0);
            EXPECT_TRUE(ChipStartsWith(pc.machine(), slot, image));
        }
    }
}

TEST(DirectFlash, APartialLastChunkIsPaddedWithTheErasedValue) {
    auto pc = IdeMachine();
    // The bytes after the image are not the image's: they must never reach the chip.
    std::vector<uint8_t> memory = TestImage(1024);
    std::fill(memory.begin() + 1000, memory.end(), 0x00);
    FlashRun run = Flash(0, memory, 1000);
    EXPECT_EQ(run.result, 0);
    const auto& flash = pc.machine().ide.driveSlots[0].flash;
    EXPECT_TRUE(std::equal(memory.begin(), memory.begin() + 1000, flash.begin()));
    EXPECT_TRUE(std::all_of(flash.begin() + 1000, flash.begin() + 1024,
                            [](uint8_t b) { return b == 0xFF; }));
    EXPECT_EQ(run.progress.back(), 102);  // 1024 * 100 / 1000
}

TEST(DirectFlash, AChipOnlyTheAlternateSequenceIdentifiesIsErasedWithIt) {
    auto pc = IdeMachine();
    auto& slot = pc.machine().ide.driveSlots[0];
    platform::emulated::PutIdeDrive(slot, "QUORVANT", "DVD-RW QV-1600", "QV11", 1);
    slot.alternateSequence = true;
    auto image = TestImage(0x80000);
    FlashRun run = Flash(0, image);
    EXPECT_EQ(run.result, 0);
    EXPECT_EQ(pc.machine().ide.counters.eraseFlagSeen, 1);
    EXPECT_TRUE(ChipStartsWith(pc.machine(), 0, image));
}

TEST(DirectFlash, AnImageTheRunCannotHoldIsRefusedBeforeAnythingIsTouched) {
    auto pc = IdeMachine();
    RurDriver driver;
    testing::internal::CaptureStdout();
    driver.InstallAndOpen();
    testing::internal::GetCapturedStdout();
    auto image = TestImage(0x100000 + 128);
    directide::IdeJob job;
    job.image = image.data();
    job.imageSize = static_cast<uint32_t>(image.size());
    EXPECT_FALSE(driver.ConfigureRun(job));
    driver.RunFlashing();
    EXPECT_EQ(driver.flashResult, directide::kFlashImageRefused);
    EXPECT_EQ(pc.machine().ide.counters.eraseRequests, 0);
    EXPECT_TRUE(pc.machine().ide.cdroms[0].started);
}

TEST(DirectFlashFaults, EachFaultGivesItsResultAndTheMachineIsStillRestored) {
    struct Case {
        const char* name;
        IdeFault fault;
        uint8_t result;
    };
    const Case cases[] = {
        {"program", {IdeFaultKind::Program, 0x20000, -1}, 9},
        {"verify", {IdeFaultKind::Verify, 0x20001, -1}, 11},
        {"erase", {IdeFaultKind::Erase, -1, -1}, 10},
        {"identify", {IdeFaultKind::Identify, -1, -1}, 13},
        {"read once", {IdeFaultKind::ReadOnce, 0x300, 1}, 0},
        {"program fails five times", {IdeFaultKind::Program, 0x100, 5}, 0},
        {"program fails six times", {IdeFaultKind::Program, 0x100, 6006}, 9},
        {"one request short of six", {IdeFaultKind::Program, 0x100, 6005}, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto pc = IdeMachine();
        auto image = TestImage(0x40000, 11);
        image[0x20001] &= 0xFE;  // the cell that cannot hold its value is asked to clear a bit
        pc.machine().ide.driveSlots[0].faults.push_back(c.fault);
        FlashRun run = Flash(0, image);
        EXPECT_EQ(run.result, c.result);
        ExpectRestored(pc.machine(), 0);
        EXPECT_EQ(run.statuses.back(), "SetDMAMode ...");
        if (c.result == 0) {
            EXPECT_TRUE(ChipStartsWith(pc.machine(), 0, image));
        }
    }
}

TEST(DirectFlashFaults, ADriveThatNeverBecomesReadyStillEndsAndRestores) {
    auto pc = IdeMachine();
    pc.machine().ide.driveSlots[0].faults.push_back({IdeFaultKind::NeverReady, -1, -1});
    auto image = TestImage(0x8000);
    FlashRun run = Flash(0, image);
    EXPECT_EQ(run.statuses.back(), "SetDMAMode ...");
    ExpectRestored(pc.machine(), 0);
}

TEST(DirectFlashOlderFamily, FlashesWithoutServiceOrDeviceManager) {
    auto pc = IdeMachine(Family::Windows9x);
    auto image = TestImage(0x40000, 5);
    FlashRun run = Flash(3, image);
    EXPECT_EQ(run.result, 0);
    EXPECT_TRUE(ChipStartsWith(pc.machine(), 3, image));
    EXPECT_EQ(pc.machine().ide.counters.serviceManagerCalls, 0);
    EXPECT_EQ(pc.machine().ide.counters.setupApiCalls, 0);
    EXPECT_EQ(pc.machine().ide.counters.stopCdromRequests, 1);
    EXPECT_EQ(pc.machine().ide.pci.timing44, 0x0B320B32u);
    EXPECT_EQ(pc.machine().ide.driveSlots[3].mwdmaSelected, 0x04);
}

}  // namespace

namespace {
TEST(DirectFlashFaults, AByteThatReadsWrongOnceIsReadAgainWithoutProgrammingAgain) {
    auto pc = testing_support::IdeMachine();
    pc.machine().ide.driveSlots[0].faults.push_back({IdeFaultKind::ReadOnce, 0x300, 1});
    auto image = TestImage(0x8000);
    EXPECT_EQ(Flash(0, image).result, 0);
    EXPECT_EQ(pc.machine().ide.counters.programRequests, 0x8000 / 128);
    EXPECT_TRUE(ChipStartsWith(pc.machine(), 0, image));
}
}  // namespace

namespace {
TEST(EmulatedFlashChip, AMethodOneChipOnlyClearsBitsUntilItIsErased) {
    auto pc = testing_support::IdeMachine();
    RurDriver driver;
    testing::internal::CaptureStdout();
    driver.InstallAndOpen();
    testing::internal::GetCapturedStdout();
    driver.SelectSlot(0);
    std::vector<uint8_t> image(128, 0xA5);
    directide::IdeJob job;
    job.image = image.data();
    job.imageSize = 128;
    driver.ConfigureRun(job);
    driver.PrepareFlashAccess();
    ASSERT_TRUE(driver.IdentifyFlashChip());
    EXPECT_EQ(driver.chipIndex, 0);
    EXPECT_EQ(driver.chipMethod, 1);
    // The preset chip still holds the old firmware: programming over it does not take.
    EXPECT_TRUE(driver.ProgramChunk(0));
    EXPECT_FALSE(driver.VerifyChunk(0));
    ASSERT_TRUE(driver.EraseChip());
    EXPECT_TRUE(driver.ProgramChunk(0));
    EXPECT_TRUE(driver.VerifyChunk(0));
}
TEST(DirectFlash, AnImageLargerThanTheChipIsRefusedBeforeTheErase) {
    auto pc = IdeMachine();
    // Slot 3 carries a 512 KiB chip.
    auto before = pc.machine().ide.driveSlots[3].flash.ToVector();
    FlashRun run = Flash(3, TestImage(0x100000, 9));
    EXPECT_EQ(run.result, directide::kFlashImageRefused);
    EXPECT_EQ(pc.machine().ide.counters.eraseRequests, 0);
    EXPECT_EQ(pc.machine().ide.counters.pageRequests + pc.machine().ide.counters.programRequests,
              0);
    EXPECT_EQ(pc.machine().ide.driveSlots[3].flash.ToVector(), before);
    EXPECT_EQ(pc.machine().ide.driveSlots[3].revision, "QV05");
    ExpectRestored(pc.machine(), 3);
}

TEST(DirectFlashFaults, AFlashCutShortAfterItsFirstChunkReportsTheBootLoader) {
    auto pc = IdeMachine();
    // The first chunk carries the image's identity; programming fails from the second on.
    pc.machine().ide.driveSlots[0].faults = {{IdeFaultKind::Program, 128, -1}};
    FlashRun run = Flash(0, platform::emulated::MakeFirmwareImage("QV12", "", 0x100000));
    EXPECT_NE(run.result, 0);
    EXPECT_EQ(run.revision, "0000");
    EXPECT_EQ(run.vendorSpecific, "FLASH INCOMPLETE");
    EXPECT_TRUE(pc.machine().ide.driveSlots[0].flashIncomplete);
}

}  // namespace
