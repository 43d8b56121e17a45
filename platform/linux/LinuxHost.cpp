#include "platform/linux/LinuxHost.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "common/UserFiles.h"
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

// The password database's entry of `uid`: name, primary group and home.
std::optional<InvokingUser> FromPasswd(uint32_t uid) {
    long size = sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buffer(static_cast<size_t>(size > 0 ? size : 16384));
    passwd entry{};
    passwd* found = nullptr;
    while (getpwuid_r(static_cast<uid_t>(uid), &entry, buffer.data(), buffer.size(), &found) ==
               ERANGE &&
           buffer.size() < (size_t{1} << 20))
        buffer.resize(buffer.size() * 2);
    if (!found || !found->pw_dir || found->pw_dir[0] != '/') return std::nullopt;
    InvokingUser user{found->pw_uid, found->pw_gid, found->pw_name, found->pw_dir, "", {}};
    return user;
}

std::optional<uint32_t> ParseUid(const char* text) {
    if (!text || !*text) return std::nullopt;
    uint32_t uid = 0;
    auto [end, ec] = std::from_chars(text, text + std::strlen(text), uid);
    if (ec != std::errc() || *end || uid == UINT32_MAX) return std::nullopt;
    return uid;
}

// sudo or pkexec as installed by the system (the kernel names a replaced program "... (deleted)").
bool IsProgram(std::string exe, const std::string& name) {
    constexpr std::string_view kDeleted = " (deleted)";
    if (exe.size() > kDeleted.size() && exe.ends_with(kDeleted))
        exe.resize(exe.size() - kDeleted.size());
    for (const char* folder : {"/usr/bin/", "/bin/", "/usr/sbin/", "/sbin/", "/usr/local/bin/"}) {
        if (exe == folder + name) return true;
    }
    return false;
}

std::string ReadLine(const std::string& path) {
    std::ifstream in(path);
    std::string line;
    std::getline(in, line);
    return line;
}
}  // namespace

std::string HistoryFileFor(uint32_t effectiveUid, const char* xdgStateHome,
                           const std::string& home) {
    if (effectiveUid == 0) return "/var/lib/brenvo/history.jsonl";
    if (xdgStateHome && *xdgStateHome == '/')
        return std::string(xdgStateHome) + "/brenvo/history.jsonl";
    return home + "/.local/state/brenvo/history.jsonl";
}

Invocation FindInvokingUser(const InvocationFacts& facts) {
    if (facts.effectiveUid != 0) return {};
    const auto pkexecUid = ParseUid(facts.pkexecUid);
    auto sudoUid = ParseUid(facts.sudoUid);
    const bool named = (facts.pkexecUid && *facts.pkexecUid) || (facts.sudoUid && *facts.sudoUid) ||
                       (facts.sudoUser && *facts.sudoUser);
    std::string via;
    std::optional<uint32_t> claimed;
    for (const auto& ancestor : facts.ancestors) {
        if (IsProgram(ancestor.exe, "sudo")) {
            via = "sudo";
            claimed = sudoUid;
        } else if (IsProgram(ancestor.exe, "pkexec")) {
            via = "pkexec";
            claimed = pkexecUid;
        } else if (ancestor.uid != 0) {
            // A program of root's rights that replaced itself with this run (pkexec does; sudo
            // can): started by this user, and only the variable that names them tells which.
            if (pkexecUid == ancestor.uid) {
                via = "pkexec";
            } else if (sudoUid == ancestor.uid) {
                via = "sudo";
            } else {
                return {std::nullopt, "uid " + std::to_string(ancestor.uid) +
                                          " started it, through a program that names no user"};
            }
            claimed = ancestor.uid;
        } else {
            continue;  // a root program between (a shell sudo started): its parent tells
        }
        break;
    }
    if (via.empty()) {
        if (named)
            return {std::nullopt,
                    "a variable names a user, but neither sudo nor pkexec "
                    "started this run"};
        if (facts.loginUid && *facts.loginUid != 0)
            return {std::nullopt, "the login is uid " + std::to_string(*facts.loginUid) +
                                      "'s, but neither sudo nor pkexec started this run"};
        return {};
    }
    if (!claimed) return {std::nullopt, via + " started this run, but names no user"};
    if (*claimed == 0) return {};
    if (facts.loginUid && *facts.loginUid != *claimed)
        return {std::nullopt, via + " names uid " + std::to_string(*claimed) +
                                  ", but the login is uid " + std::to_string(*facts.loginUid) +
                                  "'s"};
    auto user = FromPasswd(*claimed);
    if (!user)
        return {std::nullopt, via + " names uid " + std::to_string(*claimed) +
                                  ", whom the password database does not know"};
    user->via = via;
    user->groups = common::GroupsOf(user->name, user->gid);
    return {user, ""};
}

std::vector<Ancestor> AncestorsOf(const std::string& procRoot, int pid) {
    std::vector<Ancestor> ancestors;
    for (int depth = 0; pid > 0 && depth < 32; ++depth) {
        const std::string dir = procRoot + "/" + std::to_string(pid);
        Ancestor ancestor;
        std::error_code ec;
        ancestor.exe = std::filesystem::read_symlink(dir + "/exe", ec).string();
        int parent = 0;
        bool hasUid = false;
        std::ifstream status(dir + "/status");
        for (std::string line; std::getline(status, line);) {
            if (line.starts_with("PPid:")) parent = std::atoi(line.c_str() + 5);
            if (line.starts_with("Uid:")) {
                ancestor.uid = static_cast<uint32_t>(std::strtoul(line.c_str() + 4, nullptr, 10));
                hasUid = true;
            }
        }
        if (!hasUid) break;
        ancestors.push_back(ancestor);
        if (ancestor.uid != 0 || IsProgram(ancestor.exe, "sudo") ||
            IsProgram(ancestor.exe, "pkexec"))
            break;
        pid = parent;
    }
    return ancestors;
}

LinuxHost LinuxHost::Real() {
    LinuxHost host;
    host.open = [](const std::string& path, int flags) { return ::open(path.c_str(), flags); };
    host.sgIo = [](int fd, sg_io_hdr_t& header) { return ::ioctl(fd, SG_IO, &header); };
    host.close = [](int fd) { ::close(fd); };
    host.fstat = [](int fd, struct stat& info) { return ::fstat(fd, &info); };
    host.dup = [](int fd) { return ::fcntl(fd, F_DUPFD_CLOEXEC, 0); };
    host.claimWaitMilliseconds = 5000;
    host.run = RunAndWait;
    host.blockShutdown = TakeSystemInhibitor;
    InvocationFacts facts;
    facts.effectiveUid = geteuid();
    facts.pkexecUid = std::getenv("PKEXEC_UID");
    facts.sudoUid = std::getenv("SUDO_UID");
    facts.sudoUser = std::getenv("SUDO_USER");
    facts.ancestors = AncestorsOf(host.procRoot, static_cast<int>(getppid()));
    facts.loginUid = ParseUid(ReadLine(host.procRoot + "/self/loginuid").c_str());
    Invocation invocation = FindInvokingUser(facts);
    host.invokedBy = invocation.user;
    host.invokerUnconfirmed = invocation.unconfirmed;
    {
        const char* home = std::getenv("HOME");
        auto own = home && *home == '/' ? std::nullopt : FromPasswd(facts.effectiveUid);
        host.historyFile = HistoryFileFor(facts.effectiveUid, std::getenv("XDG_STATE_HOME"),
                                          own    ? own->home
                                          : home ? home
                                                 : "/");
    }
    if (host.invokedBy) {
        host.configDir = host.invokedBy->home + "/.config";
    } else if (facts.effectiveUid == 0) {
        // Root's own folder, from the password database: HOME and XDG_CONFIG_HOME may be what
        // sudo -E kept of another user's.
        auto root = FromPasswd(0);
        host.configDir = (root ? root->home : std::string("/root")) + "/.config";
    } else {
        host.configDir = UserConfigDir();
    }
    return host;
}

}  // namespace platform::linuxhost
