// What the Linux backend asks of the kernel and the session, gathered in one replaceable place.
//
// The real program uses the defaults; tests replace the open, the SG_IO ioctl, the folders and
// the command that restarts the computer, so nothing in a test touches a real device or reboots.
#pragma once

#include <scsi/sg.h>
#include <sys/stat.h>

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
    std::string home;              // from the password database
    std::string via;               // "sudo" or "pkexec"
    std::vector<uint32_t> groups;  // their supplementary groups, from the group database
};

// A process above this run: its program and the user it runs for (its real uid).
struct Ancestor {
    std::string exe;
    uint32_t uid = 0;
};

// What tells who started a run: the run's effective user, what pkexec (PKEXEC_UID) and sudo
// (SUDO_UID, SUDO_USER) leave in the environment, the processes above it (the parent first) and
// the login's user (/proc/self/loginuid; nullopt where it is not set).
struct InvocationFacts {
    uint32_t effectiveUid = 0;
    const char* pkexecUid = nullptr;
    const char* sudoUid = nullptr;
    const char* sudoUser = nullptr;
    std::vector<Ancestor> ancestors;
    std::optional<uint32_t> loginUid;
};

struct Invocation {
    // The user sudo or pkexec started the run for; nullopt for a run of its own user (root's
    // included).
    std::optional<InvokingUser> user;
    // Non-empty when the run is root's and something names another user (a variable, the login)
    // that the mechanism in use does not confirm: the run keeps to root's own folders.
    std::string unconfirmed;
};

// Who started this run. A variable is believed only from the program that sets it: sudo's when
// sudo is above the run (it stays the parent of what it starts), pkexec's when the process it
// replaced itself with was started by the user it names (pkexec keeps no process of its own), and
// either only when the login's user, where one is set, is the same. A uid of 0 is root itself.
Invocation FindInvokingUser(const InvocationFacts& facts);

// The processes above `pid` under `procRoot`, its parent first, up to the first that runs for a
// user other than root or is sudo or pkexec.
std::vector<Ancestor> AncestorsOf(const std::string& procRoot, int pid);

// The history of runs: root's in /var/lib/brenvo, whoever started it (a run of root's rights
// keeps nothing in a user's folder); any other user's in their state folder ($XDG_STATE_HOME when
// it is an absolute path, else ~/.local/state).
std::string HistoryFileFor(uint32_t effectiveUid, const char* xdgStateHome,
                           const std::string& home);

struct LinuxHost {
    // open(2) of a device node: the descriptor, or -1 with errno set.
    std::function<int(const std::string& path, int flags)> open;
    // ioctl(fd, SG_IO, header): 0, or -1 with errno set.
    std::function<int(int fd, sg_io_hdr_t& header)> sgIo;
    std::function<void(int fd)> close;
    // fstat(2) of an open descriptor: 0, or -1 with errno set.
    std::function<int(int fd, struct stat& info)> fstat;
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
    // the invoking user's (~/.config of their home), whose session reads the autostart entries;
    // root's own (~/.config of root's home) for any other run of root's, whatever HOME says.
    std::string configDir;
    // Under sudo or pkexec, the user the registry file and the autostart entries belong to.
    std::optional<InvokingUser> invokedBy;
    // Why a run of root's keeps to root's own folders though something names another user.
    std::string invokerUnconfirmed;
    // The run is the console program's, not a window's: its autostart entries open a terminal.
    bool console = false;
    // Where the history of runs is kept (HistoryFileFor).
    std::string historyFile;

    // The host of a real run: the kernel's calls, the real folders.
    static LinuxHost Real();
};

}  // namespace platform::linuxhost
