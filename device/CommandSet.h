// The commands the program sends to a drive, and the small polling helpers built on them.
//
// Each operation fills one 12-byte block, hands it to AtapiDevice::Execute and reads the answer
// from the device's read buffer. Every operation succeeds exactly when the outcome is 1.
#pragma once

#include <cstdint>

#include "device/AtapiDevice.h"

namespace device {

// WRITE BUFFER control bytes.
inline constexpr uint8_t kControlData = 0x00;
inline constexpr uint8_t kControlProfile = 0x7F;
inline constexpr uint8_t kControlCommit = 0x80;
inline constexpr uint8_t kControlCommitVariant = 0xA0;
// CommitBuffer without a bank.
inline constexpr uint8_t kNoBank = 255;

// A drive that keeps answering unit attention is given up on after this many tries.
inline constexpr int kUnitAttentionTries = 1000;

bool SenseIs(const AtapiDevice& device, uint8_t key);
bool SenseIs(const AtapiDevice& device, uint8_t key, uint8_t asc);

bool TestUnitReady(AtapiDevice& device);
bool Inquiry(AtapiDevice& device, uint8_t evpd, uint8_t page, uint8_t allocationLength);
bool StartStopUnit(AtapiDevice& device, bool immediate, uint8_t powerCondition, bool loadEject,
                   bool start);
bool LoadTray(AtapiDevice& device);
bool EjectTray(AtapiDevice& device);
bool StopUnit(AtapiDevice& device);
bool IsTrayOpen(AtapiDevice& device);
bool ReadDiscInformation(AtapiDevice& device);
// 0 none, 1 started but not running, 2 in progress, 3 completed; 4 when the command fails.
uint8_t BackgroundFormatStatus(AtapiDevice& device);
bool StopBackgroundFormat(AtapiDevice& device);
bool ReadBuffer(AtapiDevice& device, uint32_t offset, uint32_t length);
bool WriteBuffer(AtapiDevice& device, uint32_t offset, uint32_t length, uint8_t control);
bool CommitBuffer(AtapiDevice& device, uint8_t bank, uint8_t control);
bool ReadFlashId(AtapiDevice& device);
bool ReadDriveTag(AtapiDevice& device);
bool DownloadOpen(AtapiDevice& device);
// Sends the `length` bytes at the start of the write buffer followed by their 16-bit byte sum.
bool DownloadBlock(AtapiDevice& device, uint32_t offset, uint32_t length);
bool DownloadCommit(AtapiDevice& device, uint32_t total);

// Repeats TEST UNIT READY while it fails with unit attention, at most kUnitAttentionTries times.
// True when the drive stopped answering unit attention.
bool WaitNoUnitAttention(AtapiDevice& device);
// Polls every 300 ms while the drive is becoming ready or reports unit attention; false only when
// `seconds` ran out on the device's stopwatch.
bool WaitReady(AtapiDevice& device, double seconds);
bool IsMediumAbsent(AtapiDevice& device);

}  // namespace device
