// platform::System answered by Linux: the optical drives through their sg nodes.
//
// The core speaks Win32 and this backend answers in the same terms: the type-5 SCSI devices
// become CD-ROM drive letters from E: on, a pass-through request becomes one SG_IO, the
// administrator is whoever may open the drives' sg nodes read-write, the performance counter is
// CLOCK_MONOTONIC, the registry is a file in the user's configuration folder, and the restart is
// a request to the service manager. There is no ASPI manager and no flash driver.
#pragma once

#include <array>
#include <atomic>
#include <map>
#include <mutex>

#include "platform/AccessDenial.h"
#include "platform/System.h"
#include "platform/linux/LinuxHost.h"
#include "platform/linux/RegistryFile.h"
#include "platform/linux/SysfsDrives.h"

namespace platform {
class Trace;
}

namespace platform::linuxhost {

class LinuxSystem : public System {
  public:
    explicit LinuxSystem(LinuxHost host);
    ~LinuxSystem() override;

    // The drives as this run found them, letters given.
    const std::vector<OpticalNode>& Drives() const { return drives_; }
    // What `brenvo-cli machine` says of this computer, as (label, text) lines: the system, the
    // user the run acts as, and for each drive whether its node opens for reading and writing.
    std::vector<std::pair<std::string, std::string>> MachineReport() const;
    RegistryFile& Registry() { return registry_; }

    bool QueryPerformanceFrequency(int64_t& countsPerSecond) override;
    bool QueryPerformanceCounter(int64_t& count) override;
    void Sleep(uint32_t milliseconds) override;
    std::optional<uint32_t> PlatformId() override;
    SecurityApi LoadSecurityApi() override;
    bool CheckAdministratorsMembership(bool& isMember) override;
    void UnloadSecurityApi() override {}
    Status OpenProcessTokenForPrivileges() override;
    uint32_t EnableShutdownPrivilege() override { return kErrorSuccess; }
    void CloseProcessToken() override {}
    bool ExitWindowsEx(uint32_t flags, uint32_t reason) override;
    Status BlockShutdown(const std::string& reason) override;
    void ReleaseShutdownBlock() override;
    std::optional<std::string> GetTempPath() override;
    std::optional<std::string> GetWindowsDirectory() override { return std::nullopt; }
    std::optional<std::string> GetSystemDirectory() override { return std::nullopt; }
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
    // A claim holds the drive's sg node open with O_EXCL (the sg driver then refuses every other
    // open of it) and, where this user may open it, its sr node with O_EXCL (no mount, no other
    // exclusive user); the run's own handles on the drive are duplicates of the claim's.
    DriveClaim ClaimDrive(const std::string& root) override;
    void ReleaseDrive(const std::string& root) override;
    std::string DriveHolder(const std::string& root) override;
    uint32_t GetLogicalDriveStrings(std::span<char> buffer) override;
    uint32_t GetDriveType(const std::string& root) override;
    Status ScsiPassThroughDirect(Handle drive, std::span<uint8_t, kScsiRequestSize> request,
                                 std::span<uint8_t> data) override;
    Handle LoadAspiLibrary() override { return kNullModule; }
    bool ResolveAspiEntry(Handle, const std::string&) override { return false; }
    void FreeAspiLibrary(Handle) override {}
    uint32_t GetASPI32SupportInfo() override { return 0; }
    uint32_t SendASPI32Command(std::span<uint8_t>, std::span<uint8_t>) override { return 0; }
    Handle CreateEvent(bool, bool) override { return kInvalidHandle; }
    uint32_t WaitForSingleObject(Handle, uint32_t) override { return kWaitTimeout; }
    std::string RunOnceProblem(const std::string& command) override {
        return registry_.RunOnceProblem(command);
    }
    Status SetRegistryString(RegistryRoot root, const std::string& key, const std::string& name,
                             const std::string& value) override;
    std::optional<std::string> QueryRegistryString(RegistryRoot root, const std::string& key,
                                                   const std::string& name) override;
    Status DeleteRegistryValue(RegistryRoot root, const std::string& key,
                               const std::string& name) override;
    // No flash driver exists for Linux: the direct-IDE services all refuse.
    ScHandle OpenServiceManager(uint32_t access, uint32_t& error) override;
    ScHandle CreateService(ScHandle, const ServiceConfig&, uint32_t& error) override;
    ScHandle OpenService(ScHandle, const std::string&, uint32_t, uint32_t& error) override;
    Status ControlService(ScHandle, uint32_t) override;
    Status DeleteService(ScHandle) override;
    Status StartService(ScHandle) override;
    bool CloseServiceHandle(ScHandle) override { return false; }
    std::optional<std::string> QueryDosDevice(const std::string&) override { return std::nullopt; }
    SetupApi LoadSetupApi() override { return {}; }
    void FreeSetupApi() override {}
    DeviceSet SetupDiGetClassDevs(std::span<const uint8_t, 16>, uint32_t) override {
        return kInvalidDeviceSet;
    }
    bool SetupDiEnumDeviceInfo(DeviceSet, uint32_t, std::span<uint8_t>) override { return false; }
    bool SetupDiSetClassInstallParams(DeviceSet, std::span<const uint8_t>,
                                      std::span<const uint8_t>) override {
        return false;
    }
    bool SetupDiCallClassInstaller(uint32_t, DeviceSet, std::span<const uint8_t>) override {
        return false;
    }
    bool SetupDiGetDeviceInstallParams(DeviceSet, std::span<const uint8_t>,
                                       std::span<uint8_t>) override {
        return false;
    }
    bool SetupDiDestroyDeviceInfoList(DeviceSet) override { return false; }
    std::string ModuleFileName() override;
    std::string Describe() override { return "this computer"; }
    std::string HistoryFile() override { return host_.historyFile; }
    // The first drive whose sg node this user may not open, with the facts of this machine
    // that say what would give access.
    std::optional<AccessDenial> WhyAccessDenied();

  private:
    const OpticalNode* FindLetter(const std::string& letterAndColon) const;
    // A file system mounted from the drive's disc, or the programs with its nodes open; empty
    // when neither can be seen.
    std::string MountedAt(const OpticalNode& drive) const;
    // Why the node open on `fd` is not the drive's own (a character device of the number sysfs
    // gives for it); empty when it is.
    std::string NotTheDrivesNode(const OpticalNode& drive, int fd) const;
    // The drive's sg node, opened and checked to be the drive's; -1 with errno set, and with
    // `refused` saying why when it is another node.
    int OpenDrivesNode(const OpticalNode& drive, int flags, std::string& refused);
    std::string ProgramsHolding(const OpticalNode& drive) const;
    void TraceClaim(const OpticalNode& drive, const std::string& what, const std::string& detail);

    struct Claim {
        int sg = -1;     // the sg node, opened O_EXCL
        int block = -1;  // the sr node, opened O_EXCL; -1 when this user may not open it
    };
    std::mutex claimsMutex_;
    std::map<std::string, Claim> claims_;  // by letter

    LinuxHost host_;
    std::vector<OpticalNode> drives_;
    RegistryFile registry_;
    // The drive behind an open handle (its descriptor), or null. Looked up on every command, so
    // a plain table indexed by the descriptor rather than a locked map.
    const OpticalNode* DriveOf(Handle handle) const;

    static constexpr int kHandleSlots = 1024;
    std::array<std::atomic<const OpticalNode*>, kHandleSlots> handles_{};
    int shutdownBlock_ = -1;  // the login manager's lock while held
};

// How the autostart entry of a RunOnce value that names `program` starts it at the next log-in:
// a console program in a terminal, a window without one; a run that sudo or pkexec gave root's
// rights asks for them again through pkexec, or through sudo for a window that no polkit action
// lets pkexec give a display.
AutostartLaunch RestartLaunch(const LinuxHost& host, const std::string& program);

// The System of this computer at the start of a run of the console program or of a window. A
// RunOnce entry whose command line is this run's is removed first, as Windows removes it when it
// runs it.
std::unique_ptr<LinuxSystem> OpenThisComputer(bool console);

}  // namespace platform::linuxhost
