#include "platform/linux/LinuxSystem.h"

#include "common/Files.h"

#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/utsname.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "common/Text.h"
#include "platform/Trace.h"
#include "platform/linux/DriveHolders.h"
#include "platform/linux/LogindInhibitor.h"
#include "platform/linux/SgPassThrough.h"

namespace platform::linuxhost {
namespace {
namespace fs = std::filesystem;
constexpr uint32_t kDriveFixed = 3;
constexpr uint32_t kDriveNoRootDir = 1;
constexpr uint32_t kFileAttributeDirectory = 0x10;
constexpr uint32_t kErrorTooManyOpenFiles = 4;
constexpr int64_t kNanosecondsPerSecond = 1'000'000'000;
constexpr char kDevicePrefix[] = "\\\\.\\";
// sr refuses vendor commands and WRITE BUFFER to users without CAP_SYS_RAWIO; sg carries all.
constexpr int kDriveOpenFlags = O_RDWR | O_NONBLOCK | O_CLOEXEC;
// O_EXCL on a block device claims it: refused while it is mounted or claimed elsewhere.
constexpr int kBlockClaimFlags = O_RDONLY | O_NONBLOCK | O_EXCL | O_CLOEXEC;
constexpr uint32_t kClaimPollMilliseconds = 100;

std::string Joined(const std::vector<std::string>& parts) {
    std::string text;
    for (const auto& part : parts)
        text += (text.empty() ? "" : ", ") + part;
    return text;
}

Status FromErrno() {
    return Status::Failure(WindowsError(errno));
}

std::string UserName(uid_t uid) {
    const passwd* entry = getpwuid(uid);
    return (entry ? std::string(entry->pw_name) : "uid " + std::to_string(uid)) + " (uid " +
           std::to_string(uid) + ")";
}

// Whether the group database lists `user` in the group, while this process does not hold it: the
// user joined it after this session began.
bool ListedInGroupNotHeld(const passwd& user, gid_t wanted) {
    int count = 64;
    std::vector<gid_t> listed(count);
    if (getgrouplist(user.pw_name, user.pw_gid, listed.data(), &count) < 0) {
        listed.resize(count);
        if (getgrouplist(user.pw_name, user.pw_gid, listed.data(), &count) < 0) return false;
    }
    listed.resize(count);
    if (std::find(listed.begin(), listed.end(), wanted) == listed.end()) return false;
    if (getegid() == wanted) return false;
    std::vector<gid_t> held(static_cast<size_t>(std::max(getgroups(0, nullptr), 0)));
    if (getgroups(static_cast<int>(held.size()), held.data()) < 0) return false;
    return std::find(held.begin(), held.end(), wanted) == held.end();
}

// The value of KEY=value in a small state file of the login manager; empty when absent.
std::string KeyOf(const std::string& file, const std::string& key) {
    std::ifstream in(file);
    for (std::string line; std::getline(in, line);) {
        if (line.size() > key.size() && line.compare(0, key.size(), key) == 0 &&
            line[key.size()] == '=')
            return line.substr(key.size() + 1);
    }
    return "";
}

// Whether an installed polkit action lets pkexec start `program` with a display: an action that
// names its path and allows a graphical program.
bool PolkitActionStarts(const std::string& actions, const std::string& program) {
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(actions, ec)) {
        if (entry.path().extension() != ".policy") continue;
        std::ifstream in(entry.path());
        std::string text((std::istreambuf_iterator<char>(in)), {});
        if (text.find("\"org.freedesktop.policykit.exec.path\">" + program + "</annotate>") !=
                std::string::npos &&
            text.find("\"org.freedesktop.policykit.exec.allow_gui\">true</annotate>") !=
                std::string::npos)
            return true;
    }
    return false;
}

// " (owner root, group cdrom, mode 0660)" of a node; empty when it cannot be read.
std::string NodeOwner(const std::string& node) {
    struct stat info {};
    if (stat(node.c_str(), &info) != 0) return "";
    const passwd* owner = getpwuid(info.st_uid);
    const group* group = getgrgid(info.st_gid);
    char mode[8];
    std::snprintf(mode, sizeof mode, "%04o", static_cast<unsigned>(info.st_mode & 07777));
    return std::string(" (owner ") + (owner ? owner->pw_name : std::to_string(info.st_uid)) +
           ", group " + (group ? group->gr_name : std::to_string(info.st_gid)) + ", mode " + mode +
           ")";
}
// Under sudo or pkexec the registry and the autostart entries are the invoking user's, theirs to
// own.
RegistryOwner OwnerOf(const std::optional<InvokingUser>& user) {
    if (!user) return {};
    return {common::FileOwner{user->uid, user->gid, user->groups}, user->home};
}
}  // namespace

AutostartLaunch RestartLaunch(const LinuxHost& host, const std::string& program) {
    AutostartLaunch launch;
    launch.terminal = host.console;
    if (!host.invokedBy) return launch;
    // At the log-in no terminal is there for sudo to ask its password on; pkexec asks through the
    // desktop's polkit agent (or, in a console program's terminal, itself). It gives a window a
    // display only where an action names the program and allows one: a window no action names
    // (or a machine without pkexec) can only ask sudo, in a terminal, keeping the session's
    // environment (-E) for the display.
    if (fs::exists(host.pkexec) &&
        (host.console || PolkitActionStarts(host.polkitActions, program))) {
        launch.prefix = {"pkexec"};
    } else {
        launch.prefix = host.console ? std::vector<std::string>{"sudo"}
                                     : std::vector<std::string>{"sudo", "-E"};
        launch.terminal = true;
    }
    return launch;
}

LinuxSystem::LinuxSystem(LinuxHost host)
    : host_(std::move(host)),
      drives_(FindOpticalDrives(host_.sysfsRoot, host_.devRoot)),
      registry_(host_.configDir, OwnerOf(host_.invokedBy), RestartLaunch(host_, ModuleFileName())) {
}

LinuxSystem::~LinuxSystem() {
    if (shutdownBlock_ >= 0) host_.close(shutdownBlock_);
    for (int fd = 0; fd < kHandleSlots; ++fd) {
        if (handles_[fd].load()) host_.close(fd);
    }
    for (auto& [letter, claim] : claims_) {
        host_.close(claim.sg);
        if (claim.block >= 0) host_.close(claim.block);
    }
}

std::optional<AccessDenial> LinuxSystem::WhyAccessDenied() {
    for (const auto& drive : drives_) {
        int fd = host_.open(drive.sgNode, kDriveOpenFlags);
        // Busy means another program holds the node: the right to open it is there.
        if (fd >= 0) host_.close(fd);
        if (fd >= 0 || errno == EBUSY) continue;
        AccessDenial denial;
        denial.node = drive.sgNode;
        denial.error = std::strerror(errno);
        denial.uid = geteuid();
        const passwd* user = getpwuid(denial.uid);
        denial.user = user ? user->pw_name : "uid " + std::to_string(denial.uid);
        struct stat info {};
        if (stat(drive.sgNode.c_str(), &info) == 0) {
            const passwd* owner = getpwuid(info.st_uid);
            const group* nodeGroup = getgrgid(info.st_gid);
            denial.owner = owner ? owner->pw_name : std::to_string(info.st_uid);
            denial.group = nodeGroup ? nodeGroup->gr_name : std::to_string(info.st_gid);
            denial.mode = info.st_mode & 07777;
            denial.groupMayUse = info.st_gid != 0 && (info.st_mode & 060) == 060;
            if (user) denial.inGroupNotRun = ListedInGroupNotHeld(*user, info.st_gid);
        }
        // systemd-logind gives the user of a seat's active session an ACL on the nodes udev
        // tagged "uaccess" (optical drives' sg nodes among them).
        denial.seatManaged = fs::exists(host_.runRoot + "/systemd/seats");
        denial.seatGetsNode = !drive.sgDevice.empty() &&
                              fs::exists(host_.runRoot + "/udev/tags/uaccess/c" + drive.sgDevice);
        denial.activeAtSeat = KeyOf(host_.runRoot + "/systemd/users/" + std::to_string(denial.uid),
                                    "STATE") == "active";
        denial.program = ModuleFileName();
        denial.pkexecStartsIt =
            fs::exists(host_.pkexec) && PolkitActionStarts(host_.polkitActions, denial.program);
        return denial;
    }
    return std::nullopt;
}

std::vector<std::pair<std::string, std::string>> LinuxSystem::MachineReport() const {
    std::vector<std::pair<std::string, std::string>> lines;
    utsname system{};
    std::string kernel = uname(&system) == 0 ? std::string(" ") + system.release : "";
    lines.emplace_back("Platform", "Linux" + kernel + " (drives through their SCSI generic nodes)");
    std::string invokedBy;
    if (host_.invokedBy)
        invokedBy = ", through " + host_.invokedBy->via + " for " + UserName(host_.invokedBy->uid);
    if (!host_.invokerUnconfirmed.empty())
        invokedBy = "; who started it cannot be told (" + host_.invokerUnconfirmed + ")";
    lines.emplace_back("User", UserName(geteuid()) + invokedBy);
    if (drives_.empty()) lines.emplace_back("Drives", "no optical drive with an sg node found");
    for (const auto& drive : drives_) {
        std::string text =
            drive.sgNode + (drive.blockNode.empty() ? "" : " (" + drive.blockNode + ")");
        int fd = host_.open(drive.sgNode, kDriveOpenFlags);
        const int openError = errno;
        if (fd >= 0) {
            std::string refused = NotTheDrivesNode(drive, fd);
            host_.close(fd);
            text += refused.empty() ? ": opens for reading and writing" : ": " + refused;
        } else {
            text += std::string(": ") + std::strerror(openError) + NodeOwner(drive.sgNode);
        }
        lines.emplace_back("Drive " + drive.letter.substr(0, 1), text);
    }
    return lines;
}

std::string LinuxSystem::NotTheDrivesNode(const OpticalNode& drive, int fd) const {
    unsigned major = 0, minor = 0;
    char rest = 0;
    if (std::sscanf(drive.sgDevice.c_str(), "%u:%u%c", &major, &minor, &rest) != 2)
        return "sysfs gives no device number for " + drive.sgNode;
    struct stat info {};
    if (!host_.fstat || host_.fstat(fd, info) != 0)
        return drive.sgNode + " cannot be examined: " + std::strerror(errno);
    if (S_ISCHR(info.st_mode) && info.st_rdev == makedev(major, minor)) return "";
    std::string found = S_ISCHR(info.st_mode) ? "device " + std::to_string(::major(info.st_rdev)) +
                                                    ":" + std::to_string(::minor(info.st_rdev))
                                              : "not a character device";
    return drive.sgNode + " is not the drive's SCSI generic node (sysfs gives " + drive.sgDevice +
           ", the node is " + found + ")";
}

int LinuxSystem::OpenDrivesNode(const OpticalNode& drive, int flags, std::string& refused) {
    refused.clear();
    int fd = host_.open(drive.sgNode, flags);
    if (fd < 0) return fd;
    refused = NotTheDrivesNode(drive, fd);
    if (refused.empty()) return fd;
    host_.close(fd);
    TraceClaim(drive, "refused", refused);
    std::fprintf(stderr, "brenvo: drive %s is left alone: %s\n", drive.letter.c_str(),
                 refused.c_str());
    errno = ENODEV;
    return -1;
}

const OpticalNode* LinuxSystem::DriveOf(Handle handle) const {
    if (handle < 0 || handle >= kHandleSlots) return nullptr;
    return handles_[handle].load(std::memory_order_acquire);
}

const OpticalNode* LinuxSystem::FindLetter(const std::string& letterAndColon) const {
    std::string wanted = common::UpperAscii(letterAndColon);
    for (const auto& drive : drives_) {
        if (drive.letter == wanted) return &drive;
    }
    return nullptr;
}

bool LinuxSystem::QueryPerformanceFrequency(int64_t& countsPerSecond) {
    countsPerSecond = kNanosecondsPerSecond;
    return true;
}

bool LinuxSystem::QueryPerformanceCounter(int64_t& count) {
    timespec now{};
    if (clock_gettime(CLOCK_MONOTONIC, &now) != 0) return false;
    count = int64_t{now.tv_sec} * kNanosecondsPerSecond + now.tv_nsec;
    return true;
}

void LinuxSystem::Sleep(uint32_t milliseconds) {
    timespec wait{static_cast<time_t>(milliseconds / 1000),
                  static_cast<long>(milliseconds % 1000) * 1'000'000};
    while (nanosleep(&wait, &wait) != 0 && errno == EINTR) {
    }
}

std::optional<uint32_t> LinuxSystem::PlatformId() {
    // The pass-through transport is the one Linux offers.
    return kPlatformWin32Nt;
}

SecurityApi LinuxSystem::LoadSecurityApi() {
    return {true, true, true, true};
}

bool LinuxSystem::CheckAdministratorsMembership(bool& isMember) {
    // The right that matters is opening every drive's sg node for reading and writing.
    isMember = true;
    for (const auto& drive : drives_) {
        int fd = host_.open(drive.sgNode, kDriveOpenFlags);
        // Busy means another program holds the node: the right to open it is there.
        if (fd < 0 && errno != EBUSY) {
            isMember = false;
            break;
        }
        if (fd >= 0) host_.close(fd);
    }
    return true;
}

Status LinuxSystem::OpenProcessTokenForPrivileges() {
    return Status::Success();
}

bool LinuxSystem::ExitWindowsEx(uint32_t /*flags*/, uint32_t /*reason*/) {
    return host_.run && host_.run(host_.restartCommand) == 0;
}

Status LinuxSystem::BlockShutdown(const std::string& reason) {
    std::string error = "nothing takes the lock on this host";
    if (shutdownBlock_ < 0 && host_.blockShutdown)
        shutdownBlock_ = host_.blockShutdown(reason, error);
    Trace* trace = Trace::Current();
    if (shutdownBlock_ < 0) {
        // A container or a small VM has no login manager: the flash goes on, said in the trace.
        if (trace) trace->WriteShutdownBlock("not held", error);
        return Status::Failure(kErrorNotSupported);
    }
    if (trace) {
        trace->WriteShutdownBlock(
            "held", std::string("logind ") + kInhibitWhat + " " + kInhibitMode + ": " + reason);
    }
    return Status::Success();
}

void LinuxSystem::ReleaseShutdownBlock() {
    if (shutdownBlock_ < 0) return;
    host_.close(shutdownBlock_);
    shutdownBlock_ = -1;
    if (Trace* trace = Trace::Current()) trace->WriteShutdownBlock("released", "logind");
}

std::optional<std::string> LinuxSystem::GetTempPath() {
    const char* tmp = std::getenv("TMPDIR");
    std::string path = tmp && *tmp == '/' ? tmp : "/tmp";
    if (path.back() != '/') path += '/';
    return path;
}

uint32_t LinuxSystem::GetFileAttributes(const std::string& path) {
    struct stat info {};
    if (stat(path.c_str(), &info) != 0) return kInvalidFileAttributes;
    if (S_ISDIR(info.st_mode)) return kFileAttributeDirectory;
    return (info.st_mode & S_IWUSR) ? kFileAttributeNormal : kFileAttributeReadOnly;
}

Status LinuxSystem::SetFileAttributes(const std::string& path, uint32_t attributes) {
    struct stat info {};
    if (stat(path.c_str(), &info) != 0) return FromErrno();
    mode_t mode = info.st_mode & 07777;
    mode = (attributes & kFileAttributeReadOnly) ? (mode & ~0222) : (mode | S_IWUSR);
    if (chmod(path.c_str(), mode) != 0) return FromErrno();
    return Status::Success();
}

Status LinuxSystem::DeleteFile(const std::string& path) {
    if (unlink(path.c_str()) != 0) return FromErrno();
    return Status::Success();
}

Status LinuxSystem::WriteWholeFile(const std::string& path, std::span<const uint8_t> bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (!out) return Status::Failure(kErrorAccessDenied);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    return out.flush() ? Status::Success() : Status::Failure(kErrorIoDevice);
}

std::optional<std::vector<uint8_t>> LinuxSystem::ReadWholeFile(const std::string& path) {
    std::string problem;
    return common::ReadWholeFile(path, problem);
}

Status LinuxSystem::CopyFile(const std::string& from, const std::string& to, bool failIfExists) {
    std::error_code ec;
    auto options = failIfExists ? fs::copy_options::none : fs::copy_options::overwrite_existing;
    if (failIfExists && fs::exists(to, ec)) return Status::Failure(kErrorFileExists);
    if (!fs::copy_file(from, to, options, ec))
        return Status::Failure(WindowsError(ec.value() ? ec.value() : EIO));
    return Status::Success();
}

Handle LinuxSystem::CreateDevice(const std::string& name, uint32_t /*access*/, uint32_t /*share*/,
                                 uint32_t /*disposition*/, uint32_t /*flags*/, uint32_t& error) {
    const size_t prefix = sizeof kDevicePrefix - 1;
    const OpticalNode* drive = nullptr;
    if (name.size() == prefix + 2 && name.compare(0, prefix, kDevicePrefix) == 0)
        drive = FindLetter(name.substr(prefix));
    if (!drive) {
        error = kErrorFileNotFound;
        return kInvalidHandle;
    }
    int fd = -1;
    {
        // While this run claims the drive, its handles share the claim's open file: the sg
        // driver refuses a second open of a node held with O_EXCL, ours too.
        std::lock_guard lock(claimsMutex_);
        auto claim = claims_.find(drive->letter);
        std::string refused;
        fd = claim != claims_.end() ? host_.dup(claim->second.sg)
                                    : OpenDrivesNode(*drive, kDriveOpenFlags, refused);
    }
    if (fd < 0) {
        error = WindowsError(errno);
        return kInvalidHandle;
    }
    if (fd >= kHandleSlots) {
        host_.close(fd);
        error = kErrorTooManyOpenFiles;
        return kInvalidHandle;
    }
    handles_[fd].store(drive, std::memory_order_release);
    error = kErrorSuccess;
    return fd;
}

Status LinuxSystem::DeviceIoControl(Handle handle, uint32_t code, std::span<uint8_t> /*in*/,
                                    std::span<uint8_t> out, uint32_t& returned) {
    returned = 0;
    const OpticalNode* drive = DriveOf(handle);
    if (!drive) return Status::Failure(kErrorInvalidHandle);
    if (code != kIoctlScsiGetAddress) return Status::Failure(kErrorNotSupported);
    if (out.size() < kScsiAddressSize) return Status::Failure(kErrorInvalidParameter);
    // SCSI_ADDRESS: Length, PortNumber, PathId, TargetId, Lun; from sysfs's
    // host:channel:target:lun.
    std::fill(out.begin(), out.begin() + kScsiAddressSize, uint8_t{0});
    out[0] = static_cast<uint8_t>(kScsiAddressSize);
    for (size_t i = 0; i < 4; ++i)
        out[4 + i] = static_cast<uint8_t>(drive->address[i]);
    returned = kScsiAddressSize;
    return Status::Success();
}

bool LinuxSystem::CloseHandle(Handle handle) {
    if (!DriveOf(handle)) return false;
    handles_[handle].store(nullptr, std::memory_order_release);
    host_.close(static_cast<int>(handle));
    return true;
}

std::string LinuxSystem::MountedAt(const OpticalNode& drive) const {
    if (drive.blockDevice.empty()) return "";
    std::ifstream in(host_.procRoot + "/self/mountinfo");
    std::string mountinfo((std::istreambuf_iterator<char>(in)), {});
    auto points = MountPointsOf(mountinfo, drive.blockDevice);
    if (points.empty()) return "";
    return "its disc (" + drive.blockNode + ") is mounted at " + Joined(points);
}

std::string LinuxSystem::ProgramsHolding(const OpticalNode& drive) const {
    std::vector<std::string> nodes = {drive.sgNode};
    if (!drive.blockNode.empty()) nodes.push_back(drive.blockNode);
    return Joined(ProcessesHolding(host_.procRoot, nodes, static_cast<int>(getpid())));
}

void LinuxSystem::TraceClaim(const OpticalNode& drive, const std::string& what,
                             const std::string& detail) {
    Trace* trace = Trace::Current();
    if (!trace) return;
    nlohmann::ordered_json line;
    line["claim"] = what;
    line["drive"] = drive.letter;
    line["node"] = drive.sgNode;
    if (!detail.empty()) line["detail"] = detail;
    trace->Write(line);
}

DriveClaim LinuxSystem::ClaimDrive(const std::string& root) {
    const OpticalNode* drive = FindLetter(root.substr(0, 2));
    if (!drive) return {false, kErrorFileNotFound, ""};
    std::lock_guard lock(claimsMutex_);
    if (claims_.count(drive->letter)) return {true, kErrorSuccess, ""};
    DriveClaim refused{false, kErrorSharingViolation, MountedAt(*drive)};
    if (!refused.holder.empty()) {
        TraceClaim(*drive, "refused", refused.holder);
        return refused;
    }
    Claim claim;
    if (!drive->blockNode.empty()) {
        claim.block = host_.open(drive->blockNode, kBlockClaimFlags);
        if (claim.block < 0 && errno == EBUSY) {
            refused.holder = ProgramsHolding(*drive);
            if (refused.holder.empty()) refused.holder = drive->blockNode + " is held exclusively";
            TraceClaim(*drive, "refused", refused.holder);
            return refused;
        }
        // A user who may open the sg node but not the sr node: only the sg claim can be had.
        if (claim.block < 0)
            TraceClaim(*drive, "unchecked", drive->blockNode + ": " + std::strerror(errno));
    }
    // A scan of the drives by another program holds the node for a moment: wait for it.
    int openError = 0;
    for (uint32_t waited = 0;; waited += kClaimPollMilliseconds) {
        std::string refused;
        claim.sg = OpenDrivesNode(*drive, kDriveOpenFlags | O_EXCL, refused);
        openError = errno;
        if (claim.sg >= 0 || openError != EBUSY || waited >= host_.claimWaitMilliseconds) break;
        Sleep(kClaimPollMilliseconds);
    }
    if (claim.sg < 0) {
        if (claim.block >= 0) host_.close(claim.block);
        if (openError != EBUSY) {
            TraceClaim(*drive, "refused", std::strerror(openError));
            return {false, WindowsError(openError), ""};
        }
        refused.holder = ProgramsHolding(*drive);
        TraceClaim(*drive, "refused", refused.holder);
        return refused;
    }
    claims_[drive->letter] = claim;
    TraceClaim(*drive, "taken", claim.block >= 0 ? drive->blockNode + " held too" : "");
    return {true, kErrorSuccess, ""};
}

void LinuxSystem::ReleaseDrive(const std::string& root) {
    const OpticalNode* drive = FindLetter(root.substr(0, 2));
    if (!drive) return;
    std::lock_guard lock(claimsMutex_);
    auto claim = claims_.find(drive->letter);
    if (claim == claims_.end()) return;
    host_.close(claim->second.sg);
    if (claim->second.block >= 0) host_.close(claim->second.block);
    claims_.erase(claim);
    TraceClaim(*drive, "released", "");
}

std::string LinuxSystem::DriveHolder(const std::string& root) {
    const OpticalNode* drive = FindLetter(root.substr(0, 2));
    if (!drive) return "";
    std::string mounted = MountedAt(*drive);
    return mounted.empty() ? ProgramsHolding(*drive) : mounted;
}

uint32_t LinuxSystem::GetLogicalDriveStrings(std::span<char> buffer) {
    std::string list = std::string("C:\\") + '\0';
    for (const auto& drive : drives_)
        list += drive.letter + "\\" + '\0';
    if (buffer.size() < list.size() + 1) return static_cast<uint32_t>(list.size() + 1);
    std::memcpy(buffer.data(), list.data(), list.size());
    buffer[list.size()] = '\0';
    return static_cast<uint32_t>(list.size());
}

uint32_t LinuxSystem::GetDriveType(const std::string& root) {
    std::string upper = common::UpperAscii(root);
    if (upper == "C:\\") return kDriveFixed;
    if (upper.size() == 3 && upper[2] == '\\' && FindLetter(upper.substr(0, 2))) return kDriveCdrom;
    return kDriveNoRootDir;
}

Status LinuxSystem::ScsiPassThroughDirect(Handle drive,
                                          std::span<uint8_t, kScsiRequestSize> request,
                                          std::span<uint8_t> data) {
    const OpticalNode* node = DriveOf(drive);
    if (!node) return Status::Failure(kErrorInvalidHandle);
    Status status = SendPassThrough(host_, static_cast<int>(drive), request, data);
    if (Trace* trace = Trace::Current()) {
        int64_t now = 0;
        QueryPerformanceCounter(now);
        trace->WritePassThrough(node->letter, request, data, status.ok,
                                static_cast<double>(now) / kNanosecondsPerSecond);
    }
    return status;
}

Status LinuxSystem::SetRegistryString(RegistryRoot root, const std::string& key,
                                      const std::string& name, const std::string& value) {
    return registry_.Set(root, key, name, value);
}

std::optional<std::string> LinuxSystem::QueryRegistryString(RegistryRoot root,
                                                            const std::string& key,
                                                            const std::string& name) {
    return registry_.Query(root, key, name);
}

Status LinuxSystem::DeleteRegistryValue(RegistryRoot root, const std::string& key,
                                        const std::string& name) {
    return registry_.Delete(root, key, name);
}

ScHandle LinuxSystem::OpenServiceManager(uint32_t /*access*/, uint32_t& error) {
    error = kErrorNotSupported;
    return kNullScHandle;
}

ScHandle LinuxSystem::CreateService(ScHandle, const ServiceConfig&, uint32_t& error) {
    error = kErrorNotSupported;
    return kNullScHandle;
}

ScHandle LinuxSystem::OpenService(ScHandle, const std::string&, uint32_t, uint32_t& error) {
    error = kErrorNotSupported;
    return kNullScHandle;
}

Status LinuxSystem::ControlService(ScHandle, uint32_t) {
    return Status::Failure(kErrorNotSupported);
}

Status LinuxSystem::DeleteService(ScHandle) {
    return Status::Failure(kErrorNotSupported);
}

Status LinuxSystem::StartService(ScHandle) {
    return Status::Failure(kErrorNotSupported);
}

std::unique_ptr<LinuxSystem> OpenThisComputer(bool console) {
    LinuxHost host = LinuxHost::Real();
    host.console = console;
    if (!host.invokerUnconfirmed.empty()) {
        std::fprintf(stderr,
                     "brenvo: cannot tell which user started this run; the check after the restart "
                     "is kept in root's own folders\n");
    }
    auto system = std::make_unique<LinuxSystem>(std::move(host));
    std::ifstream in("/proc/self/cmdline", std::ios::binary);
    std::vector<std::string> argv;
    for (std::string word; std::getline(in, word, '\0');)
        argv.push_back(word);
    if (!argv.empty()) argv[0] = system->ModuleFileName();
    system->Registry().RemoveRunOnceStartedAs(argv);
    return system;
}

std::string LinuxSystem::ModuleFileName() {
    std::error_code ec;
    auto self = fs::read_symlink("/proc/self/exe", ec);
    return ec ? std::string() : self.string();
}

}  // namespace platform::linuxhost
