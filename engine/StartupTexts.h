// The texts of start-up: the notice, the checklist and the refusals, by language (1 Traditional
// Chinese, 2 Japanese, any other value English).
#pragma once

#include <string>

#include "platform/DirectIde.h"

namespace engine {

std::string NoFirmwareText(int language);
// The notice before the main window; the third point only for notice kind 2.
std::string NoticeText(int language, const std::string& driveName, int noticeKind);
// The checklist of the custom-dialog variant.
std::string ChecklistText(int language);

struct CaptionedText {
    std::string text;
    std::string caption;
};
CaptionedText DeviceFailedText(int language);
// The access refusal as a message box (English and Traditional Chinese).
CaptionedText AccessDeniedText(int language);

// A direct-IDE package on a 64-bit Windows, refused before the flash driver is installed: the
// driver is a 32-bit kernel driver such a Windows cannot load.
std::string SixtyFourBitWindowsText(int language);
// A direct-IDE package refused on this machine: `directIde` says why (not Available).
std::string DirectIdeRefusalText(platform::DirectIde directIde, int language);

// A restart the system refused.
inline constexpr char kRebootRefusedText[] =
    "The application was unable to reboot the computer. Please reboot your computer manually.";

}  // namespace engine
