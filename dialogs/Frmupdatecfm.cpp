#include "dialogs/Frmupdatecfm.h"

#include <QGroupBox>
#include <QPushButton>

#include "dialogs/UiFonts.h"

namespace dialogs {

namespace {
constexpr int kHeight = 11;
}

TUpdateCfm::TUpdateCfm(QWidget* owner)
    : ui::Form(owner, "UpdateCfm", ui::TitleButtons::None, ui::Placement::Screen) {
    setWindowTitle("Update Confirm ...");
    ui::DesignFont(*this, "MS Sans Serif", kHeight);
    SetClientSize({462, 212}, ui::Border::Single);

    Image1 = ui::MakeIcon(this, "Image1", {8, 8, 33, 33}, QStyle::SP_MessageBoxWarning);
    Label1 = new ui::Label(this, "Label1", {52, 12, 396, 41}, false, true);
    GroupBox1 = new QGroupBox(this);
    GroupBox1->setObjectName("GroupBox1");
    GroupBox1->setGeometry(48, 56, 389, 109);
    Label2 = new ui::Label(GroupBox1, "Label2", {13, 16, 0, 0}, true);
    Label3 = new ui::Label(GroupBox1, "Label3", {117, 40, 43, 0}, false, false, Qt::AlignHCenter);
    Label4 = new ui::Label(GroupBox1, "Label4", {221, 40, 83, 0}, false, false, Qt::AlignHCenter);
    Label5 = new ui::Label(GroupBox1, "Label5", {37, 64, 42, 0}, false, false, Qt::AlignRight);
    lblOldFW = new ui::Label(GroupBox1, "lblOldFW", {121, 64, 0, 0}, true);
    Label8 = new ui::Label(GroupBox1, "Label8", {185, 64, 0, 0}, true);
    lblNewFW = new ui::Label(GroupBox1, "lblNewFW", {245, 64, 0, 0}, true);

    for (ui::Label* label : {Label1, Label2, Label3, Label4, Label5}) {
        ui::DesignFont(*label, "Tahoma", kHeight, true, label == Label2);
        label->SetColour(ui::kBlack);
    }
    for (ui::Label* label : {lblOldFW, Label8, lblNewFW}) {
        ui::DesignFont(*label, "Tahoma", kHeight, true);
        label->SetColour(ui::kNavy);
    }
    lblOldFW->setText("XXXX");
    Label8->setText("-->");
    lblNewFW->setText("XXXX");

    cmdOK =
        ui::MakeBitmapButton(this, "cmdOK", {119, 177, 96, 25}, "OK", QStyle::SP_DialogOkButton);
    cmdCancel = ui::MakeBitmapButton(this, "cmdCancel", {271, 177, 96, 25}, "Cancel",
                                     QStyle::SP_DialogCancelButton);
    for (QPushButton* button : {cmdOK, cmdCancel})
        ui::DesignFont(*button, "Tahoma", kHeight, true);
    cmdOK->setDefault(true);
    SetEscapeButton(cmdCancel);
    setTabOrder(cmdCancel, cmdOK);
    cmdCancel->setFocus();
    connect(cmdOK, &QPushButton::clicked, this, &TUpdateCfm::cmdOKClick);
    connect(cmdCancel, &QPushButton::clicked, this, &TUpdateCfm::cmdCancelClick);
}

void TUpdateCfm::ApplyLanguage(int language) {
    if (language == ui::kLanguageChinese) {
        setWindowTitle("更新確認 ...");
        Label1->setText(
            "您按了更新的按鈕以後 , 您所選擇的光碟機托盤會退出 , 然後這個程式將更新韌體");
        Label2->setText("韌體資訊");
        Label3->setText("目前");
        Label4->setText("更新後");
        Label5->setText("版本");
        cmdOK->setText("更新");
        cmdCancel->setText("取消");
    } else if (language == ui::kLanguageJapanese) {
        setWindowTitle("ファームウェアの確認");
        for (ui::Label* label : {Label1, Label2, Label3, Label4, Label5})
            ui::JapaneseFont(*label, 9);
        for (QPushButton* button : {cmdOK, cmdCancel})
            ui::JapaneseFont(*button, 8);
        Label1->setText("ファームウェアのアップデートを行います。");
        Label1->setText(Label1->text() + "\n" +
                        "[アップデート]ボタンをクリックすると、対象ドライブがイジェクトされアップ"
                        "デートが開始されます。");
        Label2->setText("ファームウェアの確認");
        Label3->setText("現在");
        Label4->setText("アップデート");
        Label5->setText("Version");
        cmdOK->setText("アップデート");
        cmdCancel->setText("キャンセル");
    } else {
        setWindowTitle("Update Confirm ...");
        Label1->setText(
            "Do not open the drive while the update is running.\nClick the Update button to "
            "start the Update.");
        Label2->setText("FW Information");
        Label3->setText("Current");
        Label4->setText("After Updating");
        Label5->setText("Version");
        cmdOK->setText("Update");
        cmdCancel->setText("Cancel");
    }
}

void TUpdateCfm::cmdOKClick() {
    if (answerTarget) *answerTarget = 1;
    close();
}

void TUpdateCfm::cmdCancelClick() {
    if (answerTarget) *answerTarget = 0;
    close();
}

}  // namespace dialogs
