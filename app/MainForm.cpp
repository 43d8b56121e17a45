#include "app/MainForm.h"

#include <QComboBox>
#include <QFrame>
#include <QKeyEvent>
#include <QProgressBar>
#include <QPushButton>
#include <QStyledItemDelegate>
#include <QTimer>

#include "dialogs/Accessible.h"
#include "dialogs/UiFonts.h"
#include "engine/WindowTexts.h"

namespace app {

namespace {

// 8 point at 96 pixels per inch, and the drive list's 10 point.
constexpr int kHeight = 11;
constexpr int kListHeight = 13;
constexpr int kListItemHeight = 16;

// The drive list's items are 16 pixels high whatever face stands in for Courier New.
class FixedHeightItems : public QStyledItemDelegate {
  public:
    using QStyledItemDelegate::QStyledItemDelegate;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        QSize size = QStyledItemDelegate::sizeHint(option, index);
        size.setHeight(kListItemHeight);
        return size;
    }
};

ui::Label* AddLabel(QWidget* form, const char* name, QPoint at, const QString& family, bool bold,
                    QRgb colour, const QString& text) {
    auto* label = new ui::Label(form, name, {at, QSize(0, 0)}, true);
    ui::DesignFont(*label, family, kHeight, bold);
    label->SetColour(colour);
    label->setText(text);
    return label;
}

// Japanese labels change family and character set and keep their size.
void JapaneseFamily(QWidget& control) {
    ui::SwitchFamily(control, "MS Gothic", ui::kShiftJisCharset);
}

}  // namespace

MainForm::MainForm(QWidget* parent) : QWidget(parent) {
    setObjectName("BrenvoMain");
    ui::DesignFont(*this, "MS Sans Serif", kHeight);
    setFixedSize(kClientWidth, kClientHeight);

    // The bevel comes first so that the status line and the bar are drawn on top of it.
    Bevel1 = new QFrame(this);
    Bevel1->setObjectName("Bevel1");
    Bevel1->setFrameStyle(QFrame::Box | QFrame::Sunken);
    Bevel1->setGeometry(8, 84, 484, 49);

    Label1 = AddLabel(this, "Label1", {12, 4}, "Arial", false, ui::kBlack,
                      "Please select target drive :");

    cboDrives = new QComboBox(this);
    cboDrives->setObjectName("cboDrives");
    cboDrives->setEditable(false);
    cboDrives->setGeometry(8, 24, 374, 24);
    ui::DesignFont(*cboDrives, "Courier New", kListHeight);
    cboDrives->setItemDelegate(new FixedHeightItems(cboDrives));

    cmdUpdate = ui::MakeBitmapButton(this, "cmdUpdate", {386, 24, 106, 25}, "&Update",
                                     QStyle::SP_BrowserReload);
    ui::DesignFont(*cmdUpdate, "Tahoma", kHeight, true);
    cmdClose = ui::MakeBitmapButton(this, "cmdClose", {386, 52, 106, 25}, "&Close",
                                    QStyle::SP_DialogCloseButton);
    ui::DesignFont(*cmdClose, "Tahoma", kHeight, true);

    lblUpdateMsg = AddLabel(this, "lblUpdateMsg", {11, 56}, "Arial", false, ui::kBlack,
                            "it will be updated from");
    lblOldFW = AddLabel(this, "lblOldFW", {187, 56}, "Tahoma", true, ui::kNavy, "XXXX");
    lblTo = AddLabel(this, "lblTo", {230, 56}, "Arial", false, ui::kBlack, "to");
    lblNewFW = AddLabel(this, "lblNewFW", {252, 56}, "Tahoma", true, ui::kNavy, "XXXX");

    lblMsg = AddLabel(this, "lblMsg", {16, 92}, "Tahoma", true, ui::kNavy, "Message");
    pbar = new QProgressBar(this);
    pbar->setObjectName("pbar");
    pbar->setGeometry(16, 112, 429, 13);
    pbar->setRange(0, 100);
    pbar->setValue(0);
    pbar->setTextVisible(false);
    lblPercent = AddLabel(this, "lblPercent", {448, 112}, "Tahoma", true, ui::kNavy, "100%");

    tmr = new QTimer(this);
    tmr->setObjectName("tmr");
    tmr->setInterval(100);

    // The list is named by the label above it; the revision line is read as one sentence.
    Label1->setBuddy(cboDrives);
    for (ui::Label* part : {lblOldFW, lblTo, lblNewFW})
        ui::ReadElsewhere(*part);

    setTabOrder(cboDrives, cmdUpdate);
    setTabOrder(cmdUpdate, cmdClose);
    cboDrives->setFocus();
}

void MainForm::keyPressEvent(QKeyEvent* event) {
    if (!ui::PressForKey(*this, event, nullptr)) QWidget::keyPressEvent(event);
}

void MainForm::Localise(int language) {
    if (language == ui::kLanguageJapanese) {
        for (QWidget* label : {Label1, lblUpdateMsg, lblTo})
            JapaneseFamily(*label);
        JapaneseFamily(*lblMsg);
        QFont plain = lblMsg->font();
        plain.setBold(false);
        lblMsg->setFont(plain);
        for (QPushButton* button : {cmdUpdate, cmdClose})
            ui::JapaneseFont(*button, 8);
    }
    const engine::MainWindowTexts words = engine::MainWindowWords(language);
    Label1->setText(QString::fromStdString(words.prompt));
    lblUpdateMsg->setText(QString::fromStdString(words.updateMessage));
    lblTo->setText(QString::fromStdString(words.to));
    lblMsg->setText(QString::fromStdString(words.message));
    cmdUpdate->setText(QString::fromStdString(words.update));
    cmdClose->setText(QString::fromStdString(words.close));
    pbar->setAccessibleName(QString::fromStdString(words.progress));
    cboDrives->setAccessibleName(Label1->text());
}

void MainForm::LayoutRevisionLine() {
    QRect message = lblUpdateMsg->geometry();
    int left = message.left() + message.width() + kRevisionSpacing;
    for (ui::Label* label : {lblOldFW, lblTo, lblNewFW}) {
        int top = message.top() + message.height() / 2 - label->height() / 2;
        label->move(left, top);
        left += label->width() + kRevisionSpacing;
    }
    lblUpdateMsg->setAccessibleName(ui::SentenceOf({lblUpdateMsg, lblOldFW, lblTo, lblNewFW}));
}

}  // namespace app
