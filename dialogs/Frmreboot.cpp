#include "dialogs/Frmreboot.h"

#include <QPushButton>

#include "device/SystemInfo.h"
#include "dialogs/UiFonts.h"
#include "engine/DialogTexts.h"

namespace dialogs {

namespace {
constexpr int kHeight = 11;
}

TReboot::TReboot(QWidget* owner)
    : ui::Form(owner, "Reboot", ui::TitleButtons::None, ui::Placement::Owner) {
    engine::RebootTexts words = engine::RebootDesignWords();
    setWindowTitle(QString::fromStdString(words.caption));
    ui::DesignFont(*this, "Tahoma", kHeight);
    SetClientSize(ui::ClientSizeFor({310, 131}, ui::Border::Sizeable), ui::Border::Sizeable);

    Label1 = new ui::Label(this, "Label1", {56, 20, 0, 0}, true);
    ui::DesignFont(*Label1, "Tahoma", kHeight, true);
    Label1->SetColour(ui::kNavy);
    Label1->setText(QString::fromStdString(words.label1));
    Image1 = ui::MakeIcon(this, "Image1", {16, 8, 29, 33}, QStyle::SP_MessageBoxQuestion);
    Label2 = new ui::Label(this, "Label2", {16, 40, 0, 0}, true);
    ui::DesignFont(*Label2, "Tahoma", kHeight);
    Label2->SetColour(ui::kNavy);
    Label2->setText(QString::fromStdString(words.label2));

    cmdRebootLater =
        ui::MakeBitmapButton(this, "cmdRebootLater", {71, 68, 77, 25},
                             QString::fromStdString(words.later), QStyle::SP_DialogCloseButton);
    cmdRebootNow =
        ui::MakeBitmapButton(this, "cmdRebootNow", {163, 68, 77, 25},
                             QString::fromStdString(words.now), QStyle::SP_DialogYesButton);
    cmdRebootLater->setToolTip(QString::fromStdString(words.laterTip));
    cmdRebootNow->setToolTip(QString::fromStdString(words.nowTip));
    for (QPushButton* button : {cmdRebootLater, cmdRebootNow})
        ui::DesignFont(*button, "Tahoma", kHeight, true);
    cmdRebootNow->setDefault(true);
    setTabOrder(cmdRebootLater, cmdRebootNow);
    cmdRebootLater->setFocus();
    connect(cmdRebootLater, &QPushButton::clicked, this, &TReboot::cmdRebootLaterClick);
    connect(cmdRebootNow, &QPushButton::clicked, this, &TReboot::cmdRebootNowClick);
}

void TReboot::ApplyLanguage(int language) {
    if (language == ui::kLanguageJapanese) {
        // The Japanese set has no second line of its own: Label2 keeps its design font.
        ui::JapaneseFont(*Label1, 9);
        for (QPushButton* button : {cmdRebootLater, cmdRebootNow})
            ui::JapaneseFont(*button, 8);
    }
    engine::RebootTexts words = engine::RebootWords(language);
    setWindowTitle(QString::fromStdString(words.caption));
    Label1->setText(QString::fromStdString(words.label1));
    Label2->setText(QString::fromStdString(words.label2));
    cmdRebootLater->setText(QString::fromStdString(words.later));
    cmdRebootNow->setText(QString::fromStdString(words.now));
    cmdRebootLater->setToolTip(QString::fromStdString(words.laterTip));
    cmdRebootNow->setToolTip(QString::fromStdString(words.nowTip));
}

void TReboot::cmdRebootLaterClick() {
    close();
}

void TReboot::cmdRebootNowClick() {
    device::RebootSystem(device::OSInfo());
    close();
}

}  // namespace dialogs
