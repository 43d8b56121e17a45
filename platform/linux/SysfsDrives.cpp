#include "platform/linux/SysfsDrives.h"

#include <algorithm>
#include <charconv>
#include <filesystem>
#include <fstream>

namespace platform::linuxhost {
namespace {
namespace fs = std::filesystem;
constexpr int kTypeCdrom = 5;
constexpr char kFirstLetter = 'E';
constexpr char kLastLetter = 'Z';

// "1:0:2:0" into its four numbers; false for anything else.
bool ParseAddress(const std::string& name, std::array<int, 4>& address) {
    const char* p = name.data();
    const char* end = name.data() + name.size();
    for (size_t i = 0; i < 4; ++i) {
        auto [next, ec] = std::from_chars(p, end, address[i]);
        if (ec != std::errc() || address[i] < 0) return false;
        p = next;
        if (i < 3) {
            if (p == end || *p != ':') return false;
            ++p;
        }
    }
    return p == end;
}

int ReadType(const fs::path& device) {
    std::ifstream in(device / "type");
    int type = -1;
    in >> type;
    return in ? type : -1;
}

// The one entry of a class folder (device/scsi_generic/sg1, device/block/sr0), or empty.
std::string ChildName(const fs::path& folder) {
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(folder, ec))
        return entry.path().filename().string();
    return {};
}
}  // namespace

std::vector<OpticalNode> FindOpticalDrives(const std::string& sysfsRoot,
                                           const std::string& devRoot) {
    std::vector<OpticalNode> drives;
    std::error_code ec;
    for (const auto& entry :
         fs::directory_iterator(fs::path(sysfsRoot) / "class/scsi_device", ec)) {
        OpticalNode node;
        if (!ParseAddress(entry.path().filename().string(), node.address)) continue;
        fs::path device = entry.path() / "device";
        if (ReadType(device) != kTypeCdrom) continue;
        std::string sg = ChildName(device / "scsi_generic");
        if (sg.empty()) continue;
        node.sgNode = devRoot + "/" + sg;
        std::ifstream(device / "scsi_generic" / sg / "dev") >> node.sgDevice;
        std::string block = ChildName(device / "block");
        if (!block.empty()) {
            node.blockNode = devRoot + "/" + block;
            std::ifstream(device / "block" / block / "dev") >> node.blockDevice;
        }
        drives.push_back(std::move(node));
    }
    std::sort(drives.begin(), drives.end(),
              [](const OpticalNode& a, const OpticalNode& b) { return a.address < b.address; });
    if (drives.size() > static_cast<size_t>(kLastLetter - kFirstLetter + 1))
        drives.resize(kLastLetter - kFirstLetter + 1);
    for (size_t i = 0; i < drives.size(); ++i)
        drives[i].letter = std::string(1, static_cast<char>(kFirstLetter + i)) + ":";
    return drives;
}

}  // namespace platform::linuxhost
