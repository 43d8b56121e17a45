#include "dialogs/Frminvaliduser.h"

#include "dialogs/UiFonts.h"

namespace dialogs {

TInvalidUser::TInvalidUser(QWidget* owner)
    : RefusalForm(owner, "InvalidUser", {416, 155}, {56, 20, 337, 13}, {156, 84},
                  QStyle::SP_MessageBoxCritical) {
    Label1->setText("Logined by non-permission user .");
    Label2 = AddLabel("Label2", {56, 44, 333, 26}, "Please login again by administrator user.");
}

void TInvalidUser::ApplyLanguage(int language) {
    ApplyCommon(language, "存取遭拒 ! 您必須具有管理者權限才能更新光碟機韌體 !",
                "制限ユーザーでログインしています。");
    if (language == ui::kLanguageChinese) {
        Label2->hide();
    } else if (language == ui::kLanguageJapanese) {
        ui::JapaneseFont(*Label2, 9);
        Label2->setText(QString("このプログラムは管理者ユーザーでログインして") + "\n" +
                        "実行してください。");
    }
}

}  // namespace dialogs
