// Firmware images for the emulated drives: made by `brenvo-bench firmware`, they carry the
// revision (and drive tag) that a drive reports after it has been flashed with them.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace platform::emulated {

// The identity block sits at this offset of an image: the marker, 4 revision characters, the
// 7-character drive tag, then the image's size and its CRC-32 as 8 hex digits each. The CRC
// covers the whole image but its own 8 digits, so a drive can tell a whole image from one that
// was cut short.
inline constexpr size_t kFirmwareMarkerOffset = 0x40;
inline constexpr char kFirmwareMarker[] = "BRENVOFW";

struct FirmwareIdentity {
    std::string revision;     // 4 characters
    std::string driveTag;     // 7 characters
    bool incomplete = false;  // marked firmware that is not whole, or an erased flash
};

// A deterministic image of `size` bytes (at least 0x63) for the given revision; the drive tag
// defaults to the revision followed by "-00".
std::vector<uint8_t> MakeFirmwareImage(const std::string& revision, const std::string& driveTag,
                                       size_t size);

// The identity an image gives a drive at its reset: the marked one when the image is whole,
// "0000" and incomplete when it is marked but not whole or the flash is erased, else one derived
// from the contents that differs from `previousRevision`, so a drive never keeps its old revision
// by accident.
FirmwareIdentity IdentityOfFlash(std::span<const uint8_t> flash,
                                 const std::string& previousRevision);

}  // namespace platform::emulated
