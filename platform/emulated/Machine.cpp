#include "platform/emulated/Machine.h"

#include <cmath>

#include "common/Text.h"
#include "platform/emulated/DriveVolume.h"

namespace platform::emulated {
namespace {
std::string RegistryKey(const std::string& key, const std::string& name) {
    return common::UpperAscii(key) + "\\" + common::UpperAscii(name);
}
}  // namespace

VirtualClock& Machine::Clock() {
    std::lock_guard lock(mutex);
    if (!clock_) {
        auto start = static_cast<int64_t>(std::llround(clockSettings.now * 1e9));
        auto quantum = static_cast<int64_t>(std::llround(clockSettings.pollMicroseconds * 1e3));
        clock_ = std::make_unique<VirtualClock>(clockSettings.paced, start, quantum);
    }
    return *clock_;
}

void Machine::FreezeClock() {
    std::lock_guard lock(mutex);
    if (clock_) clockSettings.now = clock_->NowSeconds();
}

void Machine::FlashMadeLasting() {
    if (persistFlash) persistFlash();
}

FileEntry* Machine::FindFile(const std::string& path) {
    auto it = files.find(common::UpperAscii(path));
    return it == files.end() ? nullptr : &it->second;
}

void Machine::PutFile(const std::string& path, std::vector<uint8_t> data, uint32_t attributes) {
    auto& entry = files[common::UpperAscii(path)];
    if (entry.path.empty()) entry.path = path;
    entry.data = std::move(data);
    entry.attributes = attributes;
}

bool Machine::RemoveFile(const std::string& path) {
    return files.erase(common::UpperAscii(path)) > 0;
}

void Machine::PutRegistry(const std::string& key, const std::string& name,
                          const std::string& value) {
    auto& entry = registry[RegistryKey(key, name)];
    if (entry.key.empty()) {
        entry.key = key;
        entry.name = name;
    }
    entry.value = value;
}

const RegistryValue* Machine::FindRegistry(const std::string& key, const std::string& name) const {
    auto it = registry.find(RegistryKey(key, name));
    return it == registry.end() ? nullptr : &it->second;
}

bool Machine::RemoveRegistry(const std::string& key, const std::string& name) {
    return registry.erase(RegistryKey(key, name)) > 0;
}

std::shared_ptr<OpticalDrive> Machine::FindDrive(const std::string& letter) const {
    for (const auto& drive : drives) {
        if (!drive->Letter().empty() &&
            common::UpperAscii(drive->Letter()) == common::UpperAscii(letter))
            return drive;
    }
    return nullptr;
}

std::shared_ptr<EmulatedDevice> Machine::OpenDevice(const std::string& name, uint32_t access,
                                                    uint32_t /*share*/, uint32_t /*disposition*/,
                                                    uint32_t& error) {
    std::shared_ptr<EmulatedDevice> device;
    if (OpenIdeDevice(*this, name, device, error)) return device;
    // An optical drive's volume: "\\.\E:".
    if (name.size() == 6 && name.rfind("\\\\.\\", 0) == 0) {
        if (auto drive = FindDrive(name.substr(4))) {
            std::lock_guard lock(mutex);
            if (drive->OpenError() != 0) {
                error = drive->OpenError();
                return nullptr;
            }
            // Read and write access to a volume is for administrators on the NT family.
            if (family == Family::Nt && !security.administrator && (access & kGenericWrite)) {
                error = kErrorAccessDenied;
                return nullptr;
            }
            return std::make_shared<DriveVolume>(std::move(drive));
        }
    }
    // No device of this name on the machine.
    error = kErrorFileNotFound;
    return nullptr;
}

void Machine::Restart() {
    std::lock_guard lock(mutex);
    restart.pending = false;
    restart.boots++;
    for (auto& drive : drives) {
        drive->ByHand([](DriveSettings& d) { d.unitAttention = true; });
    }
    for (auto& [name, service] : ide.services)
        service.running = false;
    for (auto& cdrom : ide.cdroms)
        cdrom.started = true;
}

}  // namespace platform::emulated
