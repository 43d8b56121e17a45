// The package block: the fixed-layout record inside the executable that carries the firmware.
//
// Offsets are from the first byte of the block. Texts are single-byte, zero-terminated and
// zero-padded to their field's width. Directly behind the header lie one 1024-byte key table per
// image and the 2 MiB image area.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

namespace package {

inline constexpr size_t kCreditOffset = 0, kCreditSize = 21;
inline constexpr size_t kToolTagOffset = 21, kToolTagSize = 28;
inline constexpr size_t kTitleOffset = 49, kTitleSize = 64;
inline constexpr size_t kBuildDateOffset = 113, kBuildDateSize = 12;
inline constexpr size_t kVersionTagOffset = 125, kVersionTagSize = 32;
inline constexpr size_t kDriveNameOffset = 157, kDriveNameSize = 65;
inline constexpr size_t kConstraintsKeyOffset = 222, kConstraintsKeySize = 16;
inline constexpr size_t kConstraintsOffset = 238;
inline constexpr size_t kParaOptOffset = 1774, kParaOptSize = 42;
inline constexpr size_t kBinStartOffset = 1816, kBinStartRecordSize = 22;
inline constexpr size_t kBinSizeOffset = 1904, kBinSizeRecordSize = 21;
inline constexpr size_t kNewFwOffset = 1988, kNewFwRecordSize = 16;
inline constexpr size_t kKeyTablesOffset = 2052, kKeyTableSize = 1024;
inline constexpr size_t kImageAreaOffset = 6148, kImageAreaSize = 2 * 1024 * 1024;
inline constexpr size_t kBlockSize = kImageAreaOffset + kImageAreaSize;

inline constexpr int kMaxImages = 4;
inline constexpr int kEntriesPerImage = 8;
inline constexpr size_t kEntrySize = 48;
inline constexpr size_t kConstraintsSize = kMaxImages * kEntriesPerImage * kEntrySize;

// Inside a constraint entry.
inline constexpr size_t kEntryLowOffset = 0, kEntryLowSize = 8;
inline constexpr size_t kEntryHighOffset = 8, kEntryHighSize = 8;
inline constexpr size_t kEntryVendorOffset = 16, kEntryVendorSize = 12;
inline constexpr size_t kEntryProductOffset = 28, kEntryProductSize = 20;

// Key texts and the widths of the values behind them.
inline constexpr char kConstraintsKey[] = "FW_CONSTRAINTS=";
inline constexpr char kParaOptKey[] = "PARA_OPT=";
inline constexpr size_t kOptionDigits = 32;
inline constexpr size_t kNumberDigits = 10;  // BIN_START / BIN_SIZE values
inline constexpr size_t kNewFwValueSize = 8;
inline constexpr size_t kMaxRevisionLength = 7;

static_assert(kConstraintsOffset + kConstraintsSize == kParaOptOffset);
static_assert(kParaOptOffset + kParaOptSize == kBinStartOffset);
static_assert(kBinStartOffset + kMaxImages * kBinStartRecordSize == kBinSizeOffset);
static_assert(kBinSizeOffset + kMaxImages * kBinSizeRecordSize == kNewFwOffset);
static_assert(kNewFwOffset + kMaxImages * kNewFwRecordSize == kKeyTablesOffset);
static_assert(kKeyTablesOffset + kMaxImages * kKeyTableSize == kImageAreaOffset);
static_assert(sizeof(kParaOptKey) - 1 + kOptionDigits + 1 == kParaOptSize);

// "BIN_START1=", "BIN_SIZE3=", "NEW_FW2=" for image n (1-based).
std::string BinStartKey(int n);
std::string BinSizeKey(int n);
std::string NewFwKey(int n);

// Where the fields of image n (1-based) and entry e (1-based) lie.
constexpr size_t EntryOffset(int image, int entry) {
    return kConstraintsOffset + (image - 1) * kEntriesPerImage * kEntrySize +
           (entry - 1) * kEntrySize;
}
constexpr size_t BinStartValueOffset(int n) {
    return kBinStartOffset + (n - 1) * kBinStartRecordSize + 11;
}
constexpr size_t BinSizeValueOffset(int n) {
    return kBinSizeOffset + (n - 1) * kBinSizeRecordSize + 10;
}
constexpr size_t NewFwValueOffset(int n) {
    return kNewFwOffset + (n - 1) * kNewFwRecordSize + 8;
}
constexpr size_t KeyTableOffset(int n) {
    return kKeyTablesOffset + (n - 1) * kKeyTableSize;
}

static_assert(BinStartValueOffset(1) == 1827 && BinSizeValueOffset(1) == 1914);
static_assert(NewFwValueOffset(1) == 1996 && KeyTableOffset(2) == 3076);

// The zero-terminated text of a field (at most `size` bytes).
std::string FieldText(std::span<const uint8_t> block, size_t offset, size_t size);
// Writes a text into a field, zero-padded. The caller has checked that it fits with its zero.
void SetFieldText(std::span<uint8_t> block, size_t offset, size_t size, const std::string& text);

// The block of this program, in its initialised data.
std::span<uint8_t> OwnBlock();

// A block in the state the build leaves it: placeholders in every constraint entry, no image, the
// key texts in place. Packaging starts from this.
void WriteUnpackagedBlock(std::span<uint8_t> block);

// Finds the block in the bytes of an executable by its key texts: the offset of its first byte, or
// -1 when there is none, -2 when there is more than one.
int64_t LocateBlock(std::span<const uint8_t> file);

}  // namespace package
