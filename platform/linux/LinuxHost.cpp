#include "platform/linux/LinuxHost.h"

#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <unistd.h>

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
}  // namespace

LinuxHost LinuxHost::Real() {
    LinuxHost host;
    host.open = [](const std::string& path, int flags) { return ::open(path.c_str(), flags); };
    host.sgIo = [](int fd, sg_io_hdr_t& header) { return ::ioctl(fd, SG_IO, &header); };
    host.close = [](int fd) { ::close(fd); };
    host.dup = [](int fd) { return ::fcntl(fd, F_DUPFD_CLOEXEC, 0); };
    host.claimWaitMilliseconds = 5000;
    host.run = RunAndWait;
    host.blockShutdown = TakeSystemInhibitor;
    host.configDir = UserConfigDir();
    return host;
}

}  // namespace platform::linuxhost
