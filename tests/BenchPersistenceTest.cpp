// The emulated PC keeps what a drive keeps, when the drive keeps it: a flash write that a drive
// has made lasting is in the bench file before the run goes on, on both paths.
#include <gtest/gtest.h>

#include "device/AtapiDevice.h"
#include "engine/Downloads.h"
#include "platform/MachineSession.h"
#include "platform/emulated/BenchFile.h"
#include "platform/emulated/FirmwareImage.h"
#include "tests/IdeTestSupport.h"
#include "tools/bench/Presets.h"

namespace {
using platform::emulated::LoadBench;
using platform::emulated::Machine;
using platform::emulated::MakeFirmwareImage;
using testing_support::TempDir;

// A bench of the preset, held by a run as the programs hold it.
class HeldBench {
  public:
    explicit HeldBench(const std::string& preset) : path_(dir_.File("pc.json")) {
        Machine machine;
        benchtool::ApplyPreset(preset, machine);
        platform::emulated::SaveBench(machine, path_);
        testing_support::SetEnvironment("BRENVO_MACHINE", path_.c_str());
        std::string error;
        EXPECT_TRUE(session_.Open(error)) << error;
        testing_support::SetEnvironment("BRENVO_MACHINE", nullptr);
    }
    ~HeldBench() {
        std::string error;
        EXPECT_TRUE(session_.Finish(error)) << error;
    }
    // The bench as another program would find it on disk now.
    std::shared_ptr<Machine> OnDisk() const { return LoadBench(path_); }

  private:
    TempDir dir_;
    std::string path_;
    platform::MachineSession session_;
};

TEST(BenchPersistence, ACommittedFlashIsInTheBenchBeforeTheRunGoesOn) {
    HeldBench bench("typical");
    const auto image = MakeFirmwareImage("QV12", "QV12-04", 1 << 20);
    device::AtapiDevice device;
    ASSERT_TRUE(device.OpenDrive(0));
    ASSERT_TRUE(engine::VerifiedDownload(device, image, false));
    auto disk = bench.OnDisk();
    EXPECT_EQ(disk->drives[0]->Flash(), image);
    EXPECT_EQ(disk->drives[0]->Settings().revision, "QV12");
    EXPECT_EQ(disk->drives[1]->Settings().revision, "1.00");
}

TEST(BenchPersistence, AChipErasedAndReprogrammedIsInTheBenchBeforeTheRunGoesOn) {
    HeldBench bench("ide");
    const auto image = MakeFirmwareImage("QV12", "", 0x40000);
    ASSERT_EQ(testing_support::RunDirectFlash(0, image), 0);
    auto disk = bench.OnDisk();
    const auto& slot = disk->ide.driveSlots[0];
    EXPECT_EQ(slot.revision, "QV12");
    EXPECT_TRUE(std::equal(image.begin(), image.end(), slot.flash.begin()));
}

}  // namespace
