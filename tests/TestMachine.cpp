#include "tests/TestMachine.h"

#include <cstdlib>
#include <filesystem>
#include <random>
#include <stdexcept>

namespace testing_support {

TestMachine::TestMachine() : machine_(std::make_shared<platform::emulated::Machine>()) {
    Install();
}

void TestMachine::Install() {
    scope_ = std::make_unique<platform::ScopedSystem>(
        std::make_unique<platform::emulated::EmulatedSystem>(machine_));
}

TempDir::TempDir() {
    // create_directory fails on a name that exists, so two runs never share a folder.
    std::random_device random;
    for (int attempt = 0; attempt < 100; ++attempt) {
        auto candidate =
            std::filesystem::temp_directory_path() / ("brenvo-test-" + std::to_string(random()));
        std::error_code ec;
        if (std::filesystem::create_directory(candidate, ec)) {
            path_ = candidate.string();
            return;
        }
    }
    throw std::runtime_error("cannot make a temporary folder");
}

TempDir::~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
}

}  // namespace testing_support
