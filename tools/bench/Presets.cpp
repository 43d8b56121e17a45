#include "tools/bench/Presets.h"

#include "platform/emulated/DriveBench.h"
#include "platform/emulated/IdePresets.h"

namespace benchtool {
namespace {
using platform::emulated::DriveSettings;
using platform::emulated::Family;
using platform::emulated::Machine;
using platform::emulated::OpticalDrive;

constexpr size_t kMebibyte = 1 << 20;

void Add(Machine& machine, DriveSettings drive) {
    machine.drives.push_back(std::make_shared<OpticalDrive>(std::move(drive)));
}
}  // namespace

DriveSettings QuorvantDrive(const std::string& letter, const std::string& address) {
    DriveSettings d;
    d.letter = letter;
    d.address = platform::emulated::ParseAddress(address);
    d.vendor = "QUORVANT";
    d.product = "DVD-RW QV-1600";
    d.revision = "QV11";
    d.driveTag = "QV11-03";
    d.flashId = std::array<uint8_t, 4>{0xBF, 0xD8, 0x00, 0x0A};
    d.flash = platform::emulated::FlashContents(kMebibyte, 0xFF);
    return d;
}

DriveSettings OtherDrive(const std::string& letter, const std::string& address) {
    DriveSettings d;
    d.letter = letter;
    d.address = platform::emulated::ParseAddress(address);
    d.vendor = "OTHERCO";
    d.product = "CD-ROM XJ-52";
    d.revision = "1.00";
    d.flash = platform::emulated::FlashContents(512 * 1024, 0xFF);
    return d;
}

std::vector<std::string> PresetNames() {
    return {"default", "typical", "aspi", "sixteen", "bank", "ide", "ide98"};
}

bool ApplyPreset(const std::string& name, Machine& m) {
    if (name == "default") return true;
    if (name == "ide" || name == "ide98") {
        platform::emulated::MakeIdeMachine(m, name == "ide" ? Family::Nt : Family::Windows9x);
        return true;
    }
    if (name == "typical" || name == "aspi") {
        m.family = name == "typical" ? Family::Nt : Family::Windows9x;
        m.security.administrator = true;
        m.aspi.present = name == "aspi";
        Add(m, QuorvantDrive("E:", "1:0:0:0"));
        Add(m, OtherDrive("F:", "1:0:1:0"));
        return true;
    }
    if (name == "sixteen") {
        for (int i = 0; i < 16; ++i) {
            std::string letter(1, static_cast<char>('E' + i));
            Add(m, QuorvantDrive(letter + ":", "1:0:" + std::to_string(i) + ":0"));
        }
        return true;
    }
    if (name == "bank") {
        DriveSettings d = QuorvantDrive("E:", "1:0:0:0");
        d.flashId = std::array<uint8_t, 4>{0xBF, 0xB6, 0x00, 0x01};
        d.flash = platform::emulated::FlashContents(128 * 1024, 0xFF);
        Add(m, std::move(d));
        return true;
    }
    return false;
}

}  // namespace benchtool
