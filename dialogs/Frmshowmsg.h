// TShowMsg: warns that the drive already holds this firmware or a newer one and asks whether to
// go on. Its width follows the message.
#pragma once

#include <cstdint>

#include "dialogs/Form.h"

namespace dialogs {

class TShowMsg : public ui::Form {
    Q_OBJECT
  public:
    explicit TShowMsg(QWidget* owner);

    void SetAnswerFlag(std::uint8_t* flag) { answerTarget = flag; }
    void ApplyLanguage(int language, int uiVariant);

    void cmdYesClick();
    void cmdNoClick();
    // A close by the title bar or any other way than the two buttons leaves the flag as it was,
    // so the form needs no close handler of its own.

    ui::Label* lblShowMsg;
    QLabel* Image1;
    QPushButton* cmdYes;
    QPushButton* cmdNo;

  private:
    std::uint8_t* answerTarget = nullptr;
};

}  // namespace dialogs
