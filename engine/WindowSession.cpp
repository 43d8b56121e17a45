#include "engine/WindowSession.h"

#include <chrono>
#include <utility>

namespace engine {

WindowSession::WindowSession(package::Package& package, WindowDisplay& display,
                             std::vector<std::string> commandLine, platform::DirectIde directIde)
    : package_(package),
      display_(display),
      commandLine_(std::move(commandLine)),
      directIde_(directIde) {}

WindowSession::~WindowSession() = default;

void WindowSession::Start() {
    // The caption and the language come from the package, so it is read before the window is
    // localised; start-up then reports a package it cannot use.
    engine_ = std::make_unique<UpdateEngine>(package_, *this);
    engine_->SetDirectIde(directIde_);
    const package::ParseResult& parsed = engine_->ParsePackage();
    display_.ApplyPackage(parsed.caption, package_.Options().language);
    // A package whose checksum leaves its options and constraints out still runs: said once.
    if (!parsed.notice.empty()) ShowMessage(MessageKind::Information, parsed.notice, "");
    // Started for the check after a restart, start-up does not end for want of a drive to update.
    const CheckRequest check = ParseCheckCommandLine(commandLine_);
    checkStart_ = check.requested;
    // Whether there is a drive to update is decided by the engine's start-up alone:
    // NoMatchingDrive (or DriveHeld) ends the program here, its message shown.
    // With no drive to update but one left in its boot loader that this package can write,
    // start-up asks whether to recover it (default No) before it ends for want of a drive.
    engine_->OfferRecoveryAtStart();
    startResult_ = engine_->StartUp(check);
}

bool WindowSession::SelectedDriveMatched() const {
    // The record, not the revision line: the list is matched afresh after every run, the line
    // only when the selection changes.
    const device::DriveRecord* record = engine_->ListedDrive(engine_->SelectedItem());
    return record && record->present && record->matched;
}

void WindowSession::CheckEnded(CheckOutcome outcome) {
    script_.check = outcome;
    if (scriptMode_) RequestTerminate();
}

int WindowSession::ExitStatus() const {
    return script_.Status(startResult_, engine_ ? engine_->LastRun() : finalRun_);
}

// --- the window's events ---

bool WindowSession::FirstShow() {
    if (terminateRequested_ || shownOnce_) return false;
    shownOnce_ = true;
    return true;
}

void WindowSession::Shown() {
    if (!engine_) return;
    if (scriptMode_ && !ScriptNeedsNobody(engine_->Options(), commandLine_)) {
        // Nobody is there to choose a drive and press Update.
        display_.RunLater(Later::RefuseScript);
        return;
    }
    if (scriptMode_) engine_->EndAfterRun();
    // The unattended run starts once the window is on the screen, so that its questions and
    // its progress sit on a window the user can see. A start for the check after a restart
    // only checks: the drive was updated before the restart.
    if (engine_->Options().unattended && !checkStart_) display_.RunLater(Later::StartUnattended);
}

void WindowSession::Painted() {
    if (handedOver_ || !engine_ || engine_->Options().uiVariant != 2) return;
    handedOver_ = true;
    // Hiding a window from inside its own paint is left to the next turn of the loop.
    display_.RunLater(Later::HandOver);
}

void WindowSession::RunLater(Later what) {
    switch (what) {
        case Later::StartUnattended:
            UpdatePressed();
            break;
        case Later::HandOver:
            display_.ShowOemWizard();
            break;
        case Later::RefuseScript:
            ShowMessage(MessageKind::Error, kScriptNeedsPersonText, "");
            RequestTerminate();
            break;
    }
}

void WindowSession::DriveChosen(int item) {
    if (item < 0 || !engine_) return;
    engine_->DrivesChange(item);
}

void WindowSession::UpdatePressed() {
    if (!engine_) return;
    // The engine takes the selected drive as it is; only a drive the package may update is
    // offered, whatever state the buttons were left in.
    if (!engine_->Options().unattended && !SelectedDriveMatched()) return;
    engine_->UpdateClick();
}

void WindowSession::ClosePressed() {
    // During a run the window stays: the run ends, then the program.
    if (engine_ && !engine_->RequestClose()) return;
    display_.HideWindow();
    RequestTerminate();
}

bool WindowSession::CloseAsked() {
    // During a run the window stays, whoever asks it to close; otherwise the title bar does what
    // the Close button does.
    if (!ClosableFromTitleBar()) return false;
    ClosePressed();
    return true;
}

void WindowSession::TimerTick() {
    if (engine_) engine_->TimerTick();
}

void WindowSession::ShowProgressFromWorker(int percent) {
    if (!display_.OnUiThread()) {
        PostToUiThread([this, percent] { ShowProgressFromWorker(percent); });
        return;
    }
    if (engine_) engine_->ShowProgress(percent);
}

void WindowSession::ShowStatusFromWorker(const std::string& text) {
    if (!display_.OnUiThread()) {
        PostToUiThread([this, text] { ShowStatusFromWorker(text); });
        return;
    }
    if (engine_) engine_->ShowStatus(text);
}

void WindowSession::End() {
    if (!engine_) return;
    display_.SetTimerRunning(false);
    // A worker still flashing owns its drive and hands its end to this window, so the window
    // waits for it: a program ended in the middle of a run (Close pressed while a later drive's
    // tray was handled) must not pull the device from under a flash.
    while (engine_->Running() > 0)
        display_.WaitForEvents();
    // The last worker's completion may have run before that worker finished waking the window
    // (an earlier wake-up took it from the queue); let it finish before the engine goes.
    { std::lock_guard lock(posting_); }
    display_.BeforeEngineEnds();
    finalRun_ = engine_->LastRun();
    // The engine owns the device objects, the flash driver and the image copies, and releases
    // each whatever became of the others.
    engine_.reset();
}

// --- UpdateView ---

void WindowSession::ShowMessage(MessageKind kind, const std::string& text,
                                const std::string& caption) {
    display_.Message(kind, text, caption);
    // In a script nobody takes a disc out or pushes a tray in: a warning of the tray loop ends
    // the loop, as it does on the console.
    if (kind == MessageKind::Warning && display_.AnswersNobody()) warnedUnattended_ = true;
}

bool WindowSession::Ask(const std::string& text, const std::string& caption, AskButtons buttons) {
    const int before = display_.Unanswered();
    const bool accepted = display_.Question(text, caption, buttons);
    // A question nobody answered (script mode) refuses the run.
    if (display_.Unanswered() > before) script_.questionUnanswered = true;
    return accepted;
}

void WindowSession::ShowDialog(DialogId id, uint8_t* answer, const std::string& oldRevision,
                               const std::string& newRevision) {
    const int before = display_.Unanswered();
    display_.Dialog({id, answer, package_.Options().language, package_.Options().uiVariant,
                     oldRevision, newRevision});
    // Only a dialog that asks counts: a refusal has nothing to answer.
    if (answer && display_.Unanswered() > before) script_.questionUnanswered = true;
}

void WindowSession::ShowNewerWarning(uint8_t* answer) {
    ShowDialog(DialogId::ShowMsg, answer);
}

void WindowSession::ShowMostUpdate() {
    ShowDialog(DialogId::MostUpdate);
}

void WindowSession::ShowUpdateConfirm(uint8_t* answer, const std::string& oldRevision,
                                      const std::string& newRevision) {
    ShowDialog(DialogId::UpdateCfm, answer, oldRevision, newRevision);
}

void WindowSession::ShowEjectDisc(uint8_t* answer) {
    ShowDialog(DialogId::EjectDisc, answer);
}

void WindowSession::ShowInvalidUser() {
    ShowDialog(DialogId::InvalidUser);
}

void WindowSession::ShowNoProperDrive() {
    ShowDialog(DialogId::NoProperDrive);
}

void WindowSession::ShowReboot() {
    ShowDialog(DialogId::Reboot);
}

void WindowSession::ShowRebootZulk() {
    ShowDialog(DialogId::RebootZulk);
}

void WindowSession::SetStatus(const std::string& text) {
    display_.DrawStatus(text);
}

void WindowSession::SetStatusColour(Colour colour) {
    display_.DrawStatusColour(colour);
}

void WindowSession::SetProgress(int position, int maximum) {
    display_.DrawProgress(position, maximum);
}

void WindowSession::SetPercent(const std::string& text) {
    display_.DrawPercent(text);
}

void WindowSession::SetButtons(bool updateEnabled, bool closeEnabled) {
    // Update stays off while the selected drive is one the package may not update: a run that
    // left the drive outside the package's ranges must not offer to flash it again. While
    // workers flash, the selection stays: the run re-identifies the selected drive when it
    // ends, and that must be the drive it flashed.
    display_.EnableControls(updateEnabled && SelectedDriveMatched(), closeEnabled,
                            engine_->Running() == 0);
}

void WindowSession::SetOldRevision(const std::string& text) {
    display_.DrawOldRevision(text);
}

void WindowSession::SetTimerRunning(bool running) {
    display_.SetTimerRunning(running);
}

void WindowSession::DriveListChanged() {
    // A new selection alone leaves the list as it is, open or not.
    if (engine_->ListLines() != drawnLines_) {
        drawnLines_ = engine_->ListLines();
        display_.DrawDriveList(drawnLines_);
    }
    display_.SelectDrive(engine_->SelectedItem());
    display_.DrawRevisionLine(engine_->Revisions());
}

void WindowSession::Repaint() {
    display_.Repaint();
}

bool WindowSession::StopRequested() {
    return terminateRequested_ || warnedUnattended_;
}

void WindowSession::RequestTerminate() {
    terminateRequested_ = true;
    display_.EndLoop();
}

void WindowSession::SetFlashing(bool flashing) {
    display_.SetFlashing(flashing);
}

void WindowSession::PostToUiThread(std::function<void()> task) {
    // The task itself travels through a queue guarded by a standard mutex, so that what a worker
    // wrote before posting (its result byte, the device's state) is seen to happen before the
    // task reads it on the window's thread, by a thread checker too; the window's own queue only
    // carries the wake-up. Posting and waking are one step: the window's end waits for a worker
    // inside it.
    std::lock_guard lock(posting_);
    posted_.Post(std::move(task));
    display_.WakeForPostedTask();
}

void WindowSession::RunPostedTask() {
    if (auto task = posted_.Next(std::chrono::steady_clock::time_point::min())) task();
}

}  // namespace engine
