#include "dialogs/Frmshowmsg.h"

#include <QPushButton>

#include "dialogs/UiFonts.h"
#include "engine/DialogTexts.h"

namespace dialogs {

namespace {
constexpr int kHeight = 11;
constexpr int kMargin = 34;
}  // namespace

TShowMsg::TShowMsg(QWidget* owner)
    : ui::Form(owner, "ShowMsg", ui::TitleButtons::SystemMenu, ui::Placement::Owner) {
    engine::ShowMsgTexts words = engine::ShowMsgDesignWords();
    setWindowTitle(QString::fromStdString(words.caption));
    SetClientSize({362, 104}, ui::Border::Dialog);

    lblShowMsg = new ui::Label(this, "lblShowMsg", {60, 27, 250, 0}, true);
    ui::DesignFont(*lblShowMsg, "Tahoma", kHeight);
    lblShowMsg->setText(QString::fromStdString(words.message));
    Image1 = ui::MakeIcon(this, "Image1", {8, 16, 32, 32}, QStyle::SP_MessageBoxWarning);

    cmdYes = ui::MakeBitmapButton(this, "cmdYes", {110, 68, 77, 25},
                                  QString::fromStdString(words.yes), QStyle::SP_DialogYesButton);
    cmdNo = ui::MakeBitmapButton(this, "cmdNo", {193, 68, 77, 25}, QString::fromStdString(words.no),
                                 QStyle::SP_DialogNoButton);
    cmdYes->setToolTip(QString::fromStdString(words.yesTip));
    cmdNo->setToolTip(QString::fromStdString(words.noTip));
    for (QPushButton* button : {cmdYes, cmdNo})
        ui::DesignFont(*button, "Tahoma", kHeight);
    cmdYes->setDefault(true);
    SetEscapeButton(cmdNo);
    setTabOrder(cmdYes, cmdNo);
    cmdYes->setFocus();
    connect(cmdYes, &QPushButton::clicked, this, &TShowMsg::cmdYesClick);
    connect(cmdNo, &QPushButton::clicked, this, &TShowMsg::cmdNoClick);
}

void TShowMsg::ApplyLanguage(int language, int uiVariant) {
    if (uiVariant >= 0 && uiVariant <= 2) {
        if (language == ui::kLanguageJapanese) {
            for (QWidget* control : {static_cast<QWidget*>(lblShowMsg),
                                     static_cast<QWidget*>(cmdYes), static_cast<QWidget*>(cmdNo)})
                ui::SwitchFamily(*control, "MS Gothic", ui::kShiftJisCharset);
        } else if (language != ui::kLanguageChinese && uiVariant == 2) {
            ui::SwitchCharset(*lblShowMsg, ui::kBig5Charset, 9);
        }
        engine::ShowMsgTexts words = engine::ShowMsgWords(language);
        setWindowTitle(QString::fromStdString(words.caption));
        lblShowMsg->setText(QString::fromStdString(words.message));
        cmdYes->setText(QString::fromStdString(words.yes));
        cmdNo->setText(QString::fromStdString(words.no));
        cmdYes->setToolTip(QString::fromStdString(words.yesTip));
        cmdNo->setToolTip(QString::fromStdString(words.noTip));
    }

    // The width follows the message; the buttons stay centred, 10 pixels apart. The width is
    // the client area's: counted with the frame, it would leave the message flush against the
    // right edge.
    int formWidth = Image1->width() + lblShowMsg->width() + kMargin;
    int half = formWidth / 2;
    SetClientSize({formWidth, height()}, ui::Border::Dialog);
    cmdYes->move(half - cmdYes->width() - 5, cmdYes->y());
    cmdNo->move(half + 5, cmdNo->y());
}

void TShowMsg::cmdYesClick() {
    if (answerTarget) *answerTarget = 1;
    close();
}

void TShowMsg::cmdNoClick() {
    if (answerTarget) *answerTarget = 0;
    close();
}

}  // namespace dialogs
