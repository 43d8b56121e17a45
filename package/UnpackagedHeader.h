// The header of a block as the build leaves it (no package written yet).
//
// Used at compile time to initialise the program's own block and at run time by the packaging
// step. It writes the texts field by field, so no ready-made copy of a whole header lies in any
// program: the packaging step finds exactly one block by its key texts.
#pragma once

#include <array>
#include <string_view>

#include "package/PackageBlock.h"

namespace package {

// The option digits of an unpackaged program: the usual defaults, but no image, so a program that
// was never packaged says "No F/W in executable !" instead of flashing an empty image.
inline constexpr char kUnpackagedOptions[] = "00010110000001100000000000000000";

namespace detail {
constexpr void Put(std::span<uint8_t> header, size_t offset, std::string_view text) {
    for (size_t i = 0; i < text.size(); ++i)
        header[offset + i] = static_cast<uint8_t>(text[i]);
}
}  // namespace detail

constexpr void BuildUnpackagedHeader(std::span<uint8_t> header) {
    using detail::Put;
    for (auto& b : header)
        b = 0;
    Put(header, kCreditOffset, "[Brenvo unpackaged ]");
    Put(header, kToolTagOffset, "Brenvo build placeholder");
    Put(header, kTitleOffset, "Brenvo - no firmware package");
    Put(header, kBuildDateOffset, "0000/00/00");
    Put(header, kVersionTagOffset, "[no package]");
    Put(header, kDriveNameOffset, "(no drive: unpackaged)");
    Put(header, kConstraintsKeyOffset, kConstraintsKey);
    for (int k = 1; k <= kMaxImages; ++k) {
        for (int e = 1; e <= kEntriesPerImage; ++e) {
            size_t at = EntryOffset(k, e);
            char placeholder[] = "#FLSH00";
            placeholder[5] = static_cast<char>('0' + k);
            placeholder[6] = static_cast<char>('0' + e);
            Put(header, at + kEntryLowOffset, placeholder);
            Put(header, at + kEntryHighOffset, "#");
            Put(header, at + kEntryVendorOffset, "#");
            Put(header, at + kEntryProductOffset, "#");
        }
    }
    Put(header, kParaOptOffset, kParaOptKey);
    Put(header, kParaOptOffset + 9, kUnpackagedOptions);
    for (int n = 1; n <= kMaxImages; ++n) {
        char startKey[] = "BIN_START0=0000000000";
        char sizeKey[] = "BIN_SIZE0=0000000000";
        char newFwKey[] = "NEW_FW0=N/A ";
        startKey[9] = sizeKey[8] = newFwKey[6] = static_cast<char>('0' + n);
        Put(header, kBinStartOffset + (n - 1) * kBinStartRecordSize, startKey);
        Put(header, kBinSizeOffset + (n - 1) * kBinSizeRecordSize, sizeKey);
        Put(header, kNewFwOffset + (n - 1) * kNewFwRecordSize, newFwKey);
    }
}

}  // namespace package
