// The OEM wizard's pages as every window front-end shows them: what each page shows, and where
// each of its buttons leads. A front-end sets the look and carries out the step.
#pragma once

#include <cstdint>

namespace engine {

// The client area the pages were drawn in.
inline constexpr int kWizardClientWidth = 444;
inline constexpr int kWizardClientHeight = 277;

// The pages; 0 lasts only while the wizard is being created.
enum WizardPage : uint8_t {
    kNoPage = 0,
    kWelcomePage = 1,
    kDrivePage = 2,
    kProgressPage = 3,
    kCompletePage = 4,
    kVerifyPage = 5,
    kResultPage = 6
};

// Shown: visible and enabled; Disabled: visible, not enabled; Hidden: neither.
enum class WizardButton { Shown, Disabled, Hidden };

struct WizardLook {
    uint8_t page;
    bool version;  // lblVersion
    bool drive;    // lblOldFW, lblNewFW, cboDrives
    bool bar;      // pbar
    WizardButton back;
    WizardButton next;
    const char* nextText;
    WizardButton cancel;
    const char* cancelText;
    int messageLeft, messageTop;  // where lblMessage sits
    const char* message;          // its text; the result page sets its own
};
// The look of a page from kWelcomePage to kResultPage.
WizardLook WizardPageLook(uint8_t page);

// Where a button leads from a page.
enum class WizardStep {
    Nothing,
    WelcomePage,
    DrivePage,
    AskToUpdate,  // the update question; Yes shows the progress page
    AskToCancel,  // the cancel question; Yes ends the program
    ShutDown,     // restart the computer
    Finish,       // end the program
};
WizardStep WizardNext(uint8_t page);
WizardStep WizardBack(uint8_t page);
WizardStep WizardCancel(uint8_t page);

}  // namespace engine
