#include "platform/linux/DriveHolders.h"

#include <algorithm>
#include <filesystem>
#include <fstream>

namespace platform::linuxhost {
namespace {
namespace fs = std::filesystem;

// mountinfo writes a space, a tab, a newline and a backslash in a path as \040, \011, \012 and
// \134.
std::string Unescape(std::string_view field) {
    auto octal = [](char c) { return c >= '0' && c <= '7'; };
    std::string text;
    for (size_t i = 0; i < field.size(); ++i) {
        if (field[i] == '\\' && i + 3 < field.size() && octal(field[i + 1]) &&
            octal(field[i + 2]) && octal(field[i + 3])) {
            text += static_cast<char>((field[i + 1] - '0') * 64 + (field[i + 2] - '0') * 8 +
                                      (field[i + 3] - '0'));
            i += 3;
        } else {
            text += field[i];
        }
    }
    return text;
}

std::vector<std::string_view> Fields(std::string_view line) {
    std::vector<std::string_view> fields;
    size_t start = 0;
    while (start < line.size()) {
        size_t end = line.find(' ', start);
        if (end == std::string_view::npos) end = line.size();
        if (end > start) fields.push_back(line.substr(start, end - start));
        start = end + 1;
    }
    return fields;
}
}  // namespace

std::vector<std::string> MountPointsOf(std::string_view mountinfo, const std::string& majorMinor) {
    // "36 35 11:0 / /media/cdrom ro,nosuid - iso9660 /dev/sr0 ro": the third field is the
    // device, the fifth the mount point.
    constexpr size_t kDevice = 2, kMountPoint = 4;
    std::vector<std::string> points;
    size_t start = 0;
    while (start < mountinfo.size()) {
        size_t end = mountinfo.find('\n', start);
        if (end == std::string_view::npos) end = mountinfo.size();
        auto fields = Fields(mountinfo.substr(start, end - start));
        if (fields.size() > kMountPoint && fields[kDevice] == majorMinor)
            points.push_back(Unescape(fields[kMountPoint]));
        start = end + 1;
    }
    return points;
}

std::vector<std::string> ProcessesHolding(const std::string& procRoot,
                                          const std::vector<std::string>& nodes, int self) {
    std::vector<std::string> holders;
    std::error_code ec;
    for (const auto& process : fs::directory_iterator(procRoot, ec)) {
        const std::string pid = process.path().filename().string();
        if (pid.empty() || pid.find_first_not_of("0123456789") != std::string::npos ||
            pid == std::to_string(self))
            continue;
        std::error_code fdError;
        for (const auto& fd : fs::directory_iterator(process.path() / "fd", fdError)) {
            std::error_code linkError;
            const std::string target = fs::read_symlink(fd.path(), linkError).string();
            if (linkError || std::find(nodes.begin(), nodes.end(), target) == nodes.end()) continue;
            std::string name;
            std::getline(std::ifstream(process.path() / "comm"), name);
            holders.push_back((name.empty() ? std::string("a program") : name) + " (process " +
                              pid + ")");
            break;
        }
    }
    std::sort(holders.begin(), holders.end());
    return holders;
}

}  // namespace platform::linuxhost
