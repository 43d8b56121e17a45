// The "drives" and "aspi" sections of a bench file.
#pragma once

#include <nlohmann/json.hpp>

#include "common/JsonFields.h"
#include "platform/emulated/Machine.h"

namespace platform::emulated {

// Contents files are looked for in `benchFolder`.
void ReadDrive(common::Fields& fields, Machine& machine, const std::string& benchFolder);
void ReadAspi(common::Fields& fields, AspiSettings& aspi);
// `flash` is the drive's "flash" object (FlashWriter::Store).
nlohmann::ordered_json WriteDrive(const DriveSettings& drive, nlohmann::ordered_json flash);
// The name of the drive's flash in the names of its contents files: "E", or "drive3" without a
// letter.
std::string DriveFlashName(const DriveSettings& drive, size_t index);
nlohmann::ordered_json WriteAspi(const AspiSettings& aspi);

// "1:0:0:0" (port, path, target, lun); nullopt for a text that is not one.
std::optional<std::array<int, 4>> ParseAddress(const std::string& text);
std::string FormatAddress(const std::array<int, 4>& address);

}  // namespace platform::emulated
