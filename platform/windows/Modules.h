// The libraries the backend loads at run time and the entry points it takes from them.
#pragma once

#include "platform/windows/Win32.h"
#include "platform/windows/WindowsSystem.h"

namespace platform::windows {

using AllocateAndInitializeSidFn = BOOL(WINAPI*)(PSID_IDENTIFIER_AUTHORITY, BYTE, DWORD, DWORD,
                                                 DWORD, DWORD, DWORD, DWORD, DWORD, DWORD, PSID*);
using CheckTokenMembershipFn = BOOL(WINAPI*)(HANDLE, PSID, PBOOL);
using FreeSidFn = PVOID(WINAPI*)(PSID);

// The ASPI manager's two entries take no calling-convention decoration.
using GetASPI32SupportInfoFn = DWORD (*)();
using SendASPI32CommandFn = DWORD (*)(void*);

using SetupDiGetClassDevsAFn = HDEVINFO(WINAPI*)(const GUID*, PCSTR, HWND, DWORD);
using SetupDiEnumDeviceInfoFn = BOOL(WINAPI*)(HDEVINFO, DWORD, PSP_DEVINFO_DATA);
using SetupDiGetDeviceInstallParamsAFn = BOOL(WINAPI*)(HDEVINFO, PSP_DEVINFO_DATA,
                                                       PSP_DEVINSTALL_PARAMS_A);
using SetupDiSetClassInstallParamsAFn = BOOL(WINAPI*)(HDEVINFO, PSP_DEVINFO_DATA,
                                                      PSP_CLASSINSTALL_HEADER, DWORD);
using SetupDiCallClassInstallerFn = BOOL(WINAPI*)(DI_FUNCTION, HDEVINFO, PSP_DEVINFO_DATA);
using SetupDiDestroyDeviceInfoListFn = BOOL(WINAPI*)(HDEVINFO);

struct WindowsSystem::Modules {
    HMODULE advapi = nullptr;
    AllocateAndInitializeSidFn allocateAndInitializeSid = nullptr;
    CheckTokenMembershipFn checkTokenMembership = nullptr;
    FreeSidFn freeSid = nullptr;

    HMODULE aspi = nullptr;
    GetASPI32SupportInfoFn getSupportInfo = nullptr;
    SendASPI32CommandFn sendCommand = nullptr;

    HMODULE setupapi = nullptr;
    SetupDiGetClassDevsAFn getClassDevs = nullptr;
    SetupDiEnumDeviceInfoFn enumDeviceInfo = nullptr;
    SetupDiGetDeviceInstallParamsAFn getDeviceInstallParams = nullptr;
    SetupDiSetClassInstallParamsAFn setClassInstallParams = nullptr;
    SetupDiCallClassInstallerFn callClassInstaller = nullptr;
    SetupDiDestroyDeviceInfoListFn destroyDeviceInfoList = nullptr;
};

// GetProcAddress typed as the entry it names; null when the module lacks it.
template <typename Fn>
Fn Entry(HMODULE module, const char* name) {
    return reinterpret_cast<Fn>(reinterpret_cast<void*>(::GetProcAddress(module, name)));
}

}  // namespace platform::windows
