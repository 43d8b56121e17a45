// Time, the platform family, the security token, the restart, files and the registry.
#include "platform/windows/WindowsSystem.h"

#include "platform/Trace.h"
#include "platform/windows/Crossing.h"
#include "platform/windows/Modules.h"
#include "platform/windows/WideText.h"
#include "platform/windows/Win32.h"

#include <shlobj.h>

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

// A directory from one of the Get...DirectoryW calls, in UTF-8, or nullopt. A call answers the
// room it needs when the buffer is too small: the buffer grows to it rather than cut the name.
template <typename Call>
std::optional<std::string> Directory(Call call) {
    std::wstring buffer(MAX_PATH + 1, L'\0');
    for (int attempt = 0; attempt < 3; ++attempt) {
        DWORD length = call(buffer.data(), static_cast<DWORD>(buffer.size()));
        if (length == 0) return std::nullopt;
        if (length < buffer.size()) return Utf8(std::wstring_view(buffer.data(), length));
        buffer.assign(length + 1, L'\0');
    }
    return std::nullopt;
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
        return Traced("OpenProcessToken", Status::Failure(::GetLastError()));
    token_ = token;
    return Status::Success();
}

uint32_t WindowsSystem::EnableShutdownPrivilege() {
    TOKEN_PRIVILEGES privileges{};
    privileges.PrivilegeCount = 1;
    privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
    if (!token_ ||
        !::LookupPrivilegeValueW(nullptr, L"SeShutdownPrivilege", &privileges.Privileges[0].Luid)) {
        const DWORD error = token_ ? ::GetLastError() : ERROR_INVALID_HANDLE;
        TraceFailure("LookupPrivilegeValue", error, "SeShutdownPrivilege");
        return error;
    }
    ::SetLastError(ERROR_SUCCESS);
    ::AdjustTokenPrivileges(token_, FALSE, &privileges, 0, nullptr, nullptr);
    // AdjustTokenPrivileges succeeds even when it could not assign the privilege; only the last
    // error tells (ERROR_NOT_ALL_ASSIGNED).
    const DWORD error = ::GetLastError();
    if (error != ERROR_SUCCESS) TraceFailure("AdjustTokenPrivileges", error, "SeShutdownPrivilege");
    return error;
}

void WindowsSystem::CloseProcessToken() {
    if (token_) ::CloseHandle(token_);
    token_ = nullptr;
}

bool WindowsSystem::ExitWindowsEx(uint32_t flags, uint32_t reason) {
    if (::ExitWindowsEx(flags, reason)) return true;
    TraceFailure("ExitWindowsEx", ::GetLastError());
    return false;
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
    return Directory([](wchar_t* b, DWORD n) { return ::GetTempPathW(n, b); });
}

std::optional<std::string> WindowsSystem::GetWindowsDirectory() {
    return Directory([](wchar_t* b, DWORD n) { return ::GetWindowsDirectoryW(b, n); });
}

std::optional<std::string> WindowsSystem::GetSystemDirectory() {
    return Directory([](wchar_t* b, DWORD n) { return ::GetSystemDirectoryW(b, n); });
}

uint32_t WindowsSystem::GetFileAttributes(const std::string& path) {
    return ::GetFileAttributesW(WidePath(path).c_str());
}

Status WindowsSystem::SetFileAttributes(const std::string& path, uint32_t attributes) {
    return Traced("SetFileAttributes",
                  LastStatus(::SetFileAttributesW(WidePath(path).c_str(), attributes)), path);
}

Status WindowsSystem::DeleteFile(const std::string& path) {
    return Traced("DeleteFile", LastStatus(::DeleteFileW(WidePath(path).c_str())), path);
}

Status WindowsSystem::WriteWholeFile(const std::string& path, std::span<const uint8_t> bytes) {
    FileHandle file{::CreateFileW(WidePath(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr)};
    if (file.handle == INVALID_HANDLE_VALUE)
        return Traced("CreateFile", Status::Failure(::GetLastError()), path);
    DWORD written = 0;
    if (!::WriteFile(file.handle, bytes.data(), static_cast<DWORD>(bytes.size()), &written,
                     nullptr))
        return Traced("WriteFile", Status::Failure(::GetLastError()), path);
    // A short write (a full disk) is a failure, not a shorter driver file.
    if (written != bytes.size())
        return Traced("WriteFile", Status::Failure(ERROR_HANDLE_DISK_FULL), path);
    return Status::Success();
}

std::optional<std::vector<uint8_t>> WindowsSystem::ReadWholeFile(const std::string& path) {
    FileHandle file{::CreateFileW(WidePath(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
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
    return Traced(
        "CopyFile",
        LastStatus(::CopyFileW(WidePath(from).c_str(), WidePath(to).c_str(), failIfExists)),
        from + " -> " + to);
}

Status WindowsSystem::SetRegistryString(RegistryRoot root, const std::string& key,
                                        const std::string& name, const std::string& value) {
    HKEY opened = nullptr;
    LONG code = ::RegCreateKeyExW(RootKey(root), Wide(key).c_str(), 0, nullptr, 0, KEY_SET_VALUE,
                                  nullptr, &opened, nullptr);
    if (code != ERROR_SUCCESS) return Traced("RegCreateKeyEx", RegistryStatus(code), key);
    const std::wstring data = Wide(value);
    code = ::RegSetValueExW(opened, Wide(name).c_str(), 0, REG_SZ,
                            reinterpret_cast<const BYTE*>(data.c_str()),
                            static_cast<DWORD>((data.size() + 1) * sizeof(wchar_t)));
    ::RegCloseKey(opened);
    return Traced("RegSetValueEx", RegistryStatus(code), key + "\\" + name);
}

std::optional<std::string> WindowsSystem::QueryRegistryString(RegistryRoot root,
                                                              const std::string& key,
                                                              const std::string& name) {
    HKEY opened = nullptr;
    if (::RegOpenKeyExW(RootKey(root), Wide(key).c_str(), 0, KEY_QUERY_VALUE, &opened) !=
        ERROR_SUCCESS)
        return std::nullopt;
    const std::wstring valueName = Wide(name);
    DWORD type = 0, size = 0;
    std::optional<std::string> result;
    if (::RegQueryValueExW(opened, valueName.c_str(), nullptr, &type, nullptr, &size) ==
            ERROR_SUCCESS &&
        (type == REG_SZ || type == REG_EXPAND_SZ)) {
        std::wstring value(size / sizeof(wchar_t) + 1, L'\0');
        DWORD room = static_cast<DWORD>(value.size() * sizeof(wchar_t));
        if (::RegQueryValueExW(opened, valueName.c_str(), nullptr, &type,
                               reinterpret_cast<BYTE*>(value.data()), &room) == ERROR_SUCCESS) {
            // The stored string may or may not end in its terminator.
            value.resize(std::min<size_t>(room / sizeof(wchar_t), value.size()));
            while (!value.empty() && value.back() == L'\0')
                value.pop_back();
            result = Utf8(value);
        }
    }
    ::RegCloseKey(opened);
    return result;
}

Status WindowsSystem::DeleteRegistryValue(RegistryRoot root, const std::string& key,
                                          const std::string& name) {
    HKEY opened = nullptr;
    LONG code = ::RegOpenKeyExW(RootKey(root), Wide(key).c_str(), 0, KEY_SET_VALUE, &opened);
    if (code != ERROR_SUCCESS) return RegistryStatus(code);
    code = ::RegDeleteValueW(opened, Wide(name).c_str());
    ::RegCloseKey(opened);
    return RegistryStatus(code);
}

std::string ThisProgramFile() {
    // The name in full, whatever the code page and however long: the call cuts a name that does
    // not fit and says so only by filling the buffer, so the buffer grows until the name fits.
    std::wstring buffer(MAX_PATH + 1, L'\0');
    for (;;) {
        DWORD length =
            ::GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (length == 0) {
            TraceFailure("GetModuleFileName", ::GetLastError());
            return {};
        }
        if (length < buffer.size()) return Utf8(std::wstring_view(buffer.data(), length));
        if (buffer.size() > 32768) {
            TraceFailure("GetModuleFileName", ERROR_INSUFFICIENT_BUFFER);
            return {};
        }
        buffer.assign(buffer.size() * 2, L'\0');
    }
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

std::string WindowsSystem::HistoryFile() {
    // The common application data folder as the shell knows it, not %ProgramData%: the
    // environment is the user's to set.
    PWSTR folder = nullptr;
    std::string file;
    if (::SHGetKnownFolderPath(FOLDERID_ProgramData, 0, nullptr, &folder) == S_OK)
        file = Utf8(folder) + "\\Brenvo\\history.jsonl";
    ::CoTaskMemFree(folder);
    return file;
}

std::string WindowsSystem::Describe() {
    return "this computer";
}

}  // namespace platform::windows
