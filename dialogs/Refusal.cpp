#include "dialogs/Refusal.h"

#include <QPushButton>

#include "dialogs/UiFonts.h"

namespace dialogs {

namespace {
constexpr int kHeight = 11;
}

RefusalForm::RefusalForm(QWidget* owner, engine::DialogId id, const char* name, QSize outer,
                         QRect label1, QPoint okAt, QStyle::StandardPixmap icon)
    : ui::Form(owner, name, ui::TitleButtons::Standard, ui::Placement::Screen),
      ownerWindow(owner),
      dialogId(id) {
    engine::RefusalTexts words = engine::RefusalWords(id, ui::kLanguageEnglish);
    setWindowTitle(QString::fromStdString(words.caption));
    ui::DesignFont(*this, "Tahoma", kHeight);
    SetClientSize(ui::ClientSizeFor(outer, ui::Border::Sizeable), ui::Border::Sizeable);
    Image1 = ui::MakeIcon(this, "Image1", {8, 8, 37, 33}, icon);
    Label1 = AddLabel("Label1", label1, QString::fromStdString(words.label1));
    cmdOK = ui::MakeButton(this, "cmdOK", {okAt, QSize(101, 25)}, QString::fromStdString(words.ok));
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

engine::RefusalTexts RefusalForm::ApplyCommon(int language) {
    engine::RefusalTexts words = engine::RefusalWords(dialogId, language);
    if (words.captionFromOwner) {
        if (ownerWindow) setWindowTitle(ownerWindow->windowTitle());
    } else {
        setWindowTitle(QString::fromStdString(words.caption));
    }
    if (language == ui::kLanguageJapanese) ui::JapaneseFont(*Label1, 9);
    Label1->setText(QString::fromStdString(words.label1));
    if (language == ui::kLanguageJapanese) ui::JapaneseFont(*cmdOK, 10);
    cmdOK->setText(QString::fromStdString(words.ok));
    return words;
}

}  // namespace dialogs
