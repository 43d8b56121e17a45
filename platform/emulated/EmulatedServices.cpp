// The emulated PC's service control manager, DOS device names and setup API (the device manager
// with its CD-ROM devices), for the direct-IDE path.
#include <cstring>

#include "common/Text.h"
#include "platform/DriverRequests.h"
#include "platform/SetupApiLayout.h"
#include "platform/emulated/EmulatedSystem.h"

namespace platform::emulated {
namespace {
using directide::GetLe32;
using directide::kCdromInterfaceGuid;
using directide::kDevInstallParamsSize;
using directide::kDicsStart;
using directide::kDicsStop;
using directide::kDifPropertyChange;
using directide::kDiNeedReboot;
using directide::kPropChangeParamsSize;
using directide::PutLe32;

// The CD-ROM device setup class {4D36E965-E325-11CE-BFC1-08002BE10318}.
constexpr uint8_t kCdromClassGuid[16] = {0x65, 0xE9, 0x36, 0x4D, 0x25, 0xE3, 0xCE, 0x11,
                                         0xBF, 0xC1, 0x08, 0x00, 0x2B, 0xE1, 0x03, 0x18};
constexpr uint32_t kDigcfDeviceInterface = 0x10;
constexpr uint32_t kDevInfoSize = 28;

bool IsServiceHandle(const IdeMachine& ide, ScHandle h) {
    auto it = ide.scHandles.find(h);
    return it != ide.scHandles.end() && !it->second.empty();
}

// The service behind a service handle; null, with the manager's failure, when there is none.
EmulatedService* ServiceOf(IdeMachine& ide, ScHandle h, Status& failure) {
    if (!IsServiceHandle(ide, h)) {
        failure = Status::Failure(kErrorInvalidHandle);
        return nullptr;
    }
    auto it = ide.services.find(ide.scHandles[h]);
    if (it == ide.services.end()) {
        failure = Status::Failure(kErrorServiceDoesNotExist);
        return nullptr;
    }
    return &it->second;
}

ScHandle NewServiceHandle(IdeMachine& ide, const std::string& key) {
    ScHandle h = ide.nextScHandle++;
    ide.scHandles[h] = key;
    return h;
}
bool IsManagerHandle(const IdeMachine& ide, ScHandle h) {
    auto it = ide.scHandles.find(h);
    return it != ide.scHandles.end() && it->second.empty();
}

// The CD-ROM device a device information element names (its devnode is the index + 1).
CdromDevice* DeviceOf(IdeMachine& ide, std::span<const uint8_t> info) {
    if (info.size() < kDevInfoSize || GetLe32(info.data()) != kDevInfoSize) return nullptr;
    uint32_t devnode = GetLe32(info.data() + 20);
    if (devnode == 0 || devnode > ide.cdroms.size()) return nullptr;
    return &ide.cdroms[devnode - 1];
}
}  // namespace

ScHandle EmulatedSystem::OpenServiceManager(uint32_t /*access*/, uint32_t& error) {
    std::lock_guard lock(machine_->mutex);
    IdeMachine& ide = machine_->ide;
    ide.counters.serviceManagerCalls++;
    if (machine_->family != Family::Nt) {
        error = 120;  // ERROR_CALL_NOT_IMPLEMENTED
        return kNullScHandle;
    }
    if (!machine_->security.administrator) {
        error = kErrorAccessDenied;
        return kNullScHandle;
    }
    ScHandle h = ide.nextScHandle++;
    ide.scHandles[h] = "";
    return h;
}

ScHandle EmulatedSystem::CreateService(ScHandle manager, const ServiceConfig& config,
                                       uint32_t& error) {
    std::lock_guard lock(machine_->mutex);
    IdeMachine& ide = machine_->ide;
    ide.counters.serviceManagerCalls++;
    if (!IsManagerHandle(ide, manager)) {
        error = kErrorInvalidHandle;
        return kNullScHandle;
    }
    std::string key = common::UpperAscii(config.name);
    if (ide.services.count(key)) {
        error = kErrorServiceExists;
        return kNullScHandle;
    }
    ide.services[key].config = config;
    return NewServiceHandle(ide, key);
}

ScHandle EmulatedSystem::OpenService(ScHandle manager, const std::string& name, uint32_t /*access*/,
                                     uint32_t& error) {
    std::lock_guard lock(machine_->mutex);
    IdeMachine& ide = machine_->ide;
    ide.counters.serviceManagerCalls++;
    if (!IsManagerHandle(ide, manager)) {
        error = kErrorInvalidHandle;
        return kNullScHandle;
    }
    std::string key = common::UpperAscii(name);
    if (!ide.services.count(key)) {
        error = kErrorServiceDoesNotExist;
        return kNullScHandle;
    }
    return NewServiceHandle(ide, key);
}

Status EmulatedSystem::ControlService(ScHandle service, uint32_t control) {
    std::lock_guard lock(machine_->mutex);
    IdeMachine& ide = machine_->ide;
    ide.counters.serviceManagerCalls++;
    Status failure;
    EmulatedService* s = ServiceOf(ide, service, failure);
    if (!s) return failure;
    if (control != kServiceControlStop) return Status::Failure(kErrorNotSupported);
    if (!s->running) return Status::Failure(1062);  // ERROR_SERVICE_NOT_ACTIVE
    s->running = false;
    return Status::Success();
}

Status EmulatedSystem::DeleteService(ScHandle service) {
    std::lock_guard lock(machine_->mutex);
    IdeMachine& ide = machine_->ide;
    ide.counters.serviceManagerCalls++;
    if (!IsServiceHandle(ide, service)) return Status::Failure(kErrorInvalidHandle);
    if (ide.services.erase(ide.scHandles[service]) == 0) {
        return Status::Failure(kErrorServiceDoesNotExist);
    }
    return Status::Success();
}

Status EmulatedSystem::StartService(ScHandle service) {
    std::lock_guard lock(machine_->mutex);
    IdeMachine& ide = machine_->ide;
    ide.counters.serviceManagerCalls++;
    Status failure;
    EmulatedService* s = ServiceOf(ide, service, failure);
    if (!s) return failure;
    if (s->running) return Status::Failure(kErrorServiceAlreadyRunning);
    uint32_t error = 0;
    if (!DriverServiceMayStart(*machine_, *s, error)) return Status::Failure(error);
    s->running = true;
    return Status::Success();
}

bool EmulatedSystem::CloseServiceHandle(ScHandle handle) {
    std::lock_guard lock(machine_->mutex);
    IdeMachine& ide = machine_->ide;
    ide.counters.serviceManagerCalls++;
    return ide.scHandles.erase(handle) > 0;
}

std::optional<std::string> EmulatedSystem::QueryDosDevice(const std::string& name) {
    std::lock_guard lock(machine_->mutex);
    auto it = machine_->ide.dosDevices.find(common::UpperAscii(name));
    if (it == machine_->ide.dosDevices.end()) return std::nullopt;
    return it->second;
}

SetupApi EmulatedSystem::LoadSetupApi() {
    std::lock_guard lock(machine_->mutex);
    IdeMachine& ide = machine_->ide;
    ide.counters.setupApiCalls++;
    if (!ide.setupApiPresent) return SetupApi{};
    ide.setupApiLoaded = true;
    SetupApi api = ide.setupEntries;
    api.loaded = true;
    return api;
}

void EmulatedSystem::FreeSetupApi() {
    std::lock_guard lock(machine_->mutex);
    machine_->ide.counters.setupApiCalls++;
    machine_->ide.setupApiLoaded = false;
}

DeviceSet EmulatedSystem::SetupDiGetClassDevs(std::span<const uint8_t, 16> classGuid,
                                              uint32_t flags) {
    std::lock_guard lock(machine_->mutex);
    IdeMachine& ide = machine_->ide;
    ide.counters.setupApiCalls++;
    if (!ide.setupApiLoaded || !ide.setupEntries.getClassDevs) return kInvalidDeviceSet;
    // Only the CD-ROM interface class has members on this machine.
    bool cdroms = std::memcmp(classGuid.data(), kCdromInterfaceGuid, 16) == 0 &&
                  (flags & kDigcfDeviceInterface);
    DeviceSet set = ide.nextDeviceSet++;
    ide.deviceSets[set];
    if (!cdroms) ide.deviceSets[set][0] = {};  // marks an empty set
    return set;
}

bool EmulatedSystem::SetupDiDestroyDeviceInfoList(DeviceSet set) {
    std::lock_guard lock(machine_->mutex);
    IdeMachine& ide = machine_->ide;
    ide.counters.setupApiCalls++;
    // A set the machine never handed out, or one given back already, is an invalid handle.
    return ide.deviceSets.erase(set) == 1;
}

bool EmulatedSystem::SetupDiEnumDeviceInfo(DeviceSet set, uint32_t index, std::span<uint8_t> info) {
    std::lock_guard lock(machine_->mutex);
    IdeMachine& ide = machine_->ide;
    ide.counters.setupApiCalls++;
    auto it = ide.deviceSets.find(set);
    if (it == ide.deviceSets.end() || it->second.count(0)) return false;
    if (info.size() < kDevInfoSize || GetLe32(info.data()) != kDevInfoSize) return false;
    if (index >= ide.cdroms.size()) return false;  // ERROR_NO_MORE_ITEMS
    std::memcpy(info.data() + 4, kCdromClassGuid, 16);
    PutLe32(info.data() + 20, index + 1);
    PutLe32(info.data() + 24, 0);
    return true;
}

bool EmulatedSystem::SetupDiSetClassInstallParams(DeviceSet set, std::span<const uint8_t> info,
                                                  std::span<const uint8_t> params) {
    std::lock_guard lock(machine_->mutex);
    IdeMachine& ide = machine_->ide;
    ide.counters.setupApiCalls++;
    auto it = ide.deviceSets.find(set);
    CdromDevice* device = DeviceOf(ide, info);
    if (it == ide.deviceSets.end() || !device) return false;
    if (params.size() != kPropChangeParamsSize || GetLe32(params.data()) != 8) return false;
    it->second[GetLe32(info.data() + 20)].assign(params.begin(), params.end());
    return true;
}

bool EmulatedSystem::SetupDiCallClassInstaller(uint32_t function, DeviceSet set,
                                               std::span<const uint8_t> info) {
    std::lock_guard lock(machine_->mutex);
    IdeMachine& ide = machine_->ide;
    ide.counters.setupApiCalls++;
    auto it = ide.deviceSets.find(set);
    CdromDevice* device = DeviceOf(ide, info);
    if (it == ide.deviceSets.end() || !device || function != kDifPropertyChange) return false;
    auto params = it->second.find(GetLe32(info.data() + 20));
    if (params == it->second.end() || params->second.size() != kPropChangeParamsSize) return false;
    const uint8_t* p = params->second.data();
    if (GetLe32(p + 4) != kDifPropertyChange || device->changeFails) return false;
    uint32_t change = GetLe32(p + 8);
    if (change == kDicsStop) {
        device->started = false;
    } else if (change == kDicsStart) {
        device->started = true;
    } else {
        return false;
    }
    return true;
}

bool EmulatedSystem::SetupDiGetDeviceInstallParams(DeviceSet set, std::span<const uint8_t> info,
                                                   std::span<uint8_t> params) {
    std::lock_guard lock(machine_->mutex);
    IdeMachine& ide = machine_->ide;
    ide.counters.setupApiCalls++;
    CdromDevice* device = DeviceOf(ide, info);
    if (!ide.deviceSets.count(set) || !device) return false;
    if (params.size() < kDevInstallParamsSize || GetLe32(params.data()) != kDevInstallParamsSize) {
        return false;
    }
    PutLe32(params.data() + 4, device->needsReboot ? kDiNeedReboot : 0);
    return true;
}

}  // namespace platform::emulated
