// Something on the emulated PC that the program opens by a device name and talks to with
// DeviceIoControl: an optical drive's volume, the flash driver.
#pragma once

#include <cstdint>
#include <span>

#include "platform/System.h"

namespace platform::emulated {

class EmulatedDevice {
  public:
    virtual ~EmulatedDevice() = default;
    virtual Status Control(uint32_t code, std::span<uint8_t> in, std::span<uint8_t> out,
                           uint32_t& returned) = 0;
};

}  // namespace platform::emulated
