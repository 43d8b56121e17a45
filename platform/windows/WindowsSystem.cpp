// Time, the platform family, the security token, the restart, files and the registry.
#include "platform/windows/WindowsSystem.h"

#include "platform/Trace.h"
#include "platform/windows/Crossing.h"
#include "platform/windows/Modules.h"
#include "platform/windows/Win32.h"

namespace platform::windows {
namespace {
static_assert(sizeof(OSVERSIONINFOA) == 148, "GetVersionExA is asked with the 148-byte record");

// The registry answers with its error code instead of setting the last error.
Status RegistryStatus(LONG code) {
    return code == ERROR_SUCCESS ? Status::Success() : Status::Failure(static_cast<uint32_t>(code));
}
HKEY RootKey(RegistryRoot root) {
    return root == RegistryRoot::LocalMachine ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER;
}

// A directory from one of the Get...DirectoryA calls (MAX_PATH characters), or nullopt.
template <typename Call>
std::optional<std::string> Directory(Call call) {
    char buffer[MAX_PATH + 1] = {};
    DWORD length = call(buffer, MAX_PATH);
    if (length == 0 || length > MAX_PATH) return std::nullopt;
    return std::string(buffer, length);
}

// Closes a file handle when it goes out of scope.
struct FileHandle {
    HANDLE handle;
    ~FileHandle() {
        if (handle != INVALID_HANDLE_VALUE) ::CloseHandle(handle);
    }
};
}  // namespace

WindowsSystem::WindowsSystem() : modules_(std::make_unique<Modules>()) {}

WindowsSystem::~WindowsSystem() {
    UnloadSecurityApi();
    FreeSetupApi();
    CloseProcessToken();
    if (modules_->aspi) ::FreeLibrary(modules_->aspi);
}

bool WindowsSystem::QueryPerformanceFrequency(int64_t& countsPerSecond) {
    LARGE_INTEGER value{};
    if (!::QueryPerformanceFrequency(&value)) return false;
    countsPerSecond = value.QuadPart;
    return true;
}

bool WindowsSystem::QueryPerformanceCounter(int64_t& count) {
    LARGE_INTEGER value{};
    if (!::QueryPerformanceCounter(&value)) return false;
    count = value.QuadPart;
    return true;
}

void WindowsSystem::Sleep(uint32_t milliseconds) {
    ::Sleep(milliseconds);
}

std::optional<uint32_t> WindowsSystem::PlatformId() {
    OSVERSIONINFOA info{};
    info.dwOSVersionInfoSize = sizeof info;
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
    if (!::GetVersionExA(&info)) return std::nullopt;
#pragma GCC diagnostic pop
    return info.dwPlatformId;
}

SecurityApi WindowsSystem::LoadSecurityApi() {
    auto& m = *modules_;
    if (!m.advapi) m.advapi = ::LoadLibraryA("advapi32.dll");
    if (!m.advapi) return {};
    m.allocateAndInitializeSid =
        Entry<AllocateAndInitializeSidFn>(m.advapi, "AllocateAndInitializeSid");
    m.checkTokenMembership = Entry<CheckTokenMembershipFn>(m.advapi, "CheckTokenMembership");
    m.freeSid = Entry<FreeSidFn>(m.advapi, "FreeSid");
    return {true, m.allocateAndInitializeSid != nullptr, m.checkTokenMembership != nullptr,
            m.freeSid != nullptr};
}

bool WindowsSystem::CheckAdministratorsMembership(bool& isMember) {
    auto& m = *modules_;
    if (!m.allocateAndInitializeSid || !m.checkTokenMembership || !m.freeSid) return false;
    SID_IDENTIFIER_AUTHORITY ntAuthority = SECURITY_NT_AUTHORITY;
    PSID administrators = nullptr;
    if (!m.allocateAndInitializeSid(&ntAuthority, 2, SECURITY_BUILTIN_DOMAIN_RID,
                                    DOMAIN_ALIAS_RID_ADMINS, 0, 0, 0, 0, 0, 0, &administrators))
        return false;
    BOOL member = FALSE;
    BOOL asked = m.checkTokenMembership(nullptr, administrators, &member);
    m.freeSid(administrators);
    if (!asked) return false;
    isMember = member != FALSE;
    return true;
}

void WindowsSystem::UnloadSecurityApi() {
    auto& m = *modules_;
    if (m.advapi) ::FreeLibrary(m.advapi);
    m.advapi = nullptr;
    m.allocateAndInitializeSid = nullptr;
    m.checkTokenMembership = nullptr;
    m.freeSid = nullptr;
}

Status WindowsSystem::OpenProcessTokenForPrivileges() {
    CloseProcessToken();
    HANDLE token = nullptr;
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token))
        return Status::Failure(::GetLastError());
    token_ = token;
    return Status::Success();
}

uint32_t WindowsSystem::EnableShutdownPrivilege() {
    TOKEN_PRIVILEGES privileges{};
    privileges.PrivilegeCount = 1;
    privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
    if (!token_ ||
        !::LookupPrivilegeValueA(nullptr, "SeShutdownPrivilege", &privileges.Privileges[0].Luid))
        return token_ ? ::GetLastError() : ERROR_INVALID_HANDLE;
    ::SetLastError(ERROR_SUCCESS);
    ::AdjustTokenPrivileges(token_, FALSE, &privileges, 0, nullptr, nullptr);
    // AdjustTokenPrivileges succeeds even when it could not assign the privilege; only the last
    // error tells (ERROR_NOT_ALL_ASSIGNED).
    return ::GetLastError();
}

void WindowsSystem::CloseProcessToken() {
    if (token_) ::CloseHandle(token_);
    token_ = nullptr;
}

bool WindowsSystem::ExitWindowsEx(uint32_t flags, uint32_t reason) {
    return ::ExitWindowsEx(flags, reason) != FALSE;
}

namespace {
using SetThreadExecutionStateFn = EXECUTION_STATE(WINAPI*)(EXECUTION_STATE);

// Taken at run time: the first Windows of both families lack it.
SetThreadExecutionStateFn ExecutionStateEntry() {
    return Entry<SetThreadExecutionStateFn>(::GetModuleHandleA("kernel32.dll"),
                                            "SetThreadExecutionState");
}
}  // namespace

Status WindowsSystem::BlockShutdown(const std::string& /*reason*/) {
    // Keeps the system from sleeping for want of input while the flash runs. A program without a
    // window has nothing more to ask with; the window adds its shutdown block reason.
    Trace* trace = Trace::Current();
    SetThreadExecutionStateFn setState = ExecutionStateEntry();
    if (!setState || setState(ES_CONTINUOUS | ES_SYSTEM_REQUIRED) == 0) {
        if (trace) trace->WriteShutdownBlock("not held", "SetThreadExecutionState is not there");
        return Status::Failure(kErrorNotSupported);
    }
    if (trace) trace->WriteShutdownBlock("held", "SetThreadExecutionState ES_SYSTEM_REQUIRED");
    return Status::Success();
}

void WindowsSystem::ReleaseShutdownBlock() {
    if (SetThreadExecutionStateFn setState = ExecutionStateEntry()) setState(ES_CONTINUOUS);
    if (Trace* trace = Trace::Current()) {
        trace->WriteShutdownBlock("released", "SetThreadExecutionState");
    }
}

std::optional<std::string> WindowsSystem::GetTempPath() {
    return Directory([](char* b, DWORD n) { return ::GetTempPathA(n, b); });
}

std::optional<std::string> WindowsSystem::GetWindowsDirectory() {
    return Directory([](char* b, DWORD n) { return ::GetWindowsDirectoryA(b, n); });
}

std::optional<std::string> WindowsSystem::GetSystemDirectory() {
    return Directory([](char* b, DWORD n) { return ::GetSystemDirectoryA(b, n); });
}

uint32_t WindowsSystem::GetFileAttributes(const std::string& path) {
    return ::GetFileAttributesA(path.c_str());
}

Status WindowsSystem::SetFileAttributes(const std::string& path, uint32_t attributes) {
    return LastStatus(::SetFileAttributesA(path.c_str(), attributes));
}

Status WindowsSystem::DeleteFile(const std::string& path) {
    return LastStatus(::DeleteFileA(path.c_str()));
}

Status WindowsSystem::WriteWholeFile(const std::string& path, std::span<const uint8_t> bytes) {
    FileHandle file{::CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr)};
    if (file.handle == INVALID_HANDLE_VALUE) return Status::Failure(::GetLastError());
    DWORD written = 0;
    if (!::WriteFile(file.handle, bytes.data(), static_cast<DWORD>(bytes.size()), &written,
                     nullptr))
        return Status::Failure(::GetLastError());
    // A short write (a full disk) is a failure, not a shorter driver file.
    if (written != bytes.size()) return Status::Failure(ERROR_HANDLE_DISK_FULL);
    return Status::Success();
}

std::optional<std::vector<uint8_t>> WindowsSystem::ReadWholeFile(const std::string& path) {
    FileHandle file{::CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr)};
    if (file.handle == INVALID_HANDLE_VALUE) return std::nullopt;
    LARGE_INTEGER size{};
    if (!::GetFileSizeEx(file.handle, &size) || size.QuadPart > 0x7FFFFFFF) return std::nullopt;
    std::vector<uint8_t> bytes(static_cast<size_t>(size.QuadPart));
    DWORD read = 0;
    if (!bytes.empty() &&
        (!::ReadFile(file.handle, bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr) ||
         read != bytes.size()))
        return std::nullopt;
    return bytes;
}

Status WindowsSystem::CopyFile(const std::string& from, const std::string& to, bool failIfExists) {
    return LastStatus(::CopyFileA(from.c_str(), to.c_str(), failIfExists));
}

Status WindowsSystem::SetRegistryString(RegistryRoot root, const std::string& key,
                                        const std::string& name, const std::string& value) {
    HKEY opened = nullptr;
    LONG code = ::RegCreateKeyExA(RootKey(root), key.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr,
                                  &opened, nullptr);
    if (code != ERROR_SUCCESS) return RegistryStatus(code);
    code = ::RegSetValueExA(opened, name.c_str(), 0, REG_SZ,
                            reinterpret_cast<const BYTE*>(value.c_str()),
                            static_cast<DWORD>(value.size() + 1));
    ::RegCloseKey(opened);
    return RegistryStatus(code);
}

std::optional<std::string> WindowsSystem::QueryRegistryString(RegistryRoot root,
                                                              const std::string& key,
                                                              const std::string& name) {
    HKEY opened = nullptr;
    if (::RegOpenKeyExA(RootKey(root), key.c_str(), 0, KEY_QUERY_VALUE, &opened) != ERROR_SUCCESS)
        return std::nullopt;
    DWORD type = 0, size = 0;
    std::optional<std::string> result;
    if (::RegQueryValueExA(opened, name.c_str(), nullptr, &type, nullptr, &size) == ERROR_SUCCESS &&
        (type == REG_SZ || type == REG_EXPAND_SZ)) {
        std::string value(size, '\0');
        if (::RegQueryValueExA(opened, name.c_str(), nullptr, &type,
                               reinterpret_cast<BYTE*>(value.data()), &size) == ERROR_SUCCESS) {
            // The stored string may or may not end in its terminator.
            value.resize(std::min<size_t>(size, value.size()));
            while (!value.empty() && value.back() == '\0')
                value.pop_back();
            result = value;
        }
    }
    ::RegCloseKey(opened);
    return result;
}

Status WindowsSystem::DeleteRegistryValue(RegistryRoot root, const std::string& key,
                                          const std::string& name) {
    HKEY opened = nullptr;
    LONG code = ::RegOpenKeyExA(RootKey(root), key.c_str(), 0, KEY_SET_VALUE, &opened);
    if (code != ERROR_SUCCESS) return RegistryStatus(code);
    code = ::RegDeleteValueA(opened, name.c_str());
    ::RegCloseKey(opened);
    return RegistryStatus(code);
}

std::string ThisProgramFile() {
    char buffer[MAX_PATH + 1] = {};
    DWORD length = ::GetModuleFileNameA(nullptr, buffer, MAX_PATH);
    return std::string(buffer, length);
}

bool Is64BitWindows() {
#ifdef _WIN64
    return true;
#else
    using IsWow64ProcessFn = BOOL(WINAPI*)(HANDLE, PBOOL);
    HMODULE kernel = ::GetModuleHandleA("kernel32.dll");
    auto isWow64Process = kernel ? Entry<IsWow64ProcessFn>(kernel, "IsWow64Process") : nullptr;
    BOOL wow64 = FALSE;
    return isWow64Process && isWow64Process(::GetCurrentProcess(), &wow64) && wow64;
#endif
}

std::string WindowsSystem::ModuleFileName() {
    return ThisProgramFile();
}

std::string WindowsSystem::Describe() {
    return "this computer";
}

}  // namespace platform::windows
