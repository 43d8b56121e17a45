#include "package/PackageBlock.h"

#include <algorithm>
#include <cstring>
#include <functional>

#include "package/UnpackagedHeader.h"

namespace package {

std::string BinStartKey(int n) {
    return "BIN_START" + std::to_string(n) + "=";
}
std::string BinSizeKey(int n) {
    return "BIN_SIZE" + std::to_string(n) + "=";
}
std::string NewFwKey(int n) {
    return "NEW_FW" + std::to_string(n) + "=";
}

std::string FieldText(std::span<const uint8_t> block, size_t offset, size_t size) {
    auto field = block.subspan(offset, size);
    auto end = std::find(field.begin(), field.end(), 0);
    return std::string(field.begin(), end);
}

void SetFieldText(std::span<uint8_t> block, size_t offset, size_t size, const std::string& text) {
    auto field = block.subspan(offset, size);
    std::fill(field.begin(), field.end(), 0);
    std::copy_n(text.begin(), std::min(text.size(), size - 1), field.begin());
}

void WriteUnpackagedBlock(std::span<uint8_t> block) {
    BuildUnpackagedHeader(block.first(kImageAreaOffset));
    std::fill(block.begin() + kImageAreaOffset, block.begin() + kBlockSize, 0);
}

namespace {
bool HasText(std::span<const uint8_t> file, size_t at, const std::string& text) {
    return at + text.size() <= file.size() &&
           std::memcmp(file.data() + at, text.data(), text.size()) == 0;
}

// A block starting at `start`: every key text where the layout puts it.
bool IsBlockAt(std::span<const uint8_t> file, size_t start) {
    if (start + kBlockSize > file.size()) return false;
    if (!HasText(file, start + kParaOptOffset, kParaOptKey)) return false;
    for (int n = 1; n <= kMaxImages; ++n) {
        if (!HasText(file, start + kBinStartOffset + (n - 1) * kBinStartRecordSize,
                     BinStartKey(n)) ||
            !HasText(file, start + kBinSizeOffset + (n - 1) * kBinSizeRecordSize, BinSizeKey(n)) ||
            !HasText(file, start + kNewFwOffset + (n - 1) * kNewFwRecordSize, NewFwKey(n))) {
            return false;
        }
    }
    return true;
}
}  // namespace

int64_t LocateBlock(std::span<const uint8_t> file) {
    // The constraint key with its terminating zero.
    const std::string_view key(kConstraintsKey, sizeof(kConstraintsKey));
    // One pass over the program, however large, skipping ahead by the key's length.
    const std::boyer_moore_horspool_searcher searcher(key.begin(), key.end());
    int64_t found = -1;
    auto from = file.begin();
    while (true) {
        auto hit = std::search(from, file.end(), searcher);
        if (hit == file.end()) break;
        size_t at = static_cast<size_t>(hit - file.begin());
        if (at >= kConstraintsKeyOffset && IsBlockAt(file, at - kConstraintsKeyOffset)) {
            if (found >= 0) return -2;
            found = static_cast<int64_t>(at - kConstraintsKeyOffset);
        }
        from = hit + 1;
    }
    return found;
}

}  // namespace package
