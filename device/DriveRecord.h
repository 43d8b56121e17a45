// One optical drive as enumeration finds it; both device objects keep tables of this layout.
#pragma once

#include <array>
#include <cstdint>

namespace device {

struct DriveRecord {
    char idText[33] = {};  // vendor (8) directly followed by product (16)
    char vendor[9] = {};
    char product[17] = {};
    char revision[5] = {};
    char driveTag[8] = {};
    char vendorSpecific[17] = {};
    char rootPath[4] = {};  // "E:\"
    std::array<uint8_t, 4> flashKey = {};
    int16_t adapter = 0;
    int16_t target = 0;
    int16_t lun = 0;
    int16_t path = 0;
    uint8_t present = 0;
    uint8_t matched = 0;
    uint8_t viaAspi = 0;
    uint8_t sameRevision = 0;
    uint8_t driveNewer = 0;
    uint8_t imageIndex = 0;
};

// The identification of the opened drive.
struct DriveIdentification {
    char vendor[9] = {};
    char product[17] = {};
    char revision[5] = {};
    char driveTag[8] = {};
    char vendorSpecific[17] = {};
};

inline constexpr int kDriveTableSize = 16;

}  // namespace device
