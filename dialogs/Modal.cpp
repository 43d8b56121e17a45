#include "dialogs/Modal.h"

#include <QDialog>
#include <deque>

namespace ui {

namespace {

struct Hooks {
    std::deque<QMessageBox::StandardButton> answers;
    std::deque<std::function<void(QDialog&)>> actions;
    std::vector<ShownMessage> messages;
    bool unattended = false;
    int unanswered = 0;
};

Hooks& hooks() {
    static Hooks instance;
    return instance;
}

QMessageBox::Icon IconFor(MessageKind kind) {
    switch (kind) {
        case MessageKind::Warning:
            return QMessageBox::Warning;
        case MessageKind::Information:
            return QMessageBox::Information;
        case MessageKind::Error:
            return QMessageBox::Critical;
        case MessageKind::Confirmation:
            return QMessageBox::Question;
    }
    return QMessageBox::NoIcon;
}

}  // namespace

QMessageBox::StandardButton Modal::Message(QWidget* parent, MessageKind kind, const QString& title,
                                           const QString& text,
                                           QMessageBox::StandardButtons buttons,
                                           QMessageBox::StandardButton defaultButton) {
    Hooks& h = hooks();
    h.messages.push_back({kind, title, text});
    if (!h.answers.empty()) {
        QMessageBox::StandardButton answer = h.answers.front();
        h.answers.pop_front();
        return answer;
    }
    if (h.unattended) {
        ++h.unanswered;
        return QMessageBox::NoButton;
    }
    QMessageBox box(IconFor(kind), title, text, buttons, parent);
    if (defaultButton != QMessageBox::NoButton) box.setDefaultButton(defaultButton);
    box.exec();
    return box.standardButton(box.clickedButton());
}

void Modal::Show(QDialog& dialog) {
    Hooks& h = hooks();
    if (!h.actions.empty()) {
        auto action = std::move(h.actions.front());
        h.actions.pop_front();
        dialog.show();
        action(dialog);
        if (dialog.isVisible()) dialog.close();
        return;
    }
    if (h.unattended) {
        ++h.unanswered;
        return;
    }
    dialog.exec();
}

void Modal::QueueAnswer(QMessageBox::StandardButton answer) {
    hooks().answers.push_back(answer);
}

void Modal::QueueAction(std::function<void(QDialog&)> action) {
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

}  // namespace ui
