#include "platform/emulated/FirmwareImage.h"

#include <cstdio>
#include <cstring>

#include "common/Crc32.h"

namespace platform::emulated {
namespace {
constexpr size_t kMarkerLength = sizeof(kFirmwareMarker) - 1;
constexpr size_t kIdentityEnd = kFirmwareMarkerOffset + kMarkerLength + 4 + 7;

std::string Fit(const std::string& text, size_t width) {
    std::string fitted = text.substr(0, width);
    fitted.resize(width, ' ');
    return fitted;
}
}  // namespace

std::vector<uint8_t> MakeFirmwareImage(const std::string& revision, const std::string& driveTag,
                                       size_t size) {
    std::vector<uint8_t> image(std::max(size, kIdentityEnd));
    // A xorshift stream seeded by the revision: two revisions give two different images.
    auto seedText = reinterpret_cast<const uint8_t*>(revision.data());
    uint32_t state = common::Crc32({seedText, revision.size()}) | 1u;
    for (auto& byte : image) {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        byte = static_cast<uint8_t>(state >> 24);
    }
    std::string tag = driveTag.empty() ? Fit(revision, 4) + "-00" : driveTag;
    std::string identity = kFirmwareMarker + Fit(revision, 4) + Fit(tag, 7);
    std::memcpy(image.data() + kFirmwareMarkerOffset, identity.data(), identity.size());
    image.resize(size);
    return image;
}

FirmwareIdentity IdentityOfFlash(std::span<const uint8_t> flash,
                                 const std::string& previousRevision) {
    if (flash.size() >= kIdentityEnd &&
        std::memcmp(flash.data() + kFirmwareMarkerOffset, kFirmwareMarker, kMarkerLength) == 0) {
        const char* at =
            reinterpret_cast<const char*>(flash.data()) + kFirmwareMarkerOffset + kMarkerLength;
        return {std::string(at, 4), std::string(at + 4, 7)};
    }
    uint32_t crc = common::Crc32(flash);
    char revision[8];
    std::snprintf(revision, sizeof revision, "%04X", crc & 0xFFFF);
    if (previousRevision == revision) std::snprintf(revision, sizeof revision, "%04X", crc >> 16);
    if (previousRevision == revision)
        std::snprintf(revision, sizeof revision, "%04X", ~crc & 0xFFFF);
    return {revision, std::string(revision) + "-00"};
}

}  // namespace platform::emulated
