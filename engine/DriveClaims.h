// One program per drive. Before the first command of a run that could write to a drive, the run
// claims every drive it chose, so that no other program (a second Brenvo, a burner, a file system
// on a mounted disc) uses the drive while its flash is rewritten. The claims last until the run
// has read the drives back after the flash.
#pragma once

#include <string>
#include <vector>

#include "device/DriveRecord.h"

namespace engine {

class DriveClaims {
  public:
    DriveClaims() = default;
    ~DriveClaims() { ReleaseAll(); }
    DriveClaims(const DriveClaims&) = delete;
    DriveClaims& operator=(const DriveClaims&) = delete;

    // Claims the drive of a record through the system. False when another program holds it;
    // `holder` then says who, where the system can tell. A drive reached through the ASPI manager
    // has no device to claim and passes.
    bool Claim(const device::DriveRecord& record, std::string& holder);
    void ReleaseAll();
    bool Empty() const { return roots_.empty(); }

  private:
    std::vector<std::string> roots_;
};

// How the user knows a drive: its letter and, once identified, its vendor and product
// ("E: (QUORVANT DVD-RW QV-1600)").
std::string DriveName(const device::DriveRecord& record);
std::string DriveName(const std::string& root);

// The refusal of a drive another program holds, by language (1 Traditional Chinese, 2 Japanese,
// else English); `heldBy` may be empty, and is shown with its control bytes escaped.
std::string DriveHeldText(int language, const std::string& drive, const std::string& heldBy);

}  // namespace engine
