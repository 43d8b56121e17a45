#include "dialogs/Frmupdatecfm.h"

#include <QGroupBox>
#include <QPushButton>

#include "dialogs/UiFonts.h"
#include "engine/DialogTexts.h"

namespace dialogs {

namespace {
constexpr int kHeight = 11;
}

TUpdateCfm::TUpdateCfm(QWidget* owner)
    : ui::Form(owner, "UpdateCfm", ui::TitleButtons::None, ui::Placement::Screen) {
    engine::UpdateCfmTexts words = engine::UpdateCfmDesignWords();
    setWindowTitle(QString::fromStdString(words.caption));
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
    lblOldFW->setText(QString::fromStdString(words.revision));
    Label8->setText(QString::fromStdString(words.arrow));
    lblNewFW->setText(QString::fromStdString(words.revision));

    cmdOK = ui::MakeBitmapButton(this, "cmdOK", {119, 177, 96, 25},
                                 QString::fromStdString(words.ok), QStyle::SP_DialogOkButton);
    cmdCancel =
        ui::MakeBitmapButton(this, "cmdCancel", {271, 177, 96, 25},
                             QString::fromStdString(words.cancel), QStyle::SP_DialogCancelButton);
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
    if (language == ui::kLanguageJapanese) {
        for (ui::Label* label : {Label1, Label2, Label3, Label4, Label5})
            ui::JapaneseFont(*label, 9);
        for (QPushButton* button : {cmdOK, cmdCancel})
            ui::JapaneseFont(*button, 8);
    }
    // The revisions and the arrow between them stay as they are.
    engine::UpdateCfmTexts words = engine::UpdateCfmWords(language);
    setWindowTitle(QString::fromStdString(words.caption));
    Label1->setText(QString::fromStdString(words.message));
    Label2->setText(QString::fromStdString(words.information));
    // The box has no caption of its own: its heading names it.
    GroupBox1->setAccessibleName(Label2->text());
    Label3->setText(QString::fromStdString(words.current));
    Label4->setText(QString::fromStdString(words.afterUpdating));
    Label5->setText(QString::fromStdString(words.version));
    cmdOK->setText(QString::fromStdString(words.ok));
    cmdCancel->setText(QString::fromStdString(words.cancel));
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
