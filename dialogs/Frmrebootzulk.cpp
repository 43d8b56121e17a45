#include "dialogs/Frmrebootzulk.h"

#include <QPushButton>

#include "device/SystemInfo.h"
#include "dialogs/UiFonts.h"
#include "engine/DialogTexts.h"

namespace dialogs {

namespace {
constexpr int kHeight = 11;
}

TRebootZULK::TRebootZULK(QWidget* owner)
    : ui::Form(owner, "RebootZULK", ui::TitleButtons::None, ui::Placement::Owner) {
    engine::RebootZulkTexts words = engine::RebootZulkDesignWords();
    setWindowTitle(QString::fromStdString(words.caption));
    ui::DesignFont(*this, "Tahoma", kHeight);
    SetClientSize(ui::ClientSizeFor({456, 174}, ui::Border::Sizeable), ui::Border::Sizeable);

    Label1 = new ui::Label(this, "Label1", {52, 12, 377, 13}, false);
    Image1 = ui::MakeIcon(this, "Image1", {12, 8, 29, 33}, QStyle::SP_MessageBoxInformation);
    Label2 = new ui::Label(this, "Label2", {52, 52, 385, 45}, false, true);
    for (ui::Label* label : {Label1, Label2}) {
        ui::DesignFont(*label, "Tahoma", kHeight, true);
        label->SetColour(ui::kBlack);
    }

    Label1->setText(QString::fromStdString(words.label1));
    Label2->setText(QString::fromStdString(words.label2));

    cmdRebootZULKNow =
        ui::MakeBitmapButton(this, "cmdRebootZULKNow", {167, 112, 102, 25},
                             QString::fromStdString(words.reboot), QStyle::SP_DialogYesButton);
    cmdRebootZULKNow->setToolTip(QString::fromStdString(words.rebootTip));
    ui::DesignFont(*cmdRebootZULKNow, "Tahoma", kHeight, true);
    cmdRebootZULKNow->setDefault(true);
    cmdRebootZULKNow->setFocus();
    connect(cmdRebootZULKNow, &QPushButton::clicked, this, &TRebootZULK::cmdRebootZULKNowClick);
}

void TRebootZULK::ApplyLanguage(int language) {
    if (language == ui::kLanguageJapanese) {
        for (ui::Label* label : {Label1, Label2})
            ui::JapaneseFont(*label, 9);
        ui::JapaneseFont(*cmdRebootZULKNow, 8);
    }
    engine::RebootZulkTexts words = engine::RebootZulkWords(language);
    setWindowTitle(QString::fromStdString(words.caption));
    Label1->setText(QString::fromStdString(words.label1));
    Label2->setText(QString::fromStdString(words.label2));
    cmdRebootZULKNow->setText(QString::fromStdString(words.reboot));
    cmdRebootZULKNow->setToolTip(QString::fromStdString(words.rebootTip));
}

void TRebootZULK::cmdRebootZULKNowClick() {
    device::RebootSystem(device::OSInfo());
    close();
}

}  // namespace dialogs
