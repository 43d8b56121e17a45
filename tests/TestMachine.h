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
    // A folder of this name in the temporary folder, emptied first: for a death test, whose child
    // on Windows is a new run of the test that must find the same folder.
    explicit TempDir(const std::string& fixedName);
    ~TempDir();
    const std::string& path() const { return path_; }
    // A path in the folder, with the system's own separator (the one the programs' messages use).
    std::string File(const std::string& name) const;

  private:
    std::string path_;
};

// Sets an environment variable for the rest of the process, or removes it (`value` null), on POSIX
// and on Windows alike.
void SetEnvironment(const char* name, const char* value);
// This process's number, as the system gives it.
int ProcessId();

}  // namespace testing_support
