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

#include "dialogs/Accessible.h"
#include "dialogs/Form.h"
#include "dialogs/Modal.h"
#include "dialogs/OemWizard.h"
#include "dialogs/QtWords.h"
#include "dialogs/TitleBar.h"
#include "dialogs/UiFonts.h"

namespace wizard {

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

TMainQV::TMainQV(engine::WizardHost& host, QWidget* owner,
                 const std::vector<std::string>& commandLine)
    : QWidget(owner), flow_(host, *this) {
    setObjectName("MainQV");
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    setAttribute(Qt::WA_DeleteOnClose);
    WizardFont(*this);
    setFixedSize(engine::kWizardClientWidth, engine::kWizardClientHeight);

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

    connect(btnNext, &QPushButton::clicked, this, [this] { flow_.Next(); });
    connect(btnBack, &QPushButton::clicked, this, [this] { flow_.Back(); });
    connect(btnCancel, &QPushButton::clicked, this, [this] { flow_.Cancel(); });
    connect(cboDrives, &QComboBox::activated, this,
            [this] { flow_.SelectDrive(cboDrives->currentIndex()); });
    connect(tmrT1, &QTimer::timeout, this, [this] { flow_.Tick(); });

    setWindowTitle(Q(flow_.Caption()));
    flow_.Start(commandLine);
}

TMainQV::~TMainQV() {
    tmrT1->stop();
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
    const int extra = std::max(0, 146 + widest + ui::kRightMargin - engine::kWizardClientWidth);
    setFixedSize(engine::kWizardClientWidth + extra, engine::kWizardClientHeight);
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

// --- what the flow draws ---

void TMainQV::ShowLook(const engine::WizardLook& look) {
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
    // The wait cursor while the update runs.
    const Qt::CursorShape cursor =
        look.page == engine::kProgressPage ? Qt::WaitCursor : Qt::ArrowCursor;
    setCursor(cursor);
    pbar->setCursor(cursor);
}

void TMainQV::ShowDrives(const std::vector<std::string>& lines, int selected) {
    QSignalBlocker quiet(cboDrives);
    cboDrives->clear();
    for (const std::string& line : lines)
        cboDrives->addItem(Q(line));
    cboDrives->setCurrentIndex(selected);
}

void TMainQV::ShowRevisions(const std::string& oldRevision, const std::string& newRevision,
                            bool updateOffered) {
    lblOldFW->setText(Q(oldRevision));
    lblNewFW->setText(Q(newRevision));
    btnNext->setEnabled(updateOffered);
    // Read with the revisions in the gaps they fill on the screen.
    QString sentence = kDriveText;
    sentence.replace(QRegularExpression("version +to version$"),
                     "version " + lblOldFW->text() + " to version " + lblNewFW->text());
    lblMessage->setAccessibleName(sentence);
}

void TMainQV::ShowProgress(int position, int maximum) {
    pbar->setRange(0, maximum);
    pbar->setValue(position);
}

void TMainQV::ShowResult(const engine::CheckResult& result) {
    lblMessage->setText(Q(result.message));
    bool matches = result.outcome == engine::CheckOutcome::Matches;
    imgCheck->setVisible(matches);
    imgRedx->setVisible(!matches);
    memShowMsg->clear();
    for (const std::string& line : result.memo)
        memShowMsg->appendPlainText(Q(line));
    memShowMsg->setVisible(!result.memo.empty());
}

void TMainQV::StartPolling() {
    tmrT1->start();
}

bool TMainQV::Ask(const std::string& question) {
    return SayInEnglish(*this, ui::MessageKind::Confirmation, Q(question),
                        QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes;
}

void TMainQV::Warn(const std::string& text) {
    SayInEnglish(*this, ui::MessageKind::Warning, Q(text));
}

// --- the form's events ---

void TMainQV::closeEvent(QCloseEvent* event) {
    // On the progress page the window stays: before the flash the cancel question is the way
    // out, and it ends the program, not the wizard.
    if (!flow_.CloseRequested()) {
        event->ignore();
        return;
    }
    QWidget::closeEvent(event);
}

void TMainQV::keyPressEvent(QKeyEvent* event) {
    if (!ui::PressForKey(*this, event, nullptr)) QWidget::keyPressEvent(event);
}

}  // namespace wizard

namespace ui {

void ShowOemWizard(engine::WizardHost& host, QWidget& owner,
                   const std::vector<std::string>& commandLine) {
    (new wizard::TMainQV(host, &owner, commandLine))->show();
}

}  // namespace ui
