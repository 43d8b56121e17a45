// TMostUpdate: tells that the selected drive already holds this firmware or a newer one; the
// program then ends.
#pragma once

#include "dialogs/Refusal.h"

namespace dialogs {

class TMostUpdate : public RefusalForm {
    Q_OBJECT
  public:
    explicit TMostUpdate(QWidget* owner);
    void ApplyLanguage(int language);
};

}  // namespace dialogs
