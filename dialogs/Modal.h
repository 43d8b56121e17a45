// The one place that shows message boxes and modal dialogs for the whole program. Tests and
// scripted runs queue the answers here instead of a person clicking.
#pragma once

#include <QMessageBox>
#include <QString>
#include <functional>
#include <vector>

class QDialog;
class QWidget;

namespace ui {

enum class MessageKind { Warning, Information, Error, Confirmation };

struct ShownMessage {
    MessageKind kind;
    QString title;
    QString text;
};

class Modal {
  public:
    // Shows a message box of the kind and returns the button pressed.
    static QMessageBox::StandardButton Message(
        QWidget* parent, MessageKind kind, const QString& title, const QString& text,
        QMessageBox::StandardButtons buttons = QMessageBox::Ok,
        QMessageBox::StandardButton defaultButton = QMessageBox::NoButton);

    // Shows the dialog modally and returns when it has closed.
    static void Show(QDialog& dialog);

    // Test hooks. A queued answer is taken by the next message box, which then is not shown.
    static void QueueAnswer(QMessageBox::StandardButton answer);
    // A queued action is taken by the next dialog: it is shown without waiting, the action plays
    // the user's part, and a dialog the action left open is closed as by its title bar.
    static void QueueAction(std::function<void(QDialog&)> action);
    // Unattended: a question with nothing queued is not asked; a message box returns NoButton, a
    // dialog is closed at once, and the miss is counted.
    static void SetUnattended(bool unattended);
    static bool Unattended();
    static int Unanswered();
    // Every message box asked for since the last Reset, answered or not.
    static const std::vector<ShownMessage>& Messages();
    static void Reset();
};

}  // namespace ui
