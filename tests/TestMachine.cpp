#include "tests/TestMachine.h"

#include <cstdlib>
#include <filesystem>
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
    std::string pattern = (std::filesystem::temp_directory_path() / "brenvo-test-XXXXXX").string();
    if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
}

TempDir::~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
}

}  // namespace testing_support
