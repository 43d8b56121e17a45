// Sending a drive the flash profile of the chip it carries, before its firmware is transferred.
#pragma once

#include "device/AtapiDevice.h"

namespace engine {

// Reads the drive's flash identification, looks up its profile and sends it with WRITE BUFFER.
// False for an unknown chip, a failing or all-zero identification, or a failing transfer.
bool SendChipProfile(device::AtapiDevice& device);

}  // namespace engine
