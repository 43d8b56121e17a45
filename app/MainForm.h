// The main window's widgets: their layout, their fonts and texts in the three languages, the
// revision line and the progress display. TBrenvoMain adds the behaviour.
#pragma once

#include <QLabel>
#include <QWidget>

#include "dialogs/Form.h"

class QComboBox;
class QFrame;
class QProgressBar;
class QPushButton;
class QTimer;

namespace app {

// The fixed client area the controls were placed in.
inline constexpr int kClientWidth = 494;
inline constexpr int kClientHeight = 140;
// Pixels between the parts of the revision line.
inline constexpr int kRevisionSpacing = 10;

// RGB 128, 0, 0.
inline constexpr QRgb kMaroon = 0x800000;

class MainForm : public QWidget {
    Q_OBJECT
  public:
    explicit MainForm(QWidget* parent = nullptr);

    // The three-way rule: 1 Traditional Chinese (texts only), 2 Japanese (fonts first, then
    // texts), any other value English.
    void Localise(int language);

    // Places old revision, "to" and new revision after the message, 10 pixels apart and centred
    // on its height. The labels size themselves, so this follows whatever they hold. The line is
    // read out as one sentence, from the message.
    void LayoutRevisionLine();

    ui::Label* Label1;
    QComboBox* cboDrives;
    QPushButton* cmdUpdate;
    QPushButton* cmdClose;
    ui::Label* lblUpdateMsg;
    ui::Label* lblOldFW;
    ui::Label* lblTo;
    ui::Label* lblNewFW;
    QFrame* Bevel1;
    ui::Label* lblMsg;
    QProgressBar* pbar;
    ui::Label* lblPercent;
    QTimer* tmr;

  protected:
    // Enter presses the focused button; the window has no default or cancel button.
    void keyPressEvent(QKeyEvent* event) override;
};

}  // namespace app
