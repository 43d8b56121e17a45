#include "platform/emulated/FirmwareImage.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <optional>

#include "common/Crc32.h"

namespace platform::emulated {
namespace {
constexpr size_t kMarkerLength = sizeof(kFirmwareMarker) - 1;
constexpr size_t kSizeOffset = kFirmwareMarkerOffset + kMarkerLength + 4 + 7;
constexpr size_t kCrcOffset = kSizeOffset + 8;
constexpr size_t kIdentityEnd = kCrcOffset + 8;
// An erased chip holds 0xFF; a flash whose start is erased holds no firmware.
constexpr size_t kErasedProbe = 0x100;

std::string Fit(const std::string& text, size_t width) {
    std::string fitted = text.substr(0, width);
    fitted.resize(width, ' ');
    return fitted;
}

std::string Hex8(uint32_t value) {
    char text[9];
    std::snprintf(text, sizeof text, "%08X", value);
    return text;
}

std::optional<uint32_t> ParseHex8(const uint8_t* at) {
    uint32_t value = 0;
    for (int i = 0; i < 8; ++i) {
        char c = static_cast<char>(at[i]);
        int digit = c >= '0' && c <= '9' ? c - '0' : c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1;
        if (digit < 0) return std::nullopt;
        value = value << 4 | static_cast<uint32_t>(digit);
    }
    return value;
}

// The CRC-32 of an image without its own CRC digits.
uint32_t ImageCrc(std::span<const uint8_t> image) {
    uint32_t crc = common::Crc32(image.first(kCrcOffset));
    return common::Crc32(image.subspan(kIdentityEnd), crc);
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
    std::string identity =
        kFirmwareMarker + Fit(revision, 4) + Fit(tag, 7) + Hex8(static_cast<uint32_t>(size));
    std::memcpy(image.data() + kFirmwareMarkerOffset, identity.data(), identity.size());
    image.resize(size);
    if (size >= kIdentityEnd) {
        std::string crc = Hex8(ImageCrc(image));
        std::memcpy(image.data() + kCrcOffset, crc.data(), crc.size());
    }
    return image;
}

FirmwareIdentity IdentityOfFlash(std::span<const uint8_t> flash,
                                 const std::string& previousRevision) {
    const FirmwareIdentity notWhole{"0000", "", true};
    if (flash.size() >= kIdentityEnd &&
        std::memcmp(flash.data() + kFirmwareMarkerOffset, kFirmwareMarker, kMarkerLength) == 0) {
        const uint8_t* at = flash.data() + kFirmwareMarkerOffset + kMarkerLength;
        auto size = ParseHex8(flash.data() + kSizeOffset);
        auto crc = ParseHex8(flash.data() + kCrcOffset);
        if (!size || !crc || *size < kIdentityEnd || *size > flash.size() ||
            ImageCrc(flash.first(*size)) != *crc)
            return notWhole;
        const char* text = reinterpret_cast<const char*>(at);
        return {std::string(text, 4), std::string(text + 4, 7), false};
    }
    size_t probe = std::min(flash.size(), kErasedProbe);
    if (std::all_of(flash.begin(), flash.begin() + probe, [](uint8_t b) { return b == 0xFF; }))
        return notWhole;
    uint32_t crc = common::Crc32(flash);
    char revision[8];
    std::snprintf(revision, sizeof revision, "%04X", crc & 0xFFFF);
    if (previousRevision == revision) std::snprintf(revision, sizeof revision, "%04X", crc >> 16);
    if (previousRevision == revision)
        std::snprintf(revision, sizeof revision, "%04X", ~crc & 0xFFFF);
    return {revision, std::string(revision) + "-00", false};
}

}  // namespace platform::emulated
