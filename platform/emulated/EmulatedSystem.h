// platform::System answered by the emulated PC.
#pragma once

#include <map>
#include <memory>
#include <mutex>

#include "platform/System.h"
#include "platform/emulated/EmulatedAspi.h"
#include "platform/emulated/Machine.h"

namespace platform::emulated {

class EmulatedSystem : public System {
  public:
    explicit EmulatedSystem(std::shared_ptr<Machine> machine);

    Machine& machine() { return *machine_; }

    bool QueryPerformanceFrequency(int64_t& countsPerSecond) override;
    bool QueryPerformanceCounter(int64_t& count) override;
    void Sleep(uint32_t milliseconds) override;
    std::optional<uint32_t> PlatformId() override;
    SecurityApi LoadSecurityApi() override;
    bool CheckAdministratorsMembership(bool& isMember) override;
    void UnloadSecurityApi() override;
    Status OpenProcessTokenForPrivileges() override;
    uint32_t EnableShutdownPrivilege() override;
    void CloseProcessToken() override;
    bool ExitWindowsEx(uint32_t flags, uint32_t reason) override;
    Status BlockShutdown(const std::string& reason) override;
    void ReleaseShutdownBlock() override;
    std::optional<std::string> GetTempPath() override;
    std::optional<std::string> GetWindowsDirectory() override;
    std::optional<std::string> GetSystemDirectory() override;
    uint32_t GetFileAttributes(const std::string& path) override;
    Status SetFileAttributes(const std::string& path, uint32_t attributes) override;
    Status DeleteFile(const std::string& path) override;
    Status WriteWholeFile(const std::string& path, std::span<const uint8_t> bytes) override;
    std::optional<std::vector<uint8_t>> ReadWholeFile(const std::string& path) override;
    Status CopyFile(const std::string& from, const std::string& to, bool failIfExists) override;
    Handle CreateDevice(const std::string& name, uint32_t access, uint32_t share,
                        uint32_t disposition, uint32_t flags, uint32_t& error) override;
    Status DeviceIoControl(Handle handle, uint32_t code, std::span<uint8_t> in,
                           std::span<uint8_t> out, uint32_t& returned) override;
    bool CloseHandle(Handle handle) override;
    Status SetRegistryString(RegistryRoot root, const std::string& key, const std::string& name,
                             const std::string& value) override;
    std::optional<std::string> QueryRegistryString(RegistryRoot root, const std::string& key,
                                                   const std::string& name) override;
    Status DeleteRegistryValue(RegistryRoot root, const std::string& key,
                               const std::string& name) override;
    // The direct-IDE path's services; answered in EmulatedServices.cpp.
    ScHandle OpenServiceManager(uint32_t access, uint32_t& error) override;
    ScHandle CreateService(ScHandle manager, const ServiceConfig& config, uint32_t& error) override;
    ScHandle OpenService(ScHandle manager, const std::string& name, uint32_t access,
                         uint32_t& error) override;
    Status ControlService(ScHandle service, uint32_t control) override;
    Status DeleteService(ScHandle service) override;
    Status StartService(ScHandle service) override;
    bool CloseServiceHandle(ScHandle handle) override;
    std::optional<std::string> QueryDosDevice(const std::string& name) override;
    SetupApi LoadSetupApi() override;
    void FreeSetupApi() override;
    DeviceSet SetupDiGetClassDevs(std::span<const uint8_t, 16> classGuid, uint32_t flags) override;
    bool SetupDiDestroyDeviceInfoList(DeviceSet set) override;
    bool SetupDiEnumDeviceInfo(DeviceSet set, uint32_t index,
                               std::span<uint8_t> deviceInfo) override;
    bool SetupDiSetClassInstallParams(DeviceSet set, std::span<const uint8_t> deviceInfo,
                                      std::span<const uint8_t> params) override;
    bool SetupDiCallClassInstaller(uint32_t function, DeviceSet set,
                                   std::span<const uint8_t> deviceInfo) override;
    bool SetupDiGetDeviceInstallParams(DeviceSet set, std::span<const uint8_t> deviceInfo,
                                       std::span<uint8_t> params) override;
    // Optical drives, their claims and the ASPI manager (EmulatedOptical.cpp).
    DriveClaim ClaimDrive(const std::string& root) override;
    void ReleaseDrive(const std::string& root) override;
    std::string DriveHolder(const std::string& root) override;
    uint32_t GetLogicalDriveStrings(std::span<char> buffer) override;
    uint32_t GetDriveType(const std::string& root) override;
    Status ScsiPassThroughDirect(Handle drive, std::span<uint8_t, kScsiRequestSize> request,
                                 std::span<uint8_t> data) override;
    Handle LoadAspiLibrary() override;
    bool ResolveAspiEntry(Handle module, const std::string& name) override;
    void FreeAspiLibrary(Handle module) override;
    uint32_t GetASPI32SupportInfo() override;
    uint32_t SendASPI32Command(std::span<uint8_t> srb, std::span<uint8_t> data) override;
    Handle CreateEvent(bool manualReset, bool initiallySignalled) override;
    uint32_t WaitForSingleObject(Handle handle, uint32_t milliseconds) override;

    std::string ModuleFileName() override;
    std::string Describe() override;
    // Beside the bench: "pc.json" keeps its runs in "pc.history.jsonl".
    std::string HistoryFile() override;

  private:
    std::shared_ptr<Machine> machine_;
    std::mutex handlesMutex_;
    std::map<Handle, std::shared_ptr<EmulatedDevice>> handles_;
    Handle nextHandle_ = 0x100;
    bool tokenOpen_ = false;
    bool securityApiLoaded_ = false;
    std::unique_ptr<EmulatedAspi> aspi_;
};

}  // namespace platform::emulated
