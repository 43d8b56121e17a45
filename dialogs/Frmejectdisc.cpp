#include "dialogs/Frmejectdisc.h"

#include <QPushButton>

#include "dialogs/UiFonts.h"

namespace dialogs {

namespace {
constexpr int kHeight = 11;
}

TEjectDisc::TEjectDisc(QWidget* owner)
    : ui::Form(owner, "EjectDisc", ui::TitleButtons::Standard, ui::Placement::Screen),
      ownerWindow(owner) {
    setWindowTitle("Firmware Updater");
    ui::DesignFont(*this, "Tahoma", kHeight);
    SetClientSize(ui::ClientSizeFor({391, 146}, ui::Border::Sizeable), ui::Border::Sizeable);

    Image1 = ui::MakeIcon(this, "Image1", {8, 4, 33, 33}, QStyle::SP_MessageBoxInformation);
    Label1 = new ui::Label(this, "Label1", {56, 16, 317, 13}, false, true);
    Label2 = new ui::Label(this, "Label2", {56, 36, 317, 26}, false, true);
    for (ui::Label* label : {Label1, Label2}) {
        ui::DesignFont(*label, "Tahoma", kHeight, true);
        label->SetColour(ui::kBlack);
    }
    Label1->setText("Under insert disk");
    Label2->setText("Please click \"OK\" button and eject the disk.");

    cmdOK = ui::MakeButton(this, "cmdOK", {60, 80, 101, 25}, "OK");
    cmdCancel = ui::MakeButton(this, "cmdCancel", {204, 80, 101, 25}, "Cancel");
    for (QPushButton* button : {cmdOK, cmdCancel})
        ui::DesignFont(*button, "Tahoma", kHeight);
    cmdOK->setDefault(true);
    setTabOrder(cmdOK, cmdCancel);
    cmdOK->setFocus();
    connect(cmdOK, &QPushButton::clicked, this, &TEjectDisc::cmdOKClick);
    connect(cmdCancel, &QPushButton::clicked, this, &TEjectDisc::cmdCancelClick);
}

void TEjectDisc::ApplyLanguage(int language) {
    if (language == ui::kLanguageChinese) {
        if (ownerWindow) setWindowTitle(ownerWindow->windowTitle());
        Label1->setText("光碟機內有碟片 !");
        Label2->setText("請按下 OK 按鍵退出光碟片");
        cmdOK->setText("確定");
        cmdCancel->setText("取消");
    } else if (language == ui::kLanguageJapanese) {
        setWindowTitle("ファームウェア　アップデータ");
        ui::JapaneseFont(*Label1, 9);
        Label1->setText("ディスクが挿入されています。");
        ui::JapaneseFont(*Label2, 9);
        Label2->setText("「OK」をクリックしてディスクを取り出してください。");
        ui::JapaneseFont(*cmdOK, 10);
        ui::JapaneseFont(*cmdCancel, 9);
        cmdCancel->setText("キャンセル");
    } else {
        setWindowTitle("Firmware Updater");
    }
}

void TEjectDisc::cmdOKClick() {
    if (answerTarget) *answerTarget = 1;
    close();
}

void TEjectDisc::cmdCancelClick() {
    if (answerTarget) *answerTarget = 0;
    close();
}

}  // namespace dialogs
