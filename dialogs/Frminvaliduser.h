// TInvalidUser: tells that the user has no administrator rights; the program then ends.
#pragma once

#include "dialogs/Refusal.h"

namespace dialogs {

class TInvalidUser : public RefusalForm {
    Q_OBJECT
  public:
    explicit TInvalidUser(QWidget* owner);
    void ApplyLanguage(int language);

    ui::Label* Label2;
};

}  // namespace dialogs
