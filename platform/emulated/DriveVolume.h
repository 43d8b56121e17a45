// The volume device of an optical drive ("\\.\E:"), as CreateFile opens it: it answers
// IOCTL_SCSI_GET_ADDRESS itself and carries pass-through requests to its drive.
#pragma once

#include <memory>

#include "platform/emulated/EmulatedDevice.h"
#include "platform/emulated/OpticalDrive.h"

namespace platform::emulated {

class Machine;

class DriveVolume : public EmulatedDevice {
  public:
    explicit DriveVolume(std::shared_ptr<OpticalDrive> drive) : drive_(std::move(drive)) {}

    Status Control(uint32_t code, std::span<uint8_t> in, std::span<uint8_t> out,
                   uint32_t& returned) override;

    OpticalDrive& drive() { return *drive_; }

  private:
    std::shared_ptr<OpticalDrive> drive_;
};

// The result of one command on a drive as the host's transport sees it.
struct TransportResult {
    DriveAnswer answer;
    bool timedOut = false;  // the drive took longer than the host's time-out
    double seconds = 0;     // how long the host waited
};

// Runs one command on a drive and records it in the trace. The clock is not moved: the
// transport decides when the host sees the answer. `timeoutSeconds` < 0 means no time-out.
TransportResult RunDriveCommand(Machine& machine, OpticalDrive& drive,
                                std::span<const uint8_t, 12> cdb, int direction,
                                std::span<uint8_t> data, double timeoutSeconds);

}  // namespace platform::emulated
