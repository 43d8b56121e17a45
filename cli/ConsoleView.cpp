#include "cli/ConsoleView.h"

#include <chrono>
#include <istream>
#include <ostream>

#include "device/SystemInfo.h"
#include "engine/DialogTexts.h"
#include "engine/StartupTexts.h"

namespace cli {
namespace {
constexpr auto kTick = std::chrono::milliseconds(100);
constexpr int kBarWidth = 30;

const char* KindName(engine::MessageKind kind) {
    switch (kind) {
        case engine::MessageKind::Warning:
            return "warning";
        case engine::MessageKind::Information:
            return "information";
        case engine::MessageKind::Error:
            return "error";
    }
    return "";
}
}  // namespace

ConsoleView::ConsoleView(std::istream& in, std::ostream& out, std::ostream& err, Answers answers,
                         bool terminal)
    : in_(in), out_(out), err_(err), answers_(answers), terminal_(terminal) {}

void ConsoleView::ShowMessage(engine::MessageKind kind, const std::string& text,
                              const std::string& caption) {
    if (barShown_) {
        out_ << "\n";
        barShown_ = false;
    }
    std::ostream& to = kind == engine::MessageKind::Error ? err_ : out_;
    to << "[" << KindName(kind) << (caption.empty() ? "" : ": " + caption) << "]\n" << text << "\n";
    to.flush();
    // A warning of the tray loop asks a person to act at the drive; at a terminal, wait for them.
    if (kind == engine::MessageKind::Warning && terminal_ && answers_ == Answers::Ask) {
        out_ << "Press Enter to go on, or type q to stop: " << std::flush;
        std::string line;
        if (!std::getline(in_, line) || line == "q") stopRequested_ = true;
    } else if (kind == engine::MessageKind::Warning) {
        // Nobody at a script can take a disc out or push a tray in: stop rather than loop.
        stopRequested_ = true;
    }
}

bool ConsoleView::Question(const std::string& text) {
    if (barShown_) {
        out_ << "\n";
        barShown_ = false;
    }
    out_ << text << "\n";
    if (answers_ == Answers::Yes) {
        out_ << "> yes (--yes)\n";
        return true;
    }
    if (answers_ == Answers::No) {
        out_ << "> no (--no)\n";
        return false;
    }
    if (!terminal_) {
        err_ << "brenvo-cli: this question needs an answer: run again with --yes or --no\n";
        unanswered_ = true;
        return false;
    }
    while (true) {
        out_ << "[y/n] " << std::flush;
        std::string line;
        if (!std::getline(in_, line)) return false;
        if (line == "y" || line == "Y" || line == "yes") return true;
        if (line == "n" || line == "N" || line == "no") return false;
    }
}

bool ConsoleView::Ask(const std::string& text, const std::string&, engine::AskButtons) {
    if (acceptNotice_) return true;
    return Question(text);
}

void ConsoleView::ShowNewerWarning(uint8_t* answer) {
    *answer = Question(engine::ConsoleText(engine::DialogId::ShowMsg, language_)) ? 1 : 0;
}

void ConsoleView::ShowMostUpdate() {
    ShowMessage(engine::MessageKind::Warning,
                engine::ConsoleText(engine::DialogId::MostUpdate, language_), "");
}

void ConsoleView::ShowUpdateConfirm(uint8_t* answer, const std::string& oldRevision,
                                    const std::string& newRevision) {
    *answer = Question(engine::ConsoleText(engine::DialogId::UpdateCfm, language_, oldRevision,
                                           newRevision))
                  ? 1
                  : 0;
}

void ConsoleView::ShowEjectDisc(uint8_t* answer) {
    *answer = Question(engine::ConsoleText(engine::DialogId::EjectDisc, language_)) ? 1 : 0;
}

void ConsoleView::ShowInvalidUser() {
    ShowMessage(engine::MessageKind::Error,
                engine::ConsoleText(engine::DialogId::InvalidUser, language_), "");
}

void ConsoleView::ShowNoProperDrive() {
    ShowMessage(engine::MessageKind::Error,
                engine::ConsoleText(engine::DialogId::NoProperDrive, language_), "");
}

void ConsoleView::ShowReboot() {
    const std::string question = engine::ConsoleText(engine::DialogId::Reboot, language_);
    bool restart = false;
    if (restart_ == Restart::Yes) {
        out_ << question << "\n> yes (--reboot)\n";
        restart = true;
    } else if (restart_ == Restart::Ask && answers_ == Answers::Ask && terminal_) {
        restart = Question(question);
    } else {
        // After a successful update nobody is there to ask, or --yes was given, which does not
        // answer for the computer.
        out_ << question << "\n> no (" << (restart_ == Restart::No ? "--no-reboot" : "no --reboot")
             << ")\n";
    }
    if (!restart) {
        SayRestartNeeded();
    } else if (!device::RebootSystem(device::OSInfo())) {
        ShowMessage(engine::MessageKind::Warning, engine::kRebootRefusedText, "");
    }
}

bool ConsoleView::RestartHeld() {
    if (restart_ != Restart::No) return false;
    out_ << "The package restarts the computer after its update; not now (--no-reboot).\n";
    SayRestartNeeded();
    return true;
}

void ConsoleView::SayRestartNeeded() {
    out_ << "The computer was not restarted: restart it to finish the update.\n";
}

void ConsoleView::ShowRebootZulk() {
    ShowReboot();
}

void ConsoleView::SetStatus(const std::string& text) {
    if (text == status_) return;
    status_ = text;
    if (terminal_) {
        DrawProgress();
        return;
    }
    // The animated dots ("Programming ", "Programming .", "..", ...) would make a line every
    // tick: scripts get each step once, a step still under way with its three dots.
    std::string step = text.substr(0, text.find_last_not_of('.') + 1);
    const bool underWay = step.empty() || step.back() == ' ';
    step = step.substr(0, step.find_last_not_of(' ') + 1);
    if (step.empty() || step == lastStep_) return;
    lastStep_ = step;
    out_ << (underWay ? step + " ..." : text) << "\n";
}

void ConsoleView::SetProgress(int position, int maximum) {
    position_ = position;
    maximum_ = maximum > 0 ? maximum : 1;
    if (terminal_) DrawProgress();
}

void ConsoleView::SetPercent(const std::string& text) {
    if (text == percent_) return;
    percent_ = text;
    if (terminal_) {
        DrawProgress();
    } else if (busy_ && (!timerRunning_ || text == "100 %") && text.size() >= 3 &&
               text[text.size() - 3] == '0') {
        // Scripts see every tenth percent of the direct path and the end of the bar.
        out_ << "progress " << text << "\n";
    }
}

void ConsoleView::DrawProgress() {
    int filled = position_ * kBarWidth / maximum_;
    out_ << "\r[" << std::string(filled, '#') << std::string(kBarWidth - filled, ' ') << "] "
         << percent_ << "  " << status_ << "\x1b[K" << std::flush;
    barShown_ = true;
}

void ConsoleView::PostToUiThread(std::function<void()> task) {
    tasks_.Post(std::move(task));
}

void ConsoleView::RunUntilIdle(engine::UpdateEngine& engine) {
    auto nextTick = std::chrono::steady_clock::now() + kTick;
    while (!tasks_.Empty() || engine.Running() > 0) {
        if (auto task = tasks_.Next(nextTick)) task();
        if (std::chrono::steady_clock::now() >= nextTick) {
            if (timerRunning_) engine.TimerTick();
            nextTick += kTick;
        }
    }
    if (barShown_) {
        out_ << "\n";
        barShown_ = false;
    }
}

}  // namespace cli
