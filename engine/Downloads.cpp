#include "engine/Downloads.h"

#include <algorithm>
#include <cstring>

#include "device/CommandSet.h"
#include "engine/SendChipProfile.h"
#include "package/PackageFlaws.h"

namespace engine {
// brenvo-pack refuses the images these downloads cannot send whole, by the same sizes.
static_assert(kBankImageSize == package::kTwoBankImageSize &&
              kVerifiedChunkSize == package::kChunkSize &&
              kLargestVerifiedImage == package::kLargestChunkedImage);

namespace {
using device::kControlCommit;
using device::kControlCommitVariant;
using device::kControlData;
using device::kNoBank;
constexpr double kReadyWaitSeconds = 60;
constexpr double kPauseBeforeBankCommit = 1.0;
constexpr double kPauseBeforeCommit = 3.0;

uint8_t FinalControl(bool commitVariant) {
    return commitVariant ? kControlCommitVariant : kControlCommit;
}
}  // namespace

void WaitSeconds(device::AtapiDevice& device, double seconds) {
    device.stopwatch.WaitSeconds(seconds);
}

bool BlockDownload(device::AtapiDevice& device, std::span<const uint8_t> image) {
    if (image.empty() || image.size() % kBlockSize != 0 || image.size() > UINT32_MAX) return false;
    auto out = device.WriteBuffer();
    if (out.size() < kBlockSize + 2) return false;
    // A drive in its boot loader (revision starting with "0") takes blocks without opening.
    if (device.Current().revision[0] != '0' && !DownloadOpen(device)) return false;
    uint32_t blocks = static_cast<uint32_t>(image.size() / kBlockSize);
    for (int attempt = 0; attempt < kDownloadAttempts; ++attempt) {
        bool sentAll = true;
        for (uint32_t j = 0; j < blocks && sentAll; ++j) {
            std::fill_n(out.begin(), kBlockSize, 0);
            std::copy_n(image.begin() + j * kBlockSize, kBlockSize, out.begin());
            sentAll = DownloadBlock(device, j * kBlockSize, kBlockSize);
        }
        if (sentAll) return DownloadCommit(device, static_cast<uint32_t>(image.size()));
    }
    return false;
}

bool TransferAndVerify(device::AtapiDevice& device, std::span<const uint8_t> image, int half,
                       uint32_t chunkSize) {
    if (half < 0 || half > 1 || chunkSize == 0 || kBankSize % chunkSize != 0 ||
        image.size() < (static_cast<size_t>(half) + 1) * kBankSize)
        return false;
    auto out = device.WriteBuffer();
    auto in = device.ReadBuffer();
    if (out.size() < chunkSize || in.size() < chunkSize) return false;
    auto source = image.subspan(half * kBankSize, kBankSize);
    uint32_t chunks = kBankSize / chunkSize;
    for (int attempt = 0; attempt < kDownloadAttempts; ++attempt) {
        bool good = true;
        // Offsets restart at 0 for each half: the bank of the commit says where it goes.
        for (uint32_t j = 0; j < chunks && good; ++j) {
            std::copy_n(source.begin() + j * chunkSize, chunkSize, out.begin());
            good = WriteBuffer(device, j * chunkSize, chunkSize, kControlData);
        }
        for (uint32_t k = 0; k < chunks && good; ++k) {
            good = ReadBuffer(device, k * chunkSize, chunkSize) &&
                   std::memcmp(in.data(), source.data() + k * chunkSize, chunkSize) == 0;
        }
        if (good) return true;
    }
    return false;
}

bool BankDownload(device::AtapiDevice& device, std::span<const uint8_t> image, uint32_t chunkSize,
                  bool commitVariant) {
    if (image.size() != kBankImageSize || chunkSize == 0 || kBankSize % chunkSize != 0)
        return false;
    for (uint8_t bank : {uint8_t{1}, uint8_t{0}}) {
        WaitReady(device, kReadyWaitSeconds);
        SendChipProfile(device);
        if (!TransferAndVerify(device, image, bank, chunkSize)) return false;
        WaitSeconds(device, kPauseBeforeBankCommit);
        // The upper half is always committed with the plain control.
        uint8_t control = bank == 1 ? kControlCommit : FinalControl(commitVariant);
        if (!CommitBuffer(device, bank, control)) return false;
    }
    return true;
}

bool VerifiedDownload(device::AtapiDevice& device, std::span<const uint8_t> image,
                      bool commitVariant) {
    if (image.empty() || image.size() % kVerifiedChunkSize != 0 ||
        image.size() > kLargestVerifiedImage)
        return false;
    auto out = device.WriteBuffer();
    auto in = device.ReadBuffer();
    if (out.size() < kVerifiedChunkSize || in.size() < kVerifiedChunkSize) return false;
    WaitReady(device, kReadyWaitSeconds);
    StopUnit(device);
    SendChipProfile(device);
    uint32_t chunks = static_cast<uint32_t>(image.size() / kVerifiedChunkSize);
    bool transferred = false;
    for (int attempt = 0; attempt < kDownloadAttempts && !transferred; ++attempt) {
        bool good = true;
        for (uint32_t i = 0; i < chunks && good; ++i) {
            std::fill_n(out.begin(), kVerifiedChunkSize, 0);
            std::fill_n(in.begin(), kVerifiedChunkSize, 0);
            const uint8_t* chunk = image.data() + static_cast<size_t>(i) * kVerifiedChunkSize;
            std::copy_n(chunk, kVerifiedChunkSize, out.begin());
            uint32_t offset = i * kVerifiedChunkSize;
            good = WriteBuffer(device, offset, kVerifiedChunkSize, kControlData) &&
                   ReadBuffer(device, offset, kVerifiedChunkSize) &&
                   std::memcmp(in.data(), chunk, kVerifiedChunkSize) == 0;
        }
        transferred = good;
    }
    if (!transferred) return false;
    WaitSeconds(device, kPauseBeforeCommit);
    return CommitBuffer(device, kNoBank, FinalControl(commitVariant));
}

}  // namespace engine
