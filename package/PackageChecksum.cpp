#include "package/PackageChecksum.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "common/Crc32.h"
#include "package/Package.h"
#include "package/PackageBlock.h"

namespace package {
namespace {
constexpr size_t kMarkerLength = sizeof(kChecksumMarker) - 1;
constexpr size_t kCrcDigits = 10;
static_assert(kChecksumFirstDigit - 1 + kMarkerLength + kCrcDigits == kOptionDigits);

// Digit d (from 1) of PARA_OPT= lies here.
constexpr size_t DigitOffset(int d) {
    return kParaOptOffset + sizeof(kParaOptKey) - 1 + static_cast<size_t>(d - 1);
}
constexpr size_t kMarkerOffset = DigitOffset(kChecksumFirstDigit);
constexpr size_t kCrcOffset = kMarkerOffset + kMarkerLength;
}  // namespace

uint32_t FlashChecksum(std::span<const uint8_t> block) {
    uint32_t crc = common::Crc32(block.subspan(kBinStartOffset, kNewFwOffset - kBinStartOffset));
    crc = common::Crc32(block.subspan(kKeyTablesOffset, kMaxImages * kKeyTableSize), crc);
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

void StampChecksum(std::span<uint8_t> block) {
    char digits[kCrcDigits + 1];
    std::snprintf(digits, sizeof digits, "%010u", static_cast<unsigned>(FlashChecksum(block)));
    std::memcpy(block.data() + kMarkerOffset, kChecksumMarker, kMarkerLength);
    std::memcpy(block.data() + kCrcOffset, digits, kCrcDigits);
}

ChecksumState CheckChecksum(std::span<const uint8_t> block) {
    if (std::memcmp(block.data() + kMarkerOffset, kChecksumMarker, kMarkerLength) != 0)
        return ChecksumState::Absent;
    std::string stored(reinterpret_cast<const char*>(block.data() + kCrcOffset), kCrcDigits);
    char expected[kCrcDigits + 1];
    std::snprintf(expected, sizeof expected, "%010u", static_cast<unsigned>(FlashChecksum(block)));
    return stored == expected ? ChecksumState::Matches : ChecksumState::Differs;
}

}  // namespace package
