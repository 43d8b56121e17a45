#include "platform/emulated/BenchLock.h"

#ifdef _WIN32
#define NOMINMAX
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>
#endif

#include <cerrno>
#include <cstring>
#include <filesystem>

#include "platform/emulated/BenchFile.h"

namespace platform::emulated {
namespace {

std::string InUseText(const std::string& benchPath, std::string pid) {
    pid = pid.substr(0, pid.find_first_not_of("0123456789"));
    return benchPath + " is in use by another run" +
           (pid.empty() ? std::string() : " (process " + pid + ")") +
           "; try again when it has ended";
}

#ifdef _WIN32
// Windows locks are mandatory: the locked byte lies far past the process number, so a second run
// can still read who holds the bench.
constexpr DWORD kLockedByte = 0x40000000;

std::string SystemText(DWORD code) {
    char text[256] = {};
    DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                             code, 0, text, sizeof text, nullptr);
    while (n > 0 && (text[n - 1] == '\n' || text[n - 1] == '\r' || text[n - 1] == '.'))
        --n;
    return n > 0 ? std::string(text, n) : "error " + std::to_string(code);
}
#endif

}  // namespace

BenchLock::~BenchLock() {
    Release();
}

#ifdef _WIN32

BenchLock::Result BenchLock::Acquire(const std::string& benchPath, std::string& error) {
    Release();
    const std::string lockPath = benchPath + ".lock";
    HANDLE file = CreateFileA(lockPath.c_str(), GENERIC_READ | GENERIC_WRITE,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        error = benchPath + ": cannot make the lock file " + lockPath + ": " +
                SystemText(GetLastError());
        return Result::Failed;
    }
    OVERLAPPED at = {};
    at.Offset = kLockedByte;
    if (!LockFileEx(file, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &at)) {
        const DWORD cause = GetLastError();
        char holder[32] = {};
        DWORD n = 0;
        OVERLAPPED start = {};
        if (!ReadFile(file, holder, sizeof holder - 1, &n, &start)) n = 0;
        CloseHandle(file);
        if (cause != ERROR_LOCK_VIOLATION && cause != ERROR_IO_PENDING) {
            error = benchPath + ": cannot lock " + lockPath + ": " + SystemText(cause);
            return Result::Failed;
        }
        error = InUseText(benchPath, std::string(holder, n));
        return Result::InUse;
    }
    // The holder's process number, for the message a second run shows; the lock holds without it.
    const std::string pid = std::to_string(GetCurrentProcessId()) + "\n";
    DWORD written = 0;
    OVERLAPPED start = {};
    if (SetFilePointer(file, 0, nullptr, FILE_BEGIN) == 0 && SetEndOfFile(file))
        WriteFile(file, pid.data(), static_cast<DWORD>(pid.size()), &written, &start);
    handle_ = reinterpret_cast<intptr_t>(file);
    return Result::Held;
}

void BenchLock::Release() {
    if (handle_ == -1) return;
    HANDLE file = reinterpret_cast<HANDLE>(handle_);
    OVERLAPPED at = {};
    at.Offset = kLockedByte;
    UnlockFileEx(file, 0, 1, 0, &at);
    CloseHandle(file);
    handle_ = -1;
}

#else

BenchLock::Result BenchLock::Acquire(const std::string& benchPath, std::string& error) {
    Release();
    const std::string lockPath = benchPath + ".lock";
    int fd = ::open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) {
        error = benchPath + ": cannot make the lock file " + lockPath + ": " + std::strerror(errno);
        return Result::Failed;
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int cause = errno;
        char holder[32] = {};
        ssize_t n = ::pread(fd, holder, sizeof holder - 1, 0);
        ::close(fd);
        if (cause != EWOULDBLOCK) {
            error = benchPath + ": cannot lock " + lockPath + ": " + std::strerror(cause);
            return Result::Failed;
        }
        error = InUseText(benchPath, n > 0 ? std::string(holder, static_cast<size_t>(n)) : "");
        return Result::InUse;
    }
    // The holder's process number, for the message a second run shows; the lock holds without it.
    std::string pid = std::to_string(::getpid()) + "\n";
    const bool noted = ::ftruncate(fd, 0) == 0 && ::pwrite(fd, pid.data(), pid.size(), 0) > 0;
    static_cast<void>(noted);
    handle_ = fd;
    return Result::Held;
}

void BenchLock::Release() {
    if (handle_ == -1) return;
    ::flock(static_cast<int>(handle_), LOCK_UN);
    ::close(static_cast<int>(handle_));
    handle_ = -1;
}

#endif

std::shared_ptr<Machine> LoadHeldBench(const std::string& path, BenchLock& lock) {
    std::error_code ec;
    // No lock file beside a bench that is not there.
    if (!std::filesystem::is_regular_file(path, ec)) return LoadBench(path);
    std::string error;
    BenchLock::Result result = lock.Acquire(path, error);
    if (result == BenchLock::Result::InUse) throw BenchInUse(error);
    auto machine = LoadBench(path);
    if (result != BenchLock::Result::Held) throw BenchError(error);
    return machine;
}

}  // namespace platform::emulated
