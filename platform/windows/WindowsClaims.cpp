// One program per drive on Windows: a named mutex per drive letter keeps a second Brenvo off the
// drive, and the drive's volume is locked where Windows allows it (a volume in use by a file
// system or with no disc may refuse; the trace then says so and the mutex alone holds the claim).
#include "platform/windows/Win32.h"
// After windows.h, whose types it uses.
#include <winioctl.h>

#include "common/Text.h"
#include "platform/Trace.h"
#include "platform/windows/Crossing.h"
#include "platform/windows/WideText.h"
#include "platform/windows/WindowsSystem.h"

namespace platform::windows {
namespace {
constexpr char kHolder[] = "another Brenvo run";

// Global: a second Brenvo in another session counts too.
std::string MutexName(const std::string& letter) {
    return "Global\\Brenvo-Drive-" + letter.substr(0, 1);
}

void TraceClaim(const std::string& letter, const std::string& what, const std::string& detail) {
    Trace* trace = Trace::Current();
    if (!trace) return;
    nlohmann::ordered_json line;
    line["claim"] = what;
    line["drive"] = letter;
    if (!detail.empty()) line["detail"] = detail;
    trace->Write(line);
}

std::string LetterOf(const std::string& root) {
    return common::UpperAscii(root.substr(0, 2));
}
}  // namespace

DriveClaim WindowsSystem::ClaimDrive(const std::string& root) {
    const std::string letter = LetterOf(root);
    std::lock_guard lock(claimsMutex_);
    if (claims_.count(letter)) return {true, kErrorSuccess, ""};
    HANDLE mutex = ::CreateMutexA(nullptr, FALSE, MutexName(letter).c_str());
    if (!mutex) {
        DWORD error = ::GetLastError();
        TraceClaim(letter, "refused", "CreateMutexA error " + std::to_string(error));
        return {false, error, ""};
    }
    if (::GetLastError() == ERROR_ALREADY_EXISTS) {
        ::CloseHandle(mutex);
        TraceClaim(letter, "refused", kHolder);
        return {false, kErrorSharingViolation, kHolder};
    }
    Claim claim{mutex, INVALID_HANDLE_VALUE};
    HANDLE volume =
        ::CreateFileW(Wide("\\\\.\\" + letter).c_str(), GENERIC_READ | GENERIC_WRITE,
                      FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
    DWORD returned = 0;
    if (volume == INVALID_HANDLE_VALUE) {
        TraceClaim(letter, "volume not locked",
                   "CreateFileW error " + std::to_string(::GetLastError()));
    } else if (!::DeviceIoControl(volume, FSCTL_LOCK_VOLUME, nullptr, 0, nullptr, 0, &returned,
                                  nullptr)) {
        TraceClaim(letter, "volume not locked",
                   "FSCTL_LOCK_VOLUME error " + std::to_string(::GetLastError()));
        ::CloseHandle(volume);
    } else {
        claim.volume = volume;
    }
    claims_[letter] = claim;
    TraceClaim(letter, "taken", claim.volume != INVALID_HANDLE_VALUE ? "volume locked" : "");
    return {true, kErrorSuccess, ""};
}

void WindowsSystem::ReleaseDrive(const std::string& root) {
    std::lock_guard lock(claimsMutex_);
    auto claim = claims_.find(LetterOf(root));
    if (claim == claims_.end()) return;
    if (claim->second.volume != INVALID_HANDLE_VALUE) {
        DWORD returned = 0;
        if (!::DeviceIoControl(claim->second.volume, FSCTL_UNLOCK_VOLUME, nullptr, 0, nullptr, 0,
                               &returned, nullptr))
            TraceClaim(claim->first, "volume not unlocked",
                       "FSCTL_UNLOCK_VOLUME error " + std::to_string(::GetLastError()));
        ::CloseHandle(claim->second.volume);
    }
    ::CloseHandle(claim->second.mutex);
    TraceClaim(claim->first, "released", "");
    claims_.erase(claim);
}

std::string WindowsSystem::DriveHolder(const std::string& root) {
    HANDLE mutex = ::OpenMutexA(SYNCHRONIZE, FALSE, MutexName(LetterOf(root)).c_str());
    if (!mutex) return "";
    ::CloseHandle(mutex);
    return kHolder;
}

HANDLE WindowsSystem::ClaimedVolume(const std::string& deviceName) {
    // "\\.\E:" of a drive this run claims with its volume locked: a locked volume answers only
    // the handle that locked it, so the run's handles are duplicates of that one.
    if (deviceName.size() != 6 || deviceName.rfind("\\\\.\\", 0) != 0) return nullptr;
    std::lock_guard lock(claimsMutex_);
    auto claim = claims_.find(LetterOf(deviceName.substr(4)));
    if (claim == claims_.end() || claim->second.volume == INVALID_HANDLE_VALUE) return nullptr;
    HANDLE copy = nullptr;
    if (!::DuplicateHandle(::GetCurrentProcess(), claim->second.volume, ::GetCurrentProcess(),
                           &copy, 0, FALSE, DUPLICATE_SAME_ACCESS))
        return nullptr;
    return copy;
}

bool WindowsSystem::HeldByAnotherRun(const std::string& deviceName) {
    if (deviceName.size() != 6 || deviceName.rfind("\\\\.\\", 0) != 0) return false;
    {
        std::lock_guard lock(claimsMutex_);
        if (claims_.count(LetterOf(deviceName.substr(4)))) return false;
    }
    return !DriveHolder(deviceName.substr(4)).empty();
}

}  // namespace platform::windows
