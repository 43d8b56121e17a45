#include "wizard/Frmmainqv.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QFrame>
#include <QKeyEvent>
#include <QPainter>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QScreen>
#include <QShowEvent>
#include <QTimer>
#include <algorithm>
#include <vector>

#include "app/Frmbrenvo.h"
#include "device/SystemInfo.h"
#include "dialogs/Accessible.h"
#include "dialogs/Form.h"
#include "dialogs/Modal.h"
#include "dialogs/QtWords.h"
#include "dialogs/TitleBar.h"
#include "dialogs/UiFonts.h"

namespace wizard {

int checkDriveIndex = 0;
std::string expectedVersion;

namespace {

// "MS Sans Serif" at height -12.
constexpr int kHeight = 12;
// The system's hot-light colour: the blue of links.
constexpr QRgb kHotLight = 0x0066cc;

constexpr const char* kWelcomeText = engine::kWizardWelcomeText;
constexpr const char* kDriveText = engine::kWizardDriveText;
constexpr const char* kWaitingText = engine::kWizardWaitingText;
constexpr const char* kCompleteText = engine::kWizardCompleteText;
constexpr const char* kVerifyingText = engine::kWizardVerifyingText;

QString Q(const std::string& text) {
    return QString::fromStdString(text);
}

// The design font of the wizard's controls: "MS Sans Serif", Big5.
void WizardFont(QWidget& control, const QString& family = "MS Sans Serif") {
    ui::DesignFont(control, family, kHeight);
    ui::SwitchFamily(control, family, ui::kBig5Charset);
}

ui::Label* AddLabel(QWidget* form, const char* name, QPoint at, QRgb colour) {
    auto* label = new ui::Label(form, name, {at, QSize(0, 0)}, true);
    WizardFont(*label);
    label->SetColour(colour);
    return label;
}

// The logo strip: a disc, the maker's name and a drive, one picture each.
QPixmap LogoPicture(int part) {
    QPixmap picture(112, 94);
    picture.fill(Qt::white);
    QPainter painter(&picture);
    painter.setRenderHint(QPainter::Antialiasing);
    const QColor blue(0x1f, 0x4e, 0x9c);
    if (part == 0) {
        QRadialGradient shine(QPointF(56, 47), 40, QPointF(44, 35));
        shine.setColorAt(0, QColor(0xe8, 0xf0, 0xff));
        shine.setColorAt(0.6, QColor(0x9f, 0xb8, 0xe0));
        shine.setColorAt(1, blue);
        painter.setBrush(shine);
        painter.setPen(QPen(blue, 1));
        painter.drawEllipse(QPointF(56, 47), 38, 38);
        painter.setBrush(Qt::white);
        painter.drawEllipse(QPointF(56, 47), 7, 7);
    } else if (part == 1) {
        QFont font;
        font.setFamilies({"Tahoma"});
        font.setPixelSize(17);
        font.setBold(true);
        painter.setFont(font);
        painter.setPen(blue);
        painter.drawText(QRect(0, 22, 112, 26), Qt::AlignCenter, "QUORVANT");
        font.setPixelSize(11);
        font.setBold(false);
        painter.setFont(font);
        painter.setPen(Qt::darkGray);
        painter.drawText(QRect(0, 50, 112, 18), Qt::AlignCenter, "Firmware Update");
    } else {
        painter.setPen(QPen(Qt::darkGray, 1));
        painter.setBrush(QColor(0xd8, 0xd8, 0xd8));
        painter.drawRoundedRect(QRectF(14, 30, 84, 30), 3, 3);
        painter.setBrush(QColor(0x50, 0x50, 0x50));
        painter.drawRect(QRectF(22, 40, 56, 4));
        painter.setBrush(QColor(0x30, 0xc0, 0x40));
        painter.drawEllipse(QPointF(88, 50), 3, 3);
    }
    return picture;
}

QLabel* AddLogo(QWidget* panel, const char* name, int top, int part) {
    auto* picture = new QLabel(panel);
    picture->setObjectName(name);
    // Inside the panel's border, as the pictures sat in its client area.
    // The panel's client area lies inside its border; the last picture is cut at the bottom.
    picture->setGeometry(1, 1 + top, std::min(112, panel->width() - 2),
                         std::min(94, panel->height() - 2 - top));
    picture->setPixmap(LogoPicture(part));
    return picture;
}

// The wizard's own message boxes, in English whatever the package's language, Qt's buttons
// included.
QMessageBox::StandardButton SayInEnglish(QWidget& wizard, ui::MessageKind kind, const QString& text,
                                         QMessageBox::StandardButtons buttons = QMessageBox::Ok) {
    ui::ScopedQtWords english(ui::kLanguageEnglish);
    return ui::Modal::Message(&wizard, kind, wizard.windowTitle(), text, buttons);
}

void SetButton(QPushButton& button, engine::WizardButton state, const char* text) {
    button.setText(text);
    button.setVisible(state != engine::WizardButton::Hidden);
    button.setEnabled(state == engine::WizardButton::Shown);
}

}  // namespace

TMainQV::TMainQV(app::TBrenvoMain& main, const QStringList& commandLine)
    : QWidget(&main), main_(main) {
    setObjectName("MainQV");
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    setAttribute(Qt::WA_DeleteOnClose);
    WizardFont(*this);
    setFixedSize(kClientWidth, kClientHeight);

    panLogo = new QFrame(this);
    panLogo->setObjectName("panLogo");
    panLogo->setFrameStyle(QFrame::Box | QFrame::Plain);
    panLogo->setLineWidth(1);
    panLogo->setAutoFillBackground(true);
    QPalette white = panLogo->palette();
    white.setColor(QPalette::Window, Qt::white);
    panLogo->setPalette(white);
    panLogo->setGeometry(8, 10, 113, 257);
    imgLogo1 = AddLogo(panLogo, "imgLogo1", 0, 0);
    imgLogo2 = AddLogo(panLogo, "imgLogo2", 94, 1);
    imgLogo3 = AddLogo(panLogo, "imgLogo3", 188, 2);

    lblMessage = AddLabel(this, "lblMessage", {146, 30}, ui::kBlack);
    lblVersion = AddLabel(this, "lblVersion", {330, 10}, ui::kBlack);
    lblOldFW = AddLabel(this, "lblOldFW", {185, 103}, kHotLight);
    lblNewFW = AddLabel(this, "lblNewFW", {270, 103}, kHotLight);
    imgRedx = ui::MakeIcon(this, "imgRedx", {144, 32, 32, 32}, QStyle::SP_MessageBoxCritical);
    imgCheck = ui::MakeIcon(this, "imgCheck", {144, 32, 32, 32}, QStyle::SP_DialogApplyButton);

    cboDrives = new QComboBox(this);
    cboDrives->setObjectName("cboDrives");
    cboDrives->setEditable(false);
    cboDrives->setGeometry(146, 49, 290, 20);
    WizardFont(*cboDrives, "Courier New");

    pbar = new QProgressBar(this);
    pbar->setObjectName("pbar");
    pbar->setGeometry(146, 220, 290, 13);
    pbar->setRange(0, 100);
    pbar->setValue(0);
    pbar->setTextVisible(false);

    memShowMsg = new QPlainTextEdit(this);
    memShowMsg->setObjectName("memShowMsg");
    memShowMsg->setReadOnly(true);
    memShowMsg->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    memShowMsg->setGeometry(146, 128, 290, 113);
    QPalette face = memShowMsg->palette();
    face.setColor(QPalette::Base, face.color(QPalette::Light));
    memShowMsg->setPalette(face);
    WizardFont(*memShowMsg);

    btnBack = ui::MakeButton(this, "btnBack", {193, 247, 75, 20}, "< &Back");
    btnNext = ui::MakeButton(this, "btnNext", {268, 247, 75, 20}, "&Next >");
    btnCancel = ui::MakeButton(this, "btnCancel", {360, 247, 75, 20}, "Cancel");
    // What assistive technology reads: the list by the drive page's first line, the revisions
    // within that page's sentence.
    cboDrives->setAccessibleName(QString(kDriveText).section('\n', 0, 0));
    lblMessage->setBuddy(cboDrives);
    pbar->setAccessibleName("Progress");
    memShowMsg->setAccessibleName("Details");
    ui::ReadElsewhere(*lblOldFW);
    ui::ReadElsewhere(*lblNewFW);

    setTabOrder(btnNext, btnBack);
    setTabOrder(btnBack, btnCancel);
    // Next is first in the tab order: Space on a fresh page moves the user on.
    btnNext->setFocus();

    lblVersion->setText(kVersionText);
    FitPageTexts();

    tmrT1 = new QTimer(this);
    tmrT1->setObjectName("tmrT1");
    tmrT1->setInterval(1000);
    tmrT1->start();

    connect(btnNext, &QPushButton::clicked, this, [this] { btnNextClick(); });
    connect(btnBack, &QPushButton::clicked, this, [this] { btnBackClick(); });
    connect(btnCancel, &QPushButton::clicked, this, [this] { btnCancelClick(); });
    connect(cboDrives, &QComboBox::activated, this, [this] { cboDrivesChange(); });
    connect(tmrT1, &QTimer::timeout, this, [this] { tmrT1Timer(); });

    FormCreate(commandLine);
}

TMainQV::~TMainQV() {
    FormDestroy();
}

void TMainQV::showEvent(QShowEvent* event) {
    ui::ApplyTitleBar(*this);
    QWidget::showEvent(event);
    if (shownOnce_ || !screen()) return;
    shownOnce_ = true;
    QRect frame = frameGeometry();
    frame.moveCenter(screen()->availableGeometry().center());
    move(frame.topLeft());
}

void TMainQV::FitPageTexts() {
    // The faces standing in for MS Sans Serif set wider than it: the form grows to the widest
    // line of its pages, and what sat at the right edge stays there.
    const QFontMetrics metrics(lblMessage->font());
    int widest = 0;
    for (const char* text : {kWelcomeText, kDriveText, kWaitingText, kCompleteText})
        for (const QString& line : QString(text).split('\n'))
            widest = std::max(widest, metrics.horizontalAdvance(line));
    const int extra = std::max(0, 146 + widest + ui::kRightMargin - kClientWidth);
    setFixedSize(kClientWidth + extra, kClientHeight);
    for (QWidget* control : {btnBack, btnNext, btnCancel})
        control->move(control->x() + extra, control->y());
    for (QWidget* control : {static_cast<QWidget*>(cboDrives), static_cast<QWidget*>(pbar),
                             static_cast<QWidget*>(memShowMsg)})
        control->resize(control->width() + extra, control->height());

    // The revisions fill the gaps of the drive text's last line, wherever that face puts them.
    const int lastLine = lblMessage->y() + 6 * lblMessage->LinePitch();
    const QString gapLine = QString(kDriveText).section('\n', -1);
    const int toVersion = gapLine.indexOf(" to version");
    lblOldFW->move(146 + metrics.horizontalAdvance("version "), lastLine);
    lblNewFW->move(146 + metrics.horizontalAdvance(gapLine.left(toVersion) + " to version "),
                   lastLine);
}

// --- the page steps ---

void TMainQV::SetLook(const engine::WizardLook& look) {
    page = look.page;
    lblVersion->setVisible(look.version);
    for (QWidget* control : {static_cast<QWidget*>(lblOldFW), static_cast<QWidget*>(lblNewFW),
                             static_cast<QWidget*>(cboDrives)})
        control->setVisible(look.drive);
    pbar->setVisible(look.bar);
    SetButton(*btnBack, look.back, engine::kWizardBack);
    SetButton(*btnNext, look.next, look.nextText);
    SetButton(*btnCancel, look.cancel, look.cancelText);
    lblMessage->move(look.messageLeft, look.messageTop);
    lblMessage->setText(look.message);
    lblMessage->setAccessibleName(QString());
    // The result page decides these by the outcome.
    imgRedx->hide();
    imgCheck->hide();
    memShowMsg->hide();
}

void TMainQV::ShowWelcomePage() {
    SetLook(engine::WizardPageLook(kWelcomePage));
}

void TMainQV::ShowDrivePage() {
    SetLook(engine::WizardPageLook(kDrivePage));
    QSignalBlocker quiet(cboDrives);
    cboDrives->clear();
    for (int item = 0; item < main_.cboDrives->count(); ++item)
        cboDrives->addItem(main_.cboDrives->itemText(item));
    cboDrives->setCurrentIndex(main_.cboDrives->currentIndex());
    CopyVersions();
}

void TMainQV::CopyVersions() {
    lblOldFW->setText(main_.lblOldFW->text());
    lblNewFW->setText(main_.lblNewFW->text());
    btnNext->setEnabled(main_.cmdUpdate->isEnabled());
    // Read with the revisions in the gaps they fill on the screen.
    QString sentence = kDriveText;
    sentence.replace(QRegularExpression("version +to version$"),
                     "version " + lblOldFW->text() + " to version " + lblNewFW->text());
    lblMessage->setAccessibleName(sentence);
}

void TMainQV::ShowProgressPage() {
    SetLook(engine::WizardPageLook(kProgressPage));
    // Returns once the worker runs, or when the run has ended the program.
    main_.cmdUpdateClick();
    if (main_.TerminateRequested()) return;
    setCursor(Qt::WaitCursor);
    pbar->setCursor(Qt::WaitCursor);
    pbar->setRange(main_.pbar->minimum(), main_.pbar->maximum());
    tmrT1->start();
}

void TMainQV::ShowCompletePage() {
    SetLook(engine::WizardPageLook(kCompletePage));
    setCursor(Qt::ArrowCursor);
    pbar->setCursor(Qt::ArrowCursor);
}

void TMainQV::ShowVerifyPage() {
    SetLook(engine::WizardPageLook(kVerifyPage));
    engine::CheckRequest request;
    request.requested = true;
    request.driveIndex = checkDriveIndex;
    request.expected = expectedVersion;
    ShowResultPage(engine::VerifyUpdate(main_.Engine(), request));
}

void TMainQV::ShowResultPage(const engine::CheckResult& result) {
    SetLook(engine::WizardPageLook(kResultPage));
    lblMessage->setText(Q(result.message));
    bool matches = result.outcome == engine::CheckOutcome::Matches;
    imgCheck->setVisible(matches);
    imgRedx->setVisible(!matches);
    memShowMsg->clear();
    for (const std::string& line : result.memo)
        memShowMsg->appendPlainText(Q(line));
    memShowMsg->setVisible(!result.memo.empty());
    main_.CheckEnded(result.outcome);
}

// --- the form's events ---

void TMainQV::FormCreate(const QStringList& commandLine) {
    setWindowTitle(main_.windowTitle());
    std::vector<std::string> parameters;
    for (const QString& parameter : commandLine)
        parameters.push_back(parameter.toStdString());
    engine::CheckRequest request = engine::ParseCheckCommandLine(parameters);
    if (request.requested) {
        checkDriveIndex = request.driveIndex;
        expectedVersion = request.expected;
        ShowVerifyPage();
        return;
    }
    page = kNoPage;
    ShowWelcomePage();
}

void TMainQV::FormDestroy() {
    tmrT1->stop();
    // The wizard is the program's face: when it goes, the program ends. When its main window is
    // itself going (it frees the wizard as its last step), there is nothing left to end, and
    // another window that has since become the main one is not ours to end.
    if (app::BrenvoMain == &main_) main_.RequestTerminate();
}

void TMainQV::btnNextClick() {
    Take(engine::WizardNext(page));
}

void TMainQV::btnBackClick() {
    Take(engine::WizardBack(page));
}

void TMainQV::btnCancelClick() {
    Take(engine::WizardCancel(page));
}

void TMainQV::Take(engine::WizardStep step) {
    switch (step) {
        case engine::WizardStep::WelcomePage:
            ShowWelcomePage();
            break;
        case engine::WizardStep::DrivePage:
            ShowDrivePage();
            break;
        case engine::WizardStep::AskToUpdate:
            if (SayInEnglish(*this, ui::MessageKind::Confirmation,
                             Q(engine::WizardUpdateQuestion(lblNewFW->text().toStdString())),
                             QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes)
                ShowProgressPage();
            break;
        case engine::WizardStep::AskToCancel:
            ConfirmCancel();
            break;
        case engine::WizardStep::ShutDown:
            ShutDown();
            break;
        case engine::WizardStep::Finish:
            main_.cmdCloseClick();
            break;
        case engine::WizardStep::Nothing:
            break;
    }
}

bool TMainQV::Flashing() const {
    return main_.Engine().Running() > 0;
}

void TMainQV::closeEvent(QCloseEvent* event) {
    if (page == kProgressPage) {
        // The run is still being prepared (the tray loop) or flashing: the window stays. Before
        // the flash, the cancel question is the way out; it ends the program, not the wizard.
        event->ignore();
        ConfirmCancel();
        return;
    }
    QWidget::closeEvent(event);
}

void TMainQV::keyPressEvent(QKeyEvent* event) {
    if (!ui::PressForKey(*this, event, nullptr)) QWidget::keyPressEvent(event);
}

void TMainQV::ConfirmCancel() {
    // A flash that has started runs to its end: stopping it would leave the drive half written.
    if (Flashing()) return;
    if (SayInEnglish(*this, ui::MessageKind::Confirmation, kCancelQuestion,
                     QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes)
        main_.cmdCloseClick();
}

void TMainQV::ShutDown() {
    if (!device::RebootSystem(device::OSInfo())) {
        SayInEnglish(*this, ui::MessageKind::Warning, kRebootRefused);
        return;
    }
    // The system ends every program on its way down; the emulated PC leaves that to us, and
    // its state is written back only when the program ends.
    main_.cmdCloseClick();
}

void TMainQV::cboDrivesChange() {
    main_.cboDrives->setCurrentIndex(cboDrives->currentIndex());
    main_.cboDrivesChange();
    CopyVersions();
}

void TMainQV::tmrT1Timer() {
    // The main window's range follows the path of the run (the direct-IDE path counts to 100),
    // so it comes along with the position.
    pbar->setRange(main_.pbar->minimum(), main_.pbar->maximum());
    pbar->setValue(main_.pbar->value());
    if (main_.Engine().Updated()) ShowCompletePage();
}

}  // namespace wizard
