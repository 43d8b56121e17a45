#include "platform/emulated/IdeMachine.h"

#include <cstdio>

#include "common/Crc32.h"
#include "common/Text.h"
#include "platform/DriverImages.h"
#include "platform/emulated/FlashDriver.h"
#include "platform/emulated/Machine.h"

namespace platform::emulated {
namespace {
constexpr uint32_t kSlotPorts[4] = {0x1F0, 0x170, 0x1E8, 0x168};

struct IdeFaultEntry {
    IdeFaultKind kind;
    const char* name;
};
constexpr IdeFaultEntry kIdeFaultNames[] = {
    {IdeFaultKind::Program, "program"},
    {IdeFaultKind::Verify, "verify"},
    {IdeFaultKind::Erase, "erase"},
    {IdeFaultKind::Identify, "identify"},
    {IdeFaultKind::ReadOnce, "readOnce"},
    {IdeFaultKind::NeverReady, "neverReady"},
    {IdeFaultKind::RequestFails, "requestFails"},
};

// A channel handle of the storage stack ("\\.\scsi0:"): the program opens it and never uses it.
class ChannelDevice : public EmulatedDevice {
  public:
    Status Control(uint32_t, std::span<uint8_t>, std::span<uint8_t>, uint32_t& returned) override {
        returned = 0;
        return Status::Failure(kErrorNotSupported);
    }
};
}  // namespace

const char* IdeFaultName(IdeFaultKind kind) {
    for (const auto& f : kIdeFaultNames) {
        if (f.kind == kind) return f.name;
    }
    return "?";
}

bool IdeFaultFromName(const std::string& name, IdeFaultKind& kind) {
    for (const auto& f : kIdeFaultNames) {
        if (name == f.name) {
            kind = f.kind;
            return true;
        }
    }
    return false;
}

void AddDefaultDosDevices(IdeMachine& ide) {
    ide.dosDevices["SCSI0:"] = "\\Device\\Ide\\IdePort0";
    ide.dosDevices["SCSI1:"] = "\\Device\\Ide\\IdePort1";
}

int IdeSlotOf(uint32_t port, uint32_t select) {
    for (int channel = 0; channel < 4; ++channel) {
        if (kSlotPorts[channel] != port) continue;
        if (select == 0xA0) return channel * 2;
        if (select == 0xB0) return channel * 2 + 1;
    }
    return -1;
}

namespace {
constexpr uint32_t kHostAddress = 0x80000000u;
uint32_t SisAddress(const IdePci& pci) {
    return 0x80000000u | static_cast<uint32_t>(pci.sisIdeDevice) << 11 | 1u << 8;
}
}  // namespace

uint32_t PciConfigRead(const IdePci& pci, uint32_t address) {
    address &= ~3u;
    if (address == kHostAddress) return uint32_t{pci.hostDevice} << 16 | pci.hostVendor;
    if (pci.sisIdeDevice >= 0) {
        uint32_t base = SisAddress(pci);
        if (address == base) return 0x55131039u;
        if (address == (base | 0x40)) return pci.timing40;
        if (address == (base | 0x44)) return pci.timing44;
        if ((address & ~0xFFu) == base) return 0;
    }
    return 0xFFFFFFFFu;
}

void PciConfigWrite(IdePci& pci, uint32_t address, uint32_t value) {
    address &= ~3u;
    if (pci.sisIdeDevice < 0) return;
    uint32_t base = SisAddress(pci);
    if (address == (base | 0x40)) pci.timing40 = value;
    if (address == (base | 0x44)) pci.timing44 = value;
}

int64_t FaultAddress(const IdeSlot& slot, const IdeFault& fault) {
    if (fault.address >= 0) return fault.address;
    if (slot.flash.empty()) return 0;
    // A fixed mix of the seed, so the same bench always fails at the same place.
    uint64_t mixed = (slot.seed + 0x9E3779B97F4A7C15ull) * 0xBF58476D1CE4E5B9ull;
    mixed ^= mixed >> 31;
    return static_cast<int64_t>(mixed % slot.flash.size());
}

std::string DriverFilePath(Machine& machine) {
    if (!machine.systemDirectory) return {};
    return *machine.systemDirectory +
           (machine.family == Family::Nt ? "\\DRIVERS\\RUR.SYS" : "\\VARAVO.VXD");
}

namespace {
bool DriverFileIsCarriedImage(Machine& machine) {
    std::string path = DriverFilePath(machine);
    if (path.empty()) return false;
    const FileEntry* file = machine.FindFile(path);
    auto image = directide::CarriedDriverImage(machine.family == Family::Nt);
    return file && file->data.size() == image.size() &&
           std::equal(image.begin(), image.end(), file->data.begin());
}
}  // namespace

bool DriverServiceMayStart(Machine& machine, const EmulatedService& service, uint32_t& error) {
    // The loader takes the image path relative to the Windows directory.
    std::string image = service.config.imagePath;
    if (machine.windowsDirectory && !image.empty() && image.find(':') == std::string::npos) {
        image = *machine.windowsDirectory + "\\" + image;
    }
    if (common::UpperAscii(image) != common::UpperAscii(DriverFilePath(machine)) ||
        !machine.FindFile(image)) {
        error = kErrorFileNotFound;
        return false;
    }
    if (!DriverFileIsCarriedImage(machine)) {
        error = 193;  // ERROR_BAD_EXE_FORMAT: not the driver this machine knows
        return false;
    }
    return true;
}

bool OpenIdeDevice(Machine& machine, const std::string& name,
                   std::shared_ptr<EmulatedDevice>& device, uint32_t& error) {
    std::string upper = common::UpperAscii(name);
    std::lock_guard lock(machine.mutex);
    IdeMachine& ide = machine.ide;
    if (upper == "\\\\.\\RURSYS") {
        device = nullptr;
        auto it = ide.services.find("RUR");
        bool loaded = machine.family == Family::Nt && it != ide.services.end() &&
                      it->second.running && DriverFileIsCarriedImage(machine);
        if (!machine.security.administrator) {
            error = kErrorAccessDenied;  // the driver's name admits administrators only
        } else if (!loaded) {
            error = kErrorFileNotFound;
        } else {
            ide.counters.driverOpens++;
            device = std::make_shared<FlashDriver>(machine);
        }
        return true;
    }
    if (upper == "\\\\.\\VARAVO.VXD") {
        device = nullptr;
        // The older family loads the virtual device from the system directory by its name.
        if (machine.family != Family::Windows9x || !DriverFileIsCarriedImage(machine)) {
            error = kErrorFileNotFound;
        } else {
            ide.counters.driverOpens++;
            device = std::make_shared<FlashDriver>(machine);
        }
        return true;
    }
    if (upper.rfind("\\\\.\\SCSI", 0) == 0 && ide.dosDevices.count(upper.substr(4))) {
        device = std::make_shared<ChannelDevice>();
        return true;
    }
    return false;
}

void BeforeCopy(Machine& machine, const std::string& from) {
    if (!machine.ide.swapTemporaryDriver) return;
    std::string upper = common::UpperAscii(from);
    auto endsWith = [&](const std::string& tail) {
        return upper.size() >= tail.size() &&
               upper.compare(upper.size() - tail.size(), tail.size(), tail) == 0;
    };
    if (!endsWith("RUR.SYS") && !endsWith("VARAVO.VXD")) return;
    if (FileEntry* file = machine.FindFile(from); file && !file->data.empty()) {
        file->data[file->data.size() / 2] ^= 0x5A;  // somebody else's driver now
    }
}

}  // namespace platform::emulated
