#include "app/Frmbrenvo.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QThread>
#include <QTimer>
#include <utility>

#include "dialogs/Frmejectdisc.h"
#include "dialogs/Frminvaliduser.h"
#include "dialogs/Frmmostupdate.h"
#include "dialogs/Frmnoproperdrive.h"
#include "dialogs/Frmreboot.h"
#include "dialogs/Frmrebootzulk.h"
#include "dialogs/Frmshowmsg.h"
#include "dialogs/Frmupdatecfm.h"
#include "dialogs/Modal.h"
#include "dialogs/OemWizard.h"
#include "dialogs/QtWords.h"
#include "dialogs/TitleBar.h"

namespace app {

TBrenvoMain* BrenvoMain = nullptr;

namespace {

QString Q(const std::string& text) {
    return QString::fromStdString(text);
}

QRgb RgbOf(engine::Colour colour) {
    switch (colour) {
        case engine::Colour::Navy:
            return ui::kNavy;
        case engine::Colour::Maroon:
            return kMaroon;
        case engine::Colour::Black:
            break;
    }
    return ui::kBlack;
}

ui::MessageKind KindOf(engine::MessageKind kind) {
    switch (kind) {
        case engine::MessageKind::Warning:
            return ui::MessageKind::Warning;
        case engine::MessageKind::Information:
            return ui::MessageKind::Information;
        case engine::MessageKind::Error:
            break;
    }
    return ui::MessageKind::Error;
}

// Message boxes without a caption of their own carry the application's title.
QString Caption(const std::string& caption) {
    return caption.empty() ? QCoreApplication::applicationName() : Q(caption);
}

}  // namespace

TBrenvoMain::TBrenvoMain(package::Package& package, std::vector<std::string> commandLine,
                         QWidget* parent)
    : MainForm(parent), package_(package), commandLine_(std::move(commandLine)) {
    BrenvoMain = this;
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    setWindowTitle("Brenvo");

    connect(cboDrives, &QComboBox::activated, this, [this] { cboDrivesChange(); });
    connect(cmdUpdate, &QPushButton::clicked, this, [this] { cmdUpdateClick(); });
    connect(cmdClose, &QPushButton::clicked, this, [this] { cmdCloseClick(); });
    connect(tmr, &QTimer::timeout, this, [this] { tmrTimer(); });

    // The caption and the language come from the package, so it is read before the window is
    // localised; start-up then reports a package it cannot use.
    engine_ = std::make_unique<engine::UpdateEngine>(package_, *this);
    setWindowTitle(Q(engine_->ParsePackage().caption));
    // Qt's own words (the message boxes' buttons) follow the package's language as well.
    ui::UseQtWords(Language());
    Localise(Language());
    // A package whose checksum leaves its options and constraints out still runs: said once.
    if (const std::string& notice = engine_->ParsePackage().notice; !notice.empty())
        ShowMessage(engine::MessageKind::Information, notice, "");
    // Started for the check after a restart, start-up does not end for want of a drive to update.
    const engine::CheckRequest check = engine::ParseCheckCommandLine(commandLine_);
    checkStart_ = check.requested;
    startResult_ = engine_->StartUp(check);
    if (startResult_ == engine::StartEnd::Ready && !terminateRequested_) {
        // From here on only the Close button ends the program.
        setWindowFlag(Qt::WindowCloseButtonHint, false);
        closableFromTitleBar_ = false;
    }
}

TBrenvoMain::~TBrenvoMain() {
    FormDestroy();
    if (BrenvoMain == this) BrenvoMain = nullptr;
}

int TBrenvoMain::Language() const {
    return package_.Options().language;
}

bool TBrenvoMain::SelectedDriveMatched() const {
    // The record, not the revision line: the list is matched afresh after every run, the line
    // only when the selection changes.
    const device::DriveRecord* record = engine_->ListedDrive(engine_->SelectedItem());
    return record && record->present && record->matched;
}

QWidget* TBrenvoMain::DialogOwner() {
    return isVisible() ? this : nullptr;
}

void TBrenvoMain::NoteUnanswered(int unansweredBefore) {
    if (ui::Modal::Unanswered() > unansweredBefore) script_.questionUnanswered = true;
}

void TBrenvoMain::CheckEnded(engine::CheckOutcome outcome) {
    script_.check = outcome;
    if (scriptMode_) RequestTerminate();
}

int TBrenvoMain::ExitStatus() const {
    return script_.Status(startResult_, engine_ ? engine_->LastRun() : finalRun_);
}

// --- the window's events ---

void TBrenvoMain::showEvent(QShowEvent* event) {
    ui::ApplyTitleBar(*this);
    MainForm::showEvent(event);
    FormShow();
}

void TBrenvoMain::paintEvent(QPaintEvent* event) {
    MainForm::paintEvent(event);
    FormPaint();
}

void TBrenvoMain::closeEvent(QCloseEvent* event) {
    // During a run the window stays, whoever asks it to close; the Close button asks the run to
    // end first.
    if ((engine_ && engine_->InRun()) || (!closableFromTitleBar_ && !closingByButton_)) {
        event->ignore();
        return;
    }
    event->accept();
}

void TBrenvoMain::FormShow() {
    if (terminateRequested_) return;
    LayoutRevisionLine();
    if (shownOnce_) return;
    shownOnce_ = true;
    // The window opens in the middle of the screen, whatever the window manager would choose.
    if (screen()) {
        QRect frame = frameGeometry();
        frame.moveCenter(screen()->availableGeometry().center());
        move(frame.topLeft());
    }
    if (!engine_) return;
    if (scriptMode_ && !engine::ScriptNeedsNobody(engine_->Options(), commandLine_)) {
        // Nobody is there to choose a drive and press Update.
        QMetaObject::invokeMethod(
            this,
            [this] {
                ShowMessage(engine::MessageKind::Error, engine::kScriptNeedsPersonText, "");
                RequestTerminate();
            },
            Qt::QueuedConnection);
        return;
    }
    if (scriptMode_) engine_->EndAfterRun();
    // The unattended run starts once the window is on the screen, so that its questions and
    // its progress sit on a window the user can see. A start for the check after a restart
    // only checks: the drive was updated before the restart.
    if (engine_->Options().unattended && !checkStart_)
        QMetaObject::invokeMethod(
            this, [this] { cmdUpdateClick(); }, Qt::QueuedConnection);
}

void TBrenvoMain::FormPaint() {
    if (handedOver_ || !engine_ || engine_->Options().uiVariant != 2) return;
    handedOver_ = true;
    // Hiding a window from inside its own paint is left to the next turn of the loop.
    QMetaObject::invokeMethod(
        this, [this] { HandOverToOemWizard(); }, Qt::QueuedConnection);
}

void TBrenvoMain::HandOverToOemWizard() {
    hide();
    // The wizard reads the command line: a start for the check after a restart goes straight to
    // its result.
    ui::ShowOemWizard(*this, *this, commandLine_);
}

void TBrenvoMain::FormDestroy() {
    tmr->stop();
    // A worker still flashing owns its drive and hands its end to this window, so the window
    // waits for it: a program ended in the middle of a run (Close pressed while a later drive's
    // tray was handled) must not pull the device from under a flash.
    while (engine_ && engine_->Running() > 0)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    // The last worker's completion may have run before that worker finished waking this window
    // (an earlier wake-up took it from the queue); let it finish before the window goes.
    { std::lock_guard lock(posting_); }
    if (engine_) finalRun_ = engine_->LastRun();
    // The engine owns the device objects, the flash driver and the image copies, and releases
    // each whatever became of the others.
    engine_.reset();
}

void TBrenvoMain::cboDrivesChange() {
    int item = cboDrives->currentIndex();
    if (item < 0 || !engine_) return;
    engine_->DrivesChange(item);
}

void TBrenvoMain::cmdUpdateClick() {
    if (!engine_) return;
    // The engine takes the selected drive as it is; only a drive the package may update is
    // offered, whatever state the buttons were left in.
    if (!engine_->Options().unattended && !SelectedDriveMatched()) return;
    engine_->UpdateClick();
}

void TBrenvoMain::cmdCloseClick() {
    // During a run the window stays: the run ends, then the program.
    if (engine_ && !engine_->RequestClose()) return;
    closingByButton_ = true;
    close();
    RequestTerminate();
}

void TBrenvoMain::tmrTimer() {
    if (engine_) engine_->TimerTick();
}

void TBrenvoMain::showProgress(int percent) {
    if (QThread::currentThread() != thread()) {
        PostToUiThread([this, percent] { showProgress(percent); });
        return;
    }
    if (engine_) engine_->ShowProgress(percent);
}

void TBrenvoMain::showStatus(const std::string& text) {
    if (QThread::currentThread() != thread()) {
        PostToUiThread([this, text] { showStatus(text); });
        return;
    }
    if (engine_) engine_->ShowStatus(text);
}

void TBrenvoMain::ShowRevisionLine() {
    const engine::RevisionLine& line = engine_->Revisions();
    cmdUpdate->setEnabled(line.matched);
    for (QWidget* label : {static_cast<QWidget*>(lblNewFW), static_cast<QWidget*>(lblOldFW),
                           static_cast<QWidget*>(lblTo)})
        label->setVisible(line.matched);
    lblUpdateMsg->setText(Q(line.message));
    lblUpdateMsg->SetColour(RgbOf(line.messageColour));
    if (line.matched) {
        lblTo->SetColour(ui::kBlack);
        lblNewFW->setText(Q(line.newRevision));
        lblOldFW->setText(Q(line.oldRevision));
    }
    // The revisions differ in width from drive to drive; the line follows them.
    LayoutRevisionLine();
}

// --- engine::UpdateView ---

void TBrenvoMain::ShowMessage(engine::MessageKind kind, const std::string& text,
                              const std::string& caption) {
    ui::Modal::Message(DialogOwner(), KindOf(kind), Caption(caption), Q(text));
    // In a script nobody takes a disc out or pushes a tray in: a warning of the tray loop ends
    // the loop, as it does on the console.
    if (kind == engine::MessageKind::Warning && ui::Modal::Unattended()) warnedUnattended_ = true;
}

bool TBrenvoMain::Ask(const std::string& text, const std::string& caption,
                      engine::AskButtons buttons) {
    bool yesNo = buttons == engine::AskButtons::YesNo;
    QMessageBox::StandardButton go = yesNo ? QMessageBox::Yes : QMessageBox::Ok;
    QMessageBox::StandardButtons offered =
        yesNo ? QMessageBox::Yes | QMessageBox::No : QMessageBox::Ok | QMessageBox::Cancel;
    const int before = ui::Modal::Unanswered();
    bool accepted = ui::Modal::Message(DialogOwner(), ui::MessageKind::Warning, Caption(caption),
                                       Q(text), offered, go) == go;
    NoteUnanswered(before);
    return accepted;
}

void TBrenvoMain::ShowNewerWarning(uint8_t* answer) {
    dialogs::TShowMsg form(this);
    form.SetAnswerFlag(answer);
    form.ApplyLanguage(Language(), engine_->Options().uiVariant);
    const int before = ui::Modal::Unanswered();
    ui::Modal::Show(form);
    NoteUnanswered(before);
}

void TBrenvoMain::ShowMostUpdate() {
    dialogs::TMostUpdate form(this);
    form.ApplyLanguage(Language());
    ui::Modal::Show(form);
}

void TBrenvoMain::ShowUpdateConfirm(uint8_t* answer, const std::string& oldRevision,
                                    const std::string& newRevision) {
    dialogs::TUpdateCfm form(this);
    form.SetAnswerFlag(answer);
    form.lblOldFW->setText(Q(oldRevision));
    form.lblNewFW->setText(Q(newRevision));
    form.ApplyLanguage(Language());
    const int before = ui::Modal::Unanswered();
    ui::Modal::Show(form);
    NoteUnanswered(before);
}

void TBrenvoMain::ShowEjectDisc(uint8_t* answer) {
    dialogs::TEjectDisc form(this);
    form.SetAnswerFlag(answer);
    form.ApplyLanguage(Language());
    const int before = ui::Modal::Unanswered();
    ui::Modal::Show(form);
    NoteUnanswered(before);
}

void TBrenvoMain::ShowInvalidUser() {
    dialogs::TInvalidUser form(this);
    form.ApplyLanguage(Language());
    ui::Modal::Show(form);
}

void TBrenvoMain::ShowNoProperDrive() {
    dialogs::TNoProperDrive form(this);
    form.ApplyLanguage(Language());
    ui::Modal::Show(form);
}

void TBrenvoMain::ShowReboot() {
    dialogs::TReboot form(this);
    form.ApplyLanguage(Language());
    ui::Modal::Show(form);
}

void TBrenvoMain::ShowRebootZulk() {
    dialogs::TRebootZULK form(this);
    form.ApplyLanguage(Language());
    ui::Modal::Show(form);
}

void TBrenvoMain::SetStatus(const std::string& text) {
    lblMsg->setText(Q(text));
}

void TBrenvoMain::SetStatusColour(engine::Colour colour) {
    lblMsg->SetColour(RgbOf(colour));
}

void TBrenvoMain::SetProgress(int position, int maximum) {
    pbar->setRange(0, maximum);
    pbar->setValue(position);
}

void TBrenvoMain::SetPercent(const std::string& text) {
    lblPercent->setText(Q(text));
}

void TBrenvoMain::SetButtons(bool updateEnabled, bool closeEnabled) {
    // Update stays off while the selected drive is one the package may not update: a run that
    // left the drive outside the package's ranges must not offer to flash it again.
    cmdUpdate->setEnabled(updateEnabled && SelectedDriveMatched());
    cmdClose->setEnabled(closeEnabled);
    // While workers flash, the selection stays: the run re-identifies the selected drive when
    // it ends, and that must be the drive it flashed.
    cboDrives->setEnabled(engine_->Running() == 0);
}

void TBrenvoMain::SetOldRevision(const std::string& text) {
    lblOldFW->setText(Q(text));
    LayoutRevisionLine();
}

void TBrenvoMain::SetTimerRunning(bool running) {
    if (running) {
        tmr->start();
    } else {
        tmr->stop();
    }
}

void TBrenvoMain::DriveListChanged() {
    QSignalBlocker quiet(cboDrives);
    const std::vector<std::string>& lines = engine_->ListLines();
    bool same = cboDrives->count() == static_cast<int>(lines.size());
    for (int item = 0; same && item < cboDrives->count(); ++item)
        same = cboDrives->itemText(item) == Q(lines[item]);
    // A new selection alone leaves the list as it is, open or not.
    if (!same) {
        cboDrives->clear();
        for (const std::string& line : lines)
            cboDrives->addItem(Q(line));
    }
    cboDrives->setCurrentIndex(engine_->SelectedItem());
    ShowRevisionLine();
}

void TBrenvoMain::Repaint() {
    repaint();
    // Input too: the Close button is how a user gets out of a tray loop that waits for a disc.
    QCoreApplication::processEvents();
}

bool TBrenvoMain::StopRequested() {
    return terminateRequested_ || warnedUnattended_;
}

void TBrenvoMain::RequestTerminate() {
    terminateRequested_ = true;
    // Before the loop runs, the entry sees the request and does not start it; inside it, the
    // loop (and any modal loop within) ends at its next turn.
    if (QThread::currentThread()->loopLevel() > 0) QCoreApplication::exit(0);
}

void TBrenvoMain::PostToUiThread(std::function<void()> task) {
    // The task itself travels through a queue guarded by a standard mutex, so that what a worker
    // wrote before posting (its result byte, the device's state) is seen to happen before the
    // task reads it here, by a thread checker too; Qt's event queue only carries the wake-up.
    // Posting and waking are one step: the window's end waits for a worker inside it.
    std::lock_guard lock(posting_);
    posted_.Post(std::move(task));
    QMetaObject::invokeMethod(this, "RunPostedTask", Qt::QueuedConnection);
}

void TBrenvoMain::RunPostedTask() {
    if (auto task = posted_.Next(std::chrono::steady_clock::time_point::min())) task();
}

}  // namespace app
