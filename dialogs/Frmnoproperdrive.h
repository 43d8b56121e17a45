// TNoProperDrive: tells that no drive that this package supports was found; the program then ends.
#pragma once

#include "dialogs/Refusal.h"

namespace dialogs {

class TNoProperDrive : public RefusalForm {
    Q_OBJECT
  public:
    explicit TNoProperDrive(QWidget* owner);
    void ApplyLanguage(int language);
};

}  // namespace dialogs
