// The one place that shows message boxes and modal forms for the whole Win32 front-end. Tests
// and scripted runs queue the answers here instead of a person clicking.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "engine/ScriptedModal.h"
#include "win32/Forms.h"

namespace win32ui {

enum class MessageKind { Warning, Information, Error, Confirmation };

struct ShownMessage {
    MessageKind kind;
    std::string title;
    std::string text;
    UINT buttons;
};

// Tests and scripts queue answers (IDOK, IDYES, ...) and actions through the base (QueueAnswer,
// QueueAction, SetUnattended, Messages, ...); an unanswered message box returns 0. A queued
// action's form is shown without waiting and what the action posts is handled.
class Modal : public engine::ScriptedModal<int, Form, ShownMessage> {
  public:
    // A message box of the kind with `buttons` (MB_OK, MB_YESNO, MB_OKCANCEL); returns the
    // button pressed (IDOK, IDYES, ...), 0 when nobody answered.
    static int Message(HWND owner, MessageKind kind, const std::string& title,
                       const std::string& text, UINT buttons = MB_OK);
    // Shows the form modally over `owner` and returns when it has closed.
    static void Show(Form& form, HWND owner);
};

// The MessageBox flags of a kind: its icon.
UINT IconOf(MessageKind kind);

}  // namespace win32ui
