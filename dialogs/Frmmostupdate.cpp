#include "dialogs/Frmmostupdate.h"

namespace dialogs {

TMostUpdate::TMostUpdate(QWidget* owner)
    : RefusalForm(owner, "MostUpdate", {415, 132}, {56, 20, 337, 33}, {148, 68},
                  QStyle::SP_MessageBoxInformation) {
    Label1->setText("This DVD drive does not need update.");
}

void TMostUpdate::ApplyLanguage(int language) {
    ApplyCommon(language, "您的光碟機韌體已經是最新版本 !",
                "DVDドライブのファームウェアは書き換え不要です。");
}

}  // namespace dialogs
