#include "dialogs/Frmejectdisc.h"

#include <QPushButton>

#include "dialogs/UiFonts.h"
#include "engine/DialogTexts.h"

namespace dialogs {

namespace {
constexpr int kHeight = 11;
}

TEjectDisc::TEjectDisc(QWidget* owner)
    : ui::Form(owner, "EjectDisc", ui::TitleButtons::Standard, ui::Placement::Screen),
      ownerWindow(owner) {
    engine::EjectDiscTexts words = engine::EjectDiscWords(ui::kLanguageEnglish);
    setWindowTitle(QString::fromStdString(words.caption));
    ui::DesignFont(*this, "Tahoma", kHeight);
    SetClientSize(ui::ClientSizeFor({391, 146}, ui::Border::Sizeable), ui::Border::Sizeable);

    Image1 = ui::MakeIcon(this, "Image1", {8, 4, 33, 33}, QStyle::SP_MessageBoxInformation);
    Label1 = new ui::Label(this, "Label1", {56, 16, 317, 13}, false, true);
    Label2 = new ui::Label(this, "Label2", {56, 36, 317, 26}, false, true);
    for (ui::Label* label : {Label1, Label2}) {
        ui::DesignFont(*label, "Tahoma", kHeight, true);
        label->SetColour(ui::kBlack);
    }
    Label1->setText(QString::fromStdString(words.label1));
    Label2->setText(QString::fromStdString(words.label2));

    cmdOK = ui::MakeButton(this, "cmdOK", {60, 80, 101, 25}, QString::fromStdString(words.ok));
    cmdCancel =
        ui::MakeButton(this, "cmdCancel", {204, 80, 101, 25}, QString::fromStdString(words.cancel));
    for (QPushButton* button : {cmdOK, cmdCancel})
        ui::DesignFont(*button, "Tahoma", kHeight);
    cmdOK->setDefault(true);
    setTabOrder(cmdOK, cmdCancel);
    cmdOK->setFocus();
    connect(cmdOK, &QPushButton::clicked, this, &TEjectDisc::cmdOKClick);
    connect(cmdCancel, &QPushButton::clicked, this, &TEjectDisc::cmdCancelClick);
}

void TEjectDisc::ApplyLanguage(int language) {
    engine::EjectDiscTexts words = engine::EjectDiscWords(language);
    if (words.captionFromOwner) {
        if (ownerWindow) setWindowTitle(ownerWindow->windowTitle());
    } else {
        setWindowTitle(QString::fromStdString(words.caption));
    }
    if (language == ui::kLanguageJapanese) {
        ui::JapaneseFont(*Label1, 9);
        ui::JapaneseFont(*Label2, 9);
        ui::JapaneseFont(*cmdOK, 10);
        ui::JapaneseFont(*cmdCancel, 9);
    }
    Label1->setText(QString::fromStdString(words.label1));
    Label2->setText(QString::fromStdString(words.label2));
    cmdOK->setText(QString::fromStdString(words.ok));
    cmdCancel->setText(QString::fromStdString(words.cancel));
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
