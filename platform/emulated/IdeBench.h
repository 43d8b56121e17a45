// The "ide" section of a bench file: the direct-IDE path's services, device manager and hardware.
#pragma once

#include <nlohmann/json.hpp>

#include "common/JsonFields.h"
#include "platform/emulated/Machine.h"

namespace platform::emulated {

// Reads the section into machine.ide (throws common::JsonError naming the file and field).
void ReadIdeSection(common::Fields& fields, Machine& machine);
nlohmann::ordered_json WriteIdeSection(const Machine& machine);

}  // namespace platform::emulated
