#include "platform/linux/SgPassThrough.h"

#include <algorithm>
#include <cerrno>
#include <limits>

#include "common/Bytes.h"
#include "platform/ScsiRequest.h"

namespace platform::linuxhost {
namespace {
using namespace platform::passthrough;
using common::Le16;
using common::Le32;
// The request's CDB field: 16 bytes, from its offset to the end of the structure.
constexpr size_t kCdbRoom = kStructureLength - kCdb;
constexpr uint8_t kDirectionOut = 0, kDirectionIn = 1, kDirectionNone = 2;

constexpr uint8_t kStatusGood = 0x00;
constexpr uint8_t kStatusCheckCondition = 0x02;
constexpr uint8_t kStatusConditionMet = 0x04;
constexpr uint16_t kHostTimeOut = 0x03;  // DID_TIME_OUT
constexpr uint16_t kDriverTimeout = 0x06;
constexpr uint16_t kDriverSense = 0x08;

}  // namespace

uint32_t WindowsError(int error) {
    switch (error) {
        case ENOENT:
        case ENXIO:
        case ENODEV:
            return kErrorFileNotFound;
        case ENOTDIR:
            return kErrorPathNotFound;
        case EACCES:
        case EPERM:
        case EROFS:
            return kErrorAccessDenied;
        case EBADF:
            return kErrorInvalidHandle;
        case EEXIST:
            return kErrorFileExists;
        case EINVAL:
        case EFAULT:
        case ENOMEM:
            return kErrorInvalidParameter;
        case ETIMEDOUT:
            return kErrorSemaphoreTimeout;
        case EBUSY:
            return kErrorSharingViolation;
        default:
            return kErrorIoDevice;
    }
}

Status SendPassThrough(const LinuxHost& host, int fd, std::span<uint8_t, kScsiRequestSize> request,
                       std::span<uint8_t> data) {
    uint16_t length = Le16(&request[kLength]);
    uint8_t cdbLength = request[kCdbLength];
    uint8_t senseLength = request[kSenseInfoLength];
    uint8_t direction = request[kDataIn];
    uint32_t transferLength = Le32(&request[kDataTransferLength]);
    uint32_t timeoutSeconds = Le32(&request[kTimeOutValue]);
    uint32_t dataBuffer = Le32(&request[kDataBuffer]);
    uint32_t senseOffset = Le32(&request[kSenseInfoOffset]);
    if (length != kStructureLength || cdbLength == 0 || cdbLength > kCdbRoom ||
        direction > kDirectionNone || senseOffset > kScsiRequestSize ||
        senseLength > kScsiRequestSize - senseOffset)
        return Status::Failure(kErrorInvalidParameter);
    if (transferLength > 0) {
        uint32_t wanted = direction == kDirectionOut ? kDataBufferWrite : kDataBufferRead;
        if (direction == kDirectionNone || dataBuffer != wanted || data.size() < transferLength)
            return Status::Failure(kErrorInvalidParameter);
    }

    sg_io_hdr_t header{};
    header.interface_id = 'S';
    header.dxfer_direction = transferLength == 0          ? SG_DXFER_NONE
                             : direction == kDirectionOut ? SG_DXFER_TO_DEV
                                                          : SG_DXFER_FROM_DEV;
    header.cmd_len = cdbLength;
    header.cmdp = &request[kCdb];
    header.mx_sb_len = senseLength;
    header.sbp = senseLength ? &request[senseOffset] : nullptr;
    header.dxfer_len = transferLength;
    header.dxferp = transferLength ? data.data() : nullptr;
    // Seconds into the kernel's milliseconds, never wrapping to a short limit.
    uint64_t milliseconds = uint64_t{timeoutSeconds} * 1000;
    header.timeout = static_cast<unsigned>(
        std::min<uint64_t>(milliseconds, std::numeric_limits<unsigned>::max()));

    if (host.sgIo(fd, header) != 0) return Status::Failure(WindowsError(errno));
    request[kScsiStatus] = header.status;
    // The transport first: a host or driver that failed leaves no answer to trust.
    if (header.host_status == kHostTimeOut || (header.driver_status & 0x0F) == kDriverTimeout)
        return Status::Failure(kErrorSemaphoreTimeout);
    if (header.host_status != 0) return Status::Failure(kErrorIoDevice);
    if ((header.driver_status & 0x0F) != 0 && (header.driver_status & 0x0F) != kDriverSense)
        return Status::Failure(kErrorIoDevice);
    switch (header.status & 0x7E) {
        case kStatusGood:
        case kStatusConditionMet:
            return Status::Success();
        case kStatusCheckCondition:
            // The drive answered with sense: the core reads it from the request. Without sense
            // nothing says what went wrong, and it must not pass for success.
            if (header.sb_len_wr == 0) return Status::Failure(kErrorIoDevice);
            return Status::Success();
        default:  // busy, reservation conflict, task set full: the command did not run
            return Status::Failure(kErrorIoDevice);
    }
}

}  // namespace platform::linuxhost
