// CRC-32 (IEEE 802.3, reflected, as zip and PNG use it).
#pragma once

#include <cstdint>
#include <span>

namespace common {

uint32_t Crc32(std::span<const uint8_t> bytes, uint32_t crc = 0);

}  // namespace common
