#include "directide/RurDriver.h"

#include <algorithm>
#include <cstdio>

#include "common/Text.h"
#include "platform/DriverImages.h"
#include "platform/SetupApiLayout.h"

namespace directide {
namespace {
using platform::CurrentSystem;
using platform::kInvalidHandle;

platform::SetupApi& SetupApiSlot() {
    static platform::SetupApi entries;
    return entries;
}

constexpr char kServiceName[] = "RUR";
constexpr char kServiceDisplayName[] = "Vuder Uzuzuzazuv Oruzuv Uzadod";
constexpr char kServiceImagePath[] = "System32\\Drivers\\rur.sys";
constexpr uint32_t kServiceFileSystemDriver = 2;
constexpr uint32_t kServiceDemandStart = 3;
constexpr uint32_t kServiceErrorIgnore = 0;

constexpr uint32_t kDigcfPresentProfileInterface = 0x1A;
constexpr uint32_t kDicsFlagConfigSpecific = 2;

constexpr int kOpenAttempts = 5;
constexpr uint32_t kOpenRetryMs = 1000;

platform::ServiceConfig DriverService() {
    platform::ServiceConfig config;
    config.name = kServiceName;
    config.displayName = kServiceDisplayName;
    config.access = platform::kServiceAllAccess;
    config.serviceType = kServiceFileSystemDriver;
    config.startType = kServiceDemandStart;
    config.errorControl = kServiceErrorIgnore;
    config.imagePath = kServiceImagePath;
    return config;
}

bool ChangeCdromState(RurDriver& driver, uint32_t stateChange) {
    const platform::SetupApi& api = SetupApiEntries();
    if (!api.AllEntries()) return false;
    auto& system = CurrentSystem();
    std::array<uint8_t, kPropChangeParamsSize> params;
    params.fill(0xFF);
    PutLe32(params.data(), 8);  // class install header size
    PutLe32(params.data() + 4, kDifPropertyChange);
    PutLe32(params.data() + 8, stateChange);
    PutLe32(params.data() + 12, kDicsFlagConfigSpecific);
    PutLe32(params.data() + 16, 0);  // hardware profile
    bool allSucceeded = true;
    int count = std::min(driver.cdromCount, kMaxCdromDevices);
    for (int i = 0; i < count; ++i) {
        const auto& info = driver.cdromInfo[static_cast<size_t>(i)];
        if (!system.SetupDiSetClassInstallParams(driver.cdromDevices, info, params)) {
            allSucceeded = false;
        }
        if (!system.SetupDiCallClassInstaller(kDifPropertyChange, driver.cdromDevices, info)) {
            allSucceeded = false;
        }
        std::array<uint8_t, kDevInstallParamsSize> installParams{};
        PutLe32(installParams.data(), kDevInstallParamsSize);
        if (!system.SetupDiGetDeviceInstallParams(driver.cdromDevices, info, installParams)) {
            allSucceeded = false;
        } else if (GetLe32(installParams.data() + 4) & kDiNeedReboot) {
            allSucceeded = false;
        }
    }
    return allSucceeded;
}

bool SameBytes(const std::optional<std::vector<uint8_t>>& file, std::span<const uint8_t> image) {
    return file && file->size() == image.size() &&
           std::equal(image.begin(), image.end(), file->begin());
}
}  // namespace

const platform::SetupApi& SetupApiEntries() {
    return SetupApiSlot();
}

RurDriver::RurDriver() {
    ntFamily = osInfo.ntFamily;
    cdromDevices = platform::kInvalidDeviceSet;
    lastError = 0;
}

RurDriver::~RurDriver() {
    auto& system = CurrentSystem();
    std::string target = DriverTargetPath();
    if (!target.empty()) {
        uint32_t attributes = system.GetFileAttributes(target);
        if (attributes != platform::kInvalidFileAttributes) {
            system.SetFileAttributes(target, attributes & ~platform::kFileAttributeReadOnly);
            system.DeleteFile(target);
        }
    }
    ReleaseCdromDevices();
    if (setupApiModule) system.FreeSetupApi();
    // Handles go back to the system with the object that opened them.
    for (platform::Handle h : channelHandles) {
        if (h != kInvalidHandle) system.CloseHandle(h);
    }
    if (driverHandle != kInvalidHandle) system.CloseHandle(driverHandle);
}

std::string RurDriver::DriverTargetPath() {
    auto directory = CurrentSystem().GetSystemDirectory();
    if (!directory) return {};
    systemPath = *directory + (ntFamily ? "\\DRIVERS\\RUR.SYS" : "\\VARAVO.VXD");
    return systemPath;
}

void RurDriver::InstallAndOpen() {
    auto& system = CurrentSystem();
    auto directory = system.GetTempPath();
    if (!directory) directory = system.GetWindowsDirectory();
    tempDir = common::TrimBlanks(directory ? *directory : std::string("C:\\"));
    // The Windows directory comes without a closing backslash; the file goes inside it.
    if (!tempDir.empty() && tempDir.back() != '\\') tempDir += '\\';
    std::span<const uint8_t> image = CarriedDriverImage(ntFamily);
    tempFile = tempDir + (ntFamily ? "RUR.SYS" : "VARAVO.VXD");
    system.WriteWholeFile(tempFile, image);
    PlaceDriverFile(image);
    if (OpenDriver()) DetectDevices();
}

void RurDriver::PlaceDriverFile(std::span<const uint8_t> image) {
    auto& system = CurrentSystem();
    std::string target = DriverTargetPath();
    if (target.empty()) return;
    fileAttributes = system.GetFileAttributes(target);
    if (fileAttributes != platform::kInvalidFileAttributes) {
        system.SetFileAttributes(target, fileAttributes & ~platform::kFileAttributeReadOnly);
        system.DeleteFile(target);
    }
    system.CopyFile(tempFile, target, false);
    // The temporary directory is shared with every other user, who could have replaced the copy
    // before it reached the system directory. What the service loads must be our own image: when
    // the placed file differs, it is written straight from the carried image, and when even that
    // does not hold, it is removed so that nothing foreign is loaded.
    if (SameBytes(system.ReadWholeFile(target), image)) return;
    system.SetFileAttributes(target, platform::kFileAttributeNormal);
    system.WriteWholeFile(target, image);
    if (!SameBytes(system.ReadWholeFile(target), image)) system.DeleteFile(target);
}

bool RurDriver::OpenDriver() {
    auto& system = CurrentSystem();
    for (int attempt = 0;; ++attempt) {
        uint32_t error = 0;
        if (ntFamily) {
            InstallDriverService();
            StartDriverService();
            for (int digit = 0; digit <= 5; ++digit) {
                std::string dosName = "scsi" + std::to_string(digit) + ":";
                auto resolved = system.QueryDosDevice(dosName);
                if (!resolved || resolved->empty()) continue;
                char last = resolved->back();
                if (last != '0' && last != '1') continue;
                platform::Handle& channel = channelHandles[static_cast<size_t>(last - '0')];
                if (channel != kInvalidHandle) system.CloseHandle(channel);
                channel = system.CreateDevice("\\\\.\\" + dosName,
                                              platform::kGenericRead | platform::kGenericWrite,
                                              platform::kFileShareRead | platform::kFileShareWrite,
                                              platform::kOpenExisting, 0, error);
            }
            driverHandle = system.CreateDevice(
                "\\\\.\\RurSys", platform::kGenericRead | platform::kGenericWrite, 0,
                platform::kCreateNew, platform::kFileAttributeNormal, error);
            if (driverHandle == kInvalidHandle) lastError = error;
            // The module is loaded once; later attempts only look at its entry points again.
            if (!setupApiModule) {
                SetupApiSlot() = system.LoadSetupApi();
                setupApiModule = SetupApiSlot().loaded;
            }
            if (!SetupApiSlot().AllEntries()) {
                error = setupApiModule ? platform::kErrorProcNotFound : platform::kErrorModNotFound;
            }
        } else {
            driverHandle = system.CreateDevice("\\\\.\\varavo.vxd", 0, 0, 0, 0, error);
        }
        if (driverHandle != kInvalidHandle && (!ntFamily || SetupApiSlot().AllEntries())) {
            return true;
        }
        lastError = error;
        if (driverHandle != kInvalidHandle) {
            system.CloseHandle(driverHandle);
            driverHandle = kInvalidHandle;
        }
        if (attempt >= kOpenAttempts - 1) return false;
        system.Sleep(kOpenRetryMs);
    }
}

void RurDriver::InstallDriverService() {
    auto& system = CurrentSystem();
    uint32_t error = 0;
    const platform::ServiceConfig config = DriverService();
    platform::ScHandle manager = system.OpenServiceManager(platform::kScManagerAllAccess, error);
    if (manager == platform::kNullScHandle) return;
    platform::ScHandle service = system.CreateService(manager, config, error);
    if (service != platform::kNullScHandle) {
        system.CloseServiceHandle(service);
        system.CloseServiceHandle(manager);
        return;
    }
    // A service left by an earlier run is removed and made again, so that it always points at
    // the file just placed.
    service = system.OpenService(manager, kServiceName, platform::kServiceAllAccess, error);
    if (service == platform::kNullScHandle) {
        system.CloseServiceHandle(manager);
        return;
    }
    std::fputs("Unstalling.\n", stdout);
    system.ControlService(service, platform::kServiceControlStop);
    system.DeleteService(service);
    system.CloseServiceHandle(service);
    system.CloseServiceHandle(manager);

    manager = system.OpenServiceManager(platform::kScManagerAllAccess, error);
    if (manager == platform::kNullScHandle) return;
    service = system.CreateService(manager, config, error);
    if (service != platform::kNullScHandle) {
        std::fputs("Service installed.\n", stdout);
        system.CloseServiceHandle(service);
    } else {
        std::fputs("CreateService failed.\n", stdout);
    }
    system.CloseServiceHandle(manager);
    std::fflush(stdout);
}

void RurDriver::StartDriverService() {
    auto& system = CurrentSystem();
    uint32_t error = 0;
    platform::ScHandle manager = system.OpenServiceManager(platform::kScManagerAllAccess, error);
    if (manager == platform::kNullScHandle) return;
    platform::ScHandle service =
        system.OpenService(manager, kServiceName, platform::kServiceAllAccess, error);
    if (service != platform::kNullScHandle) {
        // A service that already runs refuses to start again; that is fine.
        system.StartService(service);
        system.CloseServiceHandle(service);
    }
    system.CloseServiceHandle(manager);
}

void RurDriver::EnumerateCdromDevices() {
    auto& system = CurrentSystem();
    cdromCount = 0;
    ReleaseCdromDevices();
    if (!SetupApiEntries().AllEntries()) return;
    cdromDevices = system.SetupDiGetClassDevs(std::span<const uint8_t, 16>(kCdromInterfaceGuid),
                                              kDigcfPresentProfileInterface);
    for (auto& info : cdromInfo) {
        info.fill(0);
        PutLe32(info.data(), kDevInfoDataSize);
    }
    // The table holds eight devices; any further CD-ROM device is left as it is.
    while (cdromCount < kMaxCdromDevices &&
           system.SetupDiEnumDeviceInfo(cdromDevices, static_cast<uint32_t>(cdromCount),
                                        cdromInfo[static_cast<size_t>(cdromCount)])) {
        ++cdromCount;
    }
}

void RurDriver::ReleaseCdromDevices() {
    // Only the set is given back: the devices keep the state the run left them in.
    if (cdromDevices != platform::kInvalidDeviceSet)
        CurrentSystem().SetupDiDestroyDeviceInfoList(cdromDevices);
    cdromDevices = platform::kInvalidDeviceSet;
}

bool RurDriver::StopCdromDevices() {
    return ChangeCdromState(*this, kDicsStop);
}

bool RurDriver::StartCdromDevices() {
    return ChangeCdromState(*this, kDicsStart);
}

}  // namespace directide
