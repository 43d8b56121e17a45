// The update engine's view on a terminal or in a script: questions answered by flags or at a
// prompt, message boxes as lines, a progress bar on a terminal and plain lines otherwise.
#pragma once

#include <functional>
#include <iosfwd>
#include <string>

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
    void SetPercent(const std::string& text) override;
    void SetButtons(bool updateEnabled, bool closeEnabled) override {
        busy_ = !updateEnabled && !closeEnabled;
    }
    void SetOldRevision(const std::string&) override {}
    void SetTimerRunning(bool running) override { timerRunning_ = running; }
    void DriveListChanged() override {}
    void Repaint() override {}
    void RequestTerminate() override { terminateRequested_ = true; }
    bool StopRequested() override { return stopRequested_ || (gate_ && gate_->StopRequested()); }
    bool RestartHeld() override;
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
    std::string status_, percent_;
    std::string lastStep_;  // the last step written as a line
    int position_ = 0, maximum_ = 100;
    bool barShown_ = false;
    bool busy_ = false;  // workers are running

    engine::TaskQueue tasks_;
};

}  // namespace cli
