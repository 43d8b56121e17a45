// The seam between the core and the operating system.
//
// The core asks the system for exactly these services and nothing else. Results come back the way
// the core expects them from the host: a success flag plus the system's error code (5 is access
// denied everywhere). Fixed byte layouts are built by the core and cross this seam as bytes.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "platform/ScsiRequest.h"

namespace platform {

// Windows error codes the core looks at.
inline constexpr uint32_t kErrorSuccess = 0;
inline constexpr uint32_t kErrorFileNotFound = 2;
inline constexpr uint32_t kErrorPathNotFound = 3;
inline constexpr uint32_t kErrorAccessDenied = 5;
inline constexpr uint32_t kErrorInvalidHandle = 6;
inline constexpr uint32_t kErrorSharingViolation = 32;  // another program holds the device
inline constexpr uint32_t kErrorNotSupported = 50;
inline constexpr uint32_t kErrorFileExists = 80;
inline constexpr uint32_t kErrorNotAllAssigned = 1300;
inline constexpr uint32_t kErrorPrivilegeNotHeld = 1314;

inline constexpr uint32_t kInvalidFileAttributes = 0xFFFFFFFFu;
inline constexpr uint32_t kFileAttributeReadOnly = 0x01;
inline constexpr uint32_t kFileAttributeNormal = 0x80;

// GetVersionExA's platform ids.
inline constexpr uint32_t kPlatformWin32Windows = 1;
inline constexpr uint32_t kPlatformWin32Nt = 2;

struct Status {
    bool ok = false;
    uint32_t error = 0;  // the system's error code when !ok

    static Status Success() { return {true, kErrorSuccess}; }
    static Status Failure(uint32_t code) { return {false, code}; }
    explicit operator bool() const { return ok; }
};

// Which of the three security entry points "advapi32.dll" offers.
struct SecurityApi {
    bool loaded = false;
    bool allocateAndInitializeSid = false;
    bool checkTokenMembership = false;
    bool freeSid = false;
};

// A handle from CreateFile; kInvalidHandle when none.
using Handle = int64_t;
inline constexpr Handle kInvalidHandle = -1;

// CreateFile access, sharing and disposition values the core uses.
inline constexpr uint32_t kGenericRead = 0x80000000u;
inline constexpr uint32_t kGenericWrite = 0x40000000u;
inline constexpr uint32_t kFileShareRead = 1;
inline constexpr uint32_t kFileShareWrite = 2;
inline constexpr uint32_t kCreateNew = 1;
inline constexpr uint32_t kOpenExisting = 3;

// Optical drives and the SCSI requests that reach them.
inline constexpr uint32_t kDriveCdrom = 5;  // GetDriveTypeA
inline constexpr uint32_t kIoctlScsiPassThroughDirect = 0x4D014;
inline constexpr uint32_t kIoctlScsiGetAddress = 0x41018;
inline constexpr size_t kScsiAddressSize = 8;  // SCSI_ADDRESS
// What the DataBuffer / SRB_BufPointer field holds when the request crosses the seam.
inline constexpr uint32_t kDataBufferNone = 0;
inline constexpr uint32_t kDataBufferRead = 1;
inline constexpr uint32_t kDataBufferWrite = 2;
inline constexpr Handle kNullModule = 0;
inline constexpr uint32_t kWaitObject0 = 0;
inline constexpr uint32_t kWaitTimeout = 0x102;
inline constexpr uint32_t kErrorSemaphoreTimeout = 121;  // the pass-through's time-out ran out
inline constexpr uint32_t kErrorIoDevice = 1117;         // the drive did not answer at all
inline constexpr uint32_t kErrorInvalidParameter = 87;

// What became of a claim on a drive (System::ClaimDrive).
struct DriveClaim {
    bool claimed = false;
    uint32_t error = 0;  // the system's error code when not claimed
    // Who holds the drive when another program does, as far as the system can tell ("brenvo-cli
    // (process 4711)", "its disc is mounted at /media/cdrom"); empty when it cannot.
    std::string holder;
};

// Registry roots the program touches.
enum class RegistryRoot { LocalMachine, CurrentUser };

// --- direct-IDE path: service control manager, DOS device names, setup API -------------------
// Handles of the service control manager and its services; 0 when none.
using ScHandle = int64_t;
inline constexpr ScHandle kNullScHandle = 0;

inline constexpr uint32_t kScManagerAllAccess = 0xF003F;
inline constexpr uint32_t kServiceAllAccess = 0xF01FF;
inline constexpr uint32_t kServiceControlStop = 1;
inline constexpr uint32_t kErrorServiceExists = 1073;
inline constexpr uint32_t kErrorServiceDoesNotExist = 1060;
inline constexpr uint32_t kErrorServiceAlreadyRunning = 1056;
inline constexpr uint32_t kErrorModNotFound = 126;
inline constexpr uint32_t kErrorProcNotFound = 127;

// CreateServiceA's parameters the program sets (no load order group, tag, dependencies, account
// or password).
struct ServiceConfig {
    std::string name;
    std::string displayName;
    uint32_t access = 0;
    uint32_t serviceType = 0;
    uint32_t startType = 0;
    uint32_t errorControl = 0;
    std::string imagePath;
};

// "setupapi.dll" and which of the five entry points it offers.
struct SetupApi {
    bool loaded = false;
    bool getClassDevs = false;            // SetupDiGetClassDevsA
    bool enumDeviceInfo = false;          // SetupDiEnumDeviceInfo
    bool getDeviceInstallParams = false;  // SetupDiGetDeviceInstallParamsA
    bool setClassInstallParams = false;   // SetupDiSetClassInstallParamsA
    bool callClassInstaller = false;      // SetupDiCallClassInstaller
    bool AllEntries() const {
        return loaded && getClassDevs && enumDeviceInfo && getDeviceInstallParams &&
               setClassInstallParams && callClassInstaller;
    }
};

// A device information set of the setup API; kInvalidDeviceSet when none.
using DeviceSet = int64_t;
inline constexpr DeviceSet kInvalidDeviceSet = -1;

class System {
  public:
    virtual ~System() = default;

    // --- time ---
    // QueryPerformanceFrequency / QueryPerformanceCounter: false when the machine has no counter.
    virtual bool QueryPerformanceFrequency(int64_t& countsPerSecond) = 0;
    virtual bool QueryPerformanceCounter(int64_t& count) = 0;
    virtual void Sleep(uint32_t milliseconds) = 0;

    // --- platform family ---
    // GetVersionExA: the platform id (2 for the NT family), or nullopt when the call fails.
    virtual std::optional<uint32_t> PlatformId() = 0;

    // --- security token ---
    // Loads "advapi32.dll" and tells which of the three entry points it offers.
    virtual SecurityApi LoadSecurityApi() = 0;
    // Builds the Administrators SID (NT authority, RIDs 0x20 and 0x220), asks CheckTokenMembership
    // with the caller's own token and frees the SID. False when building the SID or the call fails.
    virtual bool CheckAdministratorsMembership(bool& isMember) = 0;
    virtual void UnloadSecurityApi() = 0;

    // --- restart ---
    // OpenProcessToken with TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY.
    virtual Status OpenProcessTokenForPrivileges() = 0;
    // Enables "SeShutdownPrivilege" on the opened token and returns what GetLastError reports
    // afterwards (0, or for example ERROR_NOT_ALL_ASSIGNED).
    virtual uint32_t EnableShutdownPrivilege() = 0;
    virtual void CloseProcessToken() = 0;
    virtual bool ExitWindowsEx(uint32_t flags, uint32_t reason) = 0;

    // --- directories and files (Windows paths) ---
    virtual std::optional<std::string> GetTempPath() = 0;
    virtual std::optional<std::string> GetWindowsDirectory() = 0;
    virtual std::optional<std::string> GetSystemDirectory() = 0;
    virtual uint32_t GetFileAttributes(const std::string& path) = 0;
    virtual Status SetFileAttributes(const std::string& path, uint32_t attributes) = 0;
    virtual Status DeleteFile(const std::string& path) = 0;
    // CreateFile(CREATE_ALWAYS) + WriteFile + CloseHandle of a whole file.
    virtual Status WriteWholeFile(const std::string& path, std::span<const uint8_t> bytes) = 0;
    virtual std::optional<std::vector<uint8_t>> ReadWholeFile(const std::string& path) = 0;
    virtual Status CopyFile(const std::string& from, const std::string& to, bool failIfExists) = 0;

    // --- devices ---
    // CreateFileA on a device name ("\\.\E:", "\\.\RurSys"). kInvalidHandle and the error
    // code when the system refuses.
    virtual Handle CreateDevice(const std::string& name, uint32_t access, uint32_t share,
                                uint32_t disposition, uint32_t flags, uint32_t& error) = 0;
    // A synchronous DeviceIoControl with separate input and output buffers (they may be the same
    // bytes). `returned` receives the number of output bytes written. The driver gets the input
    // buffer itself, not a copy: some drivers answer in it (the older family's PCI read).
    virtual Status DeviceIoControl(Handle handle, uint32_t code, std::span<uint8_t> in,
                                   std::span<uint8_t> out, uint32_t& returned) = 0;
    virtual bool CloseHandle(Handle handle) = 0;

    // --- one program per drive ---
    // Claims the drive of a root ("E:\\") for this run before anything is written to it: while
    // the claim lasts no other program may use the drive (Linux: its sg node open with O_EXCL and
    // its block device held exclusively; Windows: a named mutex per drive and, where Windows
    // allows it, the volume locked), and this run's own devices on it share the claim. Refused
    // when another program holds the drive or its medium is mounted.
    virtual DriveClaim ClaimDrive(const std::string& root) = 0;
    virtual void ReleaseDrive(const std::string& root) = 0;
    // Who holds the drive now, for a drive that could not be opened (kErrorSharingViolation);
    // empty when nobody does or the system cannot tell.
    virtual std::string DriveHolder(const std::string& root) = 0;

    // --- optical drives: logical drives, SCSI pass-through and the ASPI manager ---
    // GetLogicalDriveStringsA: root strings ("C:\\", "E:\\") each ending in a zero byte, the list
    // ending in one more. Returns the length written without the final zero, or, when `buffer`
    // is too small, the size needed including it; 0 when the call fails.
    virtual uint32_t GetLogicalDriveStrings(std::span<char> buffer) = 0;
    // GetDriveTypeA of a root string ("E:\\"); kDriveCdrom for an optical drive.
    virtual uint32_t GetDriveType(const std::string& root) = 0;
    // DeviceIoControl(IOCTL_SCSI_PASS_THROUGH_DIRECT) on a drive handle with the 80-byte request
    // (the 32-bit SCSI_PASS_THROUGH_DIRECT and its sense area) as input and output. A 32-bit
    // pointer cannot carry our buffer, so the request's DataBuffer field holds a tag instead:
    // kDataBufferNone for no data phase, kDataBufferRead or kDataBufferWrite for the device's read
    // or write buffer; the bytes themselves travel as `data`. A backend puts the real address in.
    virtual Status ScsiPassThroughDirect(Handle drive, std::span<uint8_t, kScsiRequestSize> request,
                                         std::span<uint8_t> data) = 0;
    // LoadLibraryA("WNASPI32"): the module, or kNullModule when the library is missing.
    virtual Handle LoadAspiLibrary() = 0;
    // GetProcAddress of one of the manager's entries: whether the module offers it.
    virtual bool ResolveAspiEntry(Handle module, const std::string& name) = 0;
    virtual void FreeAspiLibrary(Handle module) = 0;
    // The manager's GetASPI32SupportInfo: status in bits 8-15, adapter count in bits 0-7.
    virtual uint32_t GetASPI32SupportInfo() = 0;
    // The manager's SendASPI32Command with an SRB as bytes (the SRB's buffer pointer field carries
    // the same tags as DataBuffer above; the data travels as `data`). With the event flag the
    // manager may answer pending and finish later: it then writes the SRB and signals the event.
    virtual uint32_t SendASPI32Command(std::span<uint8_t> srb, std::span<uint8_t> data) = 0;
    // CreateEventA (unnamed); kInvalidHandle when the system cannot make one. CloseHandle frees it.
    virtual Handle CreateEvent(bool manualReset, bool initiallySignalled) = 0;
    // WaitForSingleObject: kWaitObject0 when signalled, kWaitTimeout when the time ran out.
    virtual uint32_t WaitForSingleObject(Handle handle, uint32_t milliseconds) = 0;

    // --- registry (string values) ---
    virtual Status SetRegistryString(RegistryRoot root, const std::string& key,
                                     const std::string& name, const std::string& value) = 0;
    virtual std::optional<std::string> QueryRegistryString(RegistryRoot root,
                                                           const std::string& key,
                                                           const std::string& name) = 0;
    virtual Status DeleteRegistryValue(RegistryRoot root, const std::string& key,
                                       const std::string& name) = 0;
    // Why this system could not run `command` as a RunOnce value at the next start (a Linux
    // desktop entry cannot carry every path), or "" when it can.
    virtual std::string RunOnceProblem(const std::string& /*command*/) { return ""; }

    // --- direct-IDE path: service control manager ---
    // OpenSCManagerA of the local machine; kNullScHandle and the error when refused.
    virtual ScHandle OpenServiceManager(uint32_t access, uint32_t& error) = 0;
    virtual ScHandle CreateService(ScHandle manager, const ServiceConfig& config,
                                   uint32_t& error) = 0;
    virtual ScHandle OpenService(ScHandle manager, const std::string& name, uint32_t access,
                                 uint32_t& error) = 0;
    virtual Status ControlService(ScHandle service, uint32_t control) = 0;
    virtual Status DeleteService(ScHandle service) = 0;
    // StartServiceA with no arguments.
    virtual Status StartService(ScHandle service) = 0;
    virtual bool CloseServiceHandle(ScHandle handle) = 0;

    // --- direct-IDE path: DOS device names ---
    // QueryDosDeviceA of one name ("scsi0:"): the first target it resolves to, or nullopt.
    virtual std::optional<std::string> QueryDosDevice(const std::string& name) = 0;

    // --- direct-IDE path: setup API (the device manager) ---
    // SP_DEVINFO_DATA (28 bytes), SP_PROPCHANGE_PARAMS (20 bytes) and SP_DEVINSTALL_PARAMS_A
    // (296 bytes) cross as bytes in their 32-bit layouts.
    virtual SetupApi LoadSetupApi() = 0;
    virtual void FreeSetupApi() = 0;
    virtual DeviceSet SetupDiGetClassDevs(std::span<const uint8_t, 16> classGuid,
                                          uint32_t flags) = 0;
    virtual bool SetupDiEnumDeviceInfo(DeviceSet set, uint32_t index,
                                       std::span<uint8_t> deviceInfo) = 0;
    virtual bool SetupDiSetClassInstallParams(DeviceSet set, std::span<const uint8_t> deviceInfo,
                                              std::span<const uint8_t> params) = 0;
    virtual bool SetupDiCallClassInstaller(uint32_t function, DeviceSet set,
                                           std::span<const uint8_t> deviceInfo) = 0;
    virtual bool SetupDiGetDeviceInstallParams(DeviceSet set, std::span<const uint8_t> deviceInfo,
                                               std::span<uint8_t> params) = 0;
    // Gives a set of SetupDiGetClassDevs back, with the elements enumerated from it.
    virtual bool SetupDiDestroyDeviceInfoList(DeviceSet set) = 0;

    // --- sleep and shutdown ---
    // Holds off sleep, shutdown and idle while a drive's flash is written, giving the user
    // `reason` (UTF-8, in the package's language), until ReleaseShutdownBlock. A failure (no
    // service to ask, as in a container) is said in the trace and the flash goes on without.
    virtual Status BlockShutdown(const std::string& reason) = 0;
    virtual void ReleaseShutdownBlock() = 0;

    // --- the running program ---
    // Full path of the program file as the system knows it (GetModuleFileName).
    virtual std::string ModuleFileName() = 0;

    // Where the history of runs is kept on this machine (engine/RunHistory); empty where a
    // machine has no place for it.
    virtual std::string HistoryFile() { return ""; }

    // What the user should be told about the machine this run acts on ("emulated PC
    // bench.json", "this computer").
    virtual std::string Describe() = 0;
};

// The one System of this process. The front-end installs it at start; the core reads it.
System& CurrentSystem();
bool HasSystem();
void InstallSystem(std::unique_ptr<System> system);
std::unique_ptr<System> RemoveSystem();

// Replaces the process's System for the lifetime of the guard (tests, tools).
class ScopedSystem {
  public:
    explicit ScopedSystem(std::unique_ptr<System> system);
    ~ScopedSystem();
    ScopedSystem(const ScopedSystem&) = delete;
    ScopedSystem& operator=(const ScopedSystem&) = delete;

  private:
    std::unique_ptr<System> previous_;
};

}  // namespace platform
