#include "dialogs/Frmshowmsg.h"

#include <QPushButton>

#include "dialogs/UiFonts.h"

namespace dialogs {

namespace {
constexpr int kHeight = 11;
constexpr int kMargin = 34;
}  // namespace

TShowMsg::TShowMsg(QWidget* owner)
    : ui::Form(owner, "ShowMsg", ui::TitleButtons::SystemMenu, ui::Placement::Owner) {
    setWindowTitle("ShowMsg");
    SetClientSize({362, 104}, ui::Border::Dialog);

    lblShowMsg = new ui::Label(this, "lblShowMsg", {60, 27, 250, 0}, true);
    ui::DesignFont(*lblShowMsg, "Tahoma", kHeight);
    lblShowMsg->setText("Your drive's Firmware is already the most updated ! ");
    Image1 = ui::MakeIcon(this, "Image1", {8, 16, 32, 32}, QStyle::SP_MessageBoxWarning);

    cmdYes =
        ui::MakeBitmapButton(this, "cmdYes", {110, 68, 77, 25}, "&Yes", QStyle::SP_DialogYesButton);
    cmdNo =
        ui::MakeBitmapButton(this, "cmdNo", {193, 68, 77, 25}, "&No", QStyle::SP_DialogNoButton);
    cmdYes->setToolTip("Yes");
    cmdNo->setToolTip("No");
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
    QString message;
    if (uiVariant >= 0 && uiVariant <= 2) {
        if (language == ui::kLanguageChinese) {
            message = QString("您的光碟機韌體已經是最新版本 !\n") + "您確定要繼續嗎 ?";
            setWindowTitle("Warning");
            lblShowMsg->setText(message);
            cmdYes->setText("確定");
            cmdNo->setText("取消");
        } else if (language == ui::kLanguageJapanese) {
            message =
                QString("お客様のドライブのファームウェアはすでに最新バージョンになっています。") +
                " \n" + "継続しますか？";
            setWindowTitle("Warning");
            ui::SwitchFamily(*lblShowMsg, "MS Gothic", ui::kShiftJisCharset);
            lblShowMsg->setText(message);
            ui::SwitchFamily(*cmdYes, "MS Gothic", ui::kShiftJisCharset);
            cmdYes->setText("はい");
            ui::SwitchFamily(*cmdNo, "MS Gothic", ui::kShiftJisCharset);
            cmdNo->setText("いいえ");
        } else {
            if (uiVariant == 2) ui::SwitchCharset(*lblShowMsg, ui::kBig5Charset, 9);
            message = QString("You are about to flash to an older firmware.\n") +
                      "Do you wish to proceed?";
            setWindowTitle("Note");
            lblShowMsg->setText(message);
            cmdYes->setText("&Yes");
            cmdNo->setText("&No");
        }
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
