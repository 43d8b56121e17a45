// The emulated PC's files, registry and clock as the program sees them through the seam.
#include <gtest/gtest.h>

#include "tests/TestMachine.h"

namespace {
using namespace platform;
using testing_support::TestMachine;

TEST(EmulatedFiles, BehaveLikeWindowsFiles) {
    TestMachine pc;
    auto& s = pc.system();
    std::vector<uint8_t> bytes{1, 2, 3};
    ASSERT_TRUE(s.WriteWholeFile("C:\\WINDOWS\\TEMP\\RUR.SYS", bytes));
    EXPECT_EQ(s.GetFileAttributes("c:\\windows\\temp\\rur.sys"), kFileAttributeNormal)
        << "paths are case-insensitive";
    EXPECT_EQ(s.GetFileAttributes("C:\\NOPE"), kInvalidFileAttributes);

    ASSERT_TRUE(s.CopyFile("C:\\WINDOWS\\TEMP\\RUR.SYS", "C:\\WINDOWS\\system32\\X.SYS", false));
    EXPECT_EQ(s.CopyFile("C:\\WINDOWS\\TEMP\\RUR.SYS", "C:\\WINDOWS\\system32\\X.SYS", true).error,
              kErrorFileExists);
    EXPECT_EQ(*s.ReadWholeFile("C:\\WINDOWS\\system32\\X.SYS"), bytes);

    // A read-only file can be neither deleted nor overwritten until its attribute is cleared.
    ASSERT_TRUE(s.SetFileAttributes("C:\\WINDOWS\\system32\\X.SYS", kFileAttributeReadOnly));
    EXPECT_EQ(s.DeleteFile("C:\\WINDOWS\\system32\\X.SYS").error, kErrorAccessDenied);
    EXPECT_EQ(s.WriteWholeFile("C:\\WINDOWS\\system32\\X.SYS", bytes).error, kErrorAccessDenied);
    ASSERT_TRUE(s.SetFileAttributes("C:\\WINDOWS\\system32\\X.SYS", 0));
    EXPECT_TRUE(s.DeleteFile("C:\\WINDOWS\\system32\\X.SYS"));
    EXPECT_EQ(s.DeleteFile("C:\\WINDOWS\\system32\\X.SYS").error, kErrorFileNotFound);
}

TEST(EmulatedRegistry, MachineKeysNeedAnAdministratorOnNt) {
    TestMachine admin;
    const std::string key = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunOnce";
    ASSERT_TRUE(admin.system().SetRegistryString(RegistryRoot::LocalMachine, key, "V", "x"));
    EXPECT_EQ(*admin.system().QueryRegistryString(RegistryRoot::LocalMachine, key, "v"), "x");
    EXPECT_FALSE(admin.system().QueryRegistryString(RegistryRoot::CurrentUser, key, "V"));
    EXPECT_TRUE(admin.system().DeleteRegistryValue(RegistryRoot::LocalMachine, key, "V"));
    EXPECT_FALSE(admin.system().DeleteRegistryValue(RegistryRoot::LocalMachine, key, "V"));

    TestMachine user([](emulated::Machine& m) { m.security.administrator = false; });
    EXPECT_EQ(user.system().SetRegistryString(RegistryRoot::LocalMachine, key, "V", "x").error,
              kErrorAccessDenied);
}

TEST(EmulatedClock, VirtualTimeMovesOnlyWhenSomebodyWaits) {
    TestMachine pc;
    double start = pc.Now();
    pc.system().Sleep(60'000);
    EXPECT_NEAR(pc.Now() - start, 60.0, 1e-9) << "a minute's sleep costs no wall time";
    int64_t a = 0, b = 0;
    pc.system().QueryPerformanceCounter(a);
    pc.system().QueryPerformanceCounter(b);
    EXPECT_EQ(b - a, 500) << "one 50 us polling quantum at 10 MHz per reading";
}

TEST(EmulatedDevices, UnknownNamesAreNotFound) {
    TestMachine pc;
    uint32_t error = 0;
    EXPECT_EQ(pc.system().CreateDevice("\\\\.\\Q:", kGenericRead, 0, kOpenExisting, 0, error),
              kInvalidHandle);
    EXPECT_EQ(error, kErrorFileNotFound);
    uint32_t returned = 0;
    EXPECT_EQ(pc.system().DeviceIoControl(12345, 0, {}, {}, returned).error, kErrorInvalidHandle);
}

}  // namespace
