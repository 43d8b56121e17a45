// The flash identification table and where each profile lies.
#include <gtest/gtest.h>

#include "package/FlashProfiles.h"

namespace {
using namespace package;

TEST(FindChipProfile, MatchesAllFourBytesIncludingPlatformAndReserved) {
    EXPECT_EQ(FindChipProfile(0xBF, 0xB6, 0x00, 0x01), 3);
    EXPECT_EQ(FindChipProfile(0xDA, 0xC8, 0x00, 0x00), 0);
    EXPECT_EQ(FindChipProfile(0xBF, 0xD8, 0x00, 0x8A), 39) << "not 31, 35 or 38";
    EXPECT_EQ(FindChipProfile(0xBF, 0xD8, 0x00, 0x0A), 38);
    EXPECT_EQ(FindChipProfile(0xBF, 0xD8, 0x00, 0x05), 31);
    EXPECT_EQ(FindChipProfile(0xBF, 0xB6, 0x01, 0x01), -1) << "reserved byte must be 0";
    EXPECT_EQ(FindChipProfile(0x00, 0x00, 0x00, 0x00), -1);
    EXPECT_EQ(FindChipProfile(0xBF, 0x41, 0x00, 0x0E), 49);
}

TEST(ProfileOffset, SharedProfilesStartTogetherAndTheLastEndsTheArea) {
    EXPECT_EQ(ProfileOffset(0), 0u);
    EXPECT_EQ(ProfileOffset(1), 314u);
    EXPECT_EQ(ProfileOffset(2), 314u + 452u);
    EXPECT_EQ(ProfileOffset(3), ProfileOffset(2)) << "entries 2 and 3 share profile 2";
    EXPECT_EQ(ProfileOffset(4), ProfileOffset(2) + 1280);
    EXPECT_EQ(ProfileOffset(49), 34516u);
    EXPECT_EQ(ProfileOffset(49) + kFlashIdTable[49].length, kProfileAreaSize);
    // Every profile number starts where the previous profile ends.
    for (int i = 1; i < kFlashIdEntries; ++i) {
        const auto& prev = kFlashIdTable[i - 1];
        const auto& e = kFlashIdTable[i];
        if (e.profile == prev.profile) {
            EXPECT_EQ(ProfileOffset(i), ProfileOffset(i - 1));
            EXPECT_EQ(e.length, prev.length) << "entries of one profile carry one length";
        } else {
            EXPECT_EQ(e.profile, prev.profile + 1);
            EXPECT_EQ(ProfileOffset(i), ProfileOffset(i - 1) + prev.length);
        }
    }
}

TEST(FlashProfileData, TablesLieBackToBackAsTheDriveExpects) {
    const FlashProfileData& d = FlashProfiles();
    EXPECT_EQ(reinterpret_cast<const uint8_t*>(&d.idTable) - d.profileArea.data(),
              static_cast<ptrdiff_t>(kProfileAreaSize));
    auto entry3 = FlashIdBytes(3);
    EXPECT_EQ(std::vector<uint8_t>(entry3.begin(), entry3.end()),
              (std::vector<uint8_t>{0xBF, 0xB6, 0x00, 0x01, 0x05, 0x00}));
    EXPECT_EQ(d.idTableEnd[0], 0);
    EXPECT_EQ(d.idTableEnd[1], 0);
    EXPECT_EQ(d.profileNumbers[49], 31u);
    // The stand-in profiles 2..31 begin with a long jump, as the drive's loader expects.
    for (int i = 2; i < kFlashIdEntries; ++i)
        EXPECT_EQ(ProfileBytes(i)[0], 0x02) << i;
    EXPECT_NE(ProfileBytes(0)[0], 0x02);
    // Each stand-in names itself, so a wrong offset shows as the wrong banner.
    auto banner = [](int entry) {
        auto p = ProfileBytes(entry);
        return std::string(p.begin() + 3, p.begin() + 35);
    };
    EXPECT_EQ(banner(3), "BRENVO STAND-IN FLASH PROFILE 02");
    EXPECT_EQ(banner(49), "BRENVO STAND-IN FLASH PROFILE 31");
}

}  // namespace
