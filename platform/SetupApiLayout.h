// The device-manager values and structure sizes the program hands the setup API to stop and
// start the CD-ROM devices, the same for the program and the emulated device manager.
#pragma once

#include <cstddef>
#include <cstdint>

namespace directide {

// {53F56308-B6BF-11D0-94F2-00A0C91EFB8B}, the CD-ROM device interface class, in memory order.
inline constexpr uint8_t kCdromInterfaceGuid[16] = {0x08, 0x63, 0xF5, 0x53, 0xBF, 0xB6, 0xD0, 0x11,
                                                    0x94, 0xF2, 0x00, 0xA0, 0xC9, 0x1E, 0xFB, 0x8B};
inline constexpr uint32_t kDifPropertyChange = 0x12;
inline constexpr uint32_t kDicsStart = 4;
inline constexpr uint32_t kDicsStop = 5;
inline constexpr size_t kPropChangeParamsSize = 20;   // SP_PROPCHANGE_PARAMS
inline constexpr size_t kDevInstallParamsSize = 296;  // SP_DEVINSTALL_PARAMS_A
inline constexpr uint32_t kDiNeedReboot = 0x100;

}  // namespace directide
