// CRC-32 (IEEE 802.3, reflected, as zip and PNG use it).
#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace common {

uint32_t Crc32(std::span<const uint8_t> bytes, uint32_t crc = 0);
// The checksum as the tools and bench files write it: eight lower-case hex digits.
std::string Crc32Text(uint32_t crc);

}  // namespace common
