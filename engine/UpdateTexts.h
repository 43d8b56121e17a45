// The texts the update procedure shows, in the three languages (1 Traditional Chinese,
// 2 Japanese, any other value English).
#pragma once

#include <string>

namespace engine {

enum class UpdateText {
    // message boxes
    RemoveDisc,   // warning
    CannotEject,  // warning
    PushTrayIn,   // warning
    Success,      // information
    Failure,      // error
    // error: the drive did not confirm its last commit in time, so nobody can tell whether it
    // holds the new firmware
    OutcomeUnknown,
    // status line
    CheckDiscAndTray,
    TrayOut,
    TrayIn,
    WaitingReady,
    ProgrammingPrefix,
    ProgrammingFull,
    Inquiry,
    Done,
    // why sleep and shutdown are held off during the flash (the system shows it to the user)
    ShutdownBlockReason,
};

std::string Text(UpdateText text, int language);

// The progress animation of the pass-through path: one step every 100 ms; the bar does not follow
// the real transfer.
struct ProgressAnimation {
    int position = 0;
    int maximum = 360;

    struct Frame {
        bool stepped;         // false once the bar is full: only the status text is shown
        std::string percent;  // "4 %"
        std::string status;   // "Programming ....."
    };
    Frame Tick(int language);
};

}  // namespace engine
