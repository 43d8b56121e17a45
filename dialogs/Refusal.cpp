#include "dialogs/Refusal.h"

#include <QPushButton>

#include "dialogs/UiFonts.h"

namespace dialogs {

namespace {
constexpr int kHeight = 11;
}

RefusalForm::RefusalForm(QWidget* owner, const char* name, QSize outer, QRect label1, QPoint okAt,
                         QStyle::StandardPixmap icon)
    : ui::Form(owner, name, ui::TitleButtons::Standard, ui::Placement::Screen), ownerWindow(owner) {
    setWindowTitle("Firmware Updater");
    ui::DesignFont(*this, "Tahoma", kHeight);
    SetClientSize(ui::ClientSizeFor(outer, ui::Border::Sizeable), ui::Border::Sizeable);
    Image1 = ui::MakeIcon(this, "Image1", {8, 8, 37, 33}, icon);
    Label1 = AddLabel("Label1", label1, QString());
    cmdOK = ui::MakeButton(this, "cmdOK", {okAt, QSize(101, 25)}, "OK");
    ui::DesignFont(*cmdOK, "Tahoma", kHeight);
    cmdOK->setDefault(true);
    cmdOK->setFocus();
    connect(cmdOK, &QPushButton::clicked, this, &RefusalForm::cmdOKClick);
}

ui::Label* RefusalForm::AddLabel(const char* name, QRect box, const QString& text) {
    auto* label = new ui::Label(this, name, box, false, true);
    ui::DesignFont(*label, "Tahoma", kHeight, true);
    label->SetColour(ui::kBlack);
    label->setText(text);
    return label;
}

void RefusalForm::ApplyCommon(int language, const QString& chinese, const QString& japanese) {
    if (language == ui::kLanguageChinese) {
        if (ownerWindow) setWindowTitle(ownerWindow->windowTitle());
        Label1->setText(chinese);
        cmdOK->setText("確定");
    } else if (language == ui::kLanguageJapanese) {
        setWindowTitle("ファームウェア　アップデータ");
        ui::JapaneseFont(*Label1, 9);
        Label1->setText(japanese);
        ui::JapaneseFont(*cmdOK, 10);
    } else {
        setWindowTitle("Firmware Updater");
    }
}

}  // namespace dialogs
