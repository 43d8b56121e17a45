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

void ConsoleView::EndBar() {
    if (barShown_ && terminal_) out_ << "\n";
    barShown_ = false;
}

void ConsoleView::ShowMessage(engine::MessageKind kind, const std::string& text,
                              const std::string& caption) {
    EndBar();
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
    EndBar();
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
        out_ << "Please answer y (yes) or n (no).\n";
    }
}

bool ConsoleView::Consent(const std::string& question, size_t drives) {
    EndBar();
    bool yes = false;
    if (answers_ == Answers::Yes) {
        out_ << question << " yes (--yes)\n";
        yes = true;
    } else if (answers_ == Answers::No) {
        out_ << question << " no (--no)\n";
    } else if (!terminal_) {
        out_ << question << "\n";
        err_ << "brenvo-cli: this question needs an answer: run again with --yes or --no\n";
        unanswered_ = true;
    } else {
        while (true) {
            out_ << question << " " << std::flush;
            std::string line;
            if (!std::getline(in_, line)) {
                out_ << "\n";
                break;
            }
            if (line == "y" || line == "Y" || line == "yes") {
                yes = true;
                break;
            }
            if (line.empty() || line == "n" || line == "N" || line == "no") break;
            out_ << "Please answer y (yes) or n (no); Enter alone means no.\n";
        }
    }
    if (!yes) {
        err_ << "brenvo-cli: not updated: " << (drives == 1 ? "the drive was" : "the drives were")
             << " not changed\n";
    }
    confirmed_ = yes;
    return yes;
}

bool ConsoleView::ConfirmRun(const std::vector<engine::PlannedChange>& changes) {
    std::string question = "Update";
    for (size_t i = 0; i < changes.size(); ++i) {
        const engine::PlannedChange& c = changes[i];
        question += std::string(i == 0                    ? " "
                                : i + 1 == changes.size() ? " and "
                                                          : ", ") +
                    c.drive + " from " + c.fromRevision + " to " + c.toRevision;
    }
    return Consent(question + "? [y/N]", changes.size());
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
    // The confirmation of this package's dialog is the run's question, asked once.
    *answer = confirmed_ || Consent("Update the drive from " + oldRevision + " to " + newRevision +
                                        "? [y/N]",
                                    1)
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
    if (flashing_ && terminal_) DrawProgress();
}

void ConsoleView::SetStep(engine::Step step, const std::string& words) {
    // At a terminal the bar's own text says how the flash goes on.
    if (step == engine::Step::Flashing && barShown_ && terminal_) return;
    if (words.empty() || words == lastStep_) return;
    lastStep_ = words;
    // A script's progress lines go on between the flash's own steps.
    if (step != engine::Step::Flashing) EndBar();
    out_ << words << "\n";
}

void ConsoleView::SetFlashing(bool flashing) {
    flashing_ = flashing;
    if (!flashing) return;  // the bar stays until the next line, to show where the flash ended
    EndBar();
    barShown_ = true;
    lastTenth_ = -1;
    if (terminal_) DrawProgress();
}

void ConsoleView::SetProgress(int position, int maximum) {
    position_ = position;
    maximum_ = maximum > 0 ? maximum : 1;
    if (!barShown_) return;
    if (terminal_) {
        DrawProgress();
        return;
    }
    // Scripts see every tenth of a bar that follows the transfer, and where the bar ended; the
    // timer's animation follows nothing.
    const int percent = position_ * 100 / maximum_;
    if ((timerRunning_ && position_ < maximum_) || percent / 10 == lastTenth_) return;
    lastTenth_ = percent / 10;
    out_ << "progress " << percent << " %\n";
}

void ConsoleView::DrawProgress() {
    int filled = position_ * kBarWidth / maximum_;
    out_ << "\r[" << std::string(filled, '#') << std::string(kBarWidth - filled, ' ') << "] "
         << position_ * 100 / maximum_ << " %  " << status_ << "\x1b[K" << std::flush;
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
    EndBar();
}

}  // namespace cli
