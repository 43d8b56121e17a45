// The words of the modal dialogs, by language (1 Traditional Chinese, 2 Japanese, any other value
// English), kept in the core so the Qt dialogs and the console say exactly the same.
#pragma once

#include <string>

namespace engine {

enum class DialogId {
    ShowMsg,        // the drive already has this or a newer firmware: go on?
    MostUpdate,     // refusal: the drive is up to date
    UpdateCfm,      // confirm the update from one revision to another
    EjectDisc,      // a disc is in the drive: eject it?
    InvalidUser,    // refusal: administrator rights needed
    NoProperDrive,  // refusal: no drive this package supports
    Reboot,         // restart now or later
    RebootZulk,     // restart (custom-dialog variant)
};

// The dialog's words as one text for a console: its caption's message and labels in reading
// order, one per line, without the button captions. UpdateCfm fills in the two revisions.
std::string ConsoleText(DialogId id, int language, const std::string& oldRevision = "",
                        const std::string& newRevision = "");

}  // namespace engine
