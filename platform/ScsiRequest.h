// The two 80-byte request layouts of the SCSI transports: the 32-bit SCSI_PASS_THROUGH_DIRECT
// with its sense area, and the ASPI manager's SRB_ExecSCSICmd. The core builds and reads them as
// bytes; every backend takes them apart from these offsets.
#pragma once

#include <cstddef>
#include <cstdint>

namespace platform {

inline constexpr size_t kScsiRequestSize = 80;  // pass-through request and ASPI SRB alike

namespace passthrough {
inline constexpr size_t kLength = 0;  // 2 bytes: 44
inline constexpr size_t kScsiStatus = 2;
inline constexpr size_t kPathId = 3;
inline constexpr size_t kTargetId = 4;
inline constexpr size_t kLun = 5;
inline constexpr size_t kCdbLength = 6;
inline constexpr size_t kSenseInfoLength = 7;
inline constexpr size_t kDataIn = 8;
inline constexpr size_t kDataTransferLength = 12;
inline constexpr size_t kTimeOutValue = 16;
inline constexpr size_t kDataBuffer = 20;
inline constexpr size_t kSenseInfoOffset = 24;
inline constexpr size_t kCdb = 28;
inline constexpr size_t kSenseArea = 48;
inline constexpr uint16_t kStructureLength = 44;
inline constexpr uint8_t kSenseLength = 24;
static_assert(kSenseArea + 32 == kScsiRequestSize);
}  // namespace passthrough

namespace aspi {
inline constexpr size_t kCmd = 0;
inline constexpr size_t kStatus = 1;
inline constexpr size_t kHaId = 2;
inline constexpr size_t kFlags = 3;
inline constexpr size_t kTarget = 8;
inline constexpr size_t kLun = 9;
inline constexpr size_t kBufLen = 12;
inline constexpr size_t kBufPointer = 16;
inline constexpr size_t kSenseLen = 20;
inline constexpr size_t kCdbLen = 21;
inline constexpr size_t kHaStat = 22;
inline constexpr size_t kTargStat = 23;
inline constexpr size_t kPostProc = 24;
inline constexpr size_t kCdbByte = 48;
inline constexpr size_t kSenseArea = 64;
static_assert(kSenseArea + 16 == kScsiRequestSize);

inline constexpr uint8_t kScHaInquiry = 0;
inline constexpr uint8_t kScGetDevType = 1;
inline constexpr uint8_t kScExecScsiCmd = 2;
inline constexpr uint8_t kSsPending = 0;
inline constexpr uint8_t kSsComp = 1;
inline constexpr uint8_t kSsErr = 4;
inline constexpr uint8_t kSsInvalidHa = 0x81;
inline constexpr uint8_t kSsNoDevice = 0x82;
inline constexpr uint8_t kSsInvalidSrb = 0xE0;
inline constexpr uint8_t kSsOldManager = 0xE1;
inline constexpr uint8_t kSsIllegalMode = 0xE2;
inline constexpr uint8_t kSsNoAspi = 0xE3;
inline constexpr uint8_t kFlagDataIn = 0x08;
inline constexpr uint8_t kFlagDataOut = 0x10;
inline constexpr uint8_t kFlagEventNotify = 0x40;
inline constexpr uint8_t kSenseLength = 14;

// SRB_HAInquiry (60 bytes) and SRB_GDEVBlock (12 bytes).
inline constexpr size_t kHaInquirySize = 60;
inline constexpr size_t kHaCount = 8;
inline constexpr size_t kHaScsiId = 9;
inline constexpr size_t kManagerId = 10;
inline constexpr size_t kDevTypeSize = 12;
inline constexpr size_t kDeviceType = 10;
}  // namespace aspi

}  // namespace platform
