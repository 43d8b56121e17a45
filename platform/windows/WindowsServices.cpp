// The direct-IDE path's services: the service control manager, DOS device names, and the device
// manager through setupapi.dll, loaded at run time.
#include <cstring>

#include "platform/windows/Crossing.h"
#include "platform/windows/Modules.h"
#include "platform/windows/WideText.h"
#include "platform/windows/WindowsSystem.h"

namespace platform::windows {
namespace {
// The 32-bit forms the program keeps. SP_DEVINFO_DATA: cbSize, ClassGuid, DevInst, Reserved.
constexpr size_t kDevInfo32Size = 28;
constexpr size_t kDevInfoGuid = 4;
constexpr size_t kDevInfoDevInst = 20;
constexpr size_t kDevInfoReserved = 24;
// SP_DEVINSTALL_PARAMS_A: cbSize, Flags, FlagsEx, four pointers, two reserved fields, DriverPath.
constexpr size_t kInstallParams32Size = 296;
constexpr size_t kInstallParamsFlags = 4;
constexpr size_t kInstallParamsFlagsEx = 8;
constexpr size_t kInstallParamsDriverPath = 36;
constexpr size_t kPropChangeParams32Size = 20;

static_assert(sizeof(SP_PROPCHANGE_PARAMS) == kPropChangeParams32Size);
static_assert(sizeof(void*) == 8 || (sizeof(SP_DEVINFO_DATA) == kDevInfo32Size &&
                                     sizeof(SP_DEVINSTALL_PARAMS_A) == kInstallParams32Size),
              "the setup API's structures are not the documented 32-bit layouts");

}  // namespace

ScHandle WindowsSystem::OpenServiceManager(uint32_t access, uint32_t& error) {
    SC_HANDLE manager = ::OpenSCManagerW(nullptr, nullptr, access);
    error = manager ? kErrorSuccess : ::GetLastError();
    if (!manager) TraceFailure("OpenSCManager", error);
    return SeamHandle(manager);
}

ScHandle WindowsSystem::CreateService(ScHandle manager, const ServiceConfig& config,
                                      uint32_t& error) {
    SC_HANDLE service =
        ::CreateServiceW(NativeHandle<SC_HANDLE>(manager), Wide(config.name).c_str(),
                         Wide(config.displayName).c_str(), config.access, config.serviceType,
                         config.startType, config.errorControl, Wide(config.imagePath).c_str(),
                         nullptr, nullptr, nullptr, nullptr, nullptr);
    error = service ? kErrorSuccess : ::GetLastError();
    // A service left by an earlier run answers ERROR_SERVICE_EXISTS; the caller then makes it
    // again.
    if (!service) TraceFailure("CreateService", error, config.name);
    return SeamHandle(service);
}

ScHandle WindowsSystem::OpenService(ScHandle manager, const std::string& name, uint32_t access,
                                    uint32_t& error) {
    SC_HANDLE service =
        ::OpenServiceW(NativeHandle<SC_HANDLE>(manager), Wide(name).c_str(), access);
    error = service ? kErrorSuccess : ::GetLastError();
    if (!service) TraceFailure("OpenService", error, name);
    return SeamHandle(service);
}

Status WindowsSystem::ControlService(ScHandle service, uint32_t control) {
    SERVICE_STATUS status{};
    return Traced("ControlService",
                  LastStatus(::ControlService(NativeHandle<SC_HANDLE>(service), control, &status)),
                  "control " + std::to_string(control));
}

Status WindowsSystem::DeleteService(ScHandle service) {
    return Traced("DeleteService", LastStatus(::DeleteService(NativeHandle<SC_HANDLE>(service))));
}

Status WindowsSystem::StartService(ScHandle service) {
    return Traced("StartService",
                  LastStatus(::StartServiceW(NativeHandle<SC_HANDLE>(service), 0, nullptr)));
}

bool WindowsSystem::CloseServiceHandle(ScHandle handle) {
    return ::CloseServiceHandle(NativeHandle<SC_HANDLE>(handle)) != FALSE;
}

std::optional<std::string> WindowsSystem::QueryDosDevice(const std::string& name) {
    wchar_t target[256] = {};
    if (::QueryDosDeviceW(Wide(name).c_str(), target, 256) == 0) return std::nullopt;
    return Utf8(target);  // the first of the zero-separated targets
}

SetupApi WindowsSystem::LoadSetupApi() {
    auto& m = *modules_;
    if (!m.setupapi) m.setupapi = ::LoadLibraryA("setupapi.dll");
    if (!m.setupapi) return {};
    m.getClassDevs = Entry<SetupDiGetClassDevsAFn>(m.setupapi, "SetupDiGetClassDevsA");
    m.enumDeviceInfo = Entry<SetupDiEnumDeviceInfoFn>(m.setupapi, "SetupDiEnumDeviceInfo");
    m.getDeviceInstallParams =
        Entry<SetupDiGetDeviceInstallParamsAFn>(m.setupapi, "SetupDiGetDeviceInstallParamsA");
    m.setClassInstallParams =
        Entry<SetupDiSetClassInstallParamsAFn>(m.setupapi, "SetupDiSetClassInstallParamsA");
    m.callClassInstaller =
        Entry<SetupDiCallClassInstallerFn>(m.setupapi, "SetupDiCallClassInstaller");
    m.destroyDeviceInfoList =
        Entry<SetupDiDestroyDeviceInfoListFn>(m.setupapi, "SetupDiDestroyDeviceInfoList");
    return {true,
            m.getClassDevs != nullptr,
            m.enumDeviceInfo != nullptr,
            m.getDeviceInstallParams != nullptr,
            m.setClassInstallParams != nullptr,
            m.callClassInstaller != nullptr};
}

void WindowsSystem::FreeSetupApi() {
    auto& m = *modules_;
    if (m.setupapi) ::FreeLibrary(m.setupapi);
    m.setupapi = nullptr;
    m.getClassDevs = nullptr;
    m.enumDeviceInfo = nullptr;
    m.getDeviceInstallParams = nullptr;
    m.setClassInstallParams = nullptr;
    m.callClassInstaller = nullptr;
    m.destroyDeviceInfoList = nullptr;
    std::lock_guard lock(devInfoMutex_);
    devInfo_.clear();
}

DeviceSet WindowsSystem::SetupDiGetClassDevs(std::span<const uint8_t, 16> classGuid,
                                             uint32_t flags) {
    auto& m = *modules_;
    if (!m.getClassDevs) return kInvalidDeviceSet;
    GUID guid;
    std::memcpy(&guid, classGuid.data(), sizeof guid);
    HDEVINFO set = m.getClassDevs(&guid, nullptr, nullptr, flags);
    if (set != INVALID_HANDLE_VALUE) return SeamHandle(set);
    TraceFailure("SetupDiGetClassDevs", ::GetLastError());
    return kInvalidDeviceSet;
}

bool WindowsSystem::SetupDiEnumDeviceInfo(DeviceSet set, uint32_t index,
                                          std::span<uint8_t> deviceInfo) {
    auto& m = *modules_;
    if (!m.enumDeviceInfo || deviceInfo.size() < kDevInfo32Size ||
        Le32(deviceInfo.data()) != kDevInfo32Size) {
        ::SetLastError(ERROR_INVALID_USER_BUFFER);
        return false;
    }
    SP_DEVINFO_DATA native{};
    native.cbSize = sizeof native;
    if (!m.enumDeviceInfo(NativeHandle<HDEVINFO>(set), index, &native)) return false;
    std::memcpy(&deviceInfo[kDevInfoGuid], &native.ClassGuid, sizeof(GUID));
    PutLe32(&deviceInfo[kDevInfoDevInst], native.DevInst);
    PutLe32(&deviceInfo[kDevInfoReserved], static_cast<uint32_t>(native.Reserved));
    std::array<uint8_t, 32> kept{};
    static_assert(sizeof native <= sizeof kept);
    std::memcpy(kept.data(), &native, sizeof native);
    std::lock_guard lock(devInfoMutex_);
    devInfo_[{set, native.DevInst}] = kept;
    return true;
}

bool WindowsSystem::SetupDiDestroyDeviceInfoList(DeviceSet set) {
    auto& m = *modules_;
    {
        std::lock_guard lock(devInfoMutex_);
        std::erase_if(devInfo_, [set](const auto& kept) { return kept.first.first == set; });
    }
    if (!m.destroyDeviceInfoList || set == kInvalidDeviceSet) {
        TraceFailure("SetupDiDestroyDeviceInfoList", ERROR_INVALID_HANDLE);
        return false;
    }
    if (m.destroyDeviceInfoList(NativeHandle<HDEVINFO>(set))) return true;
    TraceFailure("SetupDiDestroyDeviceInfoList", ::GetLastError());
    return false;
}

namespace {
// The native element behind the program's 32-bit form, as the setup API handed it out.
bool NativeDevInfo(std::mutex& mutex,
                   const std::map<std::pair<DeviceSet, uint32_t>, std::array<uint8_t, 32>>& kept,
                   DeviceSet set, std::span<const uint8_t> info, SP_DEVINFO_DATA& native) {
    if (info.size() < kDevInfo32Size) return false;
    std::lock_guard lock(mutex);
    auto it = kept.find({set, Le32(&info[kDevInfoDevInst])});
    if (it == kept.end()) return false;
    std::memcpy(&native, it->second.data(), sizeof native);
    return true;
}
}  // namespace

bool WindowsSystem::SetupDiSetClassInstallParams(DeviceSet set, std::span<const uint8_t> deviceInfo,
                                                 std::span<const uint8_t> params) {
    auto& m = *modules_;
    SP_DEVINFO_DATA native{};
    SP_PROPCHANGE_PARAMS change{};
    if (!m.setClassInstallParams || params.size() != sizeof change ||
        !NativeDevInfo(devInfoMutex_, devInfo_, set, deviceInfo, native)) {
        ::SetLastError(ERROR_INVALID_PARAMETER);
        return false;
    }
    std::memcpy(&change, params.data(), sizeof change);
    if (m.setClassInstallParams(NativeHandle<HDEVINFO>(set), &native, &change.ClassInstallHeader,
                                sizeof change))
        return true;
    TraceFailure("SetupDiSetClassInstallParams", ::GetLastError());
    return false;
}

bool WindowsSystem::SetupDiCallClassInstaller(uint32_t function, DeviceSet set,
                                              std::span<const uint8_t> deviceInfo) {
    auto& m = *modules_;
    SP_DEVINFO_DATA native{};
    if (!m.callClassInstaller || !NativeDevInfo(devInfoMutex_, devInfo_, set, deviceInfo, native)) {
        ::SetLastError(ERROR_INVALID_PARAMETER);
        return false;
    }
    if (m.callClassInstaller(function, NativeHandle<HDEVINFO>(set), &native)) return true;
    TraceFailure("SetupDiCallClassInstaller", ::GetLastError(),
                 "function " + std::to_string(function));
    return false;
}

bool WindowsSystem::SetupDiGetDeviceInstallParams(DeviceSet set,
                                                  std::span<const uint8_t> deviceInfo,
                                                  std::span<uint8_t> params) {
    auto& m = *modules_;
    SP_DEVINFO_DATA native{};
    if (!m.getDeviceInstallParams || params.size() < kInstallParams32Size ||
        Le32(params.data()) != kInstallParams32Size ||
        !NativeDevInfo(devInfoMutex_, devInfo_, set, deviceInfo, native)) {
        ::SetLastError(ERROR_INVALID_PARAMETER);
        return false;
    }
    SP_DEVINSTALL_PARAMS_A install{};
    install.cbSize = sizeof install;
    if (!m.getDeviceInstallParams(NativeHandle<HDEVINFO>(set), &native, &install)) return false;
    // The program reads the flags; the pointers mean nothing to it.
    PutLe32(&params[kInstallParamsFlags], install.Flags);
    PutLe32(&params[kInstallParamsFlagsEx], install.FlagsEx);
    std::memcpy(&params[kInstallParamsDriverPath], install.DriverPath, MAX_PATH);
    return true;
}

}  // namespace platform::windows
