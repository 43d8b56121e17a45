// The stopwatch, the platform family, the administrator check and the forced restart, on the
// emulated PC.
#include <gtest/gtest.h>

#include "device/HiTimer.h"
#include "device/SystemInfo.h"
#include "tests/TestMachine.h"

namespace {
using device::HiTimer;
using platform::emulated::Family;
using platform::emulated::Machine;
using testing_support::TestMachine;

TEST(HiTimer, AnEmptyRunReadsZeroNotTheOverheadOfTheCalls) {
    TestMachine pc;
    HiTimer timer;
    ASSERT_FALSE(timer.unavailable);
    EXPECT_GT(timer.overhead, 0) << "each counter reading costs a polling quantum here";
    timer.Start(true);
    timer.Stop();
    EXPECT_NEAR(timer.TotalSeconds(), 0.0, 1e-9);
}

TEST(HiTimer, RunAndTotalReadingsFollowTheirRules) {
    TestMachine pc;
    HiTimer timer;
    EXPECT_EQ(timer.RunSeconds(), 0) << "not running";
    timer.Start(true);
    pc.system().Sleep(2000);
    EXPECT_NEAR(static_cast<double>(timer.RunSeconds()), 2.0, 1e-3);
    timer.Stop();
    EXPECT_EQ(timer.RunSeconds(), 0) << "stopped again";
    EXPECT_NEAR(timer.TotalSeconds(), 2.0, 1e-3);
    timer.Start(false);  // a second run adds to the total
    pc.system().Sleep(500);
    timer.Stop();
    EXPECT_NEAR(timer.TotalSeconds(), 2.5, 1e-3);
    timer.Start(true);  // the reset flag discards it
    timer.Stop();
    EXPECT_NEAR(timer.TotalSeconds(), 0.0, 1e-6);
}

TEST(HiTimer, TotalWhileRunningUsesTheLastReadingWithoutANewOne) {
    TestMachine pc;
    HiTimer timer;
    timer.Start(true);
    pc.system().Sleep(1000);
    timer.RunSeconds();  // stores the reading
    pc.system().Sleep(5000);
    EXPECT_NEAR(timer.TotalSeconds(), 1.0, 1e-3);
}

TEST(HiTimer, WaitSecondsPollsTheCounterUntilTheTimeHasPassed) {
    TestMachine pc;
    HiTimer timer;
    double before = pc.Now();
    timer.WaitSeconds(3);
    EXPECT_NEAR(pc.Now() - before, 3.0, 0.01);
    EXPECT_FALSE(timer.Running());

    before = pc.Now();
    timer.WaitSeconds(0);
    EXPECT_LT(pc.Now() - before, 0.001) << "a zero wait returns after one reading";
}

TEST(HiTimer, WithoutACounterReadingsAreZeroAndWaitsStillEnd) {
    TestMachine pc([](Machine& m) { m.clockSettings.counterPresent = false; });
    HiTimer timer;
    EXPECT_TRUE(timer.unavailable);
    timer.Start(true);
    pc.system().Sleep(1000);
    timer.Stop();
    EXPECT_EQ(timer.TotalSeconds(), 0);
    EXPECT_EQ(timer.RunSeconds(), 0);
    double before = pc.Now();
    timer.WaitSeconds(2);
    EXPECT_NEAR(pc.Now() - before, 2.0, 0.02);
}

TEST(OSInfo, TellsTheFamilyAndCountsAFailedVersionCallAsNotNt) {
    {
        TestMachine pc;
        EXPECT_TRUE(device::OSInfo().IsNtFamily());
    }
    {
        TestMachine pc([](Machine& m) { m.family = Family::Windows9x; });
        EXPECT_FALSE(device::OSInfo().IsNtFamily());
    }
    {
        TestMachine pc([](Machine& m) { m.versionCallFails = true; });
        EXPECT_FALSE(device::OSInfo().IsNtFamily());
    }
}

TEST(IsAdministrator, AnswersOnlyWhenEverySecurityEntryIsThere) {
    struct Case {
        const char* name;
        void (*setup)(Machine&);
        bool expected;
    };
    const Case cases[] = {
        {"administrator", [](Machine&) {}, true},
        {"ordinary user", [](Machine& m) { m.security.administrator = false; }, false},
        {"no CheckTokenMembership", [](Machine& m) { m.security.checkTokenMembership = false; },
         false},
        {"no FreeSid", [](Machine& m) { m.security.freeSid = false; }, false},
        {"no advapi32", [](Machine& m) { m.security.securityApiPresent = false; }, false},
        {"membership call fails", [](Machine& m) { m.security.membershipCheckFails = true; },
         false},
    };
    for (const auto& c : cases) {
        TestMachine pc(c.setup);
        device::OSInfo info;
        EXPECT_EQ(device::IsAdministrator(info), c.expected) << c.name;
    }
}

TEST(RebootSystem, RestartsOnlyWhenTheSystemAllowsIt) {
    {
        TestMachine pc;
        EXPECT_TRUE(device::RebootSystem(device::OSInfo()));
        EXPECT_EQ(pc.machine().restart.requests, 1);
        EXPECT_TRUE(pc.machine().restart.pending);
        EXPECT_EQ(pc.machine().restart.lastFlags, 6u) << "EWX_REBOOT | EWX_FORCE";
    }
    {
        TestMachine pc([](Machine& m) { m.shutdown.shutdownPrivilege = false; });
        EXPECT_FALSE(device::RebootSystem(device::OSInfo()));
        EXPECT_EQ(pc.machine().restart.requests, 0) << "no side effect without the privilege";
        EXPECT_EQ(pc.machine().restart.refused, 0) << "not even tried";
        EXPECT_FALSE(pc.machine().restart.pending);
    }
    {
        TestMachine pc([](Machine& m) { m.shutdown.processToken = false; });
        EXPECT_FALSE(device::RebootSystem(device::OSInfo()));
        EXPECT_EQ(pc.machine().restart.requests + pc.machine().restart.refused, 0);
    }
    {
        // The older family needs no privilege.
        TestMachine pc([](Machine& m) {
            m.family = Family::Windows9x;
            m.shutdown.shutdownPrivilege = false;
        });
        EXPECT_TRUE(device::RebootSystem(device::OSInfo()));
        EXPECT_EQ(pc.machine().restart.requests, 1);
    }
    {
        TestMachine pc([](Machine& m) { m.shutdown.exitWindowsFails = true; });
        EXPECT_FALSE(device::RebootSystem(device::OSInfo()));
        EXPECT_EQ(pc.machine().restart.refused, 1);
    }
}

}  // namespace
