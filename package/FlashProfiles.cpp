#include "package/FlashProfiles.h"

#include <string_view>

namespace package {

// maker, device, reserved, platform, length, profile
constexpr std::array<FlashIdEntry, kFlashIdEntries> kFlashIdTable = {{
    {0xDA, 0xC8, 0x00, 0x00, 314, 0},   {0xBF, 0xB4, 0x00, 0x00, 452, 1},
    {0xBF, 0xD6, 0x00, 0x01, 1280, 2},  {0xBF, 0xB6, 0x00, 0x01, 1280, 2},
    {0x37, 0x8C, 0x00, 0x01, 1280, 3},  {0xBF, 0xD7, 0x00, 0x03, 998, 4},
    {0x37, 0x0D, 0x00, 0x02, 796, 5},   {0xBF, 0xB6, 0x00, 0x02, 694, 6},
    {0xBF, 0xD6, 0x00, 0x02, 694, 6},   {0xDA, 0xB5, 0x00, 0x02, 698, 7},
    {0xDA, 0xB5, 0x00, 0x01, 1280, 8},  {0xBF, 0xD7, 0x00, 0x04, 854, 9},
    {0xC2, 0xB6, 0x00, 0x03, 830, 10},  {0xDA, 0x46, 0x00, 0x03, 742, 11},
    {0x37, 0xB5, 0x00, 0x03, 946, 12},  {0xC2, 0xB6, 0x00, 0x07, 798, 13},
    {0xDA, 0x46, 0x00, 0x07, 710, 14},  {0x37, 0xB5, 0x00, 0x04, 942, 15},
    {0x37, 0xB5, 0x00, 0x07, 802, 16},  {0x9D, 0x3E, 0x00, 0x04, 986, 17},
    {0xDA, 0xB6, 0x00, 0x07, 754, 18},  {0x6A, 0xBF, 0x00, 0x09, 1602, 19},
    {0xBF, 0x43, 0x00, 0x09, 1602, 19}, {0x9D, 0x7D, 0x00, 0x09, 1602, 19},
    {0xBF, 0x44, 0x00, 0x07, 1926, 20}, {0xEF, 0x32, 0x00, 0x07, 1926, 20},
    {0x9D, 0x7E, 0x00, 0x07, 1926, 20}, {0xC2, 0x20, 0x00, 0x07, 1926, 20},
    {0xC2, 0x12, 0x00, 0x07, 1926, 20}, {0xBF, 0x49, 0x00, 0x0C, 1486, 21},
    {0x9D, 0x7C, 0x00, 0x0C, 1486, 21}, {0xBF, 0xD8, 0x00, 0x05, 1234, 22},
    {0x01, 0x37, 0x00, 0x05, 1234, 22}, {0xC2, 0x37, 0x00, 0x05, 1234, 22},
    {0xC2, 0x38, 0x00, 0x05, 1234, 22}, {0xBF, 0xD8, 0x00, 0x06, 1078, 23},
    {0x01, 0x37, 0x00, 0x06, 1122, 24}, {0xC2, 0x37, 0x00, 0x06, 1138, 25},
    {0xBF, 0xD8, 0x00, 0x0A, 1078, 26}, {0xBF, 0xD8, 0x00, 0x8A, 1054, 27},
    {0xBF, 0x40, 0x00, 0x0B, 2430, 28}, {0xBF, 0x80, 0x00, 0x0B, 2430, 28},
    {0xC2, 0x13, 0x00, 0x0B, 2430, 28}, {0xBF, 0x80, 0x00, 0x0D, 2166, 29},
    {0xBF, 0x40, 0x00, 0x0D, 2166, 29}, {0xEF, 0x14, 0x00, 0x0D, 2046, 30},
    {0xEF, 0x14, 0x00, 0x0E, 2166, 31}, {0xC2, 0x14, 0x00, 0x0E, 2166, 31},
    {0x01, 0x14, 0x00, 0x0E, 2166, 31}, {0xBF, 0x41, 0x00, 0x0E, 2166, 31},
}};

namespace {

constexpr std::array<FlashIdEntry, kFlashIdEntries> kTableForBuild = kFlashIdTable;

constexpr size_t ProfileOffsetIn(const std::array<FlashIdEntry, kFlashIdEntries>& table,
                                 int entry) {
    size_t offset = 0;
    for (int j = 1; j <= entry; ++j) {
        if (table[j].profile != table[j - 1].profile) offset += table[j - 1].length;
    }
    return offset;
}

// The real profiles are drive microcode that comes with a vendor's package and is not ours to
// ship. This build carries a stand-in of exactly the same lengths: each profile begins as the
// real ones do (a long jump for profiles 2..31), names itself as a stand-in, and is filled with a
// pattern fixed by its number, so every profile is distinct and any mix-up shows.
constexpr void FillStandInProfile(std::span<uint8_t> profile, uint32_t number) {
    size_t at = 0;
    if (number >= 2) {
        profile[at++] = 0x02;  // LJMP
        profile[at++] = static_cast<uint8_t>(0x40 + number);
        profile[at++] = 0x00;
    } else {
        profile[at++] = static_cast<uint8_t>(0xA0 + number);
    }
    constexpr std::string_view banner = "BRENVO STAND-IN FLASH PROFILE ";
    for (char c : banner)
        profile[at++] = static_cast<uint8_t>(c);
    profile[at++] = static_cast<uint8_t>('0' + number / 10);
    profile[at++] = static_cast<uint8_t>('0' + number % 10);
    profile[at++] = 0;
    uint32_t state = 0x9E3779B9u ^ (number * 0x85EBCA6Bu);
    for (; at < profile.size(); ++at) {
        state = state * 1664525u + 1013904223u;
        profile[at] = static_cast<uint8_t>(state >> 24);
    }
}

constexpr FlashProfileData BuildData() {
    FlashProfileData data{};
    const auto& table = kTableForBuild;
    for (int i = 0; i < kFlashIdEntries; ++i) {
        const auto& e = table[i];
        data.idTable[i * kFlashIdEntrySize + 0] = e.maker;
        data.idTable[i * kFlashIdEntrySize + 1] = e.device;
        data.idTable[i * kFlashIdEntrySize + 2] = e.reserved;
        data.idTable[i * kFlashIdEntrySize + 3] = e.platform;
        data.idTable[i * kFlashIdEntrySize + 4] = static_cast<uint8_t>(e.length >> 8);
        data.idTable[i * kFlashIdEntrySize + 5] = static_cast<uint8_t>(e.length);
        data.profileNumbers[i] = e.profile;
        if (i == 0 || table[i - 1].profile != e.profile) {
            std::span<uint8_t> area(data.profileArea);
            FillStandInProfile(area.subspan(ProfileOffsetIn(table, i), e.length), e.profile);
        }
    }
    return data;
}

static_assert(ProfileOffsetIn(kTableForBuild, 49) + 2166 == kProfileAreaSize,
              "the profiles fill the profile area exactly");

constinit const FlashProfileData kData = BuildData();

}  // namespace

const FlashProfileData& FlashProfiles() {
    return kData;
}

int FindChipProfile(uint8_t maker, uint8_t device, uint8_t reserved, uint8_t platform) {
    for (int i = 0; i < kFlashIdEntries; ++i) {
        const auto& e = kFlashIdTable[i];
        if (e.maker == maker && e.device == device && e.reserved == reserved &&
            e.platform == platform) {
            return i;
        }
    }
    return -1;
}

size_t ProfileOffset(int entry) {
    return ProfileOffsetIn(kFlashIdTable, entry);
}

std::span<const uint8_t> FlashIdBytes(int entry) {
    return std::span<const uint8_t>(kData.idTable)
        .subspan(entry * kFlashIdEntrySize, kFlashIdEntrySize);
}

std::span<const uint8_t> ProfileBytes(int entry) {
    return std::span<const uint8_t>(kData.profileArea)
        .subspan(ProfileOffset(entry), kFlashIdTable[entry].length);
}

}  // namespace package
