#include "platform/emulated/BenchLock.h"

#ifdef _WIN32
#define NOMINMAX
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#endif

#include <cerrno>
#include <cstring>
#include <filesystem>

#include "common/NewFile.h"
#include "common/WideText.h"
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
    wchar_t text[256] = {};
    DWORD n = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                             code, 0, text, sizeof text / sizeof text[0], nullptr);
    while (n > 0 && (text[n - 1] == L'\n' || text[n - 1] == L'\r' || text[n - 1] == L'.'))
        --n;
    return n > 0 ? common::Utf8(std::wstring_view(text, n)) : "error " + std::to_string(code);
}
#endif

}  // namespace

BenchLock::~BenchLock() {
    Release();
}

#ifdef _WIN32

BenchLock::Result BenchLock::Acquire(const std::string& benchPath, std::string& error) {
    Release();
    // Nothing, not even the lock file, is made beside a bench whose saves could not be.
    try {
        CheckBenchName(benchPath);
    } catch (const BenchError& e) {
        error = e.what();
        return Result::Failed;
    }
    const std::string lockPath = benchPath + ".lock";
    HANDLE file =
        CreateFileW(common::WidePath(lockPath).c_str(), GENERIC_READ | GENERIC_WRITE,
                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_ALWAYS,
                    FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        error = benchPath + ": cannot make the lock file " + lockPath + ": " +
                SystemText(GetLastError());
        return Result::Failed;
    }
    // The lock file is written: never through a link, never into a file of another name.
    BY_HANDLE_FILE_INFORMATION info = {};
    if (!GetFileInformationByHandle(file, &info) ||
        (info.dwFileAttributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY)) ||
        info.nNumberOfLinks > 1) {
        CloseHandle(file);
        error = benchPath + ": the lock file " + lockPath +
                " is a link or has other names; remove it and try again";
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

// The lock file only ever names a file that already holds its holder's process number: a run
// writes its number into a fresh file, takes the lock on that, then takes the lock on the file the
// name gives and renames its own over it. A second run that finds the name locked reads the live
// holder's number, never a gone one's, never none. Nothing is opened through a link.
BenchLock::Result BenchLock::Acquire(const std::string& benchPath, std::string& error) {
    Release();
    // Nothing, not even the lock file, is made beside a bench whose saves could not be.
    try {
        CheckBenchName(benchPath);
    } catch (const BenchError& e) {
        error = e.what();
        return Result::Failed;
    }
    const std::string lockPath = benchPath + ".lock";
    auto failed = [&](const std::string& what, int cause) {
        error = benchPath + ": cannot " + what + " the lock file " + lockPath + ": " +
                (cause == ELOOP ? std::string("it is a symbolic link") : std::strerror(cause));
        return Result::Failed;
    };
    common::NewFile mine;
    std::string problem;
    // The lock file is the bench's as much as its contents files are: its permissions and owner.
    if (!mine.Create(lockPath, ".taking", problem) ||
        !mine.TakeModeAndOwnerOf(benchPath, problem)) {
        error = benchPath + ": cannot make the lock file " + lockPath + ": " + problem;
        return Result::Failed;
    }
    const std::string pid = std::to_string(::getpid()) + "\n";
    if (!mine.Write(std::span(reinterpret_cast<const uint8_t*>(pid.data()), pid.size())) ||
        ::flock(mine.Descriptor(), LOCK_EX | LOCK_NB) != 0)
        return failed("make", errno);
    auto sameFile = [&](int fd) {
        struct stat named = {}, opened = {};
        return ::lstat(lockPath.c_str(), &named) == 0 && ::fstat(fd, &opened) == 0 &&
               named.st_dev == opened.st_dev && named.st_ino == opened.st_ino;
    };
    constexpr int kAttempts = 1000;
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
        int fd = ::open(lockPath.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK);
        if (fd < 0 && errno == ENOENT) {
            // A first lock file for the next round to take over; another run may make it first.
            int made = ::open(lockPath.c_str(),
                              O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
            if (made < 0 && errno != EEXIST) return failed("make", errno);
            if (made >= 0) ::close(made);
            continue;
        }
        if (fd < 0) return failed("open", errno);
        struct stat opened = {};
        if (::fstat(fd, &opened) != 0 || !S_ISREG(opened.st_mode)) {
            ::close(fd);
            error = benchPath + ": the lock file " + lockPath + " is not a regular file";
            return Result::Failed;
        }
        if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
            const int cause = errno;
            char holder[32] = {};
            ssize_t n = ::pread(fd, holder, sizeof holder - 1, 0);
            const bool current = sameFile(fd);
            ::close(fd);
            if (cause != EWOULDBLOCK) return failed("lock", cause);
            // Taken over since it was opened: ask the file that now holds the name.
            if (!current) continue;
            // A run that is taking the lock holds the file it is about to replace for a moment:
            // one that a holder let go of (and emptied), or one whose holder has gone. The holder
            // for good has its own living number in it.
            const std::string text = n > 0 ? std::string(holder, static_cast<size_t>(n)) : "";
            const long number = std::strtol(text.c_str(), nullptr, 10);
            if (number <= 0 || number == ::getpid() ||
                (::kill(static_cast<pid_t>(number), 0) != 0 && errno == ESRCH)) {
                if (attempt + 1 < kAttempts) {
                    ::usleep(1000);
                    continue;
                }
            }
            error = InUseText(benchPath, text);
            return Result::InUse;
        }
        // Locked, but replaced meanwhile by a run that held it: try the new one.
        if (!sameFile(fd)) {
            ::close(fd);
            continue;
        }
        const bool placed = mine.PutInPlace(lockPath, problem);
        ::close(fd);
        if (!placed) {
            error = benchPath + ": cannot put the lock file " + lockPath + " in place: " + problem;
            return Result::Failed;
        }
        handle_ = mine.Release();
        return Result::Held;
    }
    error = benchPath + ": the lock file " + lockPath + " keeps changing; try again";
    return Result::Failed;
}

void BenchLock::Release() {
    if (handle_ == -1) return;
    // A file let go of names no holder.
    const bool emptied = ::ftruncate(static_cast<int>(handle_), 0) == 0;
    static_cast<void>(emptied);
    ::flock(static_cast<int>(handle_), LOCK_UN);
    ::close(static_cast<int>(handle_));
    handle_ = -1;
}

#endif

std::shared_ptr<Machine> LoadHeldBench(const std::string& path, BenchLock& lock) {
    namespace fs = std::filesystem;
    CheckBenchName(path);
    std::error_code ec;
    // No lock file beside a bench that is not there.
    const fs::path file = common::FilePath(path);
    if (!fs::is_regular_file(file, ec)) return LoadBench(path);
    // Reached through a symbolic link, the bench is locked and saved where it really is, so that a
    // run through any of its names keeps out the others and the link stays a link.
    std::string real = path;
    if (fs::is_symlink(file, ec)) {
        real = common::PathText(fs::canonical(file, ec));
        if (ec) throw BenchError(path + ": cannot follow the link to the bench: " + ec.message());
    }
    // A save replaces the file, which would part the names of a hard-linked bench.
    const auto names = fs::hard_link_count(common::FilePath(real), ec);
    if (!ec && names > 1) {
        throw BenchError(path + ": the bench file has " + std::to_string(names) +
                         " names (hard links), which a save would part; copy it with "
                         "\"brenvo-bench copy\" instead");
    }
    std::string error;
    BenchLock::Result result = lock.Acquire(real, error);
    if (result == BenchLock::Result::InUse) throw BenchInUse(error);
    auto machine = LoadBench(real);
    if (result != BenchLock::Result::Held) throw BenchLockError(error);
    return machine;
}

}  // namespace platform::emulated
