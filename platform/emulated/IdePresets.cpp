#include "platform/emulated/IdePresets.h"

#include "platform/FlashChips.h"

namespace platform::emulated {

void PutIdeDrive(IdeSlot& slot, const std::string& vendor, const std::string& product,
                 const std::string& revision, int chipRow) {
    slot = IdeSlot{};
    slot.present = true;
    slot.vendor = vendor;
    slot.product = product;
    slot.revision = revision;
    slot.chipRow = chipRow;
    if (chipRow >= 0) {
        slot.flash = FlashContents(directide::kFlashChips[static_cast<size_t>(chipRow)].size, 0xFF);
    }
}

void MakeIdeMachine(Machine& m, Family family) {
    m.family = family;
    m.security.administrator = true;
    IdeMachine& ide = m.ide;
    ide = IdeMachine{};
    ide.present = true;
    AddDefaultDosDevices(ide);
    ide.pci.hostVendor = 0x1039;  // SiS
    ide.pci.hostDevice = 0x0735;
    ide.pci.sisIdeDevice = 2;
    ide.pci.timing40 = 0x0A310A31;
    ide.pci.timing44 = 0x0B320B32;

    IdeSlot& primaryMaster = ide.driveSlots[0];
    PutIdeDrive(primaryMaster, "QUORVANT", "DVD-RW QV-1600", "QV11", 0);
    primaryMaster.identifyPolls = 3;
    primaryMaster.udmaSupported = 0x1F;
    primaryMaster.udmaSelected = 0x04;  // Ultra DMA mode 2
    // The firmware the drive left the factory with: a recognisable start, erased beyond.
    auto primaryCells = primaryMaster.flash.Mutable();
    for (size_t i = 0; i < 0x4000; ++i) {
        primaryCells[i] = static_cast<uint8_t>(i * 7 + 0x11);
    }

    IdeSlot& secondarySlave = ide.driveSlots[3];
    PutIdeDrive(secondarySlave, "QUORVANT", "DVD-ROM QV-52", "QV05", 16);
    secondarySlave.identifyPolls = 2;
    secondarySlave.mwdmaSupported = 0x07;
    secondarySlave.mwdmaSelected = 0x04;  // multiword DMA mode 2
    secondarySlave.udmaSupported = 0;
    auto secondaryCells = secondarySlave.flash.Mutable();
    for (size_t i = 0; i < 0x2000; ++i) {
        secondaryCells[i] = static_cast<uint8_t>(i * 13 + 0x05);
    }

    ide.cdroms.push_back({"IDE\\CDROMQUORVANT_DVD-RW_QV-1600\\5&1A2B3C4D&0&0.0.0", true});
    ide.cdroms.push_back({"IDE\\CDROMQUORVANT_DVD-ROM_QV-52\\5&1A2B3C4D&0&1.1.0", true});
}

}  // namespace platform::emulated
