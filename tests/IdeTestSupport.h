// Shared set-up for the direct-IDE tests: an emulated PC with the IDE preset, and a driver
// installed and opened on it.
#pragma once

#include <functional>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "directide/RurDriver.h"
#include "platform/emulated/IdePresets.h"
#include "tests/TestMachine.h"

namespace testing_support {

inline TestMachine IdeMachine(platform::emulated::Family family = platform::emulated::Family::Nt) {
    return TestMachine([family](platform::emulated::Machine& m) {
        platform::emulated::MakeIdeMachine(m, family);
    });
}

// Installs and opens the flash driver on the installed System, selects the slot and runs one
// flashing of `image` with `job`'s callbacks; `after` sees the driver once the run is over. The
// sequence's result.
inline uint8_t RunDirectFlash(int slot, std::span<const uint8_t> image, directide::IdeJob job = {},
                              const std::function<void(directide::RurDriver&)>& after = {}) {
    directide::RurDriver driver;
    testing::internal::CaptureStdout();
    driver.InstallAndOpen();
    testing::internal::GetCapturedStdout();
    driver.SelectSlot(slot);
    job.image = image.data();
    job.imageSize = static_cast<uint32_t>(image.size());
    EXPECT_TRUE(driver.ConfigureRun(job));
    driver.RunFlashing();
    if (after) after(driver);
    return driver.flashResult;
}

// A deterministic image of the given size.
inline std::vector<uint8_t> TestImage(size_t size, uint32_t seed = 7) {
    std::vector<uint8_t> image(size);
    uint32_t state = seed;
    for (auto& b : image) {
        state = state * 1103515245u + 12345u;
        b = static_cast<uint8_t>(state >> 16);
    }
    return image;
}

}  // namespace testing_support
