// The device object of the SCSI path: the transport to the optical drives (pass-through on the NT
// family, the ASPI manager elsewhere), the opened drive, the two transfer buffers, the outcome of
// the last command and the table of enumerated drives.
//
// `Execute` is the only door to a drive. Callers fill the write buffer or read the read buffer at
// offset 0; they never pass data pointers.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "common/Bytes.h"
#include "device/DriveRecord.h"
#include "device/HiTimer.h"
#include "device/SystemInfo.h"
#include "platform/ScsiRequest.h"
#include "platform/System.h"

namespace device {
// The requests' layouts are the seam's: the backends read what the core writes.
inline constexpr size_t kRequestSize = platform::kScsiRequestSize;
namespace passthrough = platform::passthrough;
namespace aspi = platform::aspi;
using common::PutLe16;
using common::PutLe32;

// The outcome of a command.
inline constexpr uint8_t kOutcomeFailed = 0;  // transport failure or time-out: no sense to trust
inline constexpr uint8_t kOutcomeSuccess = 1;
inline constexpr uint8_t kOutcomeCheckCondition = 2;  // the drive answered with sense data

// Transfer directions.
inline constexpr uint8_t kDataOut = 0;
inline constexpr uint8_t kDataIn = 1;
inline constexpr uint8_t kNoData = 2;

class AtapiDevice {
  public:
    static constexpr uint32_t kBufferSize = 65536;
    // A commit writes the flash and may take very long; any other command a drive answers within
    // a minute. A drive that lets kUnansweredLimit commands in a row run into their time-out (it
    // answers BUSY for ever, or not at all) has stopped answering.
    static constexpr uint32_t kDefaultTimeout = 108000;
    static constexpr uint32_t kCommandTimeout = 60;
    static constexpr int kUnansweredLimit = 2;
    static constexpr int16_t kNoCurrentDrive = 127;

    // Chooses the transport and enumerates and identifies the drives.
    AtapiDevice();
    ~AtapiDevice();
    AtapiDevice(const AtapiDevice&) = delete;
    AtapiDevice& operator=(const AtapiDevice&) = delete;

    // --- the command executor ---
    // Sends a 12-byte block to the opened drive. True exactly when the outcome is 1. A length
    // above the buffer size fails with outcome 0 before anything is sent.
    bool Execute(std::span<const uint8_t, 12> cdb, uint8_t direction, uint32_t length);
    void SetTimeout(uint32_t seconds) { timeout = seconds; }
    // Nothing more is sent to the drive until it is opened again: its state is unknown.
    bool StoppedAnswering() const { return unanswered_ >= kUnansweredLimit; }
    // Loads "WNASPI32" and checks the manager; shows a message box and returns false on failure.
    bool LoadAspi();
    void UnloadAspi();

    // --- enumeration (DriveEnumeration.cpp) ---
    void Enumerate();
    bool OpenDrive(int index);
    void CloseDrive();
    bool IdentifyCurrent();
    bool ReidentifyCurrent();
    uint16_t DriveCount() const { return driveCount; }
    // The record, or null when the index is not below the count or the record is not present.
    const DriveRecord* DriveAt(int index) const;
    DriveRecord* DriveAt(int index);
    int16_t CurrentIndex() const { return currentIndex; }
    bool IsPresent(int index) const;

    // --- accessors ---
    uint8_t Outcome() const { return outcome; }
    uint8_t SenseKey() const { return senseKey; }
    uint8_t Asc() const { return asc; }
    uint8_t Ascq() const { return ascq; }
    std::span<uint8_t> ReadBuffer() { return {readBuffer.get(), readBufferSize}; }
    std::span<uint8_t> WriteBuffer() { return {writeBuffer.get(), writeBufferSize}; }
    uint32_t LastError() const { return lastError; }
    uint8_t WorkerStatus() const { return workerStatus; }
    const DriveIdentification& Current() const { return current; }

    // The fields, in the order the drive family's tools keep them.
    HiTimer stopwatch;         // waits of the command set
    HiTimer commandStopwatch;  // times each command
    std::array<uint8_t, kRequestSize> passThroughRequest{};
    std::array<uint8_t, kRequestSize> aspiRequest{};
    bool getSupportInfoEntry = false;  // resolved from WNASPI32
    bool sendCommandEntry = false;
    uint16_t driveCount = 0;
    platform::Handle aspiModule = platform::kNullModule;
    int16_t currentIndex = kNoCurrentDrive;
    std::array<DriveRecord, kDriveTableSize> drives{};
    uint32_t timeout = kCommandTimeout;
    int16_t adapter = -1;
    int16_t target = -1;
    int16_t lun = -1;
    int16_t path = -1;
    platform::Handle driveHandle = platform::kInvalidHandle;
    std::unique_ptr<uint8_t[]> readBuffer;
    std::unique_ptr<uint8_t[]> writeBuffer;
    uint32_t readBufferSize = 0;
    uint32_t readBufferCapacity = 0;
    uint32_t writeBufferSize = 0;
    uint32_t writeBufferCapacity = 0;
    DriveIdentification current;
    OSInfo systemInfo;
    uint8_t useAspi = 0;
    uint32_t lastError = 0;
    uint8_t outcome = 0;
    uint8_t senseKey = 0;
    uint8_t asc = 0;
    uint8_t ascq = 0;
    double elapsed = 0;
    uint32_t transferred = 0;
    uint8_t timedOut = 0;
    std::array<uint8_t, 12> lastCommand{};
    uint8_t workerStatus = 0;
    // Drives the scan found but could not open because another program holds them ("E:\\").
    std::vector<std::string> heldRoots;

  private:
    bool transportTimedOut_ = false;  // the transport gave up on the last command at its time-out
    int unanswered_ = 0;              // commands in a row that ran into their time-out
    bool ExecutePassThrough(std::span<const uint8_t, 12> cdb, uint8_t direction, uint32_t length,
                            bool& completed);
    bool ExecuteAspi(std::span<const uint8_t, 12> cdb, uint8_t direction, uint32_t length,
                     bool& completed);
    std::span<uint8_t> DataFor(uint8_t direction, uint32_t length, uint32_t& tag);
    void ScanDriveLetters();
    void ScanAspi();
    void SortTable();
};

}  // namespace device
