// Installing, opening and removing the flash driver; the service and device-manager steps.
#include <gtest/gtest.h>

#include "platform/DriverImages.h"
#include "tests/IdeTestSupport.h"

namespace {
using directide::RurDriver;
using platform::emulated::Family;
using platform::emulated::Machine;
using testing_support::IdeMachine;
using testing_support::TestMachine;

constexpr char kNtTarget[] = "C:\\WINDOWS\\system32\\DRIVERS\\RUR.SYS";

bool HoldsCarriedImage(Machine& m, const std::string& path, bool nt) {
    auto* file = m.FindFile(path);
    auto image = directide::CarriedDriverImage(nt);
    return file && std::vector<uint8_t>(image.begin(), image.end()) == file->data;
}

TEST(RurDriverInstall, PlacesRegistersAndOpensTheDriverOnTheNtFamily) {
    auto pc = IdeMachine();
    testing::internal::CaptureStdout();
    RurDriver driver;
    driver.InstallAndOpen();
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");  // a fresh service needs no words

    EXPECT_NE(driver.driverHandle, platform::kInvalidHandle);
    EXPECT_EQ(driver.tempFile, "C:\\WINDOWS\\TEMP\\RUR.SYS");
    EXPECT_TRUE(HoldsCarriedImage(pc.machine(), kNtTarget, true));
    const auto& service = pc.machine().ide.services.at("RUR");
    EXPECT_EQ(service.config.displayName, "Vuder Uzuzuzazuv Oruzuv Uzadod");
    EXPECT_EQ(service.config.serviceType, 2u);
    EXPECT_EQ(service.config.startType, 3u);
    EXPECT_EQ(service.config.errorControl, 0u);
    EXPECT_EQ(service.config.imagePath, "System32\\Drivers\\rur.sys");
    EXPECT_TRUE(service.running);
    EXPECT_EQ(driver.DetectedCount(), 2);
    EXPECT_EQ(driver.lastError, 0u);
}

TEST(RurDriverInstall, ALeftoverServiceIsStoppedDeletedAndCreatedAgain) {
    auto pc = IdeMachine();
    platform::emulated::EmulatedService old;
    old.config = {"RUR", "old", platform::kServiceAllAccess, 1, 2, 1, "System32\\old.sys"};
    old.running = true;
    pc.machine().ide.services["RUR"] = old;
    testing::internal::CaptureStdout();
    RurDriver driver;
    driver.InstallAndOpen();
    // Every attempt makes the service again, and the first one succeeds.
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "Unstalling.\nService installed.\n");
    const auto& service = pc.machine().ide.services.at("RUR");
    EXPECT_EQ(service.config.imagePath, "System32\\Drivers\\rur.sys");
    EXPECT_EQ(service.config.serviceType, 2u);
    EXPECT_NE(driver.driverHandle, platform::kInvalidHandle);
}

TEST(RurDriverInstall, AReadOnlyLeftoverDriverFileIsReplaced) {
    auto pc = IdeMachine();
    pc.machine().PutFile(kNtTarget, {1, 2, 3}, platform::kFileAttributeReadOnly);
    RurDriver driver;
    driver.InstallAndOpen();
    EXPECT_TRUE(HoldsCarriedImage(pc.machine(), kNtTarget, true));
    EXPECT_EQ(driver.fileAttributes, platform::kFileAttributeReadOnly);
    EXPECT_NE(driver.driverHandle, platform::kInvalidHandle);
}

TEST(RurDriverInstall, TheTemporaryCopyFallsBackToTheWindowsDirectoryThenTheRoot) {
    {
        auto pc = IdeMachine();
        pc.machine().tempDirectory.reset();
        RurDriver driver;
        driver.InstallAndOpen();
        EXPECT_EQ(driver.tempFile, "C:\\WINDOWS\\RUR.SYS");
        EXPECT_NE(pc.machine().FindFile("C:\\WINDOWS\\RUR.SYS"), nullptr);
    }
    {
        auto pc = IdeMachine();
        pc.machine().tempDirectory.reset();
        pc.machine().windowsDirectory.reset();
        RurDriver driver;
        driver.InstallAndOpen();
        EXPECT_EQ(driver.tempFile, "C:\\RUR.SYS");
        EXPECT_NE(pc.machine().FindFile("C:\\RUR.SYS"), nullptr);
    }
}

TEST(RurDriverInstall, ATemporaryCopySwappedByAnotherUserIsNeverLoaded) {
    auto pc = IdeMachine();
    pc.machine().ide.swapTemporaryDriver = true;
    RurDriver driver;
    driver.InstallAndOpen();
    EXPECT_TRUE(HoldsCarriedImage(pc.machine(), kNtTarget, true));
    EXPECT_NE(driver.driverHandle, platform::kInvalidHandle);
    EXPECT_EQ(driver.DetectedCount(), 2);
}

TEST(RurDriverInstall, TheOlderFamilyLoadsItsVirtualDeviceWithoutServiceOrSetupCalls) {
    auto pc = IdeMachine(Family::Windows9x);
    RurDriver driver;
    driver.InstallAndOpen();
    EXPECT_NE(driver.driverHandle, platform::kInvalidHandle);
    EXPECT_EQ(driver.tempFile, "C:\\WINDOWS\\TEMP\\VARAVO.VXD");
    EXPECT_TRUE(HoldsCarriedImage(pc.machine(), "C:\\WINDOWS\\system32\\VARAVO.VXD", false));
    EXPECT_EQ(pc.machine().ide.counters.serviceManagerCalls, 0);
    EXPECT_EQ(pc.machine().ide.counters.setupApiCalls, 0);
    EXPECT_TRUE(pc.machine().ide.services.empty());
    EXPECT_EQ(driver.DetectedCount(), 2);
}

TEST(RurDriverInstall, OpeningGivesUpAfterFiveAttemptsASecondApart) {
    struct Case {
        const char* what;
        void (*spoil)(Machine&);
        uint32_t error;
    };
    const Case cases[] = {
        {"no administrator", [](Machine& m) { m.security.administrator = false; },
         platform::kErrorAccessDenied},
        {"setup API entry missing",
         [](Machine& m) { m.ide.setupEntries.callClassInstaller = false; },
         platform::kErrorProcNotFound},
        {"no system directory", [](Machine& m) { m.systemDirectory.reset(); },
         platform::kErrorFileNotFound},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        auto pc = IdeMachine();
        c.spoil(pc.machine());
        double start = pc.Now();
        RurDriver driver;
        testing::internal::CaptureStdout();
        driver.InstallAndOpen();
        testing::internal::GetCapturedStdout();
        EXPECT_EQ(driver.driverHandle, platform::kInvalidHandle);
        EXPECT_EQ(driver.lastError, c.error);
        EXPECT_EQ(driver.DetectedCount(), 0);
        EXPECT_GE(pc.Now() - start, 4.0);
        EXPECT_LT(pc.Now() - start, 5.0);
    }
}

TEST(RurDriverInstall, DestructionRemovesTheDriverFileAndReleasesTheSetupApi) {
    auto pc = IdeMachine();
    {
        RurDriver driver;
        driver.InstallAndOpen();
        pc.machine().FindFile(kNtTarget)->attributes = platform::kFileAttributeReadOnly;
        EXPECT_TRUE(pc.machine().ide.setupApiLoaded);
    }
    EXPECT_EQ(pc.machine().FindFile(kNtTarget), nullptr);
    EXPECT_FALSE(pc.machine().ide.setupApiLoaded);
    // The service stays registered, as the system leaves it.
    EXPECT_EQ(pc.machine().ide.services.count("RUR"), 1u);
}

TEST(RurDriverCdroms, StopAndStartEveryEnumeratedDevice) {
    auto pc = IdeMachine();
    RurDriver driver;
    driver.InstallAndOpen();
    driver.EnumerateCdromDevices();
    EXPECT_EQ(driver.cdromCount, 2);
    EXPECT_TRUE(driver.StopCdromDevices());
    for (const auto& d : pc.machine().ide.cdroms)
        EXPECT_FALSE(d.started);
    EXPECT_TRUE(driver.StartCdromDevices());
    for (const auto& d : pc.machine().ide.cdroms)
        EXPECT_TRUE(d.started);
}

TEST(RurDriverCdroms, EverySetOfDevicesIsGivenBackByTheEndOfTheRun) {
    auto pc = IdeMachine();
    {
        RurDriver driver;
        driver.InstallAndOpen();
        driver.EnumerateCdromDevices();
        driver.EnumerateCdromDevices();  // a second look gives the first set back
        EXPECT_EQ(pc.machine().ide.deviceSets.size(), 1u);
        EXPECT_TRUE(driver.StopCdromDevices());
        EXPECT_TRUE(driver.StartCdromDevices());
    }
    EXPECT_TRUE(pc.machine().ide.deviceSets.empty());
}

TEST(RurDriverCdroms, ARestartRequestOrARefusalMakesTheResultFalseButTheLoopGoesOn) {
    auto pc = IdeMachine();
    pc.machine().ide.cdroms[0].needsReboot = true;
    RurDriver driver;
    driver.InstallAndOpen();
    driver.EnumerateCdromDevices();
    EXPECT_FALSE(driver.StopCdromDevices());
    EXPECT_FALSE(pc.machine().ide.cdroms[1].started);
    pc.machine().ide.cdroms[0].needsReboot = false;
    pc.machine().ide.cdroms[0].changeFails = true;
    EXPECT_FALSE(driver.StartCdromDevices());
    EXPECT_TRUE(pc.machine().ide.cdroms[1].started);
}

TEST(RurDriverCdroms, MoreThanEightDevicesKeepTheFirstEightAndLeaveTheRestAlone) {
    auto pc = IdeMachine();
    pc.machine().ide.cdroms.resize(10, {"IDE\\CDROM\\more", true});
    RurDriver driver;
    driver.InstallAndOpen();
    driver.EnumerateCdromDevices();
    EXPECT_EQ(driver.cdromCount, 8);
    EXPECT_TRUE(driver.StopCdromDevices());
    EXPECT_FALSE(pc.machine().ide.cdroms[7].started);
    EXPECT_TRUE(pc.machine().ide.cdroms[8].started);
    EXPECT_TRUE(pc.machine().ide.cdroms[9].started);
}

}  // namespace
