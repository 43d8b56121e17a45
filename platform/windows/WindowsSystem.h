// platform::System answered by Win32 itself: each call is the system call of the same name.
//
// Handles cross the seam as the numbers Windows gives them (a 64-bit build's handles still fit the
// seam's 64 bits). The structures the core builds as bytes in their 32-bit layouts are handed over
// as they are in a 32-bit build and translated to the native ones in a 64-bit build.
#pragma once

#include <array>
#include <map>
#include <memory>
#include <mutex>
#include <utility>

#include "platform/MessageBox.h"
#include "platform/System.h"

namespace platform::windows {

class WindowsSystem : public System {
  public:
    WindowsSystem();
    ~WindowsSystem() override;

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
    // SetThreadExecutionState on the calling thread (the engine's, which also releases it); the
    // window adds its own shutdown block reason.
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
    Status SetRegistryString(RegistryRoot root, const std::string& key, const std::string& name,
                             const std::string& value) override;
    std::optional<std::string> QueryRegistryString(RegistryRoot root, const std::string& key,
                                                   const std::string& name) override;
    Status DeleteRegistryValue(RegistryRoot root, const std::string& key,
                               const std::string& name) override;
    std::string ModuleFileName() override;
    std::string Describe() override;
    std::string HistoryFile() override;

    // One program per drive (WindowsClaims.cpp).
    DriveClaim ClaimDrive(const std::string& root) override;
    void ReleaseDrive(const std::string& root) override;
    std::string DriveHolder(const std::string& root) override;

    // Devices, drives, the pass-through and the ASPI manager (WindowsDevices.cpp).
    Handle CreateDevice(const std::string& name, uint32_t access, uint32_t share,
                        uint32_t disposition, uint32_t flags, uint32_t& error) override;
    Status DeviceIoControl(Handle handle, uint32_t code, std::span<uint8_t> in,
                           std::span<uint8_t> out, uint32_t& returned) override;
    bool CloseHandle(Handle handle) override;
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

    // The service control manager, DOS device names and the setup API (WindowsServices.cpp).
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
    bool SetupDiEnumDeviceInfo(DeviceSet set, uint32_t index,
                               std::span<uint8_t> deviceInfo) override;
    bool SetupDiSetClassInstallParams(DeviceSet set, std::span<const uint8_t> deviceInfo,
                                      std::span<const uint8_t> params) override;
    bool SetupDiCallClassInstaller(uint32_t function, DeviceSet set,
                                   std::span<const uint8_t> deviceInfo) override;
    bool SetupDiGetDeviceInstallParams(DeviceSet set, std::span<const uint8_t> deviceInfo,
                                       std::span<uint8_t> params) override;
    bool SetupDiDestroyDeviceInfoList(DeviceSet set) override;

  private:
    struct Modules;  // the libraries loaded at run time and their entry points
    std::unique_ptr<Modules> modules_;
    void* token_ = nullptr;  // the process token opened for the shutdown privilege
    // The device information elements the setup API handed out, by set and device instance:
    // the core keeps their 32-bit form, whose reserved pointer a 64-bit build cannot carry.
    std::mutex devInfoMutex_;
    std::map<std::pair<DeviceSet, uint32_t>, std::array<uint8_t, 32>> devInfo_;

    // The drives this run claims, by letter: the mutex and the locked volume (or
    // INVALID_HANDLE_VALUE when Windows would not lock it).
    struct Claim {
        void* mutex;
        void* volume;
    };
    std::mutex claimsMutex_;
    std::map<std::string, Claim> claims_;
    // A duplicate of the claim's locked volume handle for "\\.\E:", or null.
    void* ClaimedVolume(const std::string& deviceName);
    // The volume of "\\.\E:" is claimed by another Brenvo run.
    bool HeldByAnotherRun(const std::string& deviceName);
    // The drive each open device handle names (\\.\E: -> "E:"), for the command trace.
    std::mutex deviceNamesMutex_;
    std::map<Handle, std::string> deviceNames_;
    std::string DeviceNameOf(Handle handle);
};

// Shows a message box with MessageBoxW: no owner window, the icon of its kind, OK.
void ShowWin32MessageBox(const MessageBoxRequest& request);
// The running program's file in UTF-8 and in full (GetModuleFileNameW), for a restart that runs
// it again; empty when Windows cannot tell (the trace says why).
std::string ThisProgramFile();
// Whether this is a 64-bit Windows: a 64-bit build, or a 32-bit one that IsWow64Process finds
// running under WOW64. Systems without that call (the older family, the first NT versions) are
// 32-bit.
bool Is64BitWindows();

}  // namespace platform::windows
