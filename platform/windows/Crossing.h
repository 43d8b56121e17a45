// How handles, results and the structures' little-endian fields cross the seam.
#pragma once

#include <cstdint>

#include "platform/System.h"
#include "platform/windows/Win32.h"

namespace platform::windows {

// A handle is the number Windows gave it; a 64-bit build's handles still fit the seam's 64 bits.
template <typename Native = HANDLE>
Native NativeHandle(int64_t handle) {
    return reinterpret_cast<Native>(static_cast<intptr_t>(handle));
}
template <typename Native>
int64_t SeamHandle(Native handle) {
    return static_cast<int64_t>(reinterpret_cast<intptr_t>(handle));
}

// A call that sets the last error on failure.
inline Status LastStatus(BOOL ok) {
    return ok ? Status::Success() : Status::Failure(::GetLastError());
}

inline uint32_t Le32(const uint8_t* p) {
    return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
}
inline void PutLe32(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        p[i] = static_cast<uint8_t>(v >> (8 * i));
}

}  // namespace platform::windows
