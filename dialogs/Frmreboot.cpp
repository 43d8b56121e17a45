#include "dialogs/Frmreboot.h"

#include <QPushButton>

#include "device/SystemInfo.h"
#include "dialogs/UiFonts.h"

namespace dialogs {

namespace {
constexpr int kHeight = 11;
}

TReboot::TReboot(QWidget* owner)
    : ui::Form(owner, "Reboot", ui::TitleButtons::None, ui::Placement::Owner) {
    setWindowTitle("Reboot Warning");
    ui::DesignFont(*this, "Tahoma", kHeight);
    SetClientSize(ui::ClientSizeFor({310, 131}, ui::Border::Sizeable), ui::Border::Sizeable);

    Label1 = new ui::Label(this, "Label1", {56, 20, 0, 0}, true);
    ui::DesignFont(*Label1, "Tahoma", kHeight, true);
    Label1->SetColour(ui::kNavy);
    Label1->setText("Your computer needs to be rebooted.");
    Image1 = ui::MakeIcon(this, "Image1", {16, 8, 29, 33}, QStyle::SP_MessageBoxQuestion);
    Label2 = new ui::Label(this, "Label2", {16, 40, 0, 0}, true);
    ui::DesignFont(*Label2, "Tahoma", kHeight);
    Label2->SetColour(ui::kNavy);
    Label2->setText("A reboot is necesarry, and that all data should be saved. ");

    cmdRebootLater = ui::MakeBitmapButton(this, "cmdRebootLater", {71, 68, 77, 25}, "&Later",
                                          QStyle::SP_DialogCloseButton);
    cmdRebootNow = ui::MakeBitmapButton(this, "cmdRebootNow", {163, 68, 77, 25}, "&Now",
                                        QStyle::SP_DialogYesButton);
    cmdRebootLater->setToolTip("Reboot Later");
    cmdRebootNow->setToolTip("Reboot Now");
    for (QPushButton* button : {cmdRebootLater, cmdRebootNow})
        ui::DesignFont(*button, "Tahoma", kHeight, true);
    cmdRebootNow->setDefault(true);
    setTabOrder(cmdRebootLater, cmdRebootNow);
    cmdRebootLater->setFocus();
    connect(cmdRebootLater, &QPushButton::clicked, this, &TReboot::cmdRebootLaterClick);
    connect(cmdRebootNow, &QPushButton::clicked, this, &TReboot::cmdRebootNowClick);
}

void TReboot::ApplyLanguage(int language) {
    if (language == ui::kLanguageChinese) {
        setWindowTitle("重新啟動警告");
        Label1->setText("您的電腦必須重新啟動 !");
        Label2->setText("      您需要重新啟動電腦,請先儲存目前所有的資料!");
        cmdRebootLater->setText("稍後");
        cmdRebootNow->setText("立即");
    } else if (language == ui::kLanguageJapanese) {
        // The Japanese set has no second line: Label2 keeps its design text and font.
        setWindowTitle("再起動警告");
        ui::JapaneseFont(*Label1, 9);
        Label1->setText(QString("システムを再起動する必要があります。") + " !");
        for (QPushButton* button : {cmdRebootLater, cmdRebootNow})
            ui::JapaneseFont(*button, 8);
        cmdRebootLater->setText("あとで");
        cmdRebootNow->setText("いま");
    } else {
        setWindowTitle("Reboot?");
        Label1->setText("Do you wish to reboot your system?");
        Label2->setText("(A reboot is recommended, but not absolutely necessary.)");
        cmdRebootLater->setText("Later");
        cmdRebootNow->setText("Now");
    }
}

void TReboot::cmdRebootLaterClick() {
    close();
}

void TReboot::cmdRebootNowClick() {
    device::RebootSystem(device::OSInfo());
    close();
}

}  // namespace dialogs
