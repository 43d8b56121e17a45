// The Windows backend against the services of the system it runs on, with the core on top where
// the core is what uses them. Under Wine these are Wine's own services.
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

#include <gtest/gtest.h>

#include "common/Files.h"
#include "common/NewFile.h"
#include "common/WideText.h"
#include "device/AtapiDevice.h"
#include "device/CommandSet.h"
#include "device/HiTimer.h"
#include "device/SystemInfo.h"
#include "directide/RurDriver.h"
#include "engine/RestartCheck.h"
#include "platform/DriverImages.h"
#include "platform/Trace.h"
#include "platform/windows/WideText.h"
#include "platform/windows/Win32.h"
#include "platform/windows/WindowsSystem.h"

namespace {
using platform::CurrentSystem;
using platform::RegistryRoot;

class WindowsBackend : public testing::Test {
  protected:
    platform::ScopedSystem system_{std::make_unique<platform::windows::WindowsSystem>()};
};

TEST_F(WindowsBackend, ReportsTheNtFamilyAndItsVersion) {
    EXPECT_EQ(CurrentSystem().PlatformId(), platform::kPlatformWin32Nt);
    EXPECT_TRUE(device::OSInfo().IsNtFamily());
    OSVERSIONINFOA version{};
    version.dwOSVersionInfoSize = sizeof version;
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
    ASSERT_TRUE(::GetVersionExA(&version));
#pragma GCC diagnostic pop
    EXPECT_GE(version.dwMajorVersion, 5u);
    RecordProperty("version", std::to_string(version.dwMajorVersion) + "." +
                                  std::to_string(version.dwMinorVersion));
}

TEST_F(WindowsBackend, ThePerformanceCounterRunsAndTimesASleep) {
    auto& system = CurrentSystem();
    int64_t frequency = 0, before = 0, after = 0;
    ASSERT_TRUE(system.QueryPerformanceFrequency(frequency));
    ASSERT_GT(frequency, 0);
    ASSERT_TRUE(system.QueryPerformanceCounter(before));
    system.Sleep(20);
    ASSERT_TRUE(system.QueryPerformanceCounter(after));
    EXPECT_GE(after - before, frequency / 100);  // at least 10 ms went by
    device::HiTimer timer;
    timer.Start(true);
    system.Sleep(20);
    timer.Stop();
    EXPECT_GT(timer.TotalSeconds(), 0.01);
}

TEST_F(WindowsBackend, FindsTheAdministratorAndMayEnableTheShutdownPrivilege) {
    device::OSInfo info;
    EXPECT_TRUE(device::IsAdministrator(info));  // Wine's user is an administrator
    EXPECT_TRUE(info.allocateAndInitializeSid && info.checkTokenMembership && info.freeSid);
    auto& system = CurrentSystem();
    ASSERT_TRUE(system.OpenProcessTokenForPrivileges());
    EXPECT_EQ(system.EnableShutdownPrivilege(), platform::kErrorSuccess);
    system.CloseProcessToken();
}

TEST_F(WindowsBackend, WritesReadsAndDeletesTheRunOnceValue) {
    auto& system = CurrentSystem();
    engine::WriteRestartCheck(0, "QV12");
    auto entry = system.QueryRegistryString(RegistryRoot::LocalMachine, engine::kRunOnceKey,
                                            engine::kRestartValueName);
    ASSERT_TRUE(entry);
    EXPECT_EQ(*entry, engine::RestartEntry(system.ModuleFileName(), 0, "QV12"));
    EXPECT_NE(entry->find(".exe\" /QVCHECK 0 QV12"), std::string::npos) << *entry;
    EXPECT_TRUE(system.DeleteRegistryValue(RegistryRoot::LocalMachine, engine::kRunOnceKey,
                                           engine::kRestartValueName));
    EXPECT_FALSE(system.QueryRegistryString(RegistryRoot::LocalMachine, engine::kRunOnceKey,
                                            engine::kRestartValueName));
    EXPECT_EQ(system
                  .DeleteRegistryValue(RegistryRoot::LocalMachine, engine::kRunOnceKey,
                                       engine::kRestartValueName)
                  .error,
              platform::kErrorFileNotFound);
}

// The lines of the trace file, parsed.
std::vector<nlohmann::json> TraceLines(const std::string& path) {
    std::ifstream in(path);
    std::vector<nlohmann::json> lines;
    for (std::string line; std::getline(in, line);)
        lines.push_back(nlohmann::json::parse(line));
    return lines;
}

// The restart entry names this very program, as Windows names it, in any folder: the test runs
// once more from a folder with a Japanese name on a Western code page (scripts/wine-test.sh sets
// BRENVO_EXPECT_FOLDER to that name), where the ANSI calls would give "?" for each character.
TEST_F(WindowsBackend, TheRestartEntryNamesThisProgramInFullWhateverTheFolderIsCalled) {
    using platform::windows::Wide;
    std::wstring self(32768, L'\0');
    self.resize(::GetModuleFileNameW(nullptr, self.data(), static_cast<DWORD>(self.size())));
    ASSERT_FALSE(self.empty());
    const std::string program = CurrentSystem().ModuleFileName();
    EXPECT_EQ(Wide(program), self);
    if (const wchar_t* folder = ::_wgetenv(L"BRENVO_EXPECT_FOLDER")) {
        EXPECT_NE(self.find(std::wstring(L"\\") + folder + L"\\"), std::wstring::npos);
        RecordProperty("ansi_code_page", std::to_string(::GetACP()));
    }
    // The program file is found again by the name the entry gives.
    EXPECT_NE(CurrentSystem().GetFileAttributes(program), platform::kInvalidFileAttributes);

    engine::WriteRestartCheck(2, "QV12");
    // Read back by the system's own wide call, not through the backend that wrote it.
    HKEY key = nullptr;
    ASSERT_EQ(::RegOpenKeyExW(HKEY_LOCAL_MACHINE, Wide(engine::kRunOnceKey).c_str(), 0,
                              KEY_QUERY_VALUE, &key),
              ERROR_SUCCESS);
    std::wstring value(4096, L'\0');
    DWORD size = static_cast<DWORD>(value.size() * sizeof(wchar_t)), type = 0;
    LONG read = ::RegQueryValueExW(key, Wide(engine::kRestartValueName).c_str(), nullptr, &type,
                                   reinterpret_cast<BYTE*>(value.data()), &size);
    ::RegCloseKey(key);
    ASSERT_EQ(read, ERROR_SUCCESS);
    EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
    value.resize(size / sizeof(wchar_t));
    while (!value.empty() && value.back() == L'\0')
        value.pop_back();
    EXPECT_EQ(value, L"\"" + self + L"\" /QVCHECK 2 QV12");
    EXPECT_EQ(CurrentSystem().QueryRegistryString(RegistryRoot::LocalMachine, engine::kRunOnceKey,
                                                  engine::kRestartValueName),
              engine::RestartEntry(program, 2, "QV12"));
    EXPECT_TRUE(CurrentSystem().DeleteRegistryValue(RegistryRoot::LocalMachine, engine::kRunOnceKey,
                                                    engine::kRestartValueName));
}

// The wide file functions get a name of MAX_PATH characters or more whole and with the prefix
// that lifts the limit (Wine takes long names either way; Windows cuts them without it).
TEST(WidePath, ALongNameIsMadeWholeAndPrefixedAShortOneAndADeviceStayAsTheyAre) {
    using platform::windows::WidePath;
    EXPECT_EQ(WidePath("C:\\short\\file.sys"), L"C:\\short\\file.sys");
    EXPECT_EQ(WidePath("\\\\.\\E:"), L"\\\\.\\E:");
    const std::string folders =
        "\\" + std::string(100, 'a') + "\\" + std::string(100, 'b') + "\\" + std::string(100, 'c');
    EXPECT_EQ(WidePath("C:" + folders + "\\..\\f.sys"),
              platform::windows::Wide("\\\\?\\C:\\" + std::string(100, 'a') + "\\" +
                                      std::string(100, 'b') + "\\f.sys"));
    EXPECT_EQ(WidePath("\\\\server\\share" + folders),
              platform::windows::Wide("\\\\?\\UNC\\server\\share" + folders));
    const std::wstring relative = WidePath(folders.substr(1));
    EXPECT_EQ(relative.substr(0, 4), L"\\\\?\\");
    EXPECT_EQ(relative.substr(relative.size() - 100), std::wstring(100, L'c'));
}

// A path longer than MAX_PATH is written, read, copied and removed under its whole name, never
// cut to 260 characters.
TEST_F(WindowsBackend, APathOverMaxPathIsUsedInFull) {
    using platform::windows::Wide;
    auto& system = CurrentSystem();
    std::string folder = system.GetTempPath().value_or("C:\\") + "brenvo-long";
    std::wstring made = L"\\\\?\\" + Wide(folder);
    ::CreateDirectoryW(made.c_str(), nullptr);
    for (int level = 0; level < 5; ++level) {
        const std::string part = "\\" + std::string(60, static_cast<char>('a' + level));
        folder += part;
        made += Wide(part);
        ::CreateDirectoryW(made.c_str(), nullptr);
    }
    const std::string file = folder + "\\driver-\u65e5\u672c.sys";
    const std::string copy = folder + "\\copy.sys";
    ASSERT_GT(file.size(), 300u);
    const uint8_t bytes[] = {1, 2, 3, 4};
    ASSERT_TRUE(system.WriteWholeFile(file, bytes));
    // The system finds the file by its whole name, and by no shorter one.
    EXPECT_NE(::GetFileAttributesW((L"\\\\?\\" + Wide(file)).c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(::GetFileAttributesW(Wide(file.substr(0, MAX_PATH - 1)).c_str()),
              INVALID_FILE_ATTRIBUTES);
    auto read = system.ReadWholeFile(file);
    ASSERT_TRUE(read);
    EXPECT_EQ(read->size(), sizeof bytes);
    EXPECT_TRUE(system.CopyFile(file, copy, false));
    EXPECT_TRUE(system.SetFileAttributes(copy, platform::kFileAttributeReadOnly));
    EXPECT_EQ(system.GetFileAttributes(copy) & platform::kFileAttributeReadOnly,
              platform::kFileAttributeReadOnly);
    EXPECT_TRUE(system.SetFileAttributes(copy, platform::kFileAttributeNormal));
    EXPECT_TRUE(system.DeleteFile(copy));
    EXPECT_TRUE(system.DeleteFile(file));
    EXPECT_EQ(system.GetFileAttributes(file), platform::kInvalidFileAttributes);
    for (int level = 0; level < 6; ++level) {
        ::RemoveDirectoryW(made.c_str());
        made.resize(made.rfind(L'\\'));
    }
}

// The program's own files (benches, flash contents, traces, packages), opened by the standard
// library through common::FilePath, are found by their whole UTF-8 name: in a folder named in
// Japanese on a Western code page, which spells each of its characters '?', and under a name of
// more than MAX_PATH characters.
TEST_F(WindowsBackend, TheProgramsOwnFilesAreReachedByTheirWholeUtf8Name) {
    using platform::windows::Wide;
    const std::string temp = CurrentSystem().GetTempPath().value_or("C:\\");
    std::string longFolder = temp + "brenvo-\u30d5\u30a1\u30fc\u30e0-long";
    for (int level = 0; level < 4; ++level)
        longFolder += "\\" + std::string(60, static_cast<char>('a' + level));
    for (const std::string& folder : {temp + "\u30d5\u30a1\u30fc\u30e0", longFolder}) {
        SCOPED_TRACE(folder);
        std::error_code ec;
        for (size_t at = folder.find('\\', temp.size());; at = folder.find('\\', at + 1)) {
            std::filesystem::create_directory(common::FilePath(folder.substr(0, at)), ec);
            ASSERT_FALSE(ec) << ec.message();
            if (at == std::string::npos) break;
        }
        const std::string file = folder + "\\bench-\u65e5\u672c.json";
        EXPECT_EQ(common::PathText(common::FilePath(file)), file);
        const std::vector<uint8_t> bytes = {'{', '}', '\n'};
        std::string problem;
        ASSERT_TRUE(common::WriteFileInPlace(file, bytes, ".saving", true, problem)) << problem;
        // Under its own name, as the system's wide call finds it.
        EXPECT_NE(::GetFileAttributesW((L"\\\\?\\" + Wide(file)).c_str()), INVALID_FILE_ATTRIBUTES);
        EXPECT_EQ(common::ReadWholeFile(file, problem), bytes) << problem;
        EXPECT_EQ(common::NotARegularFile(folder), "is a folder, not a file");
        ASSERT_TRUE(
            common::WriteFileInPlace(file, std::vector<uint8_t>{'x'}, ".saving", false, problem))
            << problem;
        EXPECT_EQ(common::ReadWholeFile(file, problem), std::vector<uint8_t>{'x'}) << problem;

        const std::string trace = folder + "\\trace.jsonl";
        ASSERT_TRUE(platform::Trace::OpenFile(trace, problem)) << problem;
        platform::Trace::Current()->WriteShutdownBlock("held", "test");
        platform::Trace::Close();
        auto lines = common::ReadWholeFile(trace, problem);
        ASSERT_TRUE(lines) << problem;
        EXPECT_NE(std::string(lines->begin(), lines->end()).find("\"held\""), std::string::npos);
        // Made and removed one name at a time: libstdc++'s create_directories, remove_all and
        // canonical walk a "\\?\" path up to its root, which they cannot parse.
        std::filesystem::remove(common::FilePath(file), ec);
        EXPECT_FALSE(ec) << ec.message();
        std::filesystem::remove(common::FilePath(trace), ec);
        EXPECT_FALSE(ec) << ec.message();
        for (std::string made = folder; made.size() > temp.size(); made.resize(made.rfind('\\'))) {
            std::filesystem::remove(common::FilePath(made), ec);
            EXPECT_FALSE(ec) << made << ": " << ec.message();
        }
    }
}

// The failures the program goes on past are in the trace with the system's error number: a
// service that does not start, a registry value that cannot be written.
TEST_F(WindowsBackend, FailuresTheRunGoesOnPastAreTracedWithTheirErrorNumbers) {
    auto& system = CurrentSystem();
    std::string path = system.GetTempPath().value_or("") + "brenvo-failure-trace.jsonl";
    system.DeleteFile(path);
    std::string error;
    ASSERT_TRUE(platform::Trace::OpenFile(path, error)) << error;
    // A driver service whose file is not there does not start.
    platform::ServiceConfig config{"BrenvoTraceTest",
                                   "Brenvo trace test",
                                   platform::kServiceAllAccess,
                                   1 /* kernel driver */,
                                   3 /* on demand */,
                                   0,
                                   "System32\\Drivers\\brenvo-absent.sys"};
    uint32_t code = 0;
    auto manager = system.OpenServiceManager(platform::kScManagerAllAccess, code);
    auto service = system.CreateService(manager, config, code);
    ASSERT_NE(service, platform::kNullScHandle) << code;
    const platform::Status started = system.StartService(service);
    system.DeleteService(service);
    system.CloseServiceHandle(service);
    system.CloseServiceHandle(manager);
    // A key name longer than the registry takes (255 characters).
    const platform::Status written = system.SetRegistryString(
        RegistryRoot::LocalMachine, "SOFTWARE\\" + std::string(300, 'k'), "value", "text");
    platform::Trace::Close();
    auto lines = TraceLines(path);
    system.DeleteFile(path);
    ASSERT_FALSE(started.ok);
    ASSERT_FALSE(written.ok);
    auto traced = [&](const std::string& call, uint32_t number) {
        return std::any_of(lines.begin(), lines.end(), [&](const nlohmann::json& line) {
            return line.value("win32", "") == call && line.value("error", 0u) == number;
        });
    };
    EXPECT_TRUE(traced("StartService", started.error)) << started.error;
    EXPECT_TRUE(traced("RegCreateKeyEx", written.error)) << written.error;
}

// The service's configuration as the service control manager keeps it.
std::string ServiceConfiguration() {
    SC_HANDLE manager = ::OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
    SC_HANDLE service = manager ? ::OpenServiceA(manager, "RUR", SERVICE_QUERY_CONFIG) : nullptr;
    std::string text = "none";
    alignas(8) char buffer[8192];
    DWORD needed = 0;
    auto* config = reinterpret_cast<QUERY_SERVICE_CONFIGA*>(buffer);
    if (service && ::QueryServiceConfigA(service, config, sizeof buffer, &needed)) {
        text = std::to_string(config->dwServiceType) + " " + std::to_string(config->dwStartType) +
               " " + std::to_string(config->dwErrorControl) + " " + config->lpBinaryPathName;
    }
    if (service) ::CloseServiceHandle(service);
    if (manager) ::CloseServiceHandle(manager);
    return text;
}

TEST_F(WindowsBackend, InstallsTheDriverServiceAndTakesTheFailedStartsPath) {
    auto& system = CurrentSystem();
    directide::RurDriver driver;
    std::string target = driver.DriverTargetPath();
    ASSERT_FALSE(target.empty());
    // A read-only driver file left by an earlier run.
    const uint8_t old[] = {'o', 'l', 'd'};
    ASSERT_TRUE(system.WriteWholeFile(target, old));
    ASSERT_TRUE(system.SetFileAttributes(target, platform::kFileAttributeReadOnly));

    testing::internal::CaptureStdout();
    driver.InstallAndOpen();
    std::string said = testing::internal::GetCapturedStdout();

    // The file was replaced by the carried image.
    auto placed = system.ReadWholeFile(target);
    ASSERT_TRUE(placed);
    auto image = directide::CarriedDriverImage(true);
    EXPECT_TRUE(std::equal(placed->begin(), placed->end(), image.begin(), image.end()));
    EXPECT_EQ(system.GetFileAttributes(target) & platform::kFileAttributeReadOnly, 0u);
    // The first attempt created the service; each later one stopped, deleted and created it again.
    EXPECT_EQ(ServiceConfiguration(), "2 3 0 System32\\Drivers\\rur.sys");
    EXPECT_NE(said.find("Unstalling.\nService installed.\n"), std::string::npos) << said;
    EXPECT_EQ(said.find("CreateService failed."), std::string::npos) << said;
    // The stand-in driver does not start here: the device never appears, the open gives up after
    // its attempts with the system's error, and no drive is listed.
    uint32_t error = 0;
    auto manager = system.OpenServiceManager(platform::kScManagerAllAccess, error);
    auto service = system.OpenService(manager, "RUR", platform::kServiceAllAccess, error);
    ASSERT_NE(service, platform::kNullScHandle) << error;
    platform::Status started = system.StartService(service);
    EXPECT_FALSE(started.ok);
    EXPECT_NE(started.error, 0u);
    system.CloseServiceHandle(service);
    system.CloseServiceHandle(manager);
    EXPECT_EQ(driver.driverHandle, platform::kInvalidHandle);
    EXPECT_NE(driver.lastError, 0u);
    EXPECT_EQ(driver.DetectedCount(), 0);
    RecordProperty("start_error", std::to_string(started.error));
    RecordProperty("open_error", std::to_string(driver.lastError));
}

TEST_F(WindowsBackend, TheDriveLetterScanFindsAndOpensTheCdromDrive) {
    const char* letter = std::getenv("BRENVO_WINE_CDROM");  // "D:", set up by wine-test.sh
    ASSERT_TRUE(letter && std::string(letter).size() == 2) << "BRENVO_WINE_CDROM is not set";
    std::string root = std::string(letter) + "\\";
    auto& system = CurrentSystem();
    char list[512] = {};
    uint32_t length = system.GetLogicalDriveStrings(list);
    ASSERT_GT(length, 0u);
    bool listed = false;
    for (const char* p = list; *p; p += std::strlen(p) + 1)
        listed = listed || root == p;
    EXPECT_TRUE(listed);
    EXPECT_EQ(system.GetDriveType(root), platform::kDriveCdrom);
    uint32_t error = 0;
    auto handle = system.CreateDevice(
        std::string("\\\\.\\") + letter, platform::kGenericRead | platform::kGenericWrite,
        platform::kFileShareRead | platform::kFileShareWrite, platform::kOpenExisting, 0, error);
    ASSERT_NE(handle, platform::kInvalidHandle) << error;
    EXPECT_TRUE(system.CloseHandle(handle));

    // The core's enumeration lists it (with the substitute address when the system gives none).
    device::AtapiDevice atapi;
    ASSERT_EQ(atapi.DriveCount(), 1);
    EXPECT_EQ(std::string(atapi.DriveAt(0)->rootPath), root);
    EXPECT_EQ(atapi.LastError(), 0u);
}

TEST_F(WindowsBackend, RecordsEachPassThroughCommandInTheTraceByItsDriveLetter) {
    const char* letter = std::getenv("BRENVO_WINE_CDROM");
    ASSERT_TRUE(letter && std::string(letter).size() == 2) << "BRENVO_WINE_CDROM is not set";
    std::string path = CurrentSystem().GetTempPath().value_or("") + "brenvo-trace-test.jsonl";
    CurrentSystem().DeleteFile(path);
    std::string error;
    ASSERT_TRUE(platform::Trace::OpenFile(path, error)) << error;
    {
        device::AtapiDevice atapi;
        ASSERT_TRUE(atapi.OpenDrive(0));
        device::TestUnitReady(atapi);
        device::TestUnitReady(atapi);
        atapi.CloseDrive();
    }
    platform::Trace::Close();
    std::ifstream in(path);
    std::vector<nlohmann::json> lines;
    for (std::string line; std::getline(in, line);)
        lines.push_back(nlohmann::json::parse(line));
    CurrentSystem().DeleteFile(path);
    // The drive's enumeration, then the two TEST UNIT READYs.
    ASSERT_GT(lines.size(), 2u);
    for (const auto& line : lines)
        EXPECT_EQ(line["device"], letter);
    for (size_t i = lines.size() - 2; i < lines.size(); ++i) {
        EXPECT_EQ(lines[i]["cdb"], "000000000000000000000000");
        EXPECT_EQ(lines[i]["dir"], 2);
        EXPECT_EQ(lines[i]["len"], 0);
    }
}

TEST_F(WindowsBackend, BothBuildsSeeA64BitWindowsUnderWow64OrNatively) {
    // Wine's prefix here is a 64-bit Windows: the 32-bit build runs under WOW64 there, and the
    // direct-IDE path must be refused before its 32-bit driver is installed.
    EXPECT_TRUE(platform::windows::Is64BitWindows());
}

// One program per drive: the drive's named mutex keeps a second run off it; the volume lock is
// taken where Windows allows it and the run's own handles on the drive keep working.
TEST_F(WindowsBackend, AClaimedDriveIsRefusedToASecondRunUntilItIsReleased) {
    const char* letter = std::getenv("BRENVO_WINE_CDROM");
    ASSERT_TRUE(letter && std::string(letter).size() == 2) << "BRENVO_WINE_CDROM is not set";
    const std::string root = std::string(letter) + "\\";
    auto& first = CurrentSystem();
    platform::windows::WindowsSystem second;  // another Brenvo, as far as the mutex can tell

    EXPECT_EQ(second.DriveHolder(root), "");
    ASSERT_TRUE(first.ClaimDrive(root).claimed);
    EXPECT_TRUE(first.ClaimDrive(root).claimed) << "claiming again keeps the one claim";
    platform::DriveClaim refused = second.ClaimDrive(root);
    EXPECT_FALSE(refused.claimed);
    EXPECT_EQ(refused.error, platform::kErrorSharingViolation);
    EXPECT_EQ(refused.holder, "another Brenvo run");
    EXPECT_EQ(second.DriveHolder(root), "another Brenvo run");

    uint32_t error = 0;
    auto handle = first.CreateDevice(
        std::string("\\\\.\\") + letter, platform::kGenericRead | platform::kGenericWrite,
        platform::kFileShareRead | platform::kFileShareWrite, platform::kOpenExisting, 0, error);
    EXPECT_NE(handle, platform::kInvalidHandle) << error;
    EXPECT_TRUE(first.CloseHandle(handle));

    first.ReleaseDrive(root);
    EXPECT_EQ(second.DriveHolder(root), "");
    EXPECT_TRUE(second.ClaimDrive(root).claimed);
    second.ReleaseDrive(root);
}

}  // namespace
