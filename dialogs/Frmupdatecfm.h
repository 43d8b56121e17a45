// TUpdateCfm: asks the user to confirm a firmware update, showing the drive's current and new
// revision and a warning about the tray.
#pragma once

#include <cstdint>

#include "dialogs/Form.h"

class QGroupBox;

namespace dialogs {

class TUpdateCfm : public ui::Form {
    Q_OBJECT
  public:
    explicit TUpdateCfm(QWidget* owner);

    void SetAnswerFlag(std::uint8_t* flag) { answerTarget = flag; }
    void ApplyLanguage(int language);

    void cmdOKClick();
    void cmdCancelClick();

    QLabel* Image1;
    ui::Label* Label1;
    QGroupBox* GroupBox1;
    ui::Label* Label2;
    ui::Label* Label3;
    ui::Label* Label4;
    ui::Label* Label5;
    ui::Label* lblOldFW;
    ui::Label* Label8;
    ui::Label* lblNewFW;
    QPushButton* cmdOK;
    QPushButton* cmdCancel;

  private:
    // Written, never read: 1 update, 0 cancel.
    std::uint8_t* answerTarget = nullptr;
};

}  // namespace dialogs
