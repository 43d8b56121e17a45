// TRebootZULK: tells that the update succeeded and offers its one way on: restart.
#pragma once

#include "dialogs/Form.h"

namespace dialogs {

class TRebootZULK : public ui::Form {
    Q_OBJECT
  public:
    explicit TRebootZULK(QWidget* owner);
    void ApplyLanguage(int language);

    // A forced restart; a refused one is not reported here, and the form closes either way.
    void cmdRebootZULKNowClick();

    ui::Label* Label1;
    QLabel* Image1;
    ui::Label* Label2;
    QPushButton* cmdRebootZULKNow;
};

}  // namespace dialogs
