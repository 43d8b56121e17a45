// The ready-made emulated PCs of `brenvo-bench new --preset NAME`.
#pragma once

#include <string>
#include <vector>

#include "platform/emulated/Machine.h"

namespace benchtool {

// The preset names, "default" first.
std::vector<std::string> PresetNames();
// Sets the machine up as the named preset; false for an unknown name.
bool ApplyPreset(const std::string& name, platform::emulated::Machine& machine);

// The optical drives of the presets.
platform::emulated::DriveSettings QuorvantDrive(const std::string& letter,
                                                const std::string& address);
platform::emulated::DriveSettings OtherDrive(const std::string& letter, const std::string& address);

}  // namespace benchtool
