// Ready-made direct-IDE machines for brenvo-bench, the tests and the benchmarks.
#pragma once

#include "platform/emulated/Machine.h"

namespace platform::emulated {

// A SiS host bridge with the SiS 5513 IDE function; slot 0 a "DVD-RW QV-1600" with a 1 MiB
// method-1 chip (row 0), slot 3 a "DVD-ROM QV-52" with a 512 KiB method-0 chip (row 16); both
// drives' CD-ROM devices started. Administrator on the given family.
void MakeIdeMachine(Machine& machine, Family family);

// Fills a slot with a drive of the given identification and chip row (erased chip).
void PutIdeDrive(IdeSlot& slot, const std::string& vendor, const std::string& product,
                 const std::string& revision, int chipRow);

}  // namespace platform::emulated
