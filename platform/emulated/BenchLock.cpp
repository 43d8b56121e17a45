#include "platform/emulated/BenchLock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

#include "platform/emulated/BenchFile.h"

namespace platform::emulated {

BenchLock::~BenchLock() {
    Release();
}

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
        std::string pid = n > 0 ? std::string(holder, static_cast<size_t>(n)) : "";
        pid = pid.substr(0, pid.find_first_not_of("0123456789"));
        error = benchPath + " is in use by another run" +
                (pid.empty() ? std::string() : " (process " + pid + ")") +
                "; try again when it has ended";
        return Result::InUse;
    }
    // The holder's process number, for the message a second run shows; the lock holds without it.
    std::string pid = std::to_string(::getpid()) + "\n";
    const bool noted = ::ftruncate(fd, 0) == 0 && ::pwrite(fd, pid.data(), pid.size(), 0) > 0;
    static_cast<void>(noted);
    fd_ = fd;
    return Result::Held;
}

void BenchLock::Release() {
    if (fd_ < 0) return;
    ::flock(fd_, LOCK_UN);
    ::close(fd_);
    fd_ = -1;
}

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
