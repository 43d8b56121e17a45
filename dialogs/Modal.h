// The one place that shows message boxes and modal dialogs for the whole program. Tests and
// scripted runs queue the answers here instead of a person clicking.
#pragma once

#include <QMessageBox>
#include <QString>
#include <functional>
#include <vector>

#include "engine/ScriptedModal.h"

class QDialog;
class QWidget;

namespace ui {

enum class MessageKind { Warning, Information, Error, Confirmation };

struct ShownMessage {
    MessageKind kind;
    QString title;
    QString text;
};

// Tests and scripts queue answers and actions through the base (QueueAnswer, QueueAction,
// SetUnattended, Messages, ...); an unanswered message box returns NoButton.
class Modal : public engine::ScriptedModal<QMessageBox::StandardButton, QDialog, ShownMessage> {
  public:
    // Shows a message box of the kind and returns the button pressed.
    static QMessageBox::StandardButton Message(
        QWidget* parent, MessageKind kind, const QString& title, const QString& text,
        QMessageBox::StandardButtons buttons = QMessageBox::Ok,
        QMessageBox::StandardButton defaultButton = QMessageBox::NoButton);

    // Shows the dialog modally and returns when it has closed.
    static void Show(QDialog& dialog);
};

}  // namespace ui
