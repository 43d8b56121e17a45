// The Linux backend without a kernel: the drives from a fake sysfs tree, the SG_IO result
// categories from a replaceable ioctl, the rights, the registry file and its autostart entry.
#ifdef __linux__
#include <fcntl.h>
#include <grp.h>
#include <gtest/gtest.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <future>
#include <optional>
#include <sstream>
#include <thread>

#include "common/UserFiles.h"
#include "device/AtapiDevice.h"
#include "device/CommandSet.h"
#include "device/SystemInfo.h"
#include "engine/RestartCheck.h"
#include "engine/UpdateEngine.h"
#include "platform/Trace.h"
#include "platform/linux/DriveHolders.h"
#include "platform/linux/LinuxSystem.h"
#include "tests/DesktopExecReader.h"
#include "tests/EngineTestSupport.h"

namespace {
namespace fs = std::filesystem;
using platform::linuxhost::LinuxHost;
using platform::linuxhost::LinuxSystem;

class TempDir {
  public:
    TempDir() {
        char name[] = "/tmp/brenvo-linux-XXXXXX";
        path_ = mkdtemp(name);
    }
    ~TempDir() { fs::remove_all(path_); }
    const std::string& path() const { return path_; }

  private:
    std::string path_;
};

void Write(const fs::path& file, const std::string& text) {
    fs::create_directories(file.parent_path());
    std::ofstream(file) << text;
}

std::string Slurp(const std::string& file) {
    std::ifstream in(file);
    return std::string((std::istreambuf_iterator<char>(in)), {});
}

// One SCSI device of the fake sysfs: its type and, when given, its sg and sr nodes.
void AddDevice(const std::string& sysfs, const std::string& hctl, int type, const std::string& sg,
               const std::string& sr = "") {
    fs::path device = fs::path(sysfs) / "class/scsi_device" / hctl / "device";
    Write(device / "type", std::to_string(type) + "\n");
    // The kernel's numbers: sg nodes are character devices of major 21, their minor the index.
    if (!sg.empty()) Write(device / "scsi_generic" / sg / "dev", "21:" + sg.substr(2) + "\n");
    if (!sr.empty()) fs::create_directories(device / "block" / sr);
}

// A host whose open and SG_IO are the test's; it records what the backend asked for.
struct FakeKernel {
    std::vector<std::pair<std::string, int>> opened;
    std::vector<int> closed, duplicated;
    std::function<int(sg_io_hdr_t&)> answer = [](sg_io_hdr_t&) { return 0; };
    int refuseOpen = 0;  // errno for every open when non-zero
    // errno for one open (path, flags), or 0 to let it through.
    std::function<int(const std::string&, int)> refuse = [](const std::string&, int) { return 0; };
    std::vector<std::vector<std::string>> ran;
    int runStatus = 0;
    // What an open node is (fstat): by default what the kernel makes of /dev/sgN, a character
    // device 21:N.
    std::function<struct stat(const std::string&)> node = [](const std::string& path) {
        struct stat info {};
        if (path.starts_with("/dev/sg")) {
            info.st_mode = S_IFCHR | 0660;
            info.st_rdev = makedev(21, std::stoi(path.substr(7)));
        }
        return info;
    };

    LinuxHost Host(const std::string& sysfs, const std::string& config) {
        LinuxHost host;
        host.sysfsRoot = sysfs;
        host.configDir = config;
        host.open = [this](const std::string& path, int flags) {
            opened.emplace_back(path, flags);
            if (int error = refuseOpen ? refuseOpen : refuse(path, flags)) {
                errno = error;
                return -1;
            }
            return 100 + static_cast<int>(opened.size());
        };
        host.close = [this](int fd) { closed.push_back(fd); };
        host.fstat = [this](int fd, struct stat& info) {
            if (fd <= 100 || fd > 100 + static_cast<int>(opened.size())) {
                errno = EBADF;
                return -1;
            }
            info = node(opened[fd - 101].first);
            return 0;
        };
        host.dup = [this](int fd) {
            duplicated.push_back(fd);
            return 500 + static_cast<int>(duplicated.size());
        };
        host.sgIo = [this](int, sg_io_hdr_t& h) { return answer(h); };
        host.run = [this](const std::vector<std::string>& argv) {
            ran.push_back(argv);
            return runStatus;
        };
        return host;
    }
};

// This computer with one drive at 1:0:0:0 (/dev/sg1), installed as the process's System.
struct OneDrive {
    TempDir sysfs, config;
    FakeKernel kernel;
    std::optional<platform::ScopedSystem> scoped;
    OneDrive() {
        AddDevice(sysfs.path(), "1:0:0:0", 5, "sg1");
        scoped.emplace(std::make_unique<LinuxSystem>(kernel.Host(sysfs.path(), config.path())));
    }
};

TEST(LinuxDrives, AreTheType5DevicesWithAnSgNodeInAddressOrder) {
    TempDir sysfs;
    AddDevice(sysfs.path(), "0:0:0:0", 0, "sg0");         // a disk
    AddDevice(sysfs.path(), "10:0:0:0", 5, "sg1");        // sorts after 2, not before
    AddDevice(sysfs.path(), "2:0:1:0", 5, "sg2", "sr1");  // a drive with sr bound
    AddDevice(sysfs.path(), "1:0:0:0", 5, "sg9", "sr0");  // the first drive
    AddDevice(sysfs.path(), "3:0:0:0", 5, "");            // no sg node: cannot take commands
    Write(fs::path(sysfs.path()) / "class/scsi_device/host5/device/type", "5\n");  // not an address

    auto drives = platform::linuxhost::FindOpticalDrives(sysfs.path(), "/dev");
    ASSERT_EQ(drives.size(), 3u);
    EXPECT_EQ(drives[0].address, (std::array<int, 4>{1, 0, 0, 0}));
    EXPECT_EQ(drives[0].sgNode, "/dev/sg9");
    EXPECT_EQ(drives[0].blockNode, "/dev/sr0");
    EXPECT_EQ(drives[0].letter, "E:");
    EXPECT_EQ(drives[1].address, (std::array<int, 4>{2, 0, 1, 0}));
    EXPECT_EQ(drives[1].letter, "F:");
    EXPECT_EQ(drives[2].sgNode, "/dev/sg1");
    EXPECT_EQ(drives[2].blockNode, "");
    EXPECT_EQ(drives[2].letter, "G:");

    TempDir empty;
    EXPECT_TRUE(platform::linuxhost::FindOpticalDrives(empty.path(), "/dev").empty());
}

TEST(LinuxDrives, AnswerTheDriveLetterCallsAndTheAddressQuery) {
    TempDir sysfs, config;
    AddDevice(sysfs.path(), "3:0:2:1", 5, "sg7", "sr0");
    FakeKernel kernel;
    LinuxSystem system(kernel.Host(sysfs.path(), config.path()));

    std::array<char, 64> roots{};
    uint32_t length = system.GetLogicalDriveStrings(roots);
    EXPECT_EQ(std::string(roots.data(), length), std::string("C:\\\0E:\\\0", 8));
    EXPECT_EQ(system.GetLogicalDriveStrings(std::span<char>(roots.data(), 4)), 9u);
    EXPECT_EQ(system.GetDriveType("E:\\"), platform::kDriveCdrom);
    EXPECT_NE(system.GetDriveType("F:\\"), platform::kDriveCdrom);

    uint32_t error = 0;
    platform::Handle handle = system.CreateDevice("\\\\.\\e:", platform::kGenericRead, 0,
                                                  platform::kOpenExisting, 0, error);
    ASSERT_NE(handle, platform::kInvalidHandle);
    ASSERT_EQ(kernel.opened.size(), 1u);
    EXPECT_EQ(kernel.opened[0].first, "/dev/sg7");
    EXPECT_EQ(kernel.opened[0].second & O_ACCMODE, O_RDWR);  // sr would refuse vendor commands
    EXPECT_TRUE(kernel.opened[0].second & O_NONBLOCK);

    std::array<uint8_t, 8> address{};
    uint32_t returned = 0;
    ASSERT_TRUE(
        system.DeviceIoControl(handle, platform::kIoctlScsiGetAddress, address, address, returned));
    EXPECT_EQ(address, (std::array<uint8_t, 8>{8, 0, 0, 0, 3, 0, 2, 1}));
    EXPECT_TRUE(system.CloseHandle(handle));
    EXPECT_FALSE(
        system.DeviceIoControl(handle, platform::kIoctlScsiGetAddress, address, address, returned));

    system.CreateDevice("\\\\.\\F:", platform::kGenericRead, 0, platform::kOpenExisting, 0, error);
    EXPECT_EQ(error, platform::kErrorFileNotFound);
}

// A user who may not open the sg node: the core's enumeration records access denied and the
// administrator check fails, which together make the start-up's refusal.
TEST(LinuxRights, AreOpeningTheSgNodeReadWrite) {
    TempDir sysfs, config;
    AddDevice(sysfs.path(), "1:0:0:0", 5, "sg1", "sr0");
    FakeKernel kernel;
    kernel.refuseOpen = EACCES;
    platform::ScopedSystem scoped(
        std::make_unique<LinuxSystem>(kernel.Host(sysfs.path(), config.path())));
    auto& system = static_cast<LinuxSystem&>(platform::CurrentSystem());
    device::OSInfo info;
    EXPECT_FALSE(device::IsAdministrator(info));
    device::AtapiDevice device;
    EXPECT_EQ(device.lastError, platform::kErrorAccessDenied);
    EXPECT_EQ(device.DriveCount(), 0);
    ASSERT_TRUE(system.WhyAccessDenied());
    EXPECT_EQ(system.WhyAccessDenied()->node, "/dev/sg1");

    // A node another program holds opens for this user: busy is not a refusal.
    kernel.refuseOpen = EBUSY;
    EXPECT_FALSE(system.WhyAccessDenied());
    kernel.refuseOpen = 0;
    EXPECT_TRUE(device::IsAdministrator(info));
    EXPECT_FALSE(system.WhyAccessDenied());
}

// What this machine says about the refusal: the node's owner, group and mode as they stand, and
// the login manager's, udev's and polkit's state where they keep it.
TEST(LinuxRights, TellWhatThisMachineWouldGiveAccessBy) {
    TempDir sysfs, config, dev, run, actions;
    AddDevice(sysfs.path(), "1:0:0:0", 5, "sg1", "sr0");
    Write(fs::path(sysfs.path()) / "class/scsi_device/1:0:0:0/device/scsi_generic/sg1/dev",
          "21:1\n");
    const std::string node = dev.path() + "/sg1";
    Write(node, "");
    chmod(node.c_str(), 0660);
    const group* cdrom = getgrnam("cdrom");
    const bool mayChown = geteuid() == 0 && cdrom;
    if (mayChown) ASSERT_EQ(chown(node.c_str(), 0, cdrom->gr_gid), 0);
    FakeKernel kernel;
    kernel.refuseOpen = EACCES;
    LinuxHost host = kernel.Host(sysfs.path(), config.path());
    host.devRoot = dev.path();
    host.runRoot = run.path();
    host.polkitActions = actions.path();
    host.pkexec = node;  // a file that is there
    LinuxSystem system(std::move(host));

    auto denial = system.WhyAccessDenied();
    ASSERT_TRUE(denial);
    EXPECT_EQ(denial->node, node);
    EXPECT_EQ(denial->error, "Permission denied");
    EXPECT_EQ(denial->uid, geteuid());
    EXPECT_EQ(denial->user, getpwuid(geteuid())->pw_name);
    EXPECT_EQ(denial->mode, 0660u);
    if (mayChown) {
        EXPECT_EQ(denial->owner, "root");
        EXPECT_EQ(denial->group, "cdrom");
        EXPECT_TRUE(denial->groupMayUse);
    }
    EXPECT_FALSE(denial->seatManaged || denial->seatGetsNode || denial->activeAtSeat);
    EXPECT_FALSE(denial->pkexecStartsIt);

    // logind runs, udev tagged this node (21:1) for the seat, the user is active at a seat; an
    // action names this program and lets it show a window.
    fs::create_directories(run.path() + "/systemd/seats");
    Write(run.path() + "/udev/tags/uaccess/c21:1", "");
    Write(run.path() + "/systemd/users/" + std::to_string(geteuid()), "NAME=x\nSTATE=active\n");
    const std::string exec = "<annotate key=\"org.freedesktop.policykit.exec.path\">" +
                             system.ModuleFileName() + "</annotate>";
    const std::string gui =
        "<annotate key=\"org.freedesktop.policykit.exec.allow_gui\">true</annotate>";
    Write(actions.path() + "/org.brenvo.Brenvo.policy", exec);
    EXPECT_FALSE(system.WhyAccessDenied()->pkexecStartsIt);  // no window without allow_gui
    Write(actions.path() + "/org.brenvo.Brenvo.policy", exec + gui);
    denial = system.WhyAccessDenied();
    EXPECT_TRUE(denial->seatManaged && denial->seatGetsNode && denial->activeAtSeat);
    EXPECT_TRUE(denial->pkexecStartsIt);
    Write(run.path() + "/systemd/users/" + std::to_string(geteuid()), "STATE=online\n");
    EXPECT_FALSE(system.WhyAccessDenied()->activeAtSeat);
}

// The start-up's refusal on Linux is that explanation, in the window and in the console alike.
TEST(LinuxRights, StartUpRefusesWithTheExplanationNotTheAdministratorText) {
    OneDrive machine;
    machine.kernel.refuseOpen = EACCES;
    platform::SetAccessDenialSource(
        [] { return static_cast<LinuxSystem&>(platform::CurrentSystem()).WhyAccessDenied(); });
    testing_support::TestPackage package(testing_support::Options({}),
                                         {testing_support::Image("QV12", 1 << 20)});
    package::Package block(package.Block());
    testing_support::TestView view;
    engine::UpdateEngine engine(block, view);
    EXPECT_EQ(engine.StartUp(), engine::StartEnd::AccessDenied);
    ASSERT_EQ(view.shown.size(), 1u);
    EXPECT_EQ(view.shown[0].rfind("message:error:Access denied ! ", 0), 0u) << view.shown[0];
    EXPECT_NE(view.shown[0].find("/dev/sg1 for reading and writing: Permission denied"),
              std::string::npos)
        << view.shown[0];
    EXPECT_EQ(view.shown[0].find("administrator"), std::string::npos) << view.shown[0];
    platform::SetAccessDenialSource(nullptr);
}

// `brenvo-cli machine` in Linux's own terms: the system, the user, whether each node opens.
TEST(LinuxMachine, ReportsTheSystemTheUserAndEachDrivesNode) {
    OneDrive machine;
    auto& system = static_cast<LinuxSystem&>(platform::CurrentSystem());
    auto report = [&] {
        std::string all;
        for (const auto& [label, text] : system.MachineReport())
            all += label + ": " + text + "\n";
        return all;
    };
    EXPECT_NE(report().find("Platform: Linux "), std::string::npos) << report();
    EXPECT_NE(report().find("User: "), std::string::npos);
    EXPECT_NE(report().find("Drive E: /dev/sg1: opens for reading and writing"), std::string::npos)
        << report();
    machine.kernel.refuseOpen = EACCES;
    EXPECT_NE(report().find("Drive E: /dev/sg1: Permission denied"), std::string::npos) << report();
}

// The result categories the core sees, from what the kernel puts in the SG_IO header.
TEST(LinuxPassThrough, ResultCategoriesFollowStatusHostAndDriver) {
    OneDrive machine;
    FakeKernel& kernel = machine.kernel;
    device::AtapiDevice device;
    ASSERT_TRUE(device.OpenDrive(0));

    struct Case {
        const char* what;
        int ioctlResult, ioctlErrno;
        uint8_t status;
        uint16_t host, driver;
        uint8_t senseKey;  // written as sense when non-zero
        uint8_t outcome;
        bool timedOut = false;  // the system said the command ran out of time
    };
    const Case cases[] = {
        {"good", 0, 0, 0x00, 0, 0, 0, device::kOutcomeSuccess},
        {"condition met", 0, 0, 0x04, 0, 0, 0, device::kOutcomeSuccess},
        {"check condition with sense", 0, 0, 0x02, 0, 0x08, 0x05, device::kOutcomeCheckCondition},
        {"host status with GOOD", 0, 0, 0x00, 0x01, 0, 0, device::kOutcomeFailed},
        {"transport error with GOOD", 0, 0, 0x00, 0x07, 0, 0, device::kOutcomeFailed},
        {"host time-out", 0, 0, 0x00, 0x03, 0, 0, device::kOutcomeFailed, true},
        {"driver time-out", 0, 0, 0x00, 0, 0x06, 0, device::kOutcomeFailed, true},
        {"driver error with GOOD", 0, 0, 0x00, 0, 0x04, 0, device::kOutcomeFailed},
        {"check condition without sense", 0, 0, 0x02, 0, 0, 0, device::kOutcomeFailed},
        {"busy", 0, 0, 0x08, 0, 0, 0, device::kOutcomeFailed},
        {"reservation conflict", 0, 0, 0x18, 0x11, 0, 0, device::kOutcomeFailed},
        {"task set full", 0, 0, 0x28, 0, 0, 0, device::kOutcomeFailed},
        {"ioctl refused", -1, EIO, 0x00, 0, 0, 0, device::kOutcomeFailed},
    };
    int sent = 0;
    for (const Case& c : cases) {
        kernel.answer = [&c, &sent](sg_io_hdr_t& h) {
            ++sent;
            if (c.ioctlResult) {
                errno = c.ioctlErrno;
                return -1;
            }
            h.status = c.status;
            h.masked_status = c.status >> 1;
            h.host_status = c.host;
            h.driver_status = c.driver;
            if (c.senseKey) {
                auto* sense = static_cast<uint8_t*>(h.sbp);
                sense[0] = 0x70;
                sense[2] = c.senseKey;
                sense[12] = 0x24;
                h.sb_len_wr = 18;
            }
            return 0;
        };
        // Each case on a drive opened afresh: two time-outs in a row would stop the device
        // sending to it.
        ASSERT_TRUE(device.OpenDrive(0));
        sent = 0;
        device::TestUnitReady(device);
        EXPECT_EQ(sent, 1) << c.what;
        EXPECT_EQ(device.outcome, c.outcome) << c.what;
        EXPECT_EQ(device.timedOut != 0, c.timedOut) << c.what;
        if (c.outcome == device::kOutcomeCheckCondition) {
            EXPECT_EQ(device.senseKey, c.senseKey) << c.what;
            EXPECT_EQ(device.asc, 0x24) << c.what;
        }
    }
}

TEST(LinuxPassThrough, HandsTheKernelTheCommandBufferSenseAndTimeOut) {
    OneDrive machine;
    FakeKernel& kernel = machine.kernel;
    device::AtapiDevice device;
    ASSERT_TRUE(device.OpenDrive(0));
    device.SetTimeout(20);

    sg_io_hdr_t seen{};
    std::vector<uint8_t> cdb, sent;
    kernel.answer = [&](sg_io_hdr_t& h) {
        seen = h;
        cdb.assign(h.cmdp, h.cmdp + h.cmd_len);
        auto* data = static_cast<uint8_t*>(h.dxferp);
        if (h.dxfer_direction == SG_DXFER_TO_DEV) sent.assign(data, data + h.dxfer_len);
        if (h.dxfer_direction == SG_DXFER_FROM_DEV) std::memset(data, 0xA5, h.dxfer_len);
        return 0;
    };
    std::fill_n(device.WriteBuffer().begin(), 2048, uint8_t{0x5A});
    ASSERT_TRUE(device::WriteBuffer(device, 0x1000, 2048, device::kControlData));
    EXPECT_EQ(seen.interface_id, 'S');
    EXPECT_EQ(seen.dxfer_direction, SG_DXFER_TO_DEV);
    EXPECT_EQ(seen.dxfer_len, 2048u);
    EXPECT_EQ(seen.cmd_len, 12);
    EXPECT_EQ(cdb[0], 0x3B);
    EXPECT_EQ(sent, std::vector<uint8_t>(2048, 0x5A));
    EXPECT_EQ(seen.timeout, 20000u);
    EXPECT_EQ(seen.mx_sb_len, 24);
    EXPECT_NE(seen.sbp, nullptr);

    ASSERT_TRUE(device::ReadBuffer(device, 0x1000, 512));
    EXPECT_EQ(seen.dxfer_direction, SG_DXFER_FROM_DEV);
    EXPECT_EQ(device.ReadBuffer()[511], 0xA5);

    ASSERT_TRUE(device::TestUnitReady(device));
    EXPECT_EQ(seen.dxfer_direction, SG_DXFER_NONE);
    EXPECT_EQ(seen.dxferp, nullptr);
    EXPECT_EQ(seen.dxfer_len, 0u);

    // A vendor block whose last two bytes matter: all twelve reach the kernel, none cut to the
    // ten its opcode group would suggest.
    const std::array<uint8_t, 12> commit{0xF2, 0x04, 0, 0, 0, 0, 0, 0x02, 0, 0, 0xA5, 0x01};
    ASSERT_TRUE(device.Execute(commit, device::kNoData, 0));
    EXPECT_EQ(seen.cmd_len, 12);
    EXPECT_EQ(cdb, std::vector<uint8_t>(commit.begin(), commit.end()));
    EXPECT_EQ(seen.mx_sb_len, 24);

    device.SetTimeout(108000);  // the default: 108 million milliseconds still fit
    device::TestUnitReady(device);
    EXPECT_EQ(seen.timeout, 108000000u);
}

TEST(LinuxPassThrough, RecordsEachCommandInTheTraceAsTheEmulatedPcDoes) {
    OneDrive machine;
    TempDir folder;
    std::string error, path = folder.path() + "/trace.jsonl";
    ASSERT_TRUE(platform::Trace::OpenFile(path, error)) << error;
    machine.kernel.answer = [](sg_io_hdr_t& h) {
        auto* sense = static_cast<uint8_t*>(h.sbp);
        sense[0] = 0x70;
        sense[2] = 0x02;
        sense[12] = 0x3A;
        h.sb_len_wr = 18;
        h.status = 0x02;
        return 0;
    };
    {
        device::AtapiDevice device;
        ASSERT_TRUE(device.OpenDrive(0));
        device::TestUnitReady(device);
    }
    platform::Trace::Close();
    std::ifstream in(path);
    std::string last, line;
    while (std::getline(in, line))
        last = line;
    auto json = nlohmann::json::parse(last);
    EXPECT_EQ(json["device"], "E:");
    EXPECT_EQ(json["cdb"], "000000000000000000000000");
    EXPECT_EQ(json["dir"], 2);
    EXPECT_EQ(json["outcome"], 2);
    EXPECT_EQ(json["sense"], nlohmann::json::array({2, 0x3A, 0}));
}

TEST(LinuxRegistry, KeepsValuesInAFileAndRunOnceAsAOneShotAutostartEntry) {
    TempDir config;
    platform::linuxhost::RegistryFile registry(config.path());
    using platform::RegistryRoot;
    const std::string runOnce = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunOnce";
    const std::string command = "\"/opt/brenvo dir/brenvo-cli\" /QVCHECK 0 QV12";

    EXPECT_FALSE(registry.Query(RegistryRoot::LocalMachine, runOnce, "QVFWUpdate"));
    ASSERT_TRUE(registry.Set(RegistryRoot::LocalMachine, runOnce, "QVFWUpdate", command));
    ASSERT_TRUE(registry.Set(RegistryRoot::CurrentUser, "Software\\Brenvo", "x", "y"));
    EXPECT_EQ(platform::linuxhost::RegistryFile(config.path())
                  .Query(RegistryRoot::LocalMachine, runOnce, "QVFWUpdate"),
              command);
    EXPECT_FALSE(registry.Query(RegistryRoot::CurrentUser, runOnce, "QVFWUpdate"));

    std::ifstream entry(registry.AutostartPath("QVFWUpdate"));
    std::string text((std::istreambuf_iterator<char>(entry)), {});
    EXPECT_NE(text.find("Exec=\"/opt/brenvo dir/brenvo-cli\" /QVCHECK 0 QV12\n"),
              std::string::npos);

    // Another command line leaves it; the one it names removes it and its autostart entry.
    registry.RemoveRunOnceStartedAs({"/opt/brenvo dir/brenvo-cli", "/QVCHECK", "1", "QV12"});
    EXPECT_TRUE(registry.Query(RegistryRoot::LocalMachine, runOnce, "QVFWUpdate"));
    registry.RemoveRunOnceStartedAs({"/opt/brenvo dir/brenvo-cli", "/QVCHECK", "0", "QV12"});
    EXPECT_FALSE(registry.Query(RegistryRoot::LocalMachine, runOnce, "QVFWUpdate"));
    EXPECT_FALSE(fs::exists(registry.AutostartPath("QVFWUpdate")));
    EXPECT_EQ(registry.Query(RegistryRoot::CurrentUser, "Software\\Brenvo", "x"), "y");
    EXPECT_EQ(registry.Delete(RegistryRoot::LocalMachine, runOnce, "QVFWUpdate").error,
              platform::kErrorFileNotFound);
}

// The Exec= line of the autostart entry, read back as a desktop reads it.
std::optional<std::vector<std::string>> AutostartWords(const std::string& path) {
    std::ifstream file(path);
    std::string line;
    while (std::getline(file, line)) {
        if (line.starts_with("Exec=")) return testing_support::ReadDesktopExec(line.substr(5));
    }
    return std::nullopt;
}

// Whatever a program's path holds, the desktop starts that program with the check's words, or
// the value is refused and nothing is written.
TEST(LinuxRegistry, TheAutostartEntryNamesExactlyTheProgramOrIsRefused) {
    TempDir config;
    using platform::RegistryRoot;
    const std::string runOnce = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunOnce";
    for (const bool viaPkexec : {false, true}) {
        platform::linuxhost::RegistryFile registry(
            config.path(), {},
            {viaPkexec ? std::vector<std::string>{"pkexec"} : std::vector<std::string>{}});
        for (const std::string path :
             {"/opt/a\"b/brenvo", "/opt/\\x\\/brenvo", "/opt/$HOME/`id`/brenvo",
              "/opt/a b;c/brenvo", "/opt/'q'&|<>~*?#()/brenvo",
              "/opt/\u00e9t\u00e9/\u65e5\u672c/brenvo", "/opt/a\\\"\\"}) {
            SCOPED_TRACE(path);
            ASSERT_TRUE(registry.Set(RegistryRoot::LocalMachine, runOnce, "QVFWUpdate",
                                     engine::RestartEntry(path, 3, "QV12")));
            std::vector<std::string> expected{path, "/QVCHECK", "3", "QV12"};
            if (viaPkexec) expected.insert(expected.begin(), "pkexec");
            EXPECT_EQ(AutostartWords(registry.AutostartPath("QVFWUpdate")), expected);
        }
        // A % is carried as %% where the desktop expands it, behind pkexec; as the program's own
        // name it is refused (the desktop looks that name up before it expands %%).
        const std::string percent = engine::RestartEntry("/opt/100%/brenvo", 0, "QV12");
        EXPECT_EQ(registry.RunOnceProblem(percent).empty(), viaPkexec);
        if (viaPkexec) {
            ASSERT_TRUE(registry.Set(RegistryRoot::LocalMachine, runOnce, "QVFWUpdate", percent));
            EXPECT_EQ(AutostartWords(registry.AutostartPath("QVFWUpdate"))->at(1),
                      "/opt/100%/brenvo");
        }
    }

    // What no desktop entry can carry is refused before anything is written.
    platform::linuxhost::RegistryFile registry(config.path() + "/fresh");
    for (const std::string path :
         {"/opt/100%/brenvo", "/opt/new\nline/brenvo", "/opt/tab\t/brenvo", "/opt/\x1b[2J/brenvo",
          "/opt/\xff\xfe/brenvo", "/opt/\xc0\xaf/brenvo"}) {
        SCOPED_TRACE(path);
        const std::string entry = engine::RestartEntry(path, 0, "QV12");
        EXPECT_NE(registry.RunOnceProblem(entry), "");
        EXPECT_EQ(registry.Set(RegistryRoot::LocalMachine, runOnce, "QVFWUpdate", entry).error,
                  platform::kErrorNotSupported);
    }
    EXPECT_FALSE(fs::exists(config.path() + "/fresh")) << "nothing written after a refusal";
}

// Who started a run of root's is told by the mechanism in use, never by a variable alone.
TEST(LinuxInvoker, IsWhomSudoOrPkexecStartedTheRunFor) {
    using platform::linuxhost::Ancestor;
    using platform::linuxhost::FindInvokingUser;
    using platform::linuxhost::InvocationFacts;
    const Ancestor sudo{"/usr/bin/sudo", 0}, userShell{"/bin/bash", 65534},
        rootShell{"/bin/bash", 0};
    struct Case {
        const char* what;
        InvocationFacts facts;
        const char* user;  // the name told, or nullptr
        const char* via;
        bool unconfirmed;  // root's own folders, said so
    };
    auto facts = [](uint32_t euid, const char* pk, const char* sudoUid, const char* sudoUser,
                    std::vector<Ancestor> chain, std::optional<uint32_t> login = std::nullopt) {
        return InvocationFacts{euid, pk, sudoUid, sudoUser, std::move(chain), login};
    };
    const Case cases[] = {
        {"not root: the run's own user", facts(1000, "65534", "65534", "nobody", {sudo}), nullptr,
         "", false},
        {"root by itself", facts(0, nullptr, nullptr, nullptr, {rootShell}), nullptr, "", false},
        {"root by itself, logged in as root", facts(0, nullptr, nullptr, nullptr, {rootShell}, 0),
         nullptr, "", false},
        {"sudo, its parent", facts(0, nullptr, "65534", "nobody", {sudo}), "nobody", "sudo", false},
        {"sudo above a shell it started", facts(0, nullptr, "65534", "nobody", {rootShell, sudo}),
         "nobody", "sudo", false},
        {"sudo replaced since", facts(0, nullptr, "65534", "nobody", {{"/bin/sudo (deleted)", 0}}),
         "nobody", "sudo", false},
        {"pkexec: the user's shell it replaced itself in",
         facts(0, "65534", nullptr, nullptr, {userShell}), "nobody", "pkexec", false},
        {"sudo's parent, pkexec's variable left over: sudo's",
         facts(0, "65534", "0", "root", {sudo}), nullptr, "", false},
        {"sudo for root: root itself", facts(0, nullptr, "0", "root", {sudo}), nullptr, "", false},
        {"the login agrees", facts(0, nullptr, "65534", "nobody", {sudo}, 65534), "nobody", "sudo",
         false},
        {"SUDO_USER, no sudo above", facts(0, nullptr, nullptr, "nobody", {rootShell}), nullptr, "",
         true},
        {"SUDO_UID, no sudo above", facts(0, nullptr, "65534", "nobody", {rootShell}), nullptr, "",
         true},
        {"PKEXEC_UID=0 from a root shell", facts(0, "0", nullptr, nullptr, {rootShell}), nullptr,
         "", true},
        {"PKEXEC_UID naming another than the parent's user",
         facts(0, "1000", nullptr, nullptr, {userShell}), nullptr, "", true},
        {"PKEXEC_UID=0 under the user's shell", facts(0, "0", nullptr, nullptr, {userShell}),
         nullptr, "", true},
        {"a sudo of the user's own", facts(0, nullptr, "65534", "nobody", {{"/home/u/sudo", 0}}),
         nullptr, "", true},
        {"sudo without its variables", facts(0, nullptr, nullptr, "nobody", {sudo}), nullptr, "",
         true},
        {"the login disagrees", facts(0, nullptr, "65534", "nobody", {sudo}, 1000), nullptr, "",
         true},
        {"a user logged in, no sudo nor pkexec (su)",
         facts(0, nullptr, nullptr, nullptr, {rootShell}, 1000), nullptr, "", true},
        {"a user the password database does not know",
         facts(0, nullptr, "4000000", "ghost", {sudo}), nullptr, "", true},
        {"a uid that is not a number", facts(0, "65534x", nullptr, nullptr, {userShell}), nullptr,
         "", true},
    };
    for (const auto& c : cases) {
        auto told = FindInvokingUser(c.facts);
        EXPECT_EQ(told.user ? told.user->name.c_str() : "(none)",
                  std::string(c.user ? c.user : "(none)"))
            << c.what;
        if (told.user) {
            EXPECT_EQ(told.user->via, c.via) << c.what;
            EXPECT_EQ(told.user->home, getpwuid(65534)->pw_dir) << c.what;
            EXPECT_NE(std::find(told.user->groups.begin(), told.user->groups.end(), 65534u),
                      told.user->groups.end())
                << c.what;
        }
        EXPECT_EQ(!told.unconfirmed.empty(), c.unconfirmed) << c.what << ": " << told.unconfirmed;
    }
}

// The processes above a run, read from /proc, up to the first that tells who started it.
TEST(LinuxInvoker, AncestorsAreReadUpToSudoOrAUsersProcess) {
    TempDir proc;
    auto process = [&](int pid, int parent, uint32_t uid, const std::string& exe) {
        const fs::path dir = fs::path(proc.path()) / std::to_string(pid);
        Write(dir / "status", "Name:\tx\nPPid:\t" + std::to_string(parent) + "\nUid:\t" +
                                  std::to_string(uid) + "\t0\t0\t0\n");
        fs::create_symlink(exe, dir / "exe");
    };
    process(40, 30, 0, "/usr/bin/bash");
    process(30, 20, 0, "/usr/bin/sudo");
    process(20, 1, 1000, "/usr/bin/bash");
    auto chain = platform::linuxhost::AncestorsOf(proc.path(), 40);
    ASSERT_EQ(chain.size(), 2u);
    EXPECT_EQ(chain[1].exe, "/usr/bin/sudo");
    process(41, 20, 0, "/usr/bin/bash");
    chain = platform::linuxhost::AncestorsOf(proc.path(), 41);
    ASSERT_EQ(chain.size(), 2u);
    EXPECT_EQ(chain[1].uid, 1000u);
}

// Run as root through pkexec or sudo, the files go to the invoking user, as theirs: a desktop
// session reads its own autostart entries, never root's.
TEST(LinuxRegistry, UnderPkexecOrSudoIsTheInvokingUsersAndTheirsToOwn) {
    if (geteuid() != 0) GTEST_SKIP() << "writing as another user needs root";
    TempDir top;
    chmod(top.path().c_str(), 0755);
    const std::string home = top.path() + "/home";
    fs::create_directories(home);
    ASSERT_EQ(chown(home.c_str(), 65534, 65534), 0);
    platform::linuxhost::RegistryFile registry(
        home + "/.config", {common::FileOwner{65534, 65534, {65534}}, home}, {{"pkexec"}});
    const std::string runOnce = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunOnce";
    ASSERT_TRUE(registry.Set(platform::RegistryRoot::LocalMachine, runOnce, "QVFWUpdate",
                             "\"/opt/brenvo dir/brenvo\" /QVCHECK 0 QV12"));
    for (const auto& path : {registry.AutostartPath("QVFWUpdate"), registry.FilePath(),
                             home + "/.config", home + "/.config/autostart"}) {
        struct stat info {};
        ASSERT_EQ(stat(path.c_str(), &info), 0) << path;
        EXPECT_EQ(info.st_uid, 65534u) << path;
        EXPECT_EQ(info.st_gid, 65534u) << path;
    }
    std::ifstream entry(registry.AutostartPath("QVFWUpdate"));
    std::string text((std::istreambuf_iterator<char>(entry)), {});
    // The check after the restart asks for the same rights again.
    EXPECT_NE(text.find("Exec=pkexec \"/opt/brenvo dir/brenvo\" /QVCHECK 0 QV12\n"),
              std::string::npos)
        << text;
    EXPECT_TRUE(registry.Delete(platform::RegistryRoot::LocalMachine, runOnce, "QVFWUpdate"));
    EXPECT_FALSE(fs::exists(registry.AutostartPath("QVFWUpdate")));

    // A link the user left in their home leads nowhere the user may not write.
    const std::string rootOnly = top.path() + "/root-only";
    fs::create_directories(rootOnly);
    fs::remove_all(home + "/.config/autostart");
    fs::create_directory_symlink(rootOnly, home + "/.config/autostart");
    EXPECT_FALSE(registry.Set(platform::RegistryRoot::LocalMachine, runOnce, "QVFWUpdate", "x"));
    EXPECT_TRUE(fs::is_empty(rootOnly));
}

// A link the user left anywhere on the way to the registry's files is refused, not followed: the
// file it leads to is neither read into the user's file nor written.
TEST(LinuxRegistry, RefusesALinkedFileOrFolderOnTheWay) {
    TempDir top;
    chmod(top.path().c_str(), 0755);
    const std::string home = top.path() + "/home", secret = top.path() + "/secret.json",
                      elsewhere = top.path() + "/elsewhere";
    const std::string secretText = "{\"HKCU\\\\Secret\": {\"key\": \"s3cr3t\"}}\n";
    Write(secret, secretText);
    chmod(secret.c_str(), 0600);
    Write(elsewhere + "/brenvo/registry.json", secretText);
    const std::string runOnce = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunOnce";
    std::vector<std::optional<common::FileOwner>> owners = {std::nullopt};
    if (geteuid() == 0) owners.push_back(common::FileOwner{65534, 65534, {65534}});
    for (const auto& owner : owners) {
        const std::string who = owner ? "as nobody" : "as itself";
        auto plant = [&](const std::string& link, const std::string& to) {
            fs::remove_all(home);
            fs::create_directories(fs::path(link).parent_path());
            fs::create_symlink(to, link);
            if (owner) {
                for (const auto& entry : fs::recursive_directory_iterator(home))
                    EXPECT_EQ(lchown(entry.path().c_str(), 65534, 65534), 0);
                EXPECT_EQ(lchown(home.c_str(), 65534, 65534), 0);
            }
        };
        platform::linuxhost::RegistryFile registry(
            home + "/.config", owner ? platform::linuxhost::RegistryOwner{owner, home}
                                     : platform::linuxhost::RegistryOwner{});
        for (const auto& [link, to] : std::vector<std::pair<std::string, std::string>>{
                 {home + "/.config/brenvo/registry.json", secret},
                 {home + "/.config/brenvo", elsewhere + "/brenvo"},
                 {home + "/.config", elsewhere}}) {
            // The run's own configuration folder is where its own environment says.
            if (!owner && link == home + "/.config") continue;
            plant(link, to);
            EXPECT_FALSE(registry.Set(platform::RegistryRoot::LocalMachine, runOnce, "QVFWUpdate",
                                      "x /QVCHECK 0 QV12"))
                << who << ": " << link;
            EXPECT_FALSE(registry.Query(platform::RegistryRoot::CurrentUser, "Secret", "key"))
                << who << ": " << link;
            EXPECT_TRUE(fs::is_symlink(link)) << who << ": " << link;
            EXPECT_EQ(Slurp(secret), secretText);
            EXPECT_EQ(Slurp(elsewhere + "/brenvo/registry.json"), secretText);
            EXPECT_FALSE(fs::exists(elsewhere + "/autostart")) << who << ": " << link;
        }
        // The same home without the links: written, and read back.
        fs::remove_all(home);
        fs::create_directories(home);
        if (owner) {
            EXPECT_EQ(lchown(home.c_str(), 65534, 65534), 0);
        }
        EXPECT_TRUE(registry.Set(platform::RegistryRoot::CurrentUser, "Secret", "key", "mine"))
            << who;
        EXPECT_EQ(registry.Query(platform::RegistryRoot::CurrentUser, "Secret", "key"), "mine");
    }
}

// While root works for the user it holds the user's rights alone, on its own thread: their file
// system identity and their groups, not root's (a folder only root's group may write stays shut).
TEST(LinuxRegistry, ActingAsTheUserTakesTheirGroupsOnThisThreadOnly) {
    if (geteuid() != 0) GTEST_SKIP() << "taking another user's identity needs root";
    auto status = [](const std::string& key) {
        std::ifstream in("/proc/thread-self/status");
        for (std::string line; std::getline(in, line);)
            if (line.starts_with(key + ":")) {
                std::istringstream words(line.substr(key.size() + 1));
                std::vector<uint32_t> values;
                for (uint32_t v; words >> v;)
                    values.push_back(v);
                return values;
            }
        return std::vector<uint32_t>{};
    };
    const auto rootGroups = status("Groups");
    TempDir top;
    chmod(top.path().c_str(), 0755);
    const std::string rootGroupOnly = top.path() + "/root-group";
    fs::create_directories(rootGroupOnly);
    ASSERT_EQ(chown(rootGroupOnly.c_str(), 0, 0), 0);
    chmod(rootGroupOnly.c_str(), 0770);
    ASSERT_EQ(setgroups(1, std::array<gid_t, 1>{0}.data()), 0);  // root's group, as under sudo
    // A thread already running (a new one would start with the acting thread's identity).
    std::promise<void> look;
    std::vector<uint32_t> otherThread;
    std::thread other([&, looked = look.get_future()]() mutable {
        looked.wait();
        otherThread = status("Groups");
    });
    {
        common::ActingAs acting(common::FileOwner{65534, 65534, {4242, 65534}});
        EXPECT_TRUE(acting.ok());
        EXPECT_EQ(status("Groups"), (std::vector<uint32_t>{4242, 65534}));
        EXPECT_EQ(status("Uid").at(3), 65534u);  // real, effective, saved, file system
        EXPECT_EQ(status("Gid").at(3), 65534u);
        look.set_value();
        other.join();
        EXPECT_EQ(otherThread, std::vector<uint32_t>{0});
        const std::string file = rootGroupOnly + "/entry";
        EXPECT_LT(open(file.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0644), 0);
        EXPECT_EQ(errno, EACCES);
    }
    EXPECT_EQ(status("Groups"), std::vector<uint32_t>{0});
    EXPECT_EQ(status("Uid").at(3), 0u);
    setgroups(rootGroups.size(), std::vector<gid_t>(rootGroups.begin(), rootGroups.end()).data());
}

// At the log-in sudo has no terminal to ask its password on: the check after the restart asks
// through pkexec, whichever way the update came by root's rights. A console program needs a
// terminal for its output; a window needs none, and a display, which pkexec leaves it only where
// an action names it.
TEST(LinuxRegistry, TheCheckAfterTheRestartAsksForRootsRightsThroughPkexec) {
    using platform::linuxhost::AutostartLaunch;
    using platform::linuxhost::RestartLaunch;
    TempDir top;
    const std::string window = "/opt/brenvo dir/brenvo", console = "/opt/brenvo dir/brenvo-cli";
    LinuxHost host;
    host.pkexec = top.path() + "/pkexec";
    Write(host.pkexec, "");
    host.polkitActions = top.path() + "/actions";
    Write(host.polkitActions + "/org.brenvo.Brenvo.policy",
          "<annotate key=\"org.freedesktop.policykit.exec.path\">" + window +
              "</annotate>\n<annotate "
              "key=\"org.freedesktop.policykit.exec.allow_gui\">true</annotate>");
    auto launch = [&](bool isConsole, const std::string& program) {
        host.console = isConsole;
        AutostartLaunch l = RestartLaunch(host, program);
        return std::make_pair(l.prefix, l.terminal);
    };
    using Words = std::vector<std::string>;
    using Launch = std::pair<Words, bool>;
    // The run's own rights: the entry starts the program itself.
    EXPECT_EQ(launch(true, console), Launch({}, true));
    EXPECT_EQ(launch(false, window), Launch({}, false));
    for (const char* via : {"sudo", "pkexec"}) {
        host.invokedBy = platform::linuxhost::InvokingUser{65534, 65534, "nobody", "/", via, {}};
        EXPECT_EQ(launch(true, console), Launch({"pkexec"}, true)) << via;
        EXPECT_EQ(launch(false, window), Launch({"pkexec"}, false)) << via;
        // No action gives this window a display under pkexec: sudo -E in a terminal keeps it.
        EXPECT_EQ(launch(false, "/home/u/brenvo"), Launch({"sudo", "-E"}, true)) << via;
    }
    fs::remove(host.pkexec);
    EXPECT_EQ(launch(true, console), Launch({"sudo"}, true));
    EXPECT_EQ(launch(false, window), Launch({"sudo", "-E"}, true));

    // The entry as the desktop reads it.
    Write(host.pkexec, "");
    auto entry = [&](bool isConsole, const std::string& program) {
        host.console = isConsole;
        platform::linuxhost::RegistryFile registry(top.path() + "/config", {},
                                                   RestartLaunch(host, program));
        EXPECT_TRUE(registry.Set(platform::RegistryRoot::LocalMachine,
                                 "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunOnce",
                                 "QVFWUpdate", "\"" + program + "\" /QVCHECK 0 QV12"));
        std::ifstream file(registry.AutostartPath("QVFWUpdate"));
        return std::string((std::istreambuf_iterator<char>(file)), {});
    };
    std::string text = entry(false, window);
    EXPECT_NE(text.find("\nExec=pkexec \"" + window + "\" /QVCHECK 0 QV12\nTerminal=false\n"),
              std::string::npos)
        << text;
    text = entry(true, console);
    EXPECT_NE(text.find("\nExec=pkexec \"" + console + "\" /QVCHECK 0 QV12\nTerminal=true\n"),
              std::string::npos)
        << text;
}

TEST(LinuxHolders, MountInfoNamesWhereTheDrivesDiscIsMounted) {
    const std::string mountinfo =
        "22 1 8:1 / / rw,relatime shared:1 - ext4 /dev/sda1 rw\n"
        "36 22 11:0 / /media/my\\040cd ro,nosuid shared:9 - iso9660 /dev/sr0 ro\n"
        "37 22 11:1 / /media/other ro - udf /dev/sr1 ro\n"
        "38 22 11:0 / /mnt/again\\134x ro - iso9660 /dev/sr0 ro\n"
        "short 11:0\n";
    using platform::linuxhost::MountPointsOf;
    EXPECT_EQ(MountPointsOf(mountinfo, "11:0"),
              (std::vector<std::string>{"/media/my cd", "/mnt/again\\x"}));
    EXPECT_EQ(MountPointsOf(mountinfo, "11:1"), (std::vector<std::string>{"/media/other"}));
    EXPECT_TRUE(MountPointsOf(mountinfo, "11:2").empty());
    EXPECT_TRUE(MountPointsOf(mountinfo, "1:0").empty()) << "the whole field, not a part";
    EXPECT_TRUE(MountPointsOf("", "11:0").empty());
}

TEST(LinuxHolders, AreTheOtherProcessesWithTheDrivesNodesOpen) {
    TempDir proc;
    auto process = [&](const std::string& pid, const std::string& comm,
                       std::vector<std::pair<std::string, std::string>> fds) {
        fs::path dir = fs::path(proc.path()) / pid;
        fs::create_directories(dir / "fd");
        if (!comm.empty()) Write(dir / "comm", comm + "\n");
        for (auto& [fd, target] : fds)
            fs::create_symlink(target, dir / "fd" / fd);
    };
    process("100", "cdrecord", {{"0", "/dev/pts/1"}, {"3", "/dev/sg1"}});
    process("200", "bash", {{"4", "/dev/sg10"}});
    process("300", "brenvo-cli", {{"3", "/dev/sg1"}});  // this process
    process("400", "udisksd", {{"7", "/dev/sr0"}, {"8", "/dev/sg1"}});
    process("500", "", {{"3", "/dev/sr0"}});
    fs::create_symlink("300", fs::path(proc.path()) / "self");
    auto holders =
        platform::linuxhost::ProcessesHolding(proc.path(), {"/dev/sg1", "/dev/sr0"}, 300);
    EXPECT_EQ(holders,
              (std::vector<std::string>{"a program (process 500)", "cdrecord (process 100)",
                                        "udisksd (process 400)"}));
    EXPECT_TRUE(platform::linuxhost::ProcessesHolding(proc.path(), {"/dev/sg2"}, 300).empty());
}

// This computer with one drive whose disc is /dev/sr0 (11:0), a /proc of the test's own, and the
// process's System.
struct ClaimableDrive {
    TempDir sysfs, config, proc;
    FakeKernel kernel;
    LinuxSystem* system = nullptr;
    std::optional<platform::ScopedSystem> scoped;
    explicit ClaimableDrive(const std::string& mountinfo = "") {
        AddDevice(sysfs.path(), "1:0:0:0", 5, "sg1", "sr0");
        Write(fs::path(sysfs.path()) / "class/scsi_device/1:0:0:0/device/block/sr0/dev", "11:0\n");
        Write(fs::path(proc.path()) / "self/mountinfo", mountinfo);
        LinuxHost host = kernel.Host(sysfs.path(), config.path());
        host.procRoot = proc.path();
        auto owned = std::make_unique<LinuxSystem>(host);
        system = owned.get();
        scoped.emplace(std::move(owned));
    }
    // Another process with a node open.
    void Holder(const std::string& pid, const std::string& name, const std::string& node) {
        fs::path dir = fs::path(proc.path()) / pid;
        fs::create_directories(dir / "fd");
        Write(dir / "comm", name + "\n");
        fs::create_symlink(node, dir / "fd" / "3");
    }
    std::vector<std::pair<std::string, int>> ExclusiveOpens() const {
        std::vector<std::pair<std::string, int>> found;
        for (const auto& [path, flags] : kernel.opened)
            if (flags & O_EXCL) found.emplace_back(path, flags & O_ACCMODE);
        return found;
    }
};

// The node opened by name is the drive's only when it is the character device sysfs gives for
// the drive: another device at that name (a disk's node, a file) is closed and the drive refused.
TEST(LinuxDrives, AreRefusedWhenTheOpenNodeIsNotTheOneSysfsNames) {
    struct Case {
        const char* what;
        mode_t mode;
        dev_t device;
        bool accepted;
    };
    const Case cases[] = {
        {"the drive's own node", S_IFCHR, makedev(21, 1), true},
        {"another sg node", S_IFCHR, makedev(21, 0), false},
        {"a block device of the same numbers", S_IFBLK, makedev(21, 1), false},
        {"a regular file", S_IFREG, 0, false},
    };
    for (const auto& c : cases) {
        ClaimableDrive d;
        d.kernel.node = [&](const std::string&) {
            struct stat info {};
            info.st_mode = c.mode | 0660;
            info.st_rdev = c.device;
            return info;
        };
        uint32_t error = 0;
        platform::Handle handle = d.system->CreateDevice("\\\\.\\E:", platform::kGenericRead, 0,
                                                         platform::kOpenExisting, 0, error);
        EXPECT_EQ(handle != platform::kInvalidHandle, c.accepted) << c.what;
        EXPECT_EQ(d.system->ClaimDrive("E:\\").claimed, c.accepted) << c.what;
        if (!c.accepted) {
            EXPECT_EQ(error, platform::kErrorFileNotFound) << c.what;
            EXPECT_EQ(d.kernel.closed.size(), d.kernel.opened.size()) << c.what << ": left open";
            std::string report;
            for (const auto& [key, text] : d.system->MachineReport())
                report += text + "\n";
            EXPECT_NE(
                report.find("/dev/sg1 is not the drive's SCSI generic node (sysfs gives 21:1"),
                std::string::npos)
                << report;
        }
    }
}

TEST(LinuxClaim, HoldsTheSgAndSrNodesExclusivelyAndTheRunsHandlesShareTheClaim) {
    ClaimableDrive d;
    EXPECT_EQ(d.system->Drives()[0].blockDevice, "11:0");
    platform::DriveClaim claim = d.system->ClaimDrive("E:\\");
    ASSERT_TRUE(claim.claimed);
    EXPECT_EQ(d.ExclusiveOpens(), (std::vector<std::pair<std::string, int>>{{"/dev/sr0", O_RDONLY},
                                                                            {"/dev/sg1", O_RDWR}}));
    const int sgClaim = 100 + 2;  // the second open

    // The run's own devices on the drive: duplicates of the claim, no open the sg driver would
    // refuse.
    uint32_t error = 0;
    size_t opens = d.kernel.opened.size();
    platform::Handle handle = d.system->CreateDevice("\\\\.\\E:", platform::kGenericRead, 0,
                                                     platform::kOpenExisting, 0, error);
    EXPECT_NE(handle, platform::kInvalidHandle);
    EXPECT_EQ(d.kernel.opened.size(), opens);
    EXPECT_EQ(d.kernel.duplicated, std::vector<int>{sgClaim});
    EXPECT_TRUE(d.system->ClaimDrive("e:\\").claimed) << "claiming again keeps the one claim";
    EXPECT_EQ(d.ExclusiveOpens().size(), 2u);

    d.system->CloseHandle(handle);
    d.system->ReleaseDrive("E:\\");
    EXPECT_EQ(d.kernel.closed, (std::vector<int>{static_cast<int>(handle), sgClaim, 101}))
        << "both nodes let go";
    // After the claim a handle is an ordinary open again.
    handle = d.system->CreateDevice("\\\\.\\E:", platform::kGenericRead, 0, platform::kOpenExisting,
                                    0, error);
    EXPECT_EQ(d.kernel.opened.back(),
              (std::pair<std::string, int>{"/dev/sg1", O_RDWR | O_NONBLOCK | O_CLOEXEC}));
}

TEST(LinuxClaim, RefusesADriveWhoseDiscIsMountedBeforeOpeningAnything) {
    ClaimableDrive d("36 22 11:0 / /media/cdrom ro - iso9660 /dev/sr0 ro\n");
    platform::DriveClaim claim = d.system->ClaimDrive("E:\\");
    EXPECT_FALSE(claim.claimed);
    EXPECT_EQ(claim.error, platform::kErrorSharingViolation);
    EXPECT_EQ(claim.holder, "its disc (/dev/sr0) is mounted at /media/cdrom");
    EXPECT_TRUE(d.kernel.opened.empty());
    EXPECT_EQ(d.system->DriveHolder("E:\\"), claim.holder);
}

TEST(LinuxClaim, RefusesANodeAnotherProgramHoldsAndNamesIt) {
    // The sg node open elsewhere: the exclusive open is refused, and the claim gives back the sr
    // node it had already taken.
    ClaimableDrive d;
    d.Holder("4711", "brenvo-cli", "/dev/sg1");
    d.kernel.refuse = [](const std::string& path, int flags) {
        return path == "/dev/sg1" && (flags & O_EXCL) ? EBUSY : 0;
    };
    platform::DriveClaim claim = d.system->ClaimDrive("E:\\");
    EXPECT_FALSE(claim.claimed);
    EXPECT_EQ(claim.error, platform::kErrorSharingViolation);
    EXPECT_EQ(claim.holder, "brenvo-cli (process 4711)");
    EXPECT_EQ(d.kernel.closed, std::vector<int>{101}) << "the sr node is let go";

    // The sr node held exclusively elsewhere (by a mount in another namespace, a burner).
    ClaimableDrive block;
    block.kernel.refuse = [](const std::string& path, int flags) {
        return path == "/dev/sr0" && (flags & O_EXCL) ? EBUSY : 0;
    };
    claim = block.system->ClaimDrive("E:\\");
    EXPECT_FALSE(claim.claimed);
    EXPECT_EQ(claim.holder, "/dev/sr0 is held exclusively");
    EXPECT_EQ(block.ExclusiveOpens().size(), 1u) << "the sg node is not tried";

    // A user who may not open the sr node still claims the sg node.
    ClaimableDrive user;
    user.kernel.refuse = [](const std::string& path, int) {
        return path == "/dev/sr0" ? EACCES : 0;
    };
    EXPECT_TRUE(user.system->ClaimDrive("E:\\").claimed);
}

TEST(LinuxClaim, ADriveHeldExclusivelyByAnotherRunIsNamedAtTheScan) {
    // Another run holds the sg node with O_EXCL: every open of it is busy. The right to open it is
    // there; the scan names the drive as held.
    ClaimableDrive d;
    d.Holder("4711", "brenvo-cli", "/dev/sg1");
    d.kernel.refuse = [](const std::string& path, int) { return path == "/dev/sg1" ? EBUSY : 0; };
    device::OSInfo info;
    info.Fill();
    EXPECT_TRUE(device::IsAdministrator(info));
    device::AtapiDevice device;
    EXPECT_EQ(device.lastError, platform::kErrorSharingViolation);
    EXPECT_EQ(device.heldRoots, std::vector<std::string>{"E:\\"});
    EXPECT_EQ(d.system->DriveHolder("E:\\"), "brenvo-cli (process 4711)");
}

TEST(LinuxRestart, AsksTheServiceManagerThroughTheReplaceableCommand) {
    TempDir sysfs, config;
    FakeKernel kernel;
    LinuxHost host = kernel.Host(sysfs.path(), config.path());
    host.restartCommand = {"true-restart", "--now"};
    platform::ScopedSystem scoped(std::make_unique<LinuxSystem>(host));
    device::OSInfo info;
    info.Fill();
    EXPECT_TRUE(device::RebootSystem(info));
    ASSERT_EQ(kernel.ran.size(), 1u);
    EXPECT_EQ(kernel.ran[0], (std::vector<std::string>{"true-restart", "--now"}));
    kernel.runStatus = 1;
    EXPECT_FALSE(device::RebootSystem(info));
}

}  // namespace
#endif
