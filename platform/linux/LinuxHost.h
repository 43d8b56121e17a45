// What the Linux backend asks of the kernel and the session, gathered in one replaceable place.
//
// The real program uses the defaults; tests replace the open, the SG_IO ioctl, the folders and
// the command that restarts the computer, so nothing in a test touches a real device or reboots.
#pragma once

#include <scsi/sg.h>

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace platform::linuxhost {

// The user who started a run that sudo or pkexec gave root's rights: whose desktop its files
// belong to.
struct InvokingUser {
    uint32_t uid = 0;
    uint32_t gid = 0;
    std::string name;
    std::string home;  // from the password database
    std::string via;   // "sudo" or "pkexec"
};

// Who started this run, given its effective user and the variables pkexec (PKEXEC_UID) and sudo
// (SUDO_USER) leave: nullopt unless the run is root's and one of them names a known user other
// than root.
std::optional<InvokingUser> FindInvokingUser(uint32_t effectiveUid, const char* pkexecUid,
                                             const char* sudoUser);

struct LinuxHost {
    // open(2) of a device node: the descriptor, or -1 with errno set.
    std::function<int(const std::string& path, int flags)> open;
    // ioctl(fd, SG_IO, header): 0, or -1 with errno set.
    std::function<int(int fd, sg_io_hdr_t& header)> sgIo;
    std::function<void(int fd)> close;
    // dup(2): a second descriptor of the same open file, or -1 with errno set.
    std::function<int(int fd)> dup;
    // Runs a command (argv) and returns its exit status.
    std::function<int(const std::vector<std::string>& argv)> run;
    // Takes the lock that holds off sleep and shutdown (the login manager's): its descriptor, or
    // -1 with `error` saying why not. The lock ends when `close` closes the descriptor.
    std::function<int(const std::string& reason, std::string& error)> blockShutdown;
    // The command that asks the service manager to restart the computer.
    std::vector<std::string> restartCommand = {"systemctl", "reboot"};
    std::string sysfsRoot = "/sys";
    std::string devRoot = "/dev";
    std::string procRoot = "/proc";
    // Where the login manager and udev keep their state (seats, users, device tags).
    std::string runRoot = "/run";
    // The polkit actions installed on this machine, and the program that asks polkit.
    std::string polkitActions = "/usr/share/polkit-1/actions";
    std::string pkexec = "/usr/bin/pkexec";
    // How long a claim waits for other programs' handles on a drive's sg node to close (a scan
    // of the drives holds them for a moment) before it gives up.
    uint32_t claimWaitMilliseconds = 0;
    // The user's configuration folder ($XDG_CONFIG_HOME, else ~/.config); under sudo or pkexec
    // the invoking user's (~/.config of their home), whose session reads the autostart entries.
    std::string configDir;
    // Under sudo or pkexec, the user the registry file and the autostart entries belong to.
    std::optional<InvokingUser> invokedBy;
    // The run is the console program's, not a window's: its autostart entries open a terminal.
    bool console = false;

    // The host of a real run: the kernel's calls, the real folders.
    static LinuxHost Real();
};

}  // namespace platform::linuxhost
