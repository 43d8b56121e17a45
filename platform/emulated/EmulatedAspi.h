// The ASPI manager "WNASPI32" of the emulated PC, and the events its callers wait on.
#pragma once

#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <span>

#include "platform/System.h"
#include "platform/emulated/DriveVolume.h"
#include "platform/emulated/Machine.h"

namespace platform::emulated {

class EmulatedAspi {
  public:
    explicit EmulatedAspi(Machine& machine) : machine_(machine) {}

    Handle LoadLibrary();
    bool Resolve(Handle module, const std::string& name) const;
    void FreeLibrary(Handle module);
    uint32_t GetSupportInfo();
    uint32_t SendCommand(std::span<uint8_t> srb, std::span<uint8_t> data);

    Handle CreateEvent(bool manualReset, bool initiallySignalled);
    uint32_t Wait(Handle event, uint32_t milliseconds);
    // True when the handle was one of our events (now closed).
    bool CloseEvent(Handle event);

  private:
    // A command that finishes when its event is waited for long enough.
    struct Pending {
        std::span<uint8_t> srb;
        std::array<uint8_t, kScsiRequestSize> finished;
        double seconds;
    };
    struct Event {
        bool signalled = false;
        std::optional<Pending> pending;
    };

    int AdapterCount() const;
    std::shared_ptr<OpticalDrive> DriveAt(int adapter, int target, int lun) const;
    uint32_t Execute(std::span<uint8_t> srb, std::span<uint8_t> data);

    Machine& machine_;
    std::mutex mutex_;
    // Windows counts the loads of a library; it goes only when every load has been freed.
    int loads_ = 0;
    std::map<Handle, Event> events_;
    Handle nextEvent_ = 0x40000000;
};

}  // namespace platform::emulated
