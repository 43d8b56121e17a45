// The words of the modal dialogs, by language (1 Traditional Chinese, 2 Japanese, any other value
// English), kept in the core so the Qt dialogs and the console say exactly the same. A form's
// set for a language holds every text it shows once that language is applied: caption, labels,
// button captions and tool tips. Where a form is drawn with other words before any language is
// applied, its design set holds those.
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
    Recover,        // a drive was left in its boot loader: flash it again? (focus on No)
};

// TShowMsg. Its language set holds for the variants 0 to 2; any other variant keeps the design set.
struct ShowMsgTexts {
    std::string caption;
    std::string message;  // lblShowMsg
    std::string yes;      // cmdYes
    std::string no;       // cmdNo
    std::string yesTip;
    std::string noTip;
};
ShowMsgTexts ShowMsgWords(int language);
ShowMsgTexts ShowMsgDesignWords();

// The three refusals: TMostUpdate, TInvalidUser and TNoProperDrive. They are drawn with their
// English set.
struct RefusalTexts {
    std::string caption;            // the caption shown when there is no owner window
    bool captionFromOwner = false;  // the owner window's caption instead, when there is one
    std::string label1;
    std::string label2;  // TInvalidUser's second line; empty where the form hides it
    std::string ok;      // cmdOK
};
// `id` is MostUpdate, InvalidUser or NoProperDrive; any other gives an empty set.
RefusalTexts RefusalWords(DialogId id, int language);

// TUpdateCfm.
struct UpdateCfmTexts {
    std::string caption;
    std::string message;        // Label1
    std::string information;    // Label2, heading the revisions
    std::string current;        // Label3, over the current revision
    std::string afterUpdating;  // Label4, over the new revision
    std::string version;        // Label5, before the two revisions
    std::string revision;       // lblOldFW and lblNewFW until the revisions are filled in
    std::string arrow;          // Label8, between the two revisions
    std::string ok;             // cmdOK
    std::string cancel;         // cmdCancel
};
UpdateCfmTexts UpdateCfmWords(int language);
UpdateCfmTexts UpdateCfmDesignWords();

// TEjectDisc. It is drawn with its English set.
struct EjectDiscTexts {
    std::string caption;            // the caption shown when there is no owner window
    bool captionFromOwner = false;  // the owner window's caption instead, when there is one
    std::string label1;
    std::string label2;
    std::string ok;      // cmdOK
    std::string cancel;  // cmdCancel
};
EjectDiscTexts EjectDiscWords(int language);

// TReboot.
struct RebootTexts {
    std::string caption;
    std::string label1;
    std::string label2;
    std::string later;  // cmdRebootLater
    std::string now;    // cmdRebootNow
    std::string laterTip;
    std::string nowTip;
};
RebootTexts RebootWords(int language);
RebootTexts RebootDesignWords();

// TRebootZULK.
struct RebootZulkTexts {
    std::string caption;
    std::string label1;
    std::string label2;
    std::string reboot;  // cmdRebootZULKNow
    std::string rebootTip;
};
RebootZulkTexts RebootZulkWords(int language);
RebootZulkTexts RebootZulkDesignWords();

// The question before a drive is recovered from its boot loader. Yes writes to a drive that cannot
// say which firmware it ran, so No has the focus and is the default (Enter and Escape press No).
struct RecoverTexts {
    std::string caption;
    std::string label1;  // the drive left in its loader, with `driveLine`
    std::string label2;  // what Yes does, with `newRevision`
    std::string yes;     // cmdYes
    std::string no;      // cmdNo, the default button
    static constexpr bool kDefaultNo = true;
};
RecoverTexts RecoverWords(int language, const std::string& driveLine = "",
                          const std::string& newRevision = "");

// The dialog's words as one text for a console: its labels in reading order (top to bottom, left
// to right), one label a line, without the window caption and the button captions. UpdateCfm
// shows the two revisions in place of its revision labels; Recover takes the drive's line and the
// new revision in their place.
std::string ConsoleText(DialogId id, int language, const std::string& oldRevision = "",
                        const std::string& newRevision = "");

}  // namespace engine
