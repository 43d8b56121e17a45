// TEjectDisc: a disc is in the drive; offers to open the tray before the update.
#pragma once

#include <cstdint>

#include "dialogs/Form.h"

namespace dialogs {

class TEjectDisc : public ui::Form {
    Q_OBJECT
  public:
    explicit TEjectDisc(QWidget* owner);

    void SetAnswerFlag(std::uint8_t* flag) { answerTarget = flag; }
    void ApplyLanguage(int language);

    void cmdOKClick();
    void cmdCancelClick();

    QLabel* Image1;
    ui::Label* Label1;
    ui::Label* Label2;
    QPushButton* cmdOK;
    QPushButton* cmdCancel;

  private:
    std::uint8_t* answerTarget = nullptr;
    // Its caption is the Chinese caption of this form.
    QWidget* ownerWindow;
};

}  // namespace dialogs
