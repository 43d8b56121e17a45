// Little-endian fields of the structures the program and the system exchange.
#pragma once

#include <cstdint>

namespace common {

inline uint32_t Le32(const uint8_t* p) {
    return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
}

}  // namespace common
