// The flash driver as the emulated PC runs it: answers the requests of either family's numbering
// on the IDE machine's slots, PCI configuration space and flash chips.
#pragma once

#include "platform/emulated/EmulatedDevice.h"

namespace platform::emulated {

class Machine;
struct IdeSlot;

class FlashDriver : public EmulatedDevice {
  public:
    explicit FlashDriver(Machine& machine) : machine_(machine) {}
    Status Control(uint32_t code, std::span<uint8_t> in, std::span<uint8_t> out,
                   uint32_t& returned) override;

  private:
    Machine& machine_;
};

}  // namespace platform::emulated
