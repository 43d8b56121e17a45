// A fresh emulated PC installed as the process's System for one test.
#pragma once

#include <memory>
#include <string>

#include "platform/System.h"
#include "platform/emulated/EmulatedSystem.h"
#include "platform/emulated/Machine.h"

namespace testing_support {

class TestMachine {
  public:
    // A default machine: NT family, administrator, virtual clock.
    TestMachine();
    // A machine set up by `configure` before the System is installed.
    template <typename Configure>
    explicit TestMachine(Configure configure)
        : machine_(std::make_shared<platform::emulated::Machine>()) {
        configure(*machine_);
        Install();
    }

    platform::emulated::Machine& machine() { return *machine_; }
    std::shared_ptr<platform::emulated::Machine> shared() { return machine_; }
    platform::System& system() { return platform::CurrentSystem(); }
    // Virtual seconds since the machine was made.
    double Now() { return machine_->Clock().NowSeconds(); }

  private:
    void Install();

    std::shared_ptr<platform::emulated::Machine> machine_;
    std::unique_ptr<platform::ScopedSystem> scope_;
};

// A temporary folder, removed with everything in it at the end of the test.
class TempDir {
  public:
    TempDir();
    ~TempDir();
    const std::string& path() const { return path_; }
    std::string File(const std::string& name) const { return path_ + "/" + name; }

  private:
    std::string path_;
};

}  // namespace testing_support
