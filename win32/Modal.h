// The one place that shows message boxes and modal forms for the whole Win32 front-end. Tests
// and scripted runs queue the answers here instead of a person clicking.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "win32/Forms.h"

namespace win32ui {

enum class MessageKind { Warning, Information, Error, Confirmation };

struct ShownMessage {
    MessageKind kind;
    std::string title;
    std::string text;
    UINT buttons;
};

class Modal {
  public:
    // A message box of the kind with `buttons` (MB_OK, MB_YESNO, MB_OKCANCEL); returns the
    // button pressed (IDOK, IDYES, ...), 0 when nobody answered.
    static int Message(HWND owner, MessageKind kind, const std::string& title,
                       const std::string& text, UINT buttons = MB_OK);
    // Shows the form modally over `owner` and returns when it has closed.
    static void Show(Form& form, HWND owner);

    // Test hooks. A queued answer is taken by the next message box, which then is not shown.
    static void QueueAnswer(int answer);
    // A queued action is taken by the next form: it is shown without waiting, the action plays the
    // user's part (what it posts is handled), and a form the action left open is closed as by its
    // title bar.
    static void QueueAction(std::function<void(Form&)> action);
    // Unattended: a question with nothing queued is not asked; a message box returns 0, a form is
    // closed at once, and the miss is counted.
    static void SetUnattended(bool unattended);
    static bool Unattended();
    static int Unanswered();
    // Every message box asked for since the last Reset, answered or not.
    static const std::vector<ShownMessage>& Messages();
    static void Reset();
};

// The MessageBox flags of a kind: its icon.
UINT IconOf(MessageKind kind);

}  // namespace win32ui
