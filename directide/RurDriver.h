// RurDriver: the device object of the direct-IDE path.
//
// It installs and opens the kernel flash driver the program carries, speaks the driver's request
// protocol to reach IDE ports and PCI configuration space, keeps the table of the eight IDE device
// slots, and runs the direct flashing sequence that programs a drive's flash chip. Installation
// and the service and device-manager steps are in RurDriver.cpp, the requests and IDE operations
// in RurRequests.cpp, the flashing sequence in RurFlashing.cpp.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>

#include "device/DriveRecord.h"
#include "device/SystemInfo.h"
#include "directide/IdeJob.h"
#include "platform/DriverRequests.h"
#include "platform/System.h"

namespace directide {

// flashResult values.
inline constexpr uint8_t kFlashSuccess = 0;
inline constexpr uint8_t kFlashProgramFailed = 9;  // programming a chunk failed six times
inline constexpr uint8_t kFlashEraseFailed = 10;   // erasing failed
inline constexpr uint8_t kFlashVerifyFailed = 11;  // verifying a chunk failed six times
inline constexpr uint8_t kFlashChipUnknown = 13;   // the flash chip was not identified
inline constexpr uint8_t kFlashImageRefused = 14;  // no image, or one larger than 1 MiB or the chip
inline constexpr uint32_t kMaxFlashImageSize = 32 * 32768;
inline constexpr uint32_t kImageBlockSize = 32768;

inline constexpr int kIdeSlots = 8;
inline constexpr int kMaxCdromDevices = 8;
inline constexpr size_t kDevInfoDataSize = 28;

struct IdeSlotAddress {
    uint16_t port;
    uint8_t select;
};
inline constexpr std::array<IdeSlotAddress, kIdeSlots> kIdeSlotTable = {{
    {0x1F0, 0xA0},
    {0x1F0, 0xB0},
    {0x170, 0xA0},
    {0x170, 0xB0},
    {0x1E8, 0xA0},
    {0x1E8, 0xB0},
    {0x168, 0xA0},
    {0x168, 0xB0},
}};

// The setup API's entry points, found by OpenDriver and shared by every RurDriver of the process.
const platform::SetupApi& SetupApiEntries();

class RurDriver {
  public:
    RurDriver();
    ~RurDriver();
    RurDriver(const RurDriver&) = delete;
    RurDriver& operator=(const RurDriver&) = delete;

    // --- installation and lifetime ---
    void InstallAndOpen();
    bool OpenDriver();
    void InstallDriverService();
    void StartDriverService();
    void EnumerateCdromDevices();
    // Gives the enumerated set back to the setup API (SetupDiDestroyDeviceInfoList).
    void ReleaseCdromDevices();
    bool StopCdromDevices();
    bool StartCdromDevices();
    // The system directory's copy of the driver file for this family; empty when unknown.
    std::string DriverTargetPath();

    // --- IDE and PCI operations ---
    uint32_t PciRead(uint32_t address);
    void PciWrite(uint32_t address, uint32_t value);
    bool SelectAndIdentify(uint16_t port, uint8_t select);
    void DetectDevices();
    void RedetectCurrent();
    uint8_t SelectSlot(int slot);
    int DetectedCount() const;
    const device::DriveRecord* DriveForListPosition(int position) const;
    device::DriveRecord* DriveAtSlot(int slot);
    device::DriveRecord* CurrentDrive() { return DriveAtSlot(currentSlot); }
    void DetectSisChip();
    void RecordPciData();
    void SetSisTiming();
    void RestorePciData();
    void GetDmaMode();
    void SetDmaMode();
    void WaitForDrive();

    // --- the flashing sequence ---
    // False (and nothing stored) for a missing image or one larger than 1 MiB.
    bool ConfigureRun(const IdeJob& job);
    void RunFlashing();
    void PrepareFlashAccess();
    bool IdentifyFlashChip();
    bool EraseChip();
    bool ProgramChunk(uint32_t address);
    bool VerifyChunk(uint32_t address);
    uint8_t WriteFlash();

    // --- installation fields ---
    std::string systemPath;
    std::string workPath;
    std::string tempDir;
    std::string tempFile;
    uint32_t fileAttributes = 0;
    platform::Handle driverHandle = platform::kInvalidHandle;
    std::array<platform::Handle, 2> channelHandles = {platform::kInvalidHandle,
                                                      platform::kInvalidHandle};
    bool setupApiModule = false;
    platform::DeviceSet cdromDevices = platform::kInvalidDeviceSet;
    std::array<std::array<uint8_t, kDevInfoDataSize>, kMaxCdromDevices> cdromInfo{};
    int32_t cdromCount = 0;
    device::OSInfo osInfo;
    bool ntFamily = false;
    uint32_t lastError = 0;

    // --- request protocol fields ---
    std::array<uint8_t, kIdentifyReplySize> identifyBuffer{};
    uint16_t currentPort = 0x1F0;
    uint8_t currentSelect = 0xA0;
    int32_t currentSlot = 0;
    bool sisFound = false;
    uint32_t sisAddress = 0;
    uint32_t savedTiming40 = 0;
    uint32_t savedTiming44 = 0;
    uint8_t mwdmaMode = 0, mwdmaActive = 0, udmaMode = 0, udmaActive = 0;
    std::array<uint8_t, kIdeSlots> slotPresent{};
    std::array<std::array<char, 32>, kIdeSlots> slotName{};
    std::array<std::array<char, 8>, kIdeSlots> slotRevision{};
    std::array<device::DriveRecord, kIdeSlots> ideDrives{};

    // --- flashing fields ---
    std::span<const uint8_t> flashImage;
    uint32_t flashImageSize = 0;
    std::function<void(int)> onProgress;
    std::function<void(const std::string&)> onStatus;
    std::array<const uint8_t*, 32> imageBlocks{};
    uint8_t blockIndex = 0;
    uint16_t blockOffset = 0;
    uint8_t chipIndex = 0;
    uint8_t chipMethod = 0;
    uint8_t retriedIdentify = 0;
    uint8_t flashResult = 0;

  private:
    // One driver request; false when there is no driver or the call fails (the output then
    // reads zero). Written to the trace when one is open.
    // The driver gets `in` itself: a request without output answers in it.
    bool Request(DriverRequest request, std::span<uint8_t> in, std::span<uint8_t> out);
    // `sent`, when given, says whether the driver took the request at all.
    uint8_t SendSelectDevice(uint16_t port, uint8_t select, uint32_t partner, bool* sent = nullptr);
    void PortWrite(uint32_t port, uint32_t value);
    uint32_t PortRead(uint32_t port);
    uint8_t StatusRequest(DriverRequest request);
    void DetectSlot(int slot);
    bool ReadFlashByte(uint32_t address, uint8_t& value);
    // The chunk at (blockIndex, blockOffset), padded with the erased value past the image's end.
    std::array<uint8_t, kChunkSize> ChunkBytes() const;
    void Status(const char* text);
    void PlaceDriverFile(std::span<const uint8_t> image);
};

}  // namespace directide
