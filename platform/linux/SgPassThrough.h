// One SCSI pass-through request as one SG_IO on a drive's sg node.
//
// The request arrives as the 80-byte 32-bit SCSI_PASS_THROUGH_DIRECT the core built; the answer
// goes back in the same terms: success with the SCSI status and sense in the request when the
// drive answered (GOOD, or CHECK CONDITION with sense data), a Windows error code when the
// transport failed. A non-zero host status is a transport failure whatever the SCSI status says.
#pragma once

#include <cstdint>
#include <span>

#include "platform/System.h"
#include "platform/linux/LinuxHost.h"

namespace platform::linuxhost {

Status SendPassThrough(const LinuxHost& host, int fd, std::span<uint8_t, kScsiRequestSize> request,
                       std::span<uint8_t> data);

// The Windows error code for an errno of the kernel.
uint32_t WindowsError(int error);

}  // namespace platform::linuxhost
