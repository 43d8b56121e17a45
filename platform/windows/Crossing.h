// How handles, results and the structures' little-endian fields cross the seam.
#pragma once

#include <cstdint>

#include "common/Bytes.h"
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

using common::Le32;
using common::PutLe32;

}  // namespace platform::windows
