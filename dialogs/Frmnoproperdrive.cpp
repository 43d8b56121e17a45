#include "dialogs/Frmnoproperdrive.h"

namespace dialogs {

TNoProperDrive::TNoProperDrive(QWidget* owner)
    : RefusalForm(owner, engine::DialogId::NoProperDrive, "NoProperDrive", {444, 131},
                  {56, 20, 365, 29}, {160, 64}, QStyle::SP_MessageBoxCritical) {}

void TNoProperDrive::ApplyLanguage(int language) {
    ApplyCommon(language);
}

}  // namespace dialogs
