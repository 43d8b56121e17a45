// The login manager's Inhibit call as we send it, answered by a peer of our own over a socket
// pair: the method, its arguments and the descriptor it hands back, with no system bus. (No test
// here reaches a real login manager: the machines the tests run on have none.) And the Linux
// backend around it: the lock's trace lines, and a run that goes on without one.
#ifdef __linux__
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/socket.h>
#include <systemd/sd-bus.h>
#include <unistd.h>

#include <string>
#include <thread>
#include <vector>

#include "platform/linux/LinuxSystem.h"
#include "platform/linux/LogindInhibitor.h"
#include "tests/DriveTestSupport.h"

namespace {
using namespace platform::linuxhost;

struct Call {
    std::string destination, path, interface, member, signature;
    std::string what, who, why, mode;
};

// The login manager's side: answers the first call with the lock (one end of a socket pair, the
// other end kept to see when the lock ends) and the second with an error.
class FakeLogind {
  public:
    explicit FakeLogind(int fd) {
        thread_ = std::thread([this, fd] { Serve(fd); });
    }
    ~FakeLogind() { Join(); }
    void Join() {
        if (thread_.joinable()) thread_.join();
    }

    std::vector<Call> calls;
    int lockEnd = -1;  // our end of the lock's socket pair

  private:
    void Serve(int fd) {
        sd_bus* bus = nullptr;
        sd_id128_t id;
        sd_id128_randomize(&id);
        sd_bus_new(&bus);
        sd_bus_set_fd(bus, fd, fd);
        sd_bus_set_server(bus, 1, id);
        sd_bus_negotiate_fds(bus, 1);
        if (sd_bus_start(bus) < 0) return;
        while (calls.size() < 2) {
            sd_bus_message* m = nullptr;
            if (sd_bus_process(bus, &m) < 0) break;
            if (!m) {
                if (sd_bus_wait(bus, 5'000'000) <= 0) break;
                continue;
            }
            uint8_t type = 0;
            sd_bus_message_get_type(m, &type);
            if (type == SD_BUS_MESSAGE_METHOD_CALL) Answer(bus, m);
            sd_bus_message_unref(m);
        }
        sd_bus_flush_close_unref(bus);
    }

    void Answer(sd_bus* bus, sd_bus_message* m) {
        Call call;
        auto text = [](const char* s) { return std::string(s ? s : ""); };
        call.destination = text(sd_bus_message_get_destination(m));
        call.path = text(sd_bus_message_get_path(m));
        call.interface = text(sd_bus_message_get_interface(m));
        call.member = text(sd_bus_message_get_member(m));
        call.signature = text(sd_bus_message_get_signature(m, 1));
        const char *what = nullptr, *who = nullptr, *why = nullptr, *mode = nullptr;
        sd_bus_message_read(m, "ssss", &what, &who, &why, &mode);
        call.what = text(what), call.who = text(who), call.why = text(why), call.mode = text(mode);
        calls.push_back(call);
        if (calls.size() == 1) {
            int pair[2];
            socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair);
            lockEnd = pair[0];
            sd_bus_reply_method_return(m, "h", pair[1]);  // the message sends a copy
            close(pair[1]);
        } else {
            sd_bus_reply_method_errorf(m, "org.freedesktop.DBus.Error.AccessDenied",
                                       "Permission denied");
        }
        sd_bus_flush(bus);
    }

    std::thread thread_;
};

// True while somebody still holds the other end of `fd`'s socket pair.
bool OtherEndOpen(int fd) {
    pollfd p{fd, POLLIN, 0};
    return poll(&p, 1, 0) == 0;
}

TEST(LogindInhibitor, AsksForTheBlockingLockAndHoldsItWhileTheDescriptorIsOpen) {
    int pair[2];
    ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair), 0);
    FakeLogind logind(pair[1]);
    sd_bus* bus = nullptr;
    sd_bus_new(&bus);
    sd_bus_set_fd(bus, pair[0], pair[0]);
    sd_bus_negotiate_fds(bus, 1);
    ASSERT_GE(sd_bus_start(bus), 0);

    std::string error;
    const std::string reason = "光学ドライブのファームウェアを書き込み中です。";
    int lock = TakeInhibitor(bus, reason, error);
    ASSERT_GE(lock, 0) << error;
    int refused = TakeInhibitor(bus, reason, error);
    EXPECT_EQ(refused, -1);
    EXPECT_NE(error.find("org.freedesktop.DBus.Error.AccessDenied"), std::string::npos) << error;
    sd_bus_flush_close_unref(bus);
    logind.Join();

    ASSERT_EQ(logind.calls.size(), 2u);
    const Call& call = logind.calls[0];
    EXPECT_EQ(call.destination, "org.freedesktop.login1");
    EXPECT_EQ(call.path, "/org/freedesktop/login1");
    EXPECT_EQ(call.interface, "org.freedesktop.login1.Manager");
    EXPECT_EQ(call.member, "Inhibit");
    EXPECT_EQ(call.signature, "ssss");
    EXPECT_EQ(call.what, "sleep:shutdown:idle");
    EXPECT_EQ(call.who, "Brenvo");
    EXPECT_EQ(call.why, reason) << "the reason in the package's language, as given";
    EXPECT_EQ(call.mode, "block");

    // The lock lasts exactly while our descriptor is open, the connection long gone.
    EXPECT_TRUE(OtherEndOpen(logind.lockEnd));
    close(lock);
    EXPECT_FALSE(OtherEndOpen(logind.lockEnd));
    close(logind.lockEnd);
}

TEST(LogindInhibitor, TheBackendTracesTheLockAndGoesOnWithoutOne) {
    testing_support::TraceCapture trace;
    std::vector<int> closed;
    int answer = 42;
    LinuxHost host;
    host.sysfsRoot = "/nonexistent";
    host.close = [&](int fd) { closed.push_back(fd); };
    host.blockShutdown = [&](const std::string&, std::string& error) {
        if (answer < 0) error = "no system bus: No such file or directory";
        return answer;
    };
    LinuxSystem system(host);
    EXPECT_TRUE(system.BlockShutdown("why").ok);
    system.ReleaseShutdownBlock();
    system.ReleaseShutdownBlock();
    EXPECT_EQ(closed, std::vector<int>{42}) << "released once, by closing the lock";
    answer = -1;
    EXPECT_FALSE(system.BlockShutdown("why").ok);
    system.ReleaseShutdownBlock();
    EXPECT_EQ(closed.size(), 1u);

    auto lines = trace.Lines();
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0]["shutdownBlock"], "held");
    EXPECT_EQ(lines[0]["detail"], "logind sleep:shutdown:idle block: why");
    EXPECT_EQ(lines[1]["shutdownBlock"], "released");
    EXPECT_EQ(lines[2]["shutdownBlock"], "not held");
    EXPECT_EQ(lines[2]["detail"], "no system bus: No such file or directory");
}
}  // namespace
#endif
