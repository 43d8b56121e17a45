// The optical drives the kernel knows: SCSI devices of type 5 in sysfs with their nodes.
#pragma once

#include <array>
#include <string>
#include <vector>

namespace platform::linuxhost {

struct OpticalNode {
    std::array<int, 4> address{};  // host, channel, target, lun
    std::string sgNode;            // "/dev/sg1": the node every command goes through
    std::string sgDevice;          // its "major:minor" ("21:1"), as udev names it
    std::string blockNode;         // "/dev/sr0", or empty when sr is not bound
    std::string blockDevice;       // its "major:minor" ("11:0"), as mountinfo names it
    std::string letter;            // "E:", given in enumeration order
};

// The type-5 devices under `sysfsRoot`/class/scsi_device in host:channel:target:lun order, each
// with its sg node under `devRoot`; devices without an sg node cannot take commands and are left
// out. Letters start at E: as on Windows and end at Z:.
std::vector<OpticalNode> FindOpticalDrives(const std::string& sysfsRoot,
                                           const std::string& devRoot);

}  // namespace platform::linuxhost
