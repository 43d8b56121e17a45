// One optical drive, as both device objects keep it in their drive tables.
//
// Text fields are zero-terminated and zero-padded; their width includes the terminator.
#pragma once

#include <array>
#include <cstdint>

namespace device {

struct DriveRecord {
    char idText[33] = {};          // vendor directly followed by product: the 24-character name
    char vendor[9] = {};           // INQUIRY bytes 8-15
    char product[17] = {};         // INQUIRY bytes 16-31
    char revision[5] = {};         // INQUIRY bytes 32-35, the firmware revision
    char driveTag[8] = {};         // first 7 answer bytes of ReadDriveTag
    char vendorSpecific[17] = {};  // INQUIRY bytes 36-51
    char rootPath[4] = {};         // "E:\"; empty on the direct-IDE path
    std::array<uint8_t, 4> flashKey = {};  // flash maker, device, a zero byte, platform code
    int16_t adapter = 0;                   // host adapter, port number, or IDE channel 0-3
    int16_t target = 0;                    // target id; 0 master, 1 slave on the direct-IDE path
    int16_t lun = 0;
    int16_t path = 0;
    uint8_t present = 0;       // the record describes a usable drive
    uint8_t matched = 0;       // the package may update this drive
    uint8_t viaAspi = 0;       // found through the ASPI manager and opened through it
    uint8_t sameRevision = 0;  // the drive already has the package's revision
    int16_t driveNewer = 0;    // the drive's revision is newer than the package's
    int16_t imageIndex = 0;    // 0-based package image that matched
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
