// How handles, results and the structures' little-endian fields cross the seam.
#pragma once

#include <cstdint>
#include <string>

#include "common/Bytes.h"
#include "platform/System.h"
#include "platform/Trace.h"
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

// A failure the program goes on past (a service that would not start, a restart Windows refused,
// the RunOnce value not written) leaves a line in the trace with the system's error number, so
// that a person reading it later sees why; the outcome the caller acts on is unchanged.
inline void TraceFailure(const char* call, uint32_t error, const std::string& detail = {}) {
    Trace* trace = Trace::Current();
    if (!trace) return;
    nlohmann::ordered_json line;
    line["win32"] = call;
    line["error"] = error;
    if (!detail.empty()) line["detail"] = detail;
    trace->Write(line);
}
inline Status Traced(const char* call, Status status, const std::string& detail = {}) {
    if (!status) TraceFailure(call, status.error, detail);
    return status;
}

using common::Le32;
using common::PutLe32;

}  // namespace platform::windows
