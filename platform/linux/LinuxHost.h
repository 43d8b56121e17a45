// What the Linux backend asks of the kernel and the session, gathered in one replaceable place.
//
// The real program uses the defaults; tests replace the open, the SG_IO ioctl, the folders and
// the command that restarts the computer, so nothing in a test touches a real device or reboots.
#pragma once

#include <scsi/sg.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace platform::linuxhost {

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
    // How long a claim waits for other programs' handles on a drive's sg node to close (a scan
    // of the drives holds them for a moment) before it gives up.
    uint32_t claimWaitMilliseconds = 0;
    // The user's configuration folder ($XDG_CONFIG_HOME, else ~/.config).
    std::string configDir;

    // The host of a real run: the kernel's calls, the real folders.
    static LinuxHost Real();
};

}  // namespace platform::linuxhost
