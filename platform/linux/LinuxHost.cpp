#include "platform/linux/LinuxHost.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdlib>

#include "platform/linux/LogindInhibitor.h"

namespace platform::linuxhost {
namespace {
int RunAndWait(const std::vector<std::string>& argv) {
    if (argv.empty()) return -1;
    std::vector<char*> args;
    for (const auto& a : argv)
        args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    pid_t child = fork();
    if (child < 0) return -1;
    if (child == 0) {
        execvp(args[0], args.data());
        _exit(127);
    }
    int status = 0;
    while (waitpid(child, &status, 0) < 0) {
        if (errno != EINTR) return -1;
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string UserConfigDir() {
    if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && *xdg == '/') return xdg;
    const char* home = std::getenv("HOME");
    return std::string(home && *home ? home : "/root") + "/.config";
}
std::optional<InvokingUser> FromPasswd(const passwd* entry, const char* via) {
    if (!entry || entry->pw_uid == 0 || !entry->pw_dir || !*entry->pw_dir) return std::nullopt;
    return InvokingUser{entry->pw_uid, entry->pw_gid, entry->pw_name, entry->pw_dir, via};
}
}  // namespace

std::optional<InvokingUser> FindInvokingUser(uint32_t effectiveUid, const char* pkexecUid,
                                             const char* sudoUser) {
    if (effectiveUid != 0) return std::nullopt;
    if (pkexecUid && *pkexecUid) {
        char* end = nullptr;
        errno = 0;
        unsigned long uid = std::strtoul(pkexecUid, &end, 10);
        if (errno == 0 && end && !*end && uid <= UINT32_MAX)
            return FromPasswd(getpwuid(static_cast<uid_t>(uid)), "pkexec");
        return std::nullopt;
    }
    if (sudoUser && *sudoUser) return FromPasswd(getpwnam(sudoUser), "sudo");
    return std::nullopt;
}

LinuxHost LinuxHost::Real() {
    LinuxHost host;
    host.open = [](const std::string& path, int flags) { return ::open(path.c_str(), flags); };
    host.sgIo = [](int fd, sg_io_hdr_t& header) { return ::ioctl(fd, SG_IO, &header); };
    host.close = [](int fd) { ::close(fd); };
    host.dup = [](int fd) { return ::fcntl(fd, F_DUPFD_CLOEXEC, 0); };
    host.claimWaitMilliseconds = 5000;
    host.run = RunAndWait;
    host.blockShutdown = TakeSystemInhibitor;
    host.invokedBy =
        FindInvokingUser(geteuid(), std::getenv("PKEXEC_UID"), std::getenv("SUDO_USER"));
    host.configDir = host.invokedBy ? host.invokedBy->home + "/.config" : UserConfigDir();
    return host;
}

}  // namespace platform::linuxhost
