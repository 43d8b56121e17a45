// The package's checksum: a CRC-32 over what a flash depends on (each image as stored, its key
// table, its start and size), carried in option digits 19-32, which mean nothing else: a 4-digit
// marker that the checksum is there, then the CRC-32 in 10 decimal digits. The packaging step
// writes it; start-up checks it before any drive is touched. A package made before the checksum
// existed has no marker and is taken as it is.
#pragma once

#include <cstdint>
#include <span>

namespace package {

inline constexpr int kChecksumFirstDigit = 19;  // digits 19-22: the marker, 23-32: the CRC-32
inline constexpr char kChecksumMarker[] = "7319";

// Over the four start and size records, the four key tables and every image that lies inside the
// image area, in that order.
uint32_t FlashChecksum(std::span<const uint8_t> block);

// Writes the marker and the checksum into the option digits.
void StampChecksum(std::span<uint8_t> block);

enum class ChecksumState { Absent, Matches, Differs };
ChecksumState CheckChecksum(std::span<const uint8_t> block);

}  // namespace package
