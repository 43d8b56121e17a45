// What a front-end's message boxes and modal dialogs do in tests and scripted runs. Answers and
// actions queued beforehand take a person's part; unattended, whatever nobody answers is counted
// and not shown. A front-end's Modal class derives from this and shows the real boxes itself.
#pragma once

#include <cstdio>
#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace engine {

template <typename Answer, typename Dialog, typename Message>
class ScriptedModal {
  public:
    // A queued answer is taken by the next message box, which then is not shown.
    static void QueueAnswer(Answer answer) { State().answers.push_back(answer); }
    // A queued action is taken by the next dialog: it is shown without waiting, the action plays
    // the user's part, and a dialog the action left open is closed as by its title bar.
    static void QueueAction(std::function<void(Dialog&)> action) {
        State().actions.push_back(std::move(action));
    }
    // Unattended: a question with nothing queued is not asked; a message box returns the
    // front-end's "no button", a dialog is closed at once, and the miss is counted.
    static void SetUnattended(bool unattended) { State().unattended = unattended; }
    static bool Unattended() { return State().unattended; }
    static int Unanswered() { return State().unanswered; }
    // Every message box asked for since the last Reset, answered or not.
    static const std::vector<Message>& Messages() { return State().messages; }
    static void Reset() { State() = Script{}; }

  protected:
    // A message box asked for: recorded, then answered by the script (`none` when unattended),
    // or nothing, and the front-end shows the box to a person.
    static std::optional<Answer> ScriptedAnswer(Message message, Answer none) {
        Script& s = State();
        s.messages.push_back(std::move(message));
        if (!s.answers.empty()) {
            Answer answer = s.answers.front();
            s.answers.pop_front();
            return answer;
        }
        if (!s.unattended) return std::nullopt;
        ++s.unanswered;
        return none;
    }
    // The action queued for the next dialog, if any.
    static std::function<void(Dialog&)> NextAction() {
        Script& s = State();
        if (s.actions.empty()) return {};
        auto action = std::move(s.actions.front());
        s.actions.pop_front();
        return action;
    }
    // True when nobody will answer the dialog: the miss is counted and it is not shown.
    static bool NobodyAnswers() {
        Script& s = State();
        if (s.unattended) ++s.unanswered;
        return s.unattended;
    }

  private:
    struct Script {
        std::deque<Answer> answers;
        std::deque<std::function<void(Dialog&)>> actions;
        std::vector<Message> messages;
        bool unattended = false;
        int unanswered = 0;
    };
    static Script& State() {
        static Script script;
        return script;
    }
};

// The word a scripted run prints for a message box's kind (either toolkit's kinds).
template <typename Kind>
const char* MessageKindName(Kind kind) {
    switch (kind) {
        case Kind::Warning:
            return "warning";
        case Kind::Information:
            return "information";
        case Kind::Confirmation:
            return "question";
        case Kind::Error:
            break;
    }
    return "error";
}

// In a scripted run the window's messages nobody saw go to stderr, each with its kind; `textOf`
// gives a message's text as UTF-8.
template <typename Modal, typename TextOf>
int FinishScripted(bool unattended, int status, TextOf textOf) {
    if (unattended) {
        for (const auto& message : Modal::Messages())
            std::fprintf(stderr, "brenvo: %s: %s\n", MessageKindName(message.kind),
                         std::string(textOf(message.text)).c_str());
    }
    return status;
}

}  // namespace engine
