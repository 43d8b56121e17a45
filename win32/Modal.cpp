#include "win32/Modal.h"

#include <deque>

namespace win32ui {

namespace {

struct Hooks {
    std::deque<int> answers;
    std::deque<std::function<void(Form&)>> actions;
    std::vector<ShownMessage> messages;
    bool unattended = false;
    int unanswered = 0;
};

Hooks& hooks() {
    static Hooks instance;
    return instance;
}

}  // namespace

UINT IconOf(MessageKind kind) {
    switch (kind) {
        case MessageKind::Warning:
            return MB_ICONWARNING;
        case MessageKind::Information:
            return MB_ICONINFORMATION;
        case MessageKind::Confirmation:
            return MB_ICONQUESTION;
        case MessageKind::Error:
            break;
    }
    return MB_ICONERROR;
}

int Modal::Message(HWND owner, MessageKind kind, const std::string& title, const std::string& text,
                   UINT buttons) {
    Hooks& h = hooks();
    h.messages.push_back({kind, title, text, buttons});
    if (!h.answers.empty()) {
        int answer = h.answers.front();
        h.answers.pop_front();
        return answer;
    }
    if (h.unattended) {
        ++h.unanswered;
        return 0;
    }
    return MessageBoxW(owner, Wide(text).c_str(), Wide(title).c_str(),
                       buttons | IconOf(kind) | (owner ? 0 : MB_TASKMODAL));
}

void Modal::Show(Form& form, HWND owner) {
    Hooks& h = hooks();
    if (!h.actions.empty()) {
        auto action = std::move(h.actions.front());
        h.actions.pop_front();
        form.FitContents();
        ShowWindow(form.Handle(), SW_SHOW);
        action(form);
        PumpPending();
        if (!form.Closed()) form.Close();
        return;
    }
    if (h.unattended) {
        ++h.unanswered;
        return;
    }
    RunModal(form, owner);
}

void Modal::QueueAnswer(int answer) {
    hooks().answers.push_back(answer);
}

void Modal::QueueAction(std::function<void(Form&)> action) {
    hooks().actions.push_back(std::move(action));
}

void Modal::SetUnattended(bool unattended) {
    hooks().unattended = unattended;
}

bool Modal::Unattended() {
    return hooks().unattended;
}

int Modal::Unanswered() {
    return hooks().unanswered;
}

const std::vector<ShownMessage>& Modal::Messages() {
    return hooks().messages;
}

void Modal::Reset() {
    hooks() = Hooks{};
}

}  // namespace win32ui
