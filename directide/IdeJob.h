// The direct-IDE block of a flash job: what the flash worker hands to the flashing sequence.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace directide {

struct IdeJob {
    const uint8_t* image = nullptr;  // the worker puts its own unscrambled copy here
    std::string text;                // empty
    uint32_t imageSize = 0;
    uint8_t mode = 1;
    uint8_t reserved = 0;
    uint32_t word1 = 0;
    uint32_t word2 = 0;
    std::function<void(int percent)> onProgress;  // may run past 100 on a partial last chunk
    std::function<void(const std::string& text)> onStatus;
};

}  // namespace directide
