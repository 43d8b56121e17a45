#include "platform/MessageBox.h"

#include <iostream>
#include <mutex>

namespace platform {
namespace {
std::mutex& HandlerMutex() {
    static std::mutex mutex;
    return mutex;
}
MessageBoxHandler& Handler() {
    static MessageBoxHandler handler;
    return handler;
}
}  // namespace

void ShowMessageBox(const std::string& text, const std::string& caption, MessageIcon icon) {
    MessageBoxHandler handler;
    {
        std::lock_guard lock(HandlerMutex());
        handler = Handler();
    }
    if (handler) {
        handler({text, caption, icon});
        return;
    }
    std::cerr << caption << ": " << text << "\n";
}

MessageBoxHandler SetMessageBoxHandler(MessageBoxHandler handler) {
    std::lock_guard lock(HandlerMutex());
    auto previous = std::move(Handler());
    Handler() = std::move(handler);
    return previous;
}

}  // namespace platform
