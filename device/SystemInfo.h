// The platform family, the administrator check and the forced restart.
#pragma once

namespace device {

class OSInfo {
  public:
    OSInfo() { Fill(); }
    void Fill();
    bool IsNtFamily() const { return ntFamily; }

    bool ntFamily = false;
    // Which security entry points the last IsAdministrator found.
    bool allocateAndInitializeSid = false;
    bool checkTokenMembership = false;
    bool freeSid = false;
};

// Membership of the built-in Administrators group; false when the system cannot tell.
bool IsAdministrator(OSInfo& info);

// Restarts the computer by force. False, with nothing done, when the system refuses.
bool RebootSystem(const OSInfo& info);

// EWX_REBOOT | EWX_FORCE.
inline constexpr unsigned kRebootFlags = 6;

}  // namespace device
