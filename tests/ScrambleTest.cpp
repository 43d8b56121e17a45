// Unscrambling images: which bytes change, and that nothing outside the image is touched.
#include <gtest/gtest.h>

#include <numeric>
#include <vector>

#include "package/Scramble.h"

namespace {
using package::UnscrambleImage;

std::vector<uint8_t> KeyTable(uint8_t seed) {
    std::vector<uint8_t> key(1024);
    uint32_t state = seed;
    for (auto& k : key) {
        state = state * 1103515245u + 12345u;
        k = static_cast<uint8_t>(state >> 16) | 0x01;  // never 0, so every active step shows
    }
    return key;
}

TEST(UnscrambleImage, TouchesOnlyTheFirst64BytesOfEachStrideAndSkipsTwoStepsInSeven) {
    const size_t size = 1024 * 1024;
    std::vector<uint8_t> image(size, 0);
    auto key = KeyTable(7);
    UnscrambleImage(image, key);
    size_t changed = 0;
    for (size_t p = 0; p < size; ++p) {
        if (image[p] == 0) continue;
        ++changed;
        size_t n = p / 1024;
        EXPECT_LT(p % 1024, 64u) << "position " << p;
        EXPECT_EQ(p, 1024 * n + (key[n] & 0x3F));
        EXPECT_EQ(image[p], key[n]);
        size_t step = (n + 1) % 7;
        EXPECT_TRUE(step != 1 && step != 3) << "step " << n << " must leave the image alone";
    }
    // 1024 steps, of which those with (n + 1) mod 7 in {1, 3} are skipped.
    size_t skipped = 0;
    for (size_t n = 0; n < 1024; ++n)
        skipped += ((n + 1) % 7 == 1 || (n + 1) % 7 == 3);
    EXPECT_EQ(changed, 1024 - skipped);
    for (size_t p = 0; p < 64; ++p)
        EXPECT_EQ(image[p], 0) << "step 0 never changes stride 0";
}

TEST(UnscrambleImage, IsItsOwnInverse) {
    std::vector<uint8_t> image(131072);
    std::iota(image.begin(), image.end(), 0);
    const auto original = image;
    auto key = KeyTable(3);
    UnscrambleImage(image, key);
    EXPECT_NE(image, original);
    UnscrambleImage(image, key);
    EXPECT_EQ(image, original);
}

TEST(UnscrambleImage, NeverWritesPastTheEndOfASmallImage) {
    // A 1000-byte image has strides of 0 bytes: every position falls in 0..63. A 5000-byte image
    // has strides of 4, and most positions would lie past its end.
    for (size_t size : {1000u, 5000u, 1023u, 1025u, 65535u}) {
        std::vector<uint8_t> memory(size + 256, 0xEE);
        std::span<uint8_t> image(memory.data(), size);
        std::fill(image.begin(), image.end(), 0);
        UnscrambleImage(image, KeyTable(static_cast<uint8_t>(size)));
        for (size_t p = size; p < memory.size(); ++p) {
            ASSERT_EQ(memory[p], 0xEE) << "byte " << p << " behind a " << size << "-byte image";
        }
    }
}

TEST(UnscrambleImage, SmallImagesStillRoundTrip) {
    std::vector<uint8_t> image(5000);
    std::iota(image.begin(), image.end(), 1);
    const auto original = image;
    auto key = KeyTable(9);
    UnscrambleImage(image, key);
    UnscrambleImage(image, key);
    EXPECT_EQ(image, original);
}

}  // namespace
