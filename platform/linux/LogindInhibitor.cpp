#include "platform/linux/LogindInhibitor.h"

#include <fcntl.h>
#include <systemd/sd-bus.h>

#include <cstdint>
#include <cstring>

namespace platform::linuxhost {
namespace {
// A login manager that does not answer must not hold the flash back for long.
constexpr uint64_t kCallTimeoutMicroseconds = 5'000'000;

std::string Describe(const sd_bus_error& error, int code) {
    if (sd_bus_error_is_set(&error)) {
        return std::string(error.name) + (error.message ? std::string(": ") + error.message : "");
    }
    return std::strerror(-code);
}
}  // namespace

int TakeInhibitor(sd_bus* bus, const std::string& reason, std::string& error) {
    sd_bus_message* call = nullptr;
    sd_bus_message* reply = nullptr;
    sd_bus_error busError = SD_BUS_ERROR_NULL;
    int fd = -1;
    int r = sd_bus_message_new_method_call(bus, &call, kLogindService, kLogindPath, kLogindManager,
                                           "Inhibit");
    if (r >= 0) {
        r = sd_bus_message_append(call, "ssss", kInhibitWhat, kInhibitWho, reason.c_str(),
                                  kInhibitMode);
    }
    if (r >= 0) r = sd_bus_call(bus, call, kCallTimeoutMicroseconds, &busError, &reply);
    int passed = -1;
    if (r >= 0) r = sd_bus_message_read(reply, "h", &passed);
    // The descriptor belongs to the reply: keep a copy of our own.
    if (r >= 0) {
        fd = fcntl(passed, F_DUPFD_CLOEXEC, 3);
        if (fd < 0) r = -errno;
    }
    if (r < 0) error = "the login manager's Inhibit failed: " + Describe(busError, r);
    sd_bus_error_free(&busError);
    sd_bus_message_unref(reply);
    sd_bus_message_unref(call);
    return r < 0 ? -1 : fd;
}

int TakeSystemInhibitor(const std::string& reason, std::string& error) {
    sd_bus* bus = nullptr;
    int r = sd_bus_open_system(&bus);
    if (r < 0) {
        error = std::string("no system bus: ") + std::strerror(-r);
        return -1;
    }
    int fd = TakeInhibitor(bus, reason, error);
    // The lock outlives the connection: it lasts while the descriptor stays open.
    sd_bus_flush_close_unref(bus);
    return fd;
}

}  // namespace platform::linuxhost
