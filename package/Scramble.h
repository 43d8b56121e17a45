// The scrambling of the images in the package. XOR with key bytes at fixed places: applying it
// twice gives back the original, so the packaging step scrambles with the same function.
#pragma once

#include <cstdint>
#include <span>

namespace package {

inline constexpr size_t kKeySteps = 1024;

// Changes at most 1024 bytes: for step n, byte B*n + (key[n] & 0x3F) with B = size / 1024, except
// the steps n with (n + 1) mod 7 equal to 1 or 3. A position past the end of the image (small
// images whose size is not a generous multiple of 1024) is skipped: no byte outside the image is
// ever touched.
void UnscrambleImage(std::span<uint8_t> image, std::span<const uint8_t> keyTable);

}  // namespace package
