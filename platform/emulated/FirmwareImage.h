// Firmware images for the emulated drives: made by `brenvo-bench firmware`, they carry the
// revision (and drive tag) that a drive reports after it has been flashed with them.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace platform::emulated {

// The identity block sits at this offset of an image: the marker, 4 revision characters and the
// 7-character drive tag.
inline constexpr size_t kFirmwareMarkerOffset = 0x40;
inline constexpr char kFirmwareMarker[] = "BRENVOFW";

struct FirmwareIdentity {
    std::string revision;  // 4 characters
    std::string driveTag;  // 7 characters
};

// A deterministic image of `size` bytes (at least 0x60) for the given revision; the drive tag
// defaults to the revision followed by "-00".
std::vector<uint8_t> MakeFirmwareImage(const std::string& revision, const std::string& driveTag,
                                       size_t size);

// The identity an image gives a drive: the marked one, or one derived from the contents that
// differs from `previousRevision`, so a drive never keeps its old revision by accident.
FirmwareIdentity IdentityOfFlash(std::span<const uint8_t> flash,
                                 const std::string& previousRevision);

}  // namespace platform::emulated
