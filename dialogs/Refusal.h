// What the three refusal dialogs share: an icon, a bold message, one OK button that only closes
// the form, and the owner window whose caption the Chinese texts reuse.
#pragma once

#include "dialogs/Form.h"

namespace dialogs {

class RefusalForm : public ui::Form {
    Q_OBJECT
  public:
    void cmdOKClick() { close(); }

    QLabel* Image1;
    ui::Label* Label1;
    QPushButton* cmdOK;

  protected:
    // `outer` is the form's outer size, `label1` the box of Label1, `okAt` the top left of cmdOK.
    RefusalForm(QWidget* owner, const char* name, QSize outer, QRect label1, QPoint okAt,
                QStyle::StandardPixmap icon);
    // A new bold label of the family.
    ui::Label* AddLabel(const char* name, QRect box, const QString& text);
    // The three-way rule the family shares: English sets the caption only, Chinese copies the
    // owner's caption and sets Label1 and cmdOK, Japanese sets the caption and switches fonts
    // before setting Label1.
    void ApplyCommon(int language, const QString& chinese, const QString& japanese);

    QWidget* ownerWindow;
};

}  // namespace dialogs
