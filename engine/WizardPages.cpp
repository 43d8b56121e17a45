#include "engine/WizardPages.h"

#include "engine/WindowTexts.h"

namespace engine {

WizardLook WizardPageLook(uint8_t page) {
    using B = WizardButton;
    switch (page) {
        case kWelcomePage:
            return {page,        true,     false,         false, B::Disabled, B::Shown,
                    kWizardNext, B::Shown, kWizardCancel, 146,   55,          kWizardWelcomeText};
        case kDrivePage:
            return {page,        false,    true,          false, B::Shown, B::Shown,
                    kWizardNext, B::Shown, kWizardCancel, 146,   30,       kWizardDriveText};
        case kProgressPage:
            return {page,        false,     false,         true, B::Hidden, B::Hidden,
                    kWizardNext, B::Hidden, kWizardCancel, 146,  55,        kWizardWaitingText};
        case kCompletePage:
            return {page,        false,    false,           true, B::Hidden, B::Hidden,
                    kWizardNext, B::Shown, kWizardShutDown, 146,  55,        kWizardCompleteText};
        case kVerifyPage:
            return {page,          false,       false,       false,
                    B::Disabled,   B::Disabled, kWizardNext, B::Disabled,
                    kWizardCancel, 195,         30,          kWizardVerifyingText};
        default:
            return {kResultPage,     false,       false,         false, B::Shown, B::Shown,
                    kWizardFinished, B::Disabled, kWizardCancel, 195,   30,       ""};
    }
}

WizardStep WizardNext(uint8_t page) {
    switch (page) {
        case kWelcomePage:
            return WizardStep::DrivePage;
        case kDrivePage:
            return WizardStep::AskToUpdate;
        case kResultPage:
            return WizardStep::Finish;
        default:
            return WizardStep::Nothing;
    }
}

WizardStep WizardBack(uint8_t page) {
    switch (page) {
        case kDrivePage:
            return WizardStep::WelcomePage;
        case kProgressPage:
        case kResultPage:
            return WizardStep::DrivePage;
        default:
            return WizardStep::Nothing;
    }
}

WizardStep WizardCancel(uint8_t page) {
    switch (page) {
        case kWelcomePage:
        case kDrivePage:
        case kProgressPage:
            return WizardStep::AskToCancel;
        case kCompletePage:
            return WizardStep::ShutDown;
        default:
            return WizardStep::Nothing;
    }
}

}  // namespace engine
