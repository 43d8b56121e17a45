#include "dialogs/Frmrebootzulk.h"

#include <QPushButton>

#include "device/SystemInfo.h"
#include "dialogs/UiFonts.h"

namespace dialogs {

namespace {
constexpr int kHeight = 11;
}

TRebootZULK::TRebootZULK(QWidget* owner)
    : ui::Form(owner, "RebootZULK", ui::TitleButtons::None, ui::Placement::Owner) {
    setWindowTitle("Reboot Warning");
    ui::DesignFont(*this, "Tahoma", kHeight);
    SetClientSize(ui::ClientSizeFor({456, 174}, ui::Border::Sizeable), ui::Border::Sizeable);

    Label1 = new ui::Label(this, "Label1", {52, 12, 377, 13}, false);
    Image1 = ui::MakeIcon(this, "Image1", {12, 8, 29, 33}, QStyle::SP_MessageBoxInformation);
    Label2 = new ui::Label(this, "Label2", {52, 52, 385, 45}, false, true);
    for (ui::Label* label : {Label1, Label2}) {
        ui::DesignFont(*label, "Tahoma", kHeight, true);
        label->SetColour(ui::kBlack);
    }

    cmdRebootZULKNow = ui::MakeBitmapButton(this, "cmdRebootZULKNow", {167, 112, 102, 25},
                                            QString(), QStyle::SP_DialogYesButton);
    cmdRebootZULKNow->setToolTip("RebootZULK Now");
    ui::DesignFont(*cmdRebootZULKNow, "Tahoma", kHeight, true);
    cmdRebootZULKNow->setDefault(true);
    cmdRebootZULKNow->setFocus();
    connect(cmdRebootZULKNow, &QPushButton::clicked, this, &TRebootZULK::cmdRebootZULKNowClick);
}

void TRebootZULK::ApplyLanguage(int language) {
    if (language == ui::kLanguageChinese) {
        setWindowTitle("重新啟動警告");
        Label1->setText("韌體更新已經完全成功 !");
        Label2->setText("新的韌體在重新啟動之後才能正常運作.\n請關閉視窗作業系統並重新啟動.");
        cmdRebootZULKNow->setText("重新啟動");
    } else if (language == ui::kLanguageJapanese) {
        setWindowTitle("再起動警告");
        for (ui::Label* label : {Label1, Label2})
            ui::JapaneseFont(*label, 9);
        ui::JapaneseFont(*cmdRebootZULKNow, 8);
        Label1->setText("ファームウェアのアップデートは、正常に終了しました。");
        Label2->setText("更新された内容は、コンピュータの再起動後有効になります。");
        Label2->setText(Label2->text() + "\n" +
                        "Windowsを終了し、コンピュータを再起動してください。");
        cmdRebootZULKNow->setText("再起動");
    } else {
        setWindowTitle("Reboot Warning");
        Label1->setText("The firmware has been successfully updated.");
        Label2->setText("Please restart your computer to complete the installation.");
        cmdRebootZULKNow->setText("Reboot");
    }
}

void TRebootZULK::cmdRebootZULKNowClick() {
    device::RebootSystem(device::OSInfo());
    close();
}

}  // namespace dialogs
