// The update engine's view on a terminal or in a script: questions answered by flags or at a
// prompt, message boxes and steps as lines, and while a flash is under way a progress bar on a
// terminal (plain progress lines otherwise). It draws from the procedure's facts: the step, the
// flash under way, position and maximum, the verdict.
#pragma once

#include <functional>
#include <iosfwd>
#include <string>
#include <vector>

#include "engine/TaskQueue.h"
#include "engine/UpdateEngine.h"
#include "engine/UpdateView.h"

namespace cli {

enum class Answers { Ask, Yes, No };
// The restart after a successful update goes beyond the flash, so --yes does not answer it:
// Ask asks at a terminal when no answers were given and otherwise leaves the restart to the user;
// Yes (--reboot) restarts; No (--no-reboot) also holds off a package that restarts without asking.
enum class Restart { Ask, Yes, No };

class ConsoleView : public engine::UpdateView {
  public:
    ConsoleView(std::istream& in, std::ostream& out, std::ostream& err, Answers answers,
                bool terminal);

    void SetLanguage(int language) { language_ = language; }
    // While listing drives the notice is not asked: nothing is going to be flashed.
    void SetAcceptNotice(bool accept) { acceptNotice_ = accept; }
    // A stop asked for from outside (a signal) stops the tray loop and any restart as well.
    void SetGate(const engine::FlashGate* gate) { gate_ = gate; }
    void SetRestart(Restart restart) { restart_ = restart; }

    void ShowMessage(engine::MessageKind kind, const std::string& text,
                     const std::string& caption) override;
    bool Ask(const std::string& text, const std::string& caption,
             engine::AskButtons buttons) override;
    void ShowNewerWarning(uint8_t* answer) override;
    void ShowMostUpdate() override;
    void ShowUpdateConfirm(uint8_t* answer, const std::string& oldRevision,
                           const std::string& newRevision) override;
    void ShowEjectDisc(uint8_t* answer) override;
    void ShowInvalidUser() override;
    void ShowNoProperDrive() override;
    void ShowReboot() override;
    void ShowRebootZulk() override;
    void SetStatus(const std::string& text) override;
    void SetStatusColour(engine::Colour) override {}
    void SetProgress(int position, int maximum) override;
    void SetPercent(const std::string&) override {}
    void SetButtons(bool, bool) override {}
    void SetOldRevision(const std::string&) override {}
    void SetTimerRunning(bool running) override { timerRunning_ = running; }
    void DriveListChanged() override {}
    void Repaint() override {}
    void RequestTerminate() override { terminateRequested_ = true; }
    bool StopRequested() override { return stopRequested_ || (gate_ && gate_->StopRequested()); }
    bool RestartHeld() override;
    void SetFlashing(bool flashing) override;
    void SetStep(engine::Step step, const std::string& words) override;
    void SetVerdict(engine::RunEnd) override { EndBar(); }
    bool RunRefused() const override { return answers_ == Answers::No; }
    bool ConfirmRun(const std::vector<engine::PlannedChange>& changes) override;
    bool IsConsole() const override { return true; }
    void PostToUiThread(std::function<void()> task) override;

    // The user-interface loop: runs posted work, and ticks the progress timer every 100 ms while
    // it runs, until the engine has no worker running.
    void RunUntilIdle(engine::UpdateEngine& engine);

    // A question went unanswered because there was no terminal and no --yes or --no.
    bool Unanswered() const { return unanswered_; }
    bool TerminateRequested() const { return terminateRequested_; }

  private:
    bool Question(const std::string& text);
    // The run's one question: yes, or no for --no, an empty answer, or nobody to answer.
    bool Consent(const std::string& question, size_t drives);
    // Ends the bar's line, so that what follows starts a line of its own.
    void EndBar();
    void SayRestartNeeded();
    void DrawProgress();

    std::istream& in_;
    std::ostream& out_;
    std::ostream& err_;
    Answers answers_;
    Restart restart_ = Restart::Ask;
    bool terminal_;
    int language_ = 0;
    bool acceptNotice_ = false;
    const engine::FlashGate* gate_ = nullptr;
    bool unanswered_ = false;
    bool stopRequested_ = false;
    bool terminateRequested_ = false;
    bool timerRunning_ = false;
    std::string status_;
    std::string lastStep_;  // the last step written as a line
    int position_ = 0, maximum_ = 100;
    // The flash's progress is on show: from the start of the flash until the next line, so that
    // the bar shows where the flash ended.
    bool barShown_ = false;
    bool flashing_ = false;   // a flash is under way
    int lastTenth_ = -1;      // the last tenth of the bar written as a progress line
    bool confirmed_ = false;  // the run's question was answered yes

    engine::TaskQueue tasks_;
};

}  // namespace cli
