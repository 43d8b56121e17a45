// Message boxes: every front-end shows them its own way (a window, a line on the terminal), so the
// core hands them to one process-wide handler. Tests install a handler that records them.
#pragma once

#include <functional>
#include <string>

namespace platform {

enum class MessageIcon { Error, Warning, Information, Question };

struct MessageBoxRequest {
    std::string text;
    std::string caption;
    MessageIcon icon = MessageIcon::Error;
};

using MessageBoxHandler = std::function<void(const MessageBoxRequest&)>;

// A modal message box without an owner window. Without an installed handler it goes to stderr.
void ShowMessageBox(const std::string& text, const std::string& caption, MessageIcon icon);
// Installs the handler of this process (null restores the stderr default); returns the old one.
MessageBoxHandler SetMessageBoxHandler(MessageBoxHandler handler);

}  // namespace platform
