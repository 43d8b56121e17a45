// The flash driver's request codes and buffer sizes, the same for the program that sends the
// requests and the emulated driver that answers them.
//
// On the NT family the codes are CTL_CODE(0x9500, 0x900 + n, METHOD_BUFFERED, FILE_ANY_ACCESS);
// the older family's virtual device has codes of its own. Buffers are little-endian and the status
// byte is the first output byte unless a layout says otherwise; non-zero status is success.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "common/Bytes.h"

namespace directide {

enum class DriverRequest : uint8_t {
    PortRead,
    PortWrite,
    PciConfigRead,
    PciConfigWrite,
    StopCdrom,
    SelectDevice,
    IdentifyDevice,
    ReadFlashByte,
    ProgramPage,
    ProgramBlock,
    IdentifyFlash,
    EraseFlash,
    PrepareFlash,
    ResetDevice,
    ReadIdentifyData,
    SetTransferMode,
};
inline constexpr size_t kDriverRequestCount = 16;

constexpr uint32_t NtControlCode(uint32_t n) {
    return (0x9500u << 16) | ((0x900u + n) << 2);
}

inline constexpr uint32_t kNoCode = 0;

struct DriverRequestCodes {
    DriverRequest request;
    uint32_t nt;     // kNoCode: not a request of the NT driver
    uint32_t other;  // kNoCode: not a request of the older family's driver
};

inline constexpr std::array<DriverRequestCodes, kDriverRequestCount> kDriverRequestCodes = {{
    {DriverRequest::PortRead, NtControlCode(0), kNoCode},
    {DriverRequest::PortWrite, NtControlCode(1), kNoCode},
    {DriverRequest::PciConfigRead, kNoCode, 0x1000},
    {DriverRequest::PciConfigWrite, kNoCode, 0x1001},
    {DriverRequest::StopCdrom, kNoCode, 0x1003},
    {DriverRequest::SelectDevice, NtControlCode(5), 0x1009},
    {DriverRequest::IdentifyDevice, NtControlCode(18), 0x1013},
    {DriverRequest::ReadFlashByte, NtControlCode(7), 0x100A},
    {DriverRequest::ProgramPage, NtControlCode(9), 0x1006},
    {DriverRequest::ProgramBlock, NtControlCode(17), 0x1012},
    {DriverRequest::IdentifyFlash, NtControlCode(10), 0x100B},
    {DriverRequest::EraseFlash, NtControlCode(11), 0x100C},
    {DriverRequest::PrepareFlash, NtControlCode(14), 0x100E},
    {DriverRequest::ResetDevice, NtControlCode(13), 0x100F},
    {DriverRequest::ReadIdentifyData, NtControlCode(15), 0x1010},
    {DriverRequest::SetTransferMode, NtControlCode(16), 0x1011},
}};

static_assert(NtControlCode(0) == 0x95002400u && NtControlCode(18) == 0x95002448u);

constexpr uint32_t RequestCode(DriverRequest request, bool ntFamily) {
    const auto& codes = kDriverRequestCodes[static_cast<size_t>(request)];
    return ntFamily ? codes.nt : codes.other;
}

// The request a code stands for, in either family's numbering; false when it is none.
constexpr bool RequestOfCode(uint32_t code, DriverRequest& request) {
    if (code == kNoCode) return false;
    for (const auto& codes : kDriverRequestCodes) {
        if (codes.nt == code || codes.other == code) {
            request = codes.request;
            return true;
        }
    }
    return false;
}

// Buffer sizes and offsets.
inline constexpr size_t kStatusSize = 4;
inline constexpr size_t kPortRequestSize = 16;  // port, value, width code 3, reserved
inline constexpr uint32_t kPortWidthDword = 3;
inline constexpr size_t kPciRequestSize = 8;       // configuration address, value
inline constexpr size_t kSelectRequestSize = 16;   // base port, select value, 1, partner flag
inline constexpr size_t kIdentifyReplySize = 520;  // INQUIRY-style data, completion, device kind
inline constexpr size_t kIdentifyCompleteOffset = 512;
inline constexpr size_t kIdentifyKindOffset = 516;
inline constexpr uint32_t kOpticalDriveKind = 2;
inline constexpr size_t kFlashByteRequestSize = 16;  // address, value, 1, status
inline constexpr size_t kChunkSize = 128;
inline constexpr size_t kProgramRequestSize = 140;  // address, reserved, 128 data bytes, reserved
inline constexpr size_t kProgramDataOffset = 8;
inline constexpr size_t kFlashIdRequestSize = 16;  // maker, device, alternate flag, status
// The erase request carries the alternate-sequence flag at offset 8. The program declares the
// whole 12 bytes as input, so the driver sees the flag.
inline constexpr size_t kEraseRequestSize = 12;
inline constexpr size_t kEraseFlagOffset = 8;
inline constexpr size_t kAtaRequestSize = 520;  // identify words (512 bytes) and status at 512
inline constexpr size_t kAtaStatusOffset = 512;
inline constexpr uint8_t kSetFeaturesTransferMode = 3;

inline constexpr uint32_t GetLe32(const uint8_t* p) {
    return common::Le32(p);
}
using common::PutLe32;

}  // namespace directide
