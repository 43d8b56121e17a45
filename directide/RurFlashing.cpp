#include <algorithm>

#include "directide/RurDriver.h"
#include "package/PackageFlaws.h"
#include "platform/FlashChips.h"

namespace directide {
// brenvo-pack refuses a direct-IDE image larger than this flashes.
static_assert(kMaxFlashImageSize == package::kLargestDirectIdeImage);

namespace {
using platform::CurrentSystem;

constexpr int kChunkAttempts = 6;  // programming and verifying share them
constexpr int kFlashRequestRetries = 1000;
constexpr uint8_t kErasedByte = 0xFF;
// The only chip whose erase takes the alternate sequence: maker 0x20, device 0xEF.
constexpr uint8_t kAlternateEraseRow = 1;

// Sends a request until `done` says its reply succeeded, at most `retries` further attempts with
// `delayMs` between them.
template <typename Send>
bool Retry(int retries, uint32_t delayMs, Send send) {
    for (int attempt = 0;; ++attempt) {
        if (send()) return true;
        if (attempt >= retries) return false;
        CurrentSystem().Sleep(delayMs);
    }
}
}  // namespace

bool RurDriver::ConfigureRun(const IdeJob& job) {
    if (job.image == nullptr || job.imageSize == 0 || job.imageSize > kMaxFlashImageSize) {
        flashImage = {};
        flashImageSize = 0;
        return false;
    }
    flashImage = std::span<const uint8_t>(job.image, job.imageSize);
    flashImageSize = job.imageSize;
    onProgress = job.onProgress;
    onStatus = job.onStatus;
    imageBlocks.fill(nullptr);
    for (uint32_t b = 0; b * kImageBlockSize < flashImageSize; ++b) {
        imageBlocks[b] = job.image + b * kImageBlockSize;
    }
    return true;
}

void RurDriver::Status(const char* text) {
    if (onStatus) onStatus(text);
}

void RurDriver::RunFlashing() {
    auto& system = CurrentSystem();
    flashResult = kFlashSuccess;
    if (flashImageSize == 0) {
        // No image was accepted: nothing is touched, and the run does not pass for a success.
        flashResult = kFlashImageRefused;
        return;
    }
    Status("Stop CDROM ...");
    if (ntFamily) {
        EnumerateCdromDevices();
        StopCdromDevices();
    } else {
        Request(DriverRequest::StopCdrom, {}, {});  // neither input nor output
    }
    Status("DetectSiSChip ...");
    DetectSisChip();
    Status("RecordPCIData ...");
    RecordPciData();
    Status("SetSiSTimming ...");
    SetSisTiming();
    system.Sleep(1000);
    Status("UpdateMessage ...");
    WaitForDrive();
    Status("GetDMAMode ...");
    GetDmaMode();
    Status("WriteCmd ...");
    flashResult = WriteFlash();
    Status("RestorePCIData ...");
    RestorePciData();
    Status("ResetDevice ...");
    Retry(16, 50, [&] { return StatusRequest(DriverRequest::ResetDevice) != 0; });
    system.Sleep(3000);
    Status("SetDMAMode ...");
    SetDmaMode();
    system.Sleep(1000);
    DetectDevices();
    if (ntFamily) StartCdromDevices();
}

void RurDriver::PrepareFlashAccess() {
    Retry(16, 50, [&] { return StatusRequest(DriverRequest::PrepareFlash) != 0; });
}

bool RurDriver::IdentifyFlashChip() {
    retriedIdentify = 0;
    uint32_t alternate = 0;
    for (;;) {
        std::array<uint8_t, kFlashIdRequestSize> buffer{};
        bool answered = Retry(kFlashRequestRetries, 50, [&] {
            buffer.fill(0);
            PutLe32(buffer.data() + 8, alternate);
            Request(DriverRequest::IdentifyFlash, buffer, buffer);
            return buffer[12] != 0;
        });
        if (!answered) return false;
        chipIndex = static_cast<uint8_t>(FindFlashChip(buffer[0], buffer[4]));
        chipMethod = kFlashChips[chipIndex].method;
        if (chipIndex != kUnknownChipRow) return true;
        if (retriedIdentify) return false;
        retriedIdentify = 1;
        alternate = 1;
    }
}

bool RurDriver::EraseChip() {
    if (chipMethod != 1) return true;
    // The flag travels inside the declared input, so the driver can choose the erase sequence.
    std::array<uint8_t, kEraseRequestSize> in{};
    PutLe32(in.data() + kEraseFlagOffset,
            (retriedIdentify && chipIndex == kAlternateEraseRow) ? 1 : 0);
    return Retry(kFlashRequestRetries, 100, [&] {
        std::array<uint8_t, kStatusSize> out{};
        Request(DriverRequest::EraseFlash, in, out);
        return out[0] != 0;
    });
}

std::array<uint8_t, kChunkSize> RurDriver::ChunkBytes() const {
    std::array<uint8_t, kChunkSize> chunk;
    chunk.fill(kErasedByte);
    size_t start = size_t{blockIndex} * kImageBlockSize + blockOffset;
    if (start < flashImageSize) {
        size_t count = std::min(kChunkSize, flashImageSize - start);
        std::copy_n(imageBlocks[blockIndex] + blockOffset, count, chunk.begin());
    }
    return chunk;
}

bool RurDriver::ProgramChunk(uint32_t address) {
    std::array<uint8_t, kProgramRequestSize> in{};
    PutLe32(in.data(), address);
    auto chunk = ChunkBytes();
    std::copy(chunk.begin(), chunk.end(), in.begin() + kProgramDataOffset);
    DriverRequest request =
        chipMethod == 0 ? DriverRequest::ProgramPage : DriverRequest::ProgramBlock;
    return Retry(kFlashRequestRetries, 500, [&] {
        std::array<uint8_t, kStatusSize> out{};
        Request(request, in, out);
        return out[0] != 0;
    });
}

bool RurDriver::ReadFlashByte(uint32_t address, uint8_t& value) {
    std::array<uint8_t, kFlashByteRequestSize> buffer{};
    bool read = Retry(kFlashRequestRetries, 50, [&] {
        buffer.fill(0);
        PutLe32(buffer.data(), address);
        PutLe32(buffer.data() + 8, 1);
        Request(DriverRequest::ReadFlashByte, buffer, buffer);
        return buffer[12] != 0;
    });
    value = buffer[4];
    return read;
}

bool RurDriver::VerifyChunk(uint32_t address) {
    auto chunk = ChunkBytes();
    for (uint32_t i = 0; i < kChunkSize; ++i) {
        uint8_t value = 0;
        if (!ReadFlashByte(address + i, value)) return false;
        if (value == chunk[i]) continue;
        // One second look: a byte may read wrong once.
        if (!ReadFlashByte(address + i, value)) return false;
        if (value != chunk[i]) return false;
    }
    return true;
}

uint8_t RurDriver::WriteFlash() {
    PrepareFlashAccess();
    if (!IdentifyFlashChip()) return kFlashChipUnknown;
    // An image the chip cannot hold is refused before the erase leaves the drive without firmware.
    if (flashImageSize > kFlashChips[chipIndex].size) return kFlashImageRefused;
    if (!EraseChip()) return kFlashEraseFailed;
    uint32_t address = 0, written = 0;
    blockIndex = 0;
    blockOffset = 0;
    if (onProgress) onProgress(0);
    Status("Updating ...");
    while (written < flashImageSize) {
        for (int attempts = 0;; ++attempts) {
            if (!ProgramChunk(address)) {
                if (attempts >= kChunkAttempts - 1) return kFlashProgramFailed;
                continue;
            }
            if (VerifyChunk(address)) break;
            if (attempts >= kChunkAttempts - 1) return kFlashVerifyFailed;
        }
        address += kChunkSize;
        written += kChunkSize;
        blockOffset = static_cast<uint16_t>(blockOffset + kChunkSize);
        if (blockOffset == kImageBlockSize) {
            blockOffset = 0;
            ++blockIndex;
        }
        if (onProgress) onProgress(static_cast<int>(uint64_t{address} * 100 / flashImageSize));
    }
    return kFlashSuccess;
}

}  // namespace directide
