// Why a run may not open a drive, as a system whose rights are not the Windows administrator's
// tells it: the node refused, the user, and what on this machine would give the access.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace platform {

struct AccessDenial {
    std::string node;   // the node refused ("/dev/sg1")
    std::string error;  // the system's words for the refusal ("Permission denied")
    std::string user;   // the user the run acts as ("alice")
    uint32_t uid = 0;
    std::string owner;  // the node's owner and group, by name
    std::string group;
    uint32_t mode = 0;            // the node's permission bits
    bool groupMayUse = false;     // the node's group may read and write it
    bool inGroupNotRun = false;   // the group lists the user, but this run lacks it (joined since)
    bool seatManaged = false;     // a login manager hands devices to the seat's user
    bool seatGetsNode = false;    // ... and this node is one of them (tagged "uaccess")
    bool activeAtSeat = false;    // the user has the active session at a seat now
    bool pkexecStartsIt = false;  // a polkit action lets pkexec start this program's window
    std::string program;          // this program's file
};

// Why this run may not open a drive, from the backend that installed a source for it: nullopt
// where being an administrator is the answer (Windows, the emulated PC) and when every drive
// opens. The program's choice of machine installs the Linux backend's.
using AccessDenialSource = std::function<std::optional<AccessDenial>()>;
void SetAccessDenialSource(AccessDenialSource source);
std::optional<AccessDenial> WhyAccessDenied();

}  // namespace platform
