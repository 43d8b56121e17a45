#include "dialogs/Frminvaliduser.h"

#include "dialogs/UiFonts.h"

namespace dialogs {

TInvalidUser::TInvalidUser(QWidget* owner)
    : RefusalForm(owner, engine::DialogId::InvalidUser, "InvalidUser", {416, 155},
                  {56, 20, 337, 13}, {156, 84}, QStyle::SP_MessageBoxCritical) {
    engine::RefusalTexts words = engine::RefusalWords(dialogId, ui::kLanguageEnglish);
    Label2 = AddLabel("Label2", {56, 44, 333, 26}, QString::fromStdString(words.label2));
}

void TInvalidUser::ApplyLanguage(int language) {
    engine::RefusalTexts words = ApplyCommon(language);
    if (words.label2.empty()) {
        Label2->hide();  // one line only
        return;
    }
    if (language == ui::kLanguageJapanese) ui::JapaneseFont(*Label2, 9);
    Label2->setText(QString::fromStdString(words.label2));
}

}  // namespace dialogs
