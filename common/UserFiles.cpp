#include "common/UserFiles.h"

#include "common/NewFile.h"

#ifndef _WIN32

#include <fcntl.h>
#include <grp.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

namespace common {
namespace {
// 32-bit x86 and ARM keep the 16-bit calls under the plain names.
#ifdef SYS_setgroups32
constexpr long kSetGroups = SYS_setgroups32;
constexpr long kSetFsUid = SYS_setfsuid32;
constexpr long kSetFsGid = SYS_setfsgid32;
#else
constexpr long kSetGroups = SYS_setgroups;
constexpr long kSetFsUid = SYS_setfsuid;
constexpr long kSetFsGid = SYS_setfsgid;
#endif

// setfsuid and setfsgid answer the previous value and say nothing of failure: asking again with
// an id no one has (-1) changes nothing and tells what holds now.
int CurrentFsUid() {
    return static_cast<int>(syscall(kSetFsUid, static_cast<uid_t>(-1)));
}
int CurrentFsGid() {
    return static_cast<int>(syscall(kSetFsGid, static_cast<gid_t>(-1)));
}

std::string LinkOrNotFolder(const std::string& name, int error) {
    if (error == ELOOP || error == ENOTDIR)
        return name + " is a symbolic link or not a folder; it is not followed";
    return name + ": " + std::strerror(error);
}

bool WriteAll(int fd, std::span<const uint8_t> bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<size_t>(n);
    }
    return true;
}
}  // namespace

std::vector<uint32_t> GroupsOf(const std::string& name, uint32_t gid) {
    int count = 64;
    std::vector<gid_t> listed(count);
    if (getgrouplist(name.c_str(), gid, listed.data(), &count) < 0) {
        listed.resize(count);
        if (getgrouplist(name.c_str(), gid, listed.data(), &count) < 0) count = 0;
    }
    listed.resize(count);
    std::vector<uint32_t> groups(listed.begin(), listed.end());
    if (groups.empty()) groups.push_back(gid);
    return groups;
}

ActingAs::ActingAs(const std::optional<FileOwner>& owner) : active_(owner.has_value()) {
    if (!active_) return;
    // Root's groups first, while the thread still has the right to set them back.
    int count = getgroups(0, nullptr);
    if (count >= 0) {
        previousGroups_.resize(static_cast<size_t>(count));
        count = getgroups(count, previousGroups_.data());
    }
    std::vector<gid_t> groups(owner->groups.begin(), owner->groups.end());
    if (count < 0 || syscall(kSetGroups, groups.size(), groups.data()) != 0) {
        active_ = false;
        ok_ = false;
        return;
    }
    previousGid_ = static_cast<int>(syscall(kSetFsGid, owner->gid));
    // Leaving file-system uid 0 also drops the capabilities that override file permissions.
    previousUid_ = static_cast<int>(syscall(kSetFsUid, owner->uid));
    ok_ = CurrentFsUid() == static_cast<int>(owner->uid) &&
          CurrentFsGid() == static_cast<int>(owner->gid);
}

ActingAs::~ActingAs() {
    if (!active_) return;
    syscall(kSetFsUid, previousUid_);
    syscall(kSetFsGid, previousGid_);
    syscall(kSetGroups, previousGroups_.size(), previousGroups_.data());
}

std::optional<Folder> Folder::Open(const std::string& base, const std::string& below, bool create,
                                   std::string& problem) {
    Folder folder(::open(base.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (folder.fd_ < 0 && errno == ENOENT && create) {
        std::error_code ec;
        std::filesystem::create_directories(base, ec);
        folder = Folder(::open(base.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    }
    if (folder.fd_ < 0) {
        problem = base + ": " + std::strerror(errno);
        return std::nullopt;
    }
    std::string walked = base;
    size_t start = 0;
    while (start <= below.size()) {
        size_t end = below.find('/', start);
        if (end == std::string::npos) end = below.size();
        const std::string name = below.substr(start, end - start);
        start = end + 1;
        if (name.empty() || name == ".") continue;
        walked += "/" + name;
        if (name == "..") {
            problem = walked + " climbs out of the folder";
            return std::nullopt;
        }
        constexpr int kFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;
        int next = ::openat(folder.fd_, name.c_str(), kFlags);
        if (next < 0 && errno == ENOENT && create) {
            if (::mkdirat(folder.fd_, name.c_str(), 0777) != 0 && errno != EEXIST) {
                problem = walked + ": " + std::strerror(errno);
                return std::nullopt;
            }
            next = ::openat(folder.fd_, name.c_str(), kFlags);
        }
        if (next < 0) {
            problem = LinkOrNotFolder(walked, errno);
            return std::nullopt;
        }
        folder = Folder(next);
    }
    return folder;
}

Folder& Folder::operator=(Folder&& other) noexcept {
    if (this != &other) {
        if (fd_ >= 0) ::close(fd_);
        fd_ = other.fd_;
        other.fd_ = -1;
    }
    return *this;
}

Folder::~Folder() {
    if (fd_ >= 0) ::close(fd_);
}

std::optional<std::vector<uint8_t>> Folder::Read(const std::string& name, size_t maxBytes,
                                                 std::string& problem) const {
    problem.clear();
    // Without waiting: a FIFO with no writer would hold the open for ever.
    const int fd =
        ::openat(fd_, name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        if (errno != ENOENT) problem = LinkOrNotFolder(name, errno);
        if (errno == ELOOP) problem = name + " is a symbolic link; it is not followed";
        return std::nullopt;
    }
    std::vector<uint8_t> bytes;
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        problem = name + " is not a regular file";
    } else if (static_cast<uintmax_t>(info.st_size) > maxBytes) {
        problem = name + " is larger than " + std::to_string(maxBytes) + " bytes";
    } else {
        uint8_t chunk[65536];
        for (;;) {
            const ssize_t n = ::read(fd, chunk, sizeof chunk);
            if (n < 0 && errno == EINTR) continue;
            if (n < 0) problem = name + ": " + std::strerror(errno);
            if (n <= 0) break;
            bytes.insert(bytes.end(), chunk, chunk + n);
            if (bytes.size() > maxBytes) {
                problem = name + " is larger than " + std::to_string(maxBytes) + " bytes";
                break;
            }
        }
    }
    ::close(fd);
    if (!problem.empty()) return std::nullopt;
    return bytes;
}

bool Folder::Write(const std::string& name, std::span<const uint8_t> bytes,
                   std::string& problem) const {
    struct stat there {};
    const bool exists = ::fstatat(fd_, name.c_str(), &there, AT_SYMLINK_NOFOLLOW) == 0;
    if (exists && S_ISLNK(there.st_mode)) {
        problem = name + " is a symbolic link; it is not followed";
        return false;
    }
    if (exists && !S_ISREG(there.st_mode)) {
        problem = name + " is not a regular file";
        return false;
    }
    std::string fresh;
    int fd = -1;
    for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
        fresh = name + ".new." + FreshSuffix(attempt);
        fd = ::openat(fd_, fresh.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                      0644);
        if (fd < 0 && errno != EEXIST) break;
    }
    if (fd < 0) {
        problem = name + ": " + std::strerror(errno);
        return false;
    }
    bool ok = WriteAll(fd, bytes) && (!exists || ::fchmod(fd, there.st_mode & 0777) == 0);
    const int error = errno;
    ok = ::close(fd) == 0 && ok;
    if (ok && ::renameat(fd_, fresh.c_str(), fd_, name.c_str()) == 0) return true;
    problem = name + ": " + std::strerror(ok ? errno : error);
    ::unlinkat(fd_, fresh.c_str(), 0);
    return false;
}

bool Folder::Remove(const std::string& name) const {
    return ::unlinkat(fd_, name.c_str(), 0) == 0 || errno == ENOENT;
}

}  // namespace common

#endif
