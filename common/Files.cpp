#include "common/Files.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

namespace common {

std::optional<std::vector<uint8_t>> ReadWholeFile(const std::string& path, std::string& problem,
                                                  size_t maxBytes) {
    namespace fs = std::filesystem;
    std::error_code ec;
    fs::file_status status = fs::status(path, ec);
    if (status.type() == fs::file_type::not_found) {
        problem = "does not exist";
        return std::nullopt;
    }
    if (status.type() == fs::file_type::directory) {
        problem = "is a folder, not a file";
        return std::nullopt;
    }
    errno = 0;
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        problem = std::string("cannot be opened: ") + std::strerror(errno ? errno : EACCES);
        return std::nullopt;
    }
    // read() keeps a failing device or file system from throwing: it sets badbit instead.
    std::vector<uint8_t> bytes;
    // A program is tens of megabytes: what the system says the file holds comes in one read, and
    // anything beyond it (a file that grew, one whose size is not told) in pieces.
    const uintmax_t told = fs::file_size(path, ec);
    if (!ec && told > maxBytes) {
        problem = "is larger than " + std::to_string(maxBytes >> 20) + " MiB";
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
            problem = "is larger than " + std::to_string(maxBytes >> 20) + " MiB";
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

}  // namespace common
