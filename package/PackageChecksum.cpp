#include "package/PackageChecksum.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>

#include "common/Crc32.h"
#include "package/Package.h"
#include "package/PackageBlock.h"

namespace package {
namespace {
constexpr size_t kMarkerLength = sizeof(kChecksumMarker) - 1;
static_assert(sizeof kFlashChecksumMarker == sizeof kChecksumMarker);
constexpr size_t kCrcDigits = 10;
static_assert(kChecksumFirstDigit - 1 + kMarkerLength + kCrcDigits == kOptionDigits);

// Digit d (from 1) of PARA_OPT= lies here.
constexpr size_t DigitOffset(int d) {
    return kParaOptOffset + sizeof(kParaOptKey) - 1 + static_cast<size_t>(d - 1);
}
constexpr size_t kMarkerOffset = DigitOffset(kChecksumFirstDigit);
constexpr size_t kCrcOffset = kMarkerOffset + kMarkerLength;
constexpr size_t kTailEnd = kCrcOffset + kCrcDigits;

// Continues `crc` over every image that lies inside the image area, in the order of the records.
uint32_t ImagesChecksum(std::span<const uint8_t> block, uint32_t crc) {
    for (int n = 1; n <= kMaxImages; ++n) {
        int64_t start = DecimalValue(FieldText(block, BinStartValueOffset(n), kNumberDigits + 1));
        int64_t size = DecimalValue(FieldText(block, BinSizeValueOffset(n), kNumberDigits + 1));
        if (start < 0 || size <= 0 || start + size > static_cast<int64_t>(kImageAreaSize)) continue;
        crc = common::Crc32(
            block.subspan(kImageAreaOffset + static_cast<size_t>(start), static_cast<size_t>(size)),
            crc);
    }
    return crc;
}

std::string Digits(uint32_t crc) {
    char digits[kCrcDigits + 1];
    std::snprintf(digits, sizeof digits, "%010u", static_cast<unsigned>(crc));
    return digits;
}
}  // namespace

uint32_t BlockChecksum(std::span<const uint8_t> block) {
    uint32_t crc = common::Crc32(block.first(kMarkerOffset));
    crc = common::Crc32(block.subspan(kTailEnd, kImageAreaOffset - kTailEnd), crc);
    return ImagesChecksum(block, crc);
}

uint32_t FlashChecksum(std::span<const uint8_t> block) {
    uint32_t crc = common::Crc32(block.subspan(kBinStartOffset, kNewFwOffset - kBinStartOffset));
    crc = common::Crc32(block.subspan(kKeyTablesOffset, kMaxImages * kKeyTableSize), crc);
    return ImagesChecksum(block, crc);
}

void StampChecksum(std::span<uint8_t> block) {
    std::memcpy(block.data() + kMarkerOffset, kChecksumMarker, kMarkerLength);
    std::memcpy(block.data() + kCrcOffset, Digits(BlockChecksum(block)).data(), kCrcDigits);
}

bool ChecksumCoversWholeBlock(std::span<const uint8_t> block) {
    return std::string_view(reinterpret_cast<const char*>(block.data() + kMarkerOffset),
                            kMarkerLength) == kChecksumMarker;
}

ChecksumState CheckChecksum(std::span<const uint8_t> block) {
    std::string_view tail(reinterpret_cast<const char*>(block.data() + kMarkerOffset),
                          kTailEnd - kMarkerOffset);
    if (tail.find_first_not_of('0') == std::string_view::npos) return ChecksumState::Absent;
    std::string_view marker = tail.substr(0, kMarkerLength), stored = tail.substr(kMarkerLength);
    // A marker damaged into something else must not turn the check off.
    if (stored.find_first_not_of("0123456789") != std::string_view::npos)
        return ChecksumState::BadMarker;
    if (marker == kChecksumMarker)
        return stored == Digits(BlockChecksum(block)) ? ChecksumState::Matches
                                                      : ChecksumState::Differs;
    if (marker == kFlashChecksumMarker)
        return stored == Digits(FlashChecksum(block)) ? ChecksumState::Matches
                                                      : ChecksumState::Differs;
    return ChecksumState::BadMarker;
}

}  // namespace package
