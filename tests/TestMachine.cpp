#include "tests/TestMachine.h"

#ifdef _WIN32
#include <process.h>
#else
#include <unistd.h>
#endif

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

TempDir::TempDir(const std::string& fixedName) {
    auto folder = std::filesystem::temp_directory_path() / fixedName;
    std::filesystem::remove_all(folder);
    std::filesystem::create_directory(folder);
    path_ = folder.string();
}

std::string TempDir::File(const std::string& name) const {
    return (std::filesystem::path(path_) / name).string();
}

TempDir::~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
}

void SetEnvironment(const char* name, const char* value) {
#ifdef _WIN32
    _putenv_s(name, value ? value : "");
#else
    if (value)
        setenv(name, value, 1);
    else
        unsetenv(name);
#endif
}

int ProcessId() {
#ifdef _WIN32
    return _getpid();
#else
    return getpid();
#endif
}

}  // namespace testing_support
