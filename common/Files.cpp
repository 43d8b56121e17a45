#include "common/Files.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

#include "common/WideText.h"

#ifndef _WIN32
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace common {
namespace {
std::string TooLarge(size_t maxBytes) {
    return maxBytes >= (size_t{1} << 20)
               ? "is larger than " + std::to_string(maxBytes >> 20) + " MiB"
               : "is larger than " + std::to_string(maxBytes) + " bytes";
}
}  // namespace

#ifndef _WIN32
std::string FileKind(unsigned mode) {
    if (S_ISREG(mode)) return "";
    if (S_ISDIR(mode)) return "is a folder, not a file";
    if (S_ISFIFO(mode)) return "is a FIFO (named pipe), not a file";
    if (S_ISCHR(mode)) return "is a character device, not a file";
    if (S_ISBLK(mode)) return "is a block device, not a file";
    if (S_ISSOCK(mode)) return "is a socket, not a file";
    return "is not a regular file";
}

namespace {
struct Descriptor {
    int fd;
    ~Descriptor() {
        if (fd >= 0) ::close(fd);
    }
};
}  // namespace
#endif

#ifndef _WIN32
std::string NotARegularFile(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0)
        return errno == ENOENT ? "does not exist"
                               : std::string("cannot be opened: ") + std::strerror(errno);
    return FileKind(st.st_mode);
}

std::optional<std::vector<uint8_t>> ReadWholeFile(const std::string& path, std::string& problem,
                                                  size_t maxBytes) {
    // A device is not even opened (opening some has effects of its own: a tape rewinds, a
    // terminal may become ours). What is opened is opened without waiting (a FIFO with no writer
    // would block the open for ever), then judged again by what the open file is, so nothing
    // swapped in between the look and the read is read.
    struct stat seen {};
    if (::stat(path.c_str(), &seen) == 0 && !S_ISREG(seen.st_mode)) {
        problem = FileKind(seen.st_mode);
        return std::nullopt;
    }
    Descriptor file{::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC)};
    if (file.fd < 0) {
        int error = errno;
        std::string kind = NotARegularFile(path);
        if (error == ENOENT || !kind.empty()) {
            problem = kind.empty() ? "does not exist" : kind;
        } else {
            problem = std::string("cannot be opened: ") + std::strerror(error);
        }
        return std::nullopt;
    }
    struct stat st {};
    if (::fstat(file.fd, &st) != 0) {
        problem = std::string("cannot be read: ") + std::strerror(errno);
        return std::nullopt;
    }
    problem = FileKind(st.st_mode);
    if (!problem.empty()) return std::nullopt;
    if (static_cast<uintmax_t>(st.st_size) > maxBytes) {
        problem = TooLarge(maxBytes);
        return std::nullopt;
    }
    ::fcntl(file.fd, F_SETFL, ::fcntl(file.fd, F_GETFL) & ~O_NONBLOCK);
    // What the system says the file holds comes in one read; anything beyond it (a file that
    // grew, one whose size is not told, as in /proc) in pieces, never more than the limit.
    std::vector<uint8_t> bytes(static_cast<size_t>(st.st_size));
    size_t have = 0;
    for (;;) {
        if (have == bytes.size()) {
            if (bytes.size() > maxBytes) {
                problem = TooLarge(maxBytes);
                return std::nullopt;
            }
            bytes.resize(std::min(have + 65536, maxBytes + 1));
        }
        ssize_t got = ::read(file.fd, bytes.data() + have, bytes.size() - have);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) {
            problem = std::string("cannot be read: ") + std::strerror(errno);
            return std::nullopt;
        }
        if (got == 0) break;
        have += static_cast<size_t>(got);
    }
    bytes.resize(have);
    return bytes;
}
#else
std::string NotARegularFile(const std::string& path) {
    namespace fs = std::filesystem;
    std::error_code ec;
    fs::file_status status = fs::status(FilePath(path), ec);
    if (status.type() == fs::file_type::not_found) return "does not exist";
    if (status.type() == fs::file_type::directory) return "is a folder, not a file";
    if (status.type() != fs::file_type::regular && !ec) return "is not a regular file";
    return "";
}

std::optional<std::vector<uint8_t>> ReadWholeFile(const std::string& path, std::string& problem,
                                                  size_t maxBytes) {
    namespace fs = std::filesystem;
    problem = NotARegularFile(path);
    if (!problem.empty()) return std::nullopt;
    std::error_code ec;
    errno = 0;
    std::ifstream in(FilePath(path), std::ios::binary);
    if (!in) {
        problem = std::string("cannot be opened: ") + std::strerror(errno ? errno : EACCES);
        return std::nullopt;
    }
    std::vector<uint8_t> bytes;
    const uintmax_t told = fs::file_size(FilePath(path), ec);
    if (!ec && told > maxBytes) {
        problem = TooLarge(maxBytes);
        return std::nullopt;
    }
    if (!ec && told > 0) {
        bytes.resize(static_cast<size_t>(told));
        in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(told));
        bytes.resize(static_cast<size_t>(in.gcount()));
    }
    char chunk[65536];
    while (in.read(chunk, sizeof chunk) || in.gcount() > 0) {
        bytes.insert(bytes.end(), chunk, chunk + in.gcount());
        if (bytes.size() > maxBytes) {
            problem = TooLarge(maxBytes);
            return std::nullopt;
        }
        if (in.eof()) break;
    }
    if (in.bad() || !in.eof()) {
        problem = std::string("cannot be read: ") + std::strerror(errno ? errno : EIO);
        return std::nullopt;
    }
    return bytes;
}
#endif

}  // namespace common
