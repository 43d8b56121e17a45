// The package's checksum, carried in option digits 19-32, which mean nothing else: a 4-digit
// marker saying which checksum is there, then a CRC-32 in 10 decimal digits. The packaging step
// writes the whole-block checksum: a CRC-32 over every byte of the block before the image area
// but those 14 digits (texts, constraints, the other option digits, key tables, image places),
// then over each image. Bytes of the image area that no image holds reach no drive.
// Start-up checks it before any drive is touched. Packages packed earlier still run: those with
// the flash checksum (over the images, key tables and image places only), and those made before
// any checksum, whose 14 digits are all zeros. Any other digits there are a damaged package.
#pragma once

#include <cstdint>
#include <span>

namespace package {

inline constexpr int kChecksumFirstDigit = 19;     // digits 19-22: the marker, 23-32: the CRC-32
inline constexpr char kChecksumMarker[] = "7320";  // the whole block
inline constexpr char kFlashChecksumMarker[] = "7319";  // what the flash depends on (older)

// Over the block up to the image area but option digits 19-32, then over each image that lies
// inside the image area.
uint32_t BlockChecksum(std::span<const uint8_t> block);
// Over the four start and size records, the four key tables and every image that lies inside the
// image area, in that order.
uint32_t FlashChecksum(std::span<const uint8_t> block);

// Writes the marker and the whole-block checksum into the option digits.
void StampChecksum(std::span<uint8_t> block);

// BadMarker: digits 19-32 hold neither a known marker nor all zeros.
enum class ChecksumState { Absent, Matches, Differs, BadMarker };
ChecksumState CheckChecksum(std::span<const uint8_t> block);

// The block carries the whole-block checksum's marker. The flash checksum (7319) and no checksum
// at all leave the texts, the option digits and the constraint entries unchecked: damage there
// (a constraint turned into another maker's drive) goes unnoticed.
bool ChecksumCoversWholeBlock(std::span<const uint8_t> block);

}  // namespace package
