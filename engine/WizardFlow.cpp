#include "engine/WizardFlow.h"

#include "device/DriveRecord.h"
#include "device/SystemInfo.h"
#include "engine/UpdateEngine.h"
#include "engine/WindowTexts.h"

namespace engine {

WizardFlow::WizardFlow(WizardHost& host, WizardDisplay& display) : host_(host), display_(display) {}

void WizardFlow::Start(const std::vector<std::string>& commandLine) {
    check_ = ParseCheckCommandLine(commandLine);
    display_.StartPolling();
    if (check_.requested) {
        ShowVerifyPage();
        return;
    }
    ShowWelcomePage();
}

std::string WizardFlow::Caption() const {
    return host_.Engine().ParsePackage().caption;
}

// --- the pages ---

void WizardFlow::ShowWelcomePage() {
    page_ = kWelcomePage;
    display_.ShowLook(WizardPageLook(page_));
}

void WizardFlow::ShowDrivePage() {
    page_ = kDrivePage;
    display_.ShowLook(WizardPageLook(page_));
    const UpdateEngine& engine = host_.Engine();
    display_.ShowDrives(engine.ListLines(), engine.SelectedItem());
    ShowRevisions();
}

void WizardFlow::ShowRevisions() {
    const UpdateEngine& engine = host_.Engine();
    const RevisionLine& line = engine.Revisions();
    // The record, not the revision line: the list is matched afresh after every run. During a
    // run nothing more may be started.
    const device::DriveRecord* record = engine.ListedDrive(engine.SelectedItem());
    const bool offered = record && record->present && record->matched && !engine.InRun();
    display_.ShowRevisions(line.oldRevision, line.newRevision, offered);
}

void WizardFlow::ShowProgressPage() {
    page_ = kProgressPage;
    display_.ShowLook(WizardPageLook(page_));
    host_.PressUpdate();
    if (host_.TerminateRequested()) return;
    // The bar's range follows the path of the run (the direct-IDE path counts to 100).
    const UpdateEngine& engine = host_.Engine();
    display_.ShowProgress(engine.ProgressPosition(), engine.ProgressMaximum());
    display_.StartPolling();
}

void WizardFlow::ShowCompletePage() {
    page_ = kCompletePage;
    // The run registered the check after the restart when it succeeded.
    display_.ShowLook(WizardPageLook(page_));
}

void WizardFlow::ShowVerifyPage() {
    page_ = kVerifyPage;
    display_.ShowLook(WizardPageLook(page_));
    CheckResult result = VerifyUpdate(host_.Engine(), check_);
    page_ = kResultPage;
    display_.ShowLook(WizardPageLook(page_));
    display_.ShowResult(result);
    host_.CheckEnded(result.outcome);
}

// --- the buttons, the list and the poll ---

void WizardFlow::Next() {
    Take(WizardNext(page_));
}

void WizardFlow::Back() {
    Take(WizardBack(page_));
}

void WizardFlow::Cancel() {
    Take(WizardCancel(page_));
}

void WizardFlow::Take(WizardStep step) {
    switch (step) {
        case WizardStep::WelcomePage:
            ShowWelcomePage();
            break;
        case WizardStep::DrivePage:
            ShowDrivePage();
            break;
        case WizardStep::AskToUpdate:
            if (display_.Ask(WizardUpdateQuestion(host_.Engine().Revisions().newRevision)))
                ShowProgressPage();
            break;
        case WizardStep::AskToCancel:
            ConfirmCancel();
            break;
        case WizardStep::ShutDown:
            ShutDown();
            break;
        case WizardStep::Finish:
            EndProgram();
            break;
        case WizardStep::Nothing:
            break;
    }
}

void WizardFlow::SelectDrive(int item) {
    if (item < 0) return;
    host_.Engine().DrivesChange(item);
    ShowRevisions();
}

void WizardFlow::Tick() {
    const UpdateEngine& engine = host_.Engine();
    display_.ShowProgress(engine.ProgressPosition(), engine.ProgressMaximum());
    if (engine.Updated()) ShowCompletePage();
}

bool WizardFlow::CloseRequested() {
    if (page_ == kProgressPage) {
        // The run is still being prepared (the tray loop) or flashing: the window stays.
        ConfirmCancel();
        return false;
    }
    EndProgram();
    return true;
}

void WizardFlow::ConfirmCancel() {
    // A flash that has started runs to its end: stopping it would leave the drive half written.
    if (host_.Engine().Running() > 0) return;
    if (display_.Ask(kWizardCancelQuestion)) EndProgram();
}

void WizardFlow::ShutDown() {
    if (!device::RebootSystem(device::OSInfo())) {
        display_.Warn(kWizardRebootRefused);
        return;
    }
    // The system ends every program on its way down; the emulated PC leaves that to us, and its
    // state is written back only when the program ends.
    EndProgram();
}

void WizardFlow::EndProgram() {
    display_.Dismiss();
    host_.PressClose();
}

}  // namespace engine
