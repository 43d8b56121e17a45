// Flash profiles: the drive microcode that tells a drive's loader how to program the flash chip it
// carries, and the table that maps a chip identification to its profile.
//
// The tables are written once here and used by the program and by the emulated drive alike.
#pragma once

#include <array>
#include <cstdint>
#include <span>

namespace package {

inline constexpr int kProfileCount = 32;
inline constexpr int kFlashIdEntries = 50;
inline constexpr size_t kFlashIdEntrySize = 6;
inline constexpr size_t kProfileAreaSize = 36682;

struct FlashIdEntry {
    uint8_t maker;
    uint8_t device;
    uint8_t reserved;
    uint8_t platform;
    uint16_t length;   // profile length in bytes (stored big-endian in the table)
    uint32_t profile;  // profile number 0..31
};

// The 50 entries in table order.
extern const std::array<FlashIdEntry, kFlashIdEntries> kFlashIdTable;

// The three tables as they lie back to back in the program's data: the profile area, the 6-byte
// identification entries followed by two zero bytes, and the profile numbers.
struct FlashProfileData {
    std::array<uint8_t, kProfileAreaSize> profileArea;
    std::array<uint8_t, kFlashIdEntries * kFlashIdEntrySize> idTable;
    std::array<uint8_t, 2> idTableEnd;
    std::array<uint32_t, kFlashIdEntries> profileNumbers;
};
const FlashProfileData& FlashProfiles();

// First entry whose four identification bytes equal the given ones, or -1.
int FindChipProfile(uint8_t maker, uint8_t device, uint8_t reserved, uint8_t platform);

// Where entry i's profile starts in the profile area: the total length of all profiles before it.
size_t ProfileOffset(int entry);
// The entry's 6 table bytes (identification and big-endian length).
std::span<const uint8_t> FlashIdBytes(int entry);
// The entry's profile bytes.
std::span<const uint8_t> ProfileBytes(int entry);

}  // namespace package
