#include "dialogs/Frmnoproperdrive.h"

namespace dialogs {

TNoProperDrive::TNoProperDrive(QWidget* owner)
    : RefusalForm(owner, "NoProperDrive", {444, 131}, {56, 20, 365, 29}, {160, 64},
                  QStyle::SP_MessageBoxCritical) {
    Label1->setText("No supported drive detected.");
}

void TNoProperDrive::ApplyLanguage(int language) {
    ApplyCommon(language, "您所使用的光碟機並不適用於這個韌體更新程式 !",
                "このプログラムに対応したDVDドライプが見つかりません。");
}

}  // namespace dialogs
