#include "app/Frmbrenvo.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QThread>
#include <QTimer>
#include <type_traits>
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

// One modal dialog: its answer flag where it asks, its words, then shown.
template <class Form>
void ShowForm(QWidget* owner, const engine::DialogRequest& request) {
    Form form(owner);
    if constexpr (requires { form.SetAnswerFlag(request.answer); })
        form.SetAnswerFlag(request.answer);
    if constexpr (std::is_same_v<Form, dialogs::TShowMsg>) {
        form.ApplyLanguage(request.language, request.uiVariant);
    } else {
        if constexpr (std::is_same_v<Form, dialogs::TUpdateCfm>) {
            form.lblOldFW->setText(Q(request.oldRevision));
            form.lblNewFW->setText(Q(request.newRevision));
        }
        form.ApplyLanguage(request.language);
    }
    ui::Modal::Show(form);
}

}  // namespace

TBrenvoMain::TBrenvoMain(package::Package& package, std::vector<std::string> commandLine,
                         platform::DirectIde directIde, QWidget* parent)
    : MainForm(parent), session_(package, *this, std::move(commandLine), directIde) {
    BrenvoMain = this;
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    setWindowTitle("Brenvo");

    connect(cboDrives, &QComboBox::activated, this, [this] { cboDrivesChange(); });
    connect(cmdUpdate, &QPushButton::clicked, this, [this] { cmdUpdateClick(); });
    connect(cmdClose, &QPushButton::clicked, this, [this] { cmdCloseClick(); });
    connect(tmr, &QTimer::timeout, this, [this] { tmrTimer(); });
    session_.Start();
}

TBrenvoMain::~TBrenvoMain() {
    FormDestroy();
    if (BrenvoMain == this) BrenvoMain = nullptr;
}

QWidget* TBrenvoMain::DialogOwner() {
    return isVisible() ? this : nullptr;
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
    // The session's close rules: during a run the window stays, whoever asks it to close.
    if (closing_ || session_.CloseAsked()) {
        event->accept();
    } else {
        event->ignore();
    }
}

void TBrenvoMain::FormShow() {
    if (session_.TerminateRequested()) return;
    LayoutRevisionLine();
    if (!session_.FirstShow()) return;
    // The window opens in the middle of the screen, whatever the window manager would choose.
    if (screen()) {
        QRect frame = frameGeometry();
        frame.moveCenter(screen()->availableGeometry().center());
        move(frame.topLeft());
    }
    session_.Shown();
}

void TBrenvoMain::cboDrivesChange() {
    session_.DriveChosen(cboDrives->currentIndex());
}

// --- engine::WindowDisplay ---

void TBrenvoMain::ApplyPackage(const std::string& caption, int language) {
    setWindowTitle(Q(caption));
    // Qt's own words (the message boxes' buttons) follow the package's language as well.
    ui::UseQtWords(language);
    Localise(language);
}

void TBrenvoMain::Message(engine::MessageKind kind, const std::string& text,
                          const std::string& caption) {
    ui::Modal::Message(DialogOwner(), KindOf(kind), Caption(caption), Q(text));
}

bool TBrenvoMain::Question(const std::string& text, const std::string& caption,
                           engine::AskButtons buttons) {
    const bool yesNo = buttons != engine::AskButtons::OkCancel;
    QMessageBox::StandardButton go = yesNo ? QMessageBox::Yes : QMessageBox::Ok;
    QMessageBox::StandardButtons offered =
        yesNo ? QMessageBox::Yes | QMessageBox::No : QMessageBox::Ok | QMessageBox::Cancel;
    const QMessageBox::StandardButton preset =
        buttons == engine::AskButtons::YesNoDefaultNo ? QMessageBox::No : go;
    return ui::Modal::Message(DialogOwner(), ui::MessageKind::Warning, Caption(caption), Q(text),
                              offered, preset) == go;
}

void TBrenvoMain::Dialog(const engine::DialogRequest& request) {
    switch (request.id) {
        case engine::DialogId::ShowMsg:
            return ShowForm<dialogs::TShowMsg>(this, request);
        case engine::DialogId::MostUpdate:
            return ShowForm<dialogs::TMostUpdate>(this, request);
        case engine::DialogId::UpdateCfm:
            return ShowForm<dialogs::TUpdateCfm>(this, request);
        case engine::DialogId::EjectDisc:
            return ShowForm<dialogs::TEjectDisc>(this, request);
        case engine::DialogId::InvalidUser:
            return ShowForm<dialogs::TInvalidUser>(this, request);
        case engine::DialogId::NoProperDrive:
            return ShowForm<dialogs::TNoProperDrive>(this, request);
        case engine::DialogId::Reboot:
            return ShowForm<dialogs::TReboot>(this, request);
        case engine::DialogId::RebootZulk:
            return ShowForm<dialogs::TRebootZULK>(this, request);
        case engine::DialogId::Recover:
            // The recovery is asked as a warning box with No preset (Question), not as a form.
            return;
    }
}

int TBrenvoMain::Unanswered() const {
    return ui::Modal::Unanswered();
}

bool TBrenvoMain::AnswersNobody() const {
    return ui::Modal::Unattended();
}

void TBrenvoMain::DrawDriveList(const std::vector<std::string>& lines) {
    QSignalBlocker quiet(cboDrives);
    cboDrives->clear();
    for (const std::string& line : lines)
        cboDrives->addItem(Q(line));
}

void TBrenvoMain::SelectDrive(int item) {
    QSignalBlocker quiet(cboDrives);
    cboDrives->setCurrentIndex(item);
}

void TBrenvoMain::DrawRevisionLine(const engine::RevisionLine& line) {
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

void TBrenvoMain::DrawOldRevision(const std::string& text) {
    lblOldFW->setText(Q(text));
    LayoutRevisionLine();
}

void TBrenvoMain::DrawStatus(const std::string& text) {
    lblMsg->setText(Q(text));
}

void TBrenvoMain::DrawStatusColour(engine::Colour colour) {
    lblMsg->SetColour(RgbOf(colour));
}

void TBrenvoMain::DrawProgress(int position, int maximum) {
    pbar->setRange(0, maximum);
    pbar->setValue(position);
}

void TBrenvoMain::DrawPercent(const std::string& text) {
    lblPercent->setText(Q(text));
}

void TBrenvoMain::EnableControls(bool update, bool close, bool driveList) {
    cmdUpdate->setEnabled(update);
    cmdClose->setEnabled(close);
    cboDrives->setEnabled(driveList);
}

void TBrenvoMain::SetTimerRunning(bool running) {
    if (running) {
        tmr->start();
    } else {
        tmr->stop();
    }
}

void TBrenvoMain::Repaint() {
    repaint();
    // Input too: the Close button is how a user gets out of a tray loop that waits for a disc.
    QCoreApplication::processEvents();
}

void TBrenvoMain::HideWindow() {
    closing_ = true;
    close();
}

void TBrenvoMain::ShowOemWizard() {
    hide();
    // The wizard reads the command line: a start for the check after a restart goes straight to
    // its result.
    ui::ShowOemWizard(session_, *this, session_.CommandLine());
}

void TBrenvoMain::RunLater(engine::Later what) {
    QMetaObject::invokeMethod(
        this, [this, what] { session_.RunLater(what); }, Qt::QueuedConnection);
}

void TBrenvoMain::EndLoop() {
    // Before the loop runs, the entry sees the request and does not start it; inside it, the
    // loop (and any modal loop within) ends at its next turn.
    if (QThread::currentThread()->loopLevel() > 0) QCoreApplication::exit(0);
}

bool TBrenvoMain::OnUiThread() const {
    return QThread::currentThread() == thread();
}

void TBrenvoMain::WakeForPostedTask() {
    QMetaObject::invokeMethod(this, "RunPostedTask", Qt::QueuedConnection);
}

void TBrenvoMain::WaitForEvents() {
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
}

}  // namespace app
