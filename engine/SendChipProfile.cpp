#include "engine/SendChipProfile.h"

#include <algorithm>

#include "device/CommandSet.h"
#include "package/FlashProfiles.h"

namespace engine {
namespace {
using device::kControlData;
using device::kControlProfile;
constexpr size_t kClearedArea = 32768;
// The first two profiles go to the loader's own address with a 4-byte header and no control.
constexpr uint32_t kSmallProfileOffset = 0x80000;
constexpr int kLastSmallProfileEntry = 1;
// Entries 2 to 4 count their 6-byte header inside the profile length.
constexpr int kFirstHeaderInsideEntry = 2;
constexpr int kLastHeaderInsideEntry = 4;
}  // namespace

bool SendChipProfile(device::AtapiDevice& device) {
    auto out = device.WriteBuffer();
    if (out.size() < kClearedArea) return false;
    std::fill_n(out.begin(), kClearedArea, 0);
    if (!ReadFlashId(device)) return false;
    auto id = device.ReadBuffer();
    int entry = package::FindChipProfile(id[0], id[1], id[2], id[3]);
    if (entry < 0) return false;

    uint32_t length = package::kFlashIdTable[entry].length;
    bool small = entry <= kLastSmallProfileEntry;
    auto header = package::FlashIdBytes(entry).first(small ? 4 : 6);
    auto profile = package::ProfileBytes(entry);
    std::copy(header.begin(), header.end(), out.begin());
    std::copy(profile.begin(), profile.end(), out.begin() + header.size());

    uint32_t transfer = length + (length & 1) + static_cast<uint32_t>(header.size());
    if (entry >= kFirstHeaderInsideEntry && entry <= kLastHeaderInsideEntry) transfer = length;
    if (small) return WriteBuffer(device, kSmallProfileOffset, transfer, kControlData);
    return WriteBuffer(device, 0, transfer, kControlProfile);
}

}  // namespace engine
