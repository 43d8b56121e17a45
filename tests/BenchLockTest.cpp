// One run holds a bench at a time; reading a bench needs no lock.
#include <gtest/gtest.h>

#include <cstdlib>

#include "platform/MachineSession.h"
#include "platform/System.h"
#include "platform/emulated/BenchFile.h"
#include "platform/emulated/BenchLock.h"
#include "tests/TestMachine.h"

namespace {
using namespace platform::emulated;
using testing_support::TempDir;

class BenchInUse : public ::testing::Test {
  protected:
    BenchInUse() : path_(dir_.File("pc.json")) {
        Machine machine;
        SaveBench(machine, path_);
        testing_support::SetEnvironment("BRENVO_MACHINE", path_.c_str());
    }
    ~BenchInUse() override {
        testing_support::SetEnvironment("BRENVO_MACHINE", nullptr);
        platform::RemoveSystem();
    }

    std::string InUse() const {
        return path_ + " is in use by another run (process " +
               std::to_string(testing_support::ProcessId()) + "); try again when it has ended";
    }

    TempDir dir_;
    std::string path_;
};

TEST_F(BenchInUse, ASecondRunIsRefusedUntilTheFirstHasWrittenItsStateBack) {
    platform::MachineSession first, second;
    std::string error;
    ASSERT_TRUE(first.Open(error)) << error;
    platform::CurrentSystem().SetRegistryString(platform::RegistryRoot::LocalMachine,
                                                "SOFTWARE\\Brenvo", "Run", "first");

    EXPECT_FALSE(second.Open(error));
    EXPECT_EQ(error, InUse());
    EXPECT_NO_THROW(LoadBench(path_)) << "brenvo-bench show reads a bench in use";

    ASSERT_TRUE(first.Finish(error)) << error;
    ASSERT_TRUE(second.Open(error)) << error;
    EXPECT_EQ(platform::CurrentSystem().QueryRegistryString(platform::RegistryRoot::LocalMachine,
                                                            "SOFTWARE\\Brenvo", "Run"),
              "first")
        << "the second run finds the first one's state";
}

TEST_F(BenchInUse, ARunThatEndsWithoutFinishingLetsGo) {
    std::string error;
    {
        BenchLock lock;
        ASSERT_EQ(lock.Acquire(path_, error), BenchLock::Result::Held) << error;
        platform::MachineSession refused;
        EXPECT_FALSE(refused.Open(error));
        EXPECT_EQ(error, InUse());
    }
    platform::MachineSession session;
    EXPECT_TRUE(session.Open(error)) << error;
}

}  // namespace
