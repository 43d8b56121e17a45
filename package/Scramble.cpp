#include "package/Scramble.h"

namespace package {

void UnscrambleImage(std::span<uint8_t> image, std::span<const uint8_t> keyTable) {
    if (keyTable.size() < kKeySteps) return;
    const size_t stride = image.size() / kKeySteps;
    for (size_t n = 0; n < kKeySteps; ++n) {
        size_t step = (n + 1) % 7;
        if (step == 1 || step == 3) continue;
        size_t position = stride * n + (keyTable[n] & 0x3F);
        if (position >= image.size()) continue;
        image[position] ^= keyTable[n];
    }
}

}  // namespace package
