// The "ide" section of a bench file: the direct-IDE path's services, device manager and hardware.
#pragma once

#include <nlohmann/json.hpp>

#include "common/JsonFields.h"
#include "platform/emulated/FlashFiles.h"
#include "platform/emulated/Machine.h"

namespace platform::emulated {

// Reads the section into machine.ide (throws common::JsonError naming the file and field).
// Contents files are looked for in `benchFolder`.
void ReadIdeSection(common::Fields& fields, Machine& machine, const std::string& benchFolder);
nlohmann::ordered_json WriteIdeSection(const Machine& machine, FlashWriter& flashes);
// The name of a slot's flash in the names of its contents files: "ide0" to "ide7".
std::string IdeFlashName(size_t slot);

}  // namespace platform::emulated
