// The logind lock that holds off sleep, shutdown and idle while a drive's flash is written: one
// Inhibit call to the login manager over D-Bus (sd-bus). The lock lasts while the descriptor the
// manager hands back stays open.
#pragma once

#include <string>

struct sd_bus;

namespace platform::linuxhost {

inline constexpr char kLogindService[] = "org.freedesktop.login1";
inline constexpr char kLogindPath[] = "/org/freedesktop/login1";
inline constexpr char kLogindManager[] = "org.freedesktop.login1.Manager";
inline constexpr char kInhibitWhat[] = "sleep:shutdown:idle";
inline constexpr char kInhibitWho[] = "Brenvo";
inline constexpr char kInhibitMode[] = "block";

// Asks for the lock over `bus` (the system bus; a peer connection in tests), giving `reason`.
// The descriptor (close-on-exec, the caller's to close), or -1 with `error` saying why not.
int TakeInhibitor(sd_bus* bus, const std::string& reason, std::string& error);

// The same over the system bus: -1 with `error` where there is no bus or no login manager (a
// container, a small VM).
int TakeSystemInhibitor(const std::string& reason, std::string& error);

}  // namespace platform::linuxhost
