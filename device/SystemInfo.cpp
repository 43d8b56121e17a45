#include "device/SystemInfo.h"

#include "platform/System.h"

namespace device {

void OSInfo::Fill() {
    ntFamily = false;
    allocateAndInitializeSid = checkTokenMembership = freeSid = false;
    // A failing GetVersionExA leaves the system outside the NT family.
    auto platformId = platform::CurrentSystem().PlatformId();
    ntFamily = platformId && *platformId == platform::kPlatformWin32Nt;
}

bool IsAdministrator(OSInfo& info) {
    auto& system = platform::CurrentSystem();
    platform::SecurityApi api = system.LoadSecurityApi();
    info.allocateAndInitializeSid = api.allocateAndInitializeSid;
    info.checkTokenMembership = api.checkTokenMembership;
    info.freeSid = api.freeSid;
    if (!api.loaded || !api.allocateAndInitializeSid || !api.checkTokenMembership || !api.freeSid) {
        if (api.loaded) system.UnloadSecurityApi();
        return false;
    }
    bool member = false;
    bool answered = system.CheckAdministratorsMembership(member);
    system.UnloadSecurityApi();
    return answered && member;
}

bool RebootSystem(const OSInfo& info) {
    auto& system = platform::CurrentSystem();
    if (!info.IsNtFamily()) return system.ExitWindowsEx(kRebootFlags, 0);
    if (!system.OpenProcessTokenForPrivileges()) return false;
    uint32_t error = system.EnableShutdownPrivilege();
    system.CloseProcessToken();
    if (error != platform::kErrorSuccess) return false;
    return system.ExitWindowsEx(kRebootFlags, 0);
}

}  // namespace device
