// TReboot: asks whether to restart the computer now or later.
#pragma once

#include "dialogs/Form.h"

namespace dialogs {

class TReboot : public ui::Form {
    Q_OBJECT
  public:
    explicit TReboot(QWidget* owner);
    void ApplyLanguage(int language);

    void cmdRebootLaterClick();
    // A forced restart; a refused one is not reported here, and the form closes either way.
    void cmdRebootNowClick();

    ui::Label* Label1;
    QLabel* Image1;
    ui::Label* Label2;
    QPushButton* cmdRebootLater;
    QPushButton* cmdRebootNow;
};

}  // namespace dialogs
