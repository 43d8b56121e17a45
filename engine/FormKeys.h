// Which button a key presses on a form, as every window front-end answers it: the dialogs, the
// main window and the wizard, in Qt and in Win32.
//
// Enter presses the button that has the focus, as Windows lets a focused push button take it;
// only where no button has the focus does Enter press the form's default button (a form without
// one ignores it). So a user who has moved to Cancel or Later and presses Enter gets Cancel or
// Later, never the update or the restart. Escape presses the form's cancel button wherever the
// focus is, or nothing.
#pragma once

namespace engine {

enum class FormKey { Enter, Escape };

// `focused`: the button that has the focus, or null; `defaultButton`, `cancelButton`: the form's,
// or null. Returns the button to press, or null for none.
template <typename Button>
Button ButtonForKey(FormKey key, Button focused, Button defaultButton, Button cancelButton) {
    if (key == FormKey::Escape) return cancelButton;
    return focused ? focused : defaultButton;
}

}  // namespace engine
