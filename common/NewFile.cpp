#include "common/NewFile.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <random>
#include <vector>

#include "common/WideText.h"

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

namespace common {
namespace {
namespace fs = std::filesystem;

std::mutex suffixMutex;
std::function<std::string(int)>& SuffixSource() {
    static std::function<std::string(int)> source;
    return source;
}

int OpenExclusive(const std::string& path) {
#ifdef _WIN32
    // _O_EXCL makes the runtime ask for CREATE_NEW, which fails on any name that exists, a link
    // included.
    return ::_wopen(FilePath(path).c_str(), _O_RDWR | _O_CREAT | _O_EXCL | _O_BINARY | _O_NOINHERIT,
                    _S_IREAD | _S_IWRITE);
#else
    // O_CREAT | O_EXCL never follows a link at the name; O_NOFOLLOW says so again.
    return ::open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC,
                  0644);
#endif
}
}  // namespace

std::string FreshSuffix(int attempt) {
    {
        std::lock_guard lock(suffixMutex);
        if (SuffixSource()) return SuffixSource()(attempt);
    }
    static constexpr char kLetters[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    thread_local std::mt19937_64 random(
        std::random_device{}() ^
        static_cast<uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count()));
    std::string suffix(6, ' ');
    for (char& c : suffix)
        c = kLetters[random() % (sizeof kLetters - 1)];
    return suffix;
}

void SetFreshSuffixSource(std::function<std::string(int)> source) {
    std::lock_guard lock(suffixMutex);
    SuffixSource() = std::move(source);
}

std::string NotReplaceable(const std::string& path) {
    std::error_code ec;
    switch (fs::symlink_status(FilePath(path), ec).type()) {
        case fs::file_type::not_found:
        case fs::file_type::regular:
        case fs::file_type::none:
            return "";
        case fs::file_type::directory:
            return "is a folder, not a file";
        case fs::file_type::symlink:
            return "is a symbolic link; name the file itself";
        default:
            return "is a device, a pipe or a socket, not a regular file";
    }
}

bool NewFile::Create(const std::string& target, const std::string& tag, std::string& problem) {
    Discard();
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string path = target + tag + "." + FreshSuffix(attempt);
        fd_ = OpenExclusive(path);
        if (fd_ >= 0) {
            path_ = path;
            placed_ = false;
            if (TakeModeAndOwnerOf(target, problem)) return true;
            Discard();
            return false;
        }
        if (errno != EEXIST) {
            problem = std::strerror(errno);
            return false;
        }
    }
    problem = "no fresh name could be found beside it";
    return false;
}

bool NewFile::TakeModeAndOwnerOf(const std::string& model, std::string& problem) {
#ifndef _WIN32
    struct stat old {};
    if (fd_ < 0 || ::lstat(model.c_str(), &old) != 0 || !S_ISREG(old.st_mode)) return true;
    if (::fchmod(fd_, old.st_mode & 0777) != 0) {
        problem =
            std::string("cannot give it the permissions of ") + model + ": " + std::strerror(errno);
        return false;
    }
    // Root saving a user's file leaves it the user's, not a file of root's in their folder.
    struct stat made {};
    if (::geteuid() == 0 && ::fstat(fd_, &made) == 0 &&
        (made.st_uid != old.st_uid || made.st_gid != old.st_gid) &&
        ::fchown(fd_, old.st_uid, old.st_gid) != 0 && made.st_uid != old.st_uid) {
        problem = std::string("cannot give it the owner of ") + model + ": " + std::strerror(errno);
        return false;
    }
#else
    (void)model;
    (void)problem;
#endif
    return true;
}

NewFile::~NewFile() {
    Discard();
}

bool NewFile::Write(std::span<const uint8_t> bytes) {
    size_t done = 0;
    while (fd_ >= 0 && done < bytes.size()) {
        const size_t piece = std::min<size_t>(bytes.size() - done, size_t{1} << 30);
#ifdef _WIN32
        const int n = ::_write(fd_, bytes.data() + done, static_cast<unsigned>(piece));
#else
        const ssize_t n = ::write(fd_, bytes.data() + done, piece);
        if (n < 0 && errno == EINTR) continue;
#endif
        if (n <= 0) return false;
        done += static_cast<size_t>(n);
    }
    return fd_ >= 0;
}

bool NewFile::Holds(std::span<const uint8_t> bytes) const {
    std::vector<uint8_t> piece(size_t{1} << 20);
    size_t done = 0;
    while (fd_ >= 0) {
#ifdef _WIN32
        if (::_lseeki64(fd_, static_cast<__int64>(done), SEEK_SET) < 0) return false;
        const int got = ::_read(fd_, piece.data(), static_cast<unsigned>(piece.size()));
#else
        const ssize_t got = ::pread(fd_, piece.data(), piece.size(), static_cast<off_t>(done));
        if (got < 0 && errno == EINTR) continue;
#endif
        if (got < 0) return false;
        if (got == 0) return done == bytes.size();
        const auto length = static_cast<size_t>(got);
        if (length > bytes.size() - done ||
            std::memcmp(piece.data(), bytes.data() + done, length) != 0)
            return false;
        done += length;
    }
    return false;
}

bool NewFile::SetPermissions(unsigned mode, std::string& problem) {
#ifdef _WIN32
    const int set =
        ::_wchmod(FilePath(path_).c_str(), (mode & 0200) ? _S_IREAD | _S_IWRITE : _S_IREAD);
#else
    const int set = fd_ < 0 ? (errno = EBADF, -1) : ::fchmod(fd_, mode & 0777);
#endif
    if (set == 0) return true;
    problem = std::strerror(errno);
    return false;
}

bool NewFile::Close(bool durable) {
    if (fd_ < 0) return false;
#ifdef _WIN32
    bool ok = !durable || ::_commit(fd_) == 0;
    ok = ::_close(fd_) == 0 && ok;
#else
    bool ok = !durable || ::fsync(fd_) == 0;
    ok = ::close(fd_) == 0 && ok;
#endif
    fd_ = -1;
    return ok;
}

bool NewFile::PutInPlace(const std::string& target, std::string& problem) {
#ifdef _WIN32
    // Windows renames no file that is open without shared deletion, as the runtime opens it.
    if (fd_ >= 0 && !Close(false)) {
        problem = "cannot finish writing " + path_;
        return false;
    }
#endif
    // The filesystem's rename replaces an existing file on Windows too (std::rename does not).
    std::error_code ec;
    fs::rename(FilePath(path_), FilePath(target), ec);
    if (ec) {
        problem = ec.message();
        return false;
    }
    placed_ = true;
    return true;
}

int NewFile::Release() {
    const int fd = fd_;
    fd_ = -1;
    path_.clear();
    return fd;
}

void NewFile::Discard() {
    if (fd_ >= 0) Close(false);
    if (!path_.empty() && !placed_) {
        std::error_code ignored;
        fs::remove(FilePath(path_), ignored);
    }
    path_.clear();
    placed_ = false;
}

bool WriteFileInPlace(const std::string& target, std::span<const uint8_t> bytes,
                      const std::string& tag, bool durable, std::string& problem) {
    problem = NotReplaceable(target);
    if (!problem.empty()) return false;
    NewFile file;
    if (!file.Create(target, tag, problem)) {
        problem = "cannot be written: " + problem;
        return false;
    }
    if (!file.Write(bytes) || !file.Close(durable)) {
        problem = "cannot be written: " + std::string(std::strerror(errno ? errno : EIO));
        return false;
    }
    if (!file.PutInPlace(target, problem)) {
        problem = "cannot be replaced: " + problem;
        return false;
    }
    return true;
}

}  // namespace common
