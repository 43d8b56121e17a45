#include "engine/DialogTexts.h"

namespace engine {

// Stand-in until the dialogs' own words move here.
std::string ConsoleText(DialogId id, int, const std::string& oldRevision,
                        const std::string& newRevision) {
    switch (id) {
        case DialogId::ShowMsg:
            return "You are about to flash to an older firmware.\nDo you wish to proceed?";
        case DialogId::MostUpdate:
            return "Your drive's Firmware is already the most updated !";
        case DialogId::UpdateCfm:
            return "Update the firmware from " + oldRevision + " to " + newRevision + "?";
        case DialogId::EjectDisc:
            return "Eject the disc?";
        case DialogId::InvalidUser:
            return "Administrator rights are needed.";
        case DialogId::NoProperDrive:
            return "No supported drive.";
        case DialogId::Reboot:
            return "Restart the computer now?";
        case DialogId::RebootZulk:
            return "Restart the computer.";
    }
    return "";
}

}  // namespace engine
