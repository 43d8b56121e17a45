// The words of the main window and of the OEM wizard, by language (1 Traditional Chinese,
// 2 Japanese, any other value English), kept in the core so that every window front-end says
// exactly the same.
#pragma once

#include <string>

namespace engine {

// TBrenvoMain's labels and buttons.
struct MainWindowTexts {
    std::string prompt;         // Label1, over the drive list
    std::string updateMessage;  // lblUpdateMsg, before the revisions
    std::string to;             // lblTo, between the revisions
    std::string message;        // lblMsg, the status line
    std::string update;         // cmdUpdate
    std::string close;          // cmdClose
    std::string progress;       // what assistive technology calls the bar
    std::string revision;       // lblOldFW and lblNewFW before a drive is chosen
    std::string percent;        // lblPercent before the first run
};
// The words the window is drawn with before a language is applied.
MainWindowTexts MainWindowDesignWords();
MainWindowTexts MainWindowWords(int language);

// The OEM wizard speaks English whatever the package's language.
inline constexpr char kWizardWelcomeText[] =
    "Welcome to the Quorvant firmware update program.\n\nThis program will update the firmware "
    "for the\nQuorvant drive you select.\n\nIt is strongly recommended that you close all files "
    "and exit any\nWindows applications before you continue with this update.\nAt the end of the "
    "update you will be required to restart your\ncomputer; any files left open may result in "
    "lose of data.\nRemove any disc from the drive that you will be updating.";
inline constexpr char kWizardDriveText[] =
    "Select the supported Quorvant drive to be updated.\n    \n    \n    \n    \nThe firmware of "
    "the selected drive will be changed from\nversion             to version";
inline constexpr char kWizardWaitingText[] =
    "Waiting for the update operation to complete.\n    \nWARNING: DO not turn off the computer "
    "while the firmware\nis being updated. However,if the progress indicator stops for\nmore "
    "than a minute you will need to restart your computer.\nThe firmware update program will "
    "then continue\nautomatically after the restart.";
inline constexpr char kWizardCompleteText[] =
    "Firmware update complete.\n    \nRemove all flopies, click the Shut Down button, and then\n"
    "TURN OFF your computer. When you restart your computer\nthe firmware update will be in "
    "effect.";
inline constexpr char kWizardVerifyingText[] = "Verifying Firmware update.";
inline constexpr char kWizardVersionText[] = "v2.1.2d Aug 18 2004";
inline constexpr char kWizardCancelQuestion[] = "Cancel the Firmware update ?";
inline constexpr char kWizardRebootRefused[] =
    "The application was unable to reboot the computer. Please reboot your computer manually.";
// The wizard's buttons.
inline constexpr char kWizardBack[] = "<&Back";
inline constexpr char kWizardNext[] = "&Next>";
inline constexpr char kWizardCancel[] = "Cancel";
inline constexpr char kWizardShutDown[] = "&Shut Down";
inline constexpr char kWizardFinished[] = "&Finished";

// The question Next asks on the drive page.
std::string WizardUpdateQuestion(const std::string& newRevision);

}  // namespace engine
