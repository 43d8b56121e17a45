// What the three refusal dialogs share: an icon, a bold message, one OK button that only closes
// the form, and the owner window whose caption the Chinese texts reuse.
#pragma once

#include "dialogs/Form.h"
#include "engine/DialogTexts.h"

namespace dialogs {

class RefusalForm : public ui::Form {
    Q_OBJECT
  public:
    void cmdOKClick() { close(); }

    QLabel* Image1;
    ui::Label* Label1;
    QPushButton* cmdOK;

  protected:
    // `id` names the form's words, drawn in English. `outer` is the form's outer size, `label1`
    // the box of Label1, `okAt` the top left of cmdOK.
    RefusalForm(QWidget* owner, engine::DialogId id, const char* name, QSize outer, QRect label1,
                QPoint okAt, QStyle::StandardPixmap icon);
    // A new bold label of the family.
    ui::Label* AddLabel(const char* name, QRect box, const QString& text);
    // What the family shares: the caption (in Chinese the owner's, when there is an owner),
    // Label1 and cmdOK in the language's words, Japanese switching their fonts first. Returns the
    // words, for the member's own labels.
    engine::RefusalTexts ApplyCommon(int language);

    QWidget* ownerWindow;
    engine::DialogId dialogId;
};

}  // namespace dialogs
