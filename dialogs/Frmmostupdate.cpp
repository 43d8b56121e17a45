#include "dialogs/Frmmostupdate.h"

namespace dialogs {

TMostUpdate::TMostUpdate(QWidget* owner)
    : RefusalForm(owner, engine::DialogId::MostUpdate, "MostUpdate", {415, 132}, {56, 20, 337, 33},
                  {148, 68}, QStyle::SP_MessageBoxInformation) {}

void TMostUpdate::ApplyLanguage(int language) {
    ApplyCommon(language);
}

}  // namespace dialogs
