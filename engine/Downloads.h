// Carrying an unscrambled firmware image into a drive: the block download, the two-bank download
// and the verified download. Each reports only success or failure.
//
// An image whose size the procedure cannot transfer whole is refused before anything is sent:
// a drive must never be committed with part of an image.
#pragma once

#include <cstdint>
#include <span>

#include "device/AtapiDevice.h"

namespace engine {

inline constexpr uint32_t kBlockSize = 4096;
inline constexpr uint32_t kBankSize = 65536;
inline constexpr uint32_t kBankImageSize = 2 * kBankSize;
inline constexpr uint32_t kBankChunkSize = 4096;
inline constexpr uint32_t kVerifiedChunkSize = 2048;
// WRITE BUFFER and READ BUFFER offsets are 24-bit.
inline constexpr uint32_t kLargestVerifiedImage = 1u << 24;
inline constexpr int kDownloadAttempts = 3;

// Busy-waits on the device's general stopwatch.
void WaitSeconds(device::AtapiDevice& device, double seconds);

// Vendor download blocks of 4096 bytes with their sums, then the vendor commit. The size must be
// a non-zero multiple of 4096.
bool BlockDownload(device::AtapiDevice& device, std::span<const uint8_t> image);
// Two 64 KiB halves, the upper one first, each written, read back, compared and committed to its
// bank. The image must be exactly 128 KiB and the chunk size must divide 64 KiB.
bool BankDownload(device::AtapiDevice& device, std::span<const uint8_t> image, uint32_t chunkSize,
                  bool commitVariant);
// Writes and reads back one half of a 128 KiB image in chunks; three attempts.
bool TransferAndVerify(device::AtapiDevice& device, std::span<const uint8_t> image, int half,
                       uint32_t chunkSize);
// 2048-byte chunks, each written and read back before the next, then the commit. The size must
// be a non-zero multiple of 2048 of at most 16 MiB.
bool VerifiedDownload(device::AtapiDevice& device, std::span<const uint8_t> image,
                      bool commitVariant);

}  // namespace engine
