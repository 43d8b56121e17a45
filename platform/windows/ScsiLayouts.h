// The structures the drives' port driver and the device manager read, as the program builds them
// (their 32-bit layouts, as bytes) and as this build's SDK declares them.
//
// A 32-bit build hands the pass-through request over as it is; a 64-bit build translates it to
// the native structure, whose pointer is 8 bytes wide. Each native layout is checked against the
// documented one for this build's pointer size, so a header or packing that disagrees stops the
// build instead of sending a drive a garbled request.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "platform/System.h"
#include "platform/windows/Win32.h"

namespace platform::windows {

// Where each field of SCSI_PASS_THROUGH_DIRECT lies.
struct PassThroughLayout {
    size_t length, scsiStatus, pathId, targetId, lun, cdbLength, senseInfoLength, dataIn,
        dataTransferLength, timeOutValue, dataBuffer, senseInfoOffset, cdb, size;
    constexpr bool operator==(const PassThroughLayout&) const = default;
};

// The documented layouts. The 32-bit one is the request the program builds, so it is read from
// the program's own offsets: the checks below hold the program to the SDK's structure.
inline constexpr PassThroughLayout kPassThrough32{passthrough::kLength,
                                                  passthrough::kScsiStatus,
                                                  passthrough::kPathId,
                                                  passthrough::kTargetId,
                                                  passthrough::kLun,
                                                  passthrough::kCdbLength,
                                                  passthrough::kSenseInfoLength,
                                                  passthrough::kDataIn,
                                                  passthrough::kDataTransferLength,
                                                  passthrough::kTimeOutValue,
                                                  passthrough::kDataBuffer,
                                                  passthrough::kSenseInfoOffset,
                                                  passthrough::kCdb,
                                                  passthrough::kStructureLength};
inline constexpr PassThroughLayout kPassThrough64{0, 2, 3, 4, 5, 6, 7, 8, 12, 16, 24, 32, 36, 56};
inline constexpr PassThroughLayout kNativePassThrough =
    sizeof(void*) == 8 ? kPassThrough64 : kPassThrough32;
// The program's request keeps its sense area here, 32 bytes of room.
inline constexpr size_t kRequestSenseArea = passthrough::kSenseArea;
inline constexpr size_t kRequestSenseRoom = kScsiRequestSize - kRequestSenseArea;

template <typename T>
constexpr PassThroughLayout LayoutOf() {
    return {offsetof(T, Length),
            offsetof(T, ScsiStatus),
            offsetof(T, PathId),
            offsetof(T, TargetId),
            offsetof(T, Lun),
            offsetof(T, CdbLength),
            offsetof(T, SenseInfoLength),
            offsetof(T, DataIn),
            offsetof(T, DataTransferLength),
            offsetof(T, TimeOutValue),
            offsetof(T, DataBuffer),
            offsetof(T, SenseInfoOffset),
            offsetof(T, Cdb),
            sizeof(T)};
}

static_assert(LayoutOf<SCSI_PASS_THROUGH_DIRECT>() == kNativePassThrough,
              "SCSI_PASS_THROUGH_DIRECT is not the documented layout for this pointer size");
static_assert(sizeof(SCSI_ADDRESS) == kScsiAddressSize && offsetof(SCSI_ADDRESS, PortNumber) == 4 &&
                  offsetof(SCSI_ADDRESS, Lun) == 7,
              "SCSI_ADDRESS is not the documented layout");
static_assert(IOCTL_SCSI_PASS_THROUGH_DIRECT == kIoctlScsiPassThroughDirect &&
              IOCTL_SCSI_GET_ADDRESS == kIoctlScsiGetAddress);

// The native request: the structure, then its sense area.
struct NativePassThrough {
    SCSI_PASS_THROUGH_DIRECT request;
    ULONG filler;
    UCHAR sense[kRequestSenseRoom];
};
static_assert(sizeof(void*) == 8 || offsetof(NativePassThrough, sense) == kRequestSenseArea,
              "a 32-bit build hands the program's request over as it is");

// The program's 80-byte request as the native structure, with the data buffer's real address.
NativePassThrough ToNative(std::span<const uint8_t, kScsiRequestSize> request, void* buffer);
// What the system wrote back (status, transferred length, sense) into the program's request.
void FromNative(const NativePassThrough& native, std::span<uint8_t, kScsiRequestSize> request);

}  // namespace platform::windows
