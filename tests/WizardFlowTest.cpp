// The OEM wizard's walk on emulated PCs, drawn by a recording display: what each button and the
// poll do on each page, the drives, revisions and progress it takes from the engine, the restart
// entry and the restart, and the check after the restart. Both windows draw this one walk.
#include <gtest/gtest.h>

#include <deque>
#include <memory>
#include <optional>

#include "common/Text.h"
#include "engine/RestartCheck.h"
#include "engine/WindowTexts.h"
#include "engine/WizardFlow.h"
#include "tests/DriveTestSupport.h"
#include "tests/EngineTestSupport.h"

// A namespace of its own: the Windows stage builds every test file as one.
namespace wizard_flow_test {

using engine::CheckOutcome;
using engine::WizardFlow;
using namespace testing_support;

// The OEM variant, staying after success (no restart, no exit).
const std::string kOemOptions = Options({{1, '2'}, {7, '0'}});

// Draws nothing, remembers what it was told, and answers questions as queued.
class RecordingDisplay : public engine::WizardDisplay {
  public:
    void ShowLook(const engine::WizardLook& look) override {
        looks.push_back(look.page);
        result.reset();
    }
    void ShowDrives(const std::vector<std::string>& lines, int item) override {
        drives = lines;
        selected = item;
    }
    void ShowRevisions(const std::string& oldRevision, const std::string& newRevision,
                       bool updateOffered) override {
        revisions = oldRevision + "->" + newRevision;
        offered = updateOffered;
    }
    void ShowProgress(int p, int m) override {
        position = p;
        maximum = m;
    }
    void ShowResult(const engine::CheckResult& shown) override { result = shown; }
    void StartPolling() override { ++pollStarts; }
    bool Ask(const std::string& question) override {
        asked.push_back(question);
        if (answers.empty()) {
            ADD_FAILURE() << "unexpected question: " << question;
            return false;
        }
        bool answer = answers.front();
        answers.pop_front();
        return answer;
    }
    void Warn(const std::string& text) override { warned.push_back(text); }
    void Dismiss() override { ++dismissed; }

    std::vector<uint8_t> looks;
    std::vector<std::string> drives;
    int selected = -2;
    std::string revisions;
    bool offered = false;
    int position = -1, maximum = -1;
    std::optional<engine::CheckResult> result;
    int pollStarts = 0;
    std::deque<bool> answers;
    std::vector<std::string> asked, warned;
    int dismissed = 0;
};

// The hidden main window: its engine, and its Update and Close presses.
class Host : public engine::WizardHost {
  public:
    Host(package::Package& package, const engine::CheckRequest& check) : engine(package, view) {
        EXPECT_EQ(engine.StartUp(check), engine::StartEnd::Ready);
    }
    engine::UpdateEngine& Engine() override { return engine; }
    void PressUpdate() override {
        ++updates;
        engine.UpdateClick();
    }
    void PressClose() override {
        ++closes;
        if (engine.RequestClose()) view.terminated = true;
    }
    bool TerminateRequested() const override { return view.terminated; }
    void CheckEnded(CheckOutcome outcome) override { checked = outcome; }

    TestView view;
    engine::UpdateEngine engine;
    int updates = 0, closes = 0;
    std::optional<CheckOutcome> checked;
};

class Wizard : public ::testing::Test {
  protected:
    explicit Wizard(std::function<void(platform::emulated::Machine&)> configure =
                        [](platform::emulated::Machine&) {})
        : bench_("typical", configure) {}

    WizardFlow& Start(std::vector<std::string> commandLine = {"brenvo.exe"}) {
        flow_.reset();
        host_.reset();
        display_ = RecordingDisplay{};
        host_ = std::make_unique<Host>(package_, engine::ParseCheckCommandLine(commandLine));
        flow_ = std::make_unique<WizardFlow>(*host_, display_);
        flow_->Start(commandLine);
        return *flow_;
    }
    // From the welcome page through the update question, answered Yes.
    void StartUpdate(WizardFlow& flow) {
        flow.Next();
        display_.answers.push_back(true);
        flow.Next();
    }
    void FinishRun() { host_->view.RunUntilIdle(host_->engine, 30); }

    std::optional<std::string> RestartEntry() {
        return platform::CurrentSystem().QueryRegistryString(
            platform::RegistryRoot::LocalMachine, engine::kRunOnceKey, engine::kRestartValueName);
    }

    DriveBench bench_;
    TestPackage built_{kOemOptions, {Image("QV13", 1024 * 1024)}};
    package::Package package_{built_.Block()};
    RecordingDisplay display_;
    std::unique_ptr<Host> host_;
    std::unique_ptr<WizardFlow> flow_;
};

TEST_F(Wizard, WalksBetweenTheWelcomeAndDrivePagesWithTheEnginesDrives) {
    WizardFlow& flow = Start();
    EXPECT_EQ(flow.Page(), engine::kWelcomePage);
    EXPECT_EQ(display_.looks, (std::vector<uint8_t>{engine::kWelcomePage}));
    EXPECT_EQ(display_.pollStarts, 1) << "the poll runs from the start";
    EXPECT_EQ(flow.Caption(), "Firmware Flasher - test");
    flow.Back();
    EXPECT_EQ(flow.Page(), engine::kWelcomePage) << "Back leads nowhere from the welcome page";

    flow.Next();
    EXPECT_EQ(flow.Page(), engine::kDrivePage);
    EXPECT_EQ(display_.drives, host_->engine.ListLines());
    ASSERT_EQ(display_.drives.size(), 2u);
    EXPECT_EQ(display_.selected, 0);
    EXPECT_EQ(display_.revisions, "QV11->QV13");
    EXPECT_TRUE(display_.offered);

    // A drive the package may not update: the engine follows the choice, Next may not update.
    flow.SelectDrive(1);
    EXPECT_EQ(host_->engine.SelectedItem(), 1);
    EXPECT_FALSE(display_.offered);
    flow.SelectDrive(0);
    EXPECT_EQ(host_->engine.SelectedItem(), 0);
    EXPECT_TRUE(display_.offered);
    EXPECT_EQ(display_.revisions, "QV11->QV13");

    flow.Tick();
    EXPECT_EQ(flow.Page(), engine::kDrivePage) << "the poll waits for a finished update";
    flow.Back();
    EXPECT_EQ(flow.Page(), engine::kWelcomePage);
    EXPECT_EQ(host_->updates + host_->closes, 0);
    EXPECT_TRUE(display_.asked.empty());
    EXPECT_FALSE(RestartEntry().has_value());
}

TEST_F(Wizard, NextOnTheDrivePageAsksAndNoLeavesTheDriveAlone) {
    WizardFlow& flow = Start();
    flow.Next();
    display_.answers.push_back(false);
    flow.Next();
    EXPECT_EQ(display_.asked, (std::vector<std::string>{engine::WizardUpdateQuestion("QV13")}));
    EXPECT_EQ(flow.Page(), engine::kDrivePage);
    EXPECT_EQ(host_->updates, 0);
    EXPECT_EQ(host_->engine.LastRun().end, engine::RunEnd::None);
}

TEST_F(Wizard, CancelAsksNoStaysAndYesEndsTheProgram) {
    WizardFlow& flow = Start();
    for (uint8_t page : {engine::kWelcomePage, engine::kDrivePage}) {
        if (page == engine::kDrivePage) flow.Next();
        display_.answers.push_back(false);
        flow.Cancel();
        EXPECT_EQ(display_.asked.back(), engine::kWizardCancelQuestion);
        EXPECT_EQ(flow.Page(), page);
        EXPECT_EQ(host_->closes, 0);
    }
    display_.answers.push_back(true);
    flow.Cancel();
    EXPECT_EQ(host_->closes, 1);
    EXPECT_EQ(display_.dismissed, 1);
    EXPECT_TRUE(host_->TerminateRequested());
}

TEST_F(Wizard, UpdatesThroughTheHostMirrorsTheProgressAndRegistersTheCheckWhenDone) {
    WizardFlow& flow = Start();
    StartUpdate(flow);
    EXPECT_EQ(flow.Page(), engine::kProgressPage);
    EXPECT_EQ(host_->updates, 1);
    EXPECT_EQ(host_->engine.Running(), 1);
    EXPECT_EQ(display_.maximum, host_->engine.ProgressMaximum());
    EXPECT_EQ(display_.pollStarts, 2) << "the poll starts afresh with the run";

    // While the flash runs, neither the window's close nor the cancel question ends anything.
    EXPECT_FALSE(flow.CloseRequested());
    flow.Back();
    EXPECT_EQ(flow.Page(), engine::kDrivePage) << "Back's handler still leads back";
    EXPECT_FALSE(display_.offered) << "nothing more may start during the run";
    flow.Cancel();
    EXPECT_EQ(display_.asked.size(), 1u) << "no question while the flash runs";
    EXPECT_EQ(host_->closes, 0);
    display_.answers.push_back(true);
    flow.Next();
    ASSERT_EQ(flow.Page(), engine::kProgressPage);
    EXPECT_EQ(host_->updates, 2);

    for (int tick = 0; tick < 15; ++tick)
        host_->engine.TimerTick();
    flow.Tick();
    EXPECT_GT(display_.position, 0);
    EXPECT_EQ(display_.position, host_->engine.ProgressPosition());
    EXPECT_EQ(flow.Page(), engine::kProgressPage) << "not updated yet";
    EXPECT_FALSE(RestartEntry().has_value());

    FinishRun();
    ASSERT_TRUE(host_->engine.Updated());
    flow.Tick();
    EXPECT_EQ(flow.Page(), engine::kCompletePage);
    EXPECT_EQ(display_.position, display_.maximum);
    // The run registered the check, naming the drive it updated; the page's polls add nothing.
    const device::DriveRecord* updated = host_->engine.ListedDrive(0);
    ASSERT_NE(updated, nullptr);
    EXPECT_EQ(RestartEntry(), engine::RestartEntry(bench_.machine().programPath, 0, "QV13",
                                                   engine::DriveIdentity(*updated)));
    bench_.machine().RemoveRegistry(std::string("HKLM\\") + engine::kRunOnceKey,
                                    engine::kRestartValueName);
    flow.Tick();
    EXPECT_EQ(flow.Page(), engine::kCompletePage);
    EXPECT_FALSE(RestartEntry().has_value());
}

class FailingWizard : public Wizard {
  protected:
    FailingWizard()
        : Wizard([](platform::emulated::Machine& m) {
              platform::emulated::DriveFault fail;
              fail.command = platform::emulated::CommandKind::Commit;
              AddFault(m, 0, fail);
          }) {}
};

TEST_F(FailingWizard, AFailedUpdateNeverReachesTheCompletePageAndMayBeCancelled) {
    WizardFlow& flow = Start();
    StartUpdate(flow);
    FinishRun();
    EXPECT_EQ(host_->engine.LastRun().end, engine::RunEnd::Failed);
    flow.Tick();
    EXPECT_EQ(flow.Page(), engine::kProgressPage);
    EXPECT_FALSE(RestartEntry().has_value()) << "no check after a restart for a failed flash";

    // No flash runs now: the window's close asks, and stays whatever the answer.
    display_.answers = {false, true};
    EXPECT_FALSE(flow.CloseRequested());
    EXPECT_EQ(host_->closes, 0);
    EXPECT_FALSE(flow.CloseRequested());
    EXPECT_EQ(host_->closes, 1);
    EXPECT_EQ(display_.asked, (std::vector<std::string>{engine::WizardUpdateQuestion("QV13"),
                                                        engine::kWizardCancelQuestion,
                                                        engine::kWizardCancelQuestion}));
}

TEST_F(Wizard, ShutDownRestartsTheComputerOrSaysWhyNot) {
    WizardFlow& flow = Start();
    flow.ShowCompletePage();
    bench_.machine().shutdown.exitWindowsFails = true;
    flow.Cancel();
    EXPECT_EQ(display_.warned, (std::vector<std::string>{engine::kWizardRebootRefused}));
    EXPECT_EQ(flow.Page(), engine::kCompletePage);
    EXPECT_EQ(host_->closes, 0);

    bench_.machine().shutdown.exitWindowsFails = false;
    flow.Cancel();
    EXPECT_EQ(bench_.machine().restart.requests, 1);
    EXPECT_EQ(bench_.machine().restart.lastFlags & 0x2u, 0x2u) << "a restart, not power off";
    EXPECT_EQ(host_->closes, 1);
    EXPECT_EQ(display_.warned.size(), 1u);
}

TEST_F(Wizard, TheCheckAfterARestartShowsItsResultAndTellsTheHost) {
    struct Case {
        const char* index;
        const char* expected;
        CheckOutcome outcome;
    } cases[] = {{"0", " QV11 ", CheckOutcome::Matches},
                 {"0", "qv11", CheckOutcome::Differs},
                 {"2", "QV11", CheckOutcome::NotListed},
                 {"x", "QV11", CheckOutcome::NotListed}};
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.index) + " " + c.expected);
        WizardFlow& flow = Start({"brenvo.exe", "/QVCHECK", c.index, c.expected});
        EXPECT_EQ(flow.Page(), engine::kResultPage);
        EXPECT_EQ(display_.looks, (std::vector<uint8_t>{engine::kVerifyPage, engine::kResultPage}));
        ASSERT_TRUE(display_.result.has_value());
        EXPECT_EQ(display_.result->outcome, c.outcome);
        EXPECT_EQ(display_.result->memo.empty(), c.outcome == CheckOutcome::Matches);
        EXPECT_EQ(host_->checked, c.outcome);
        EXPECT_FALSE(RestartEntry().has_value()) << "the check does not write the entry again";
    }

    // Back shows the drive page; Finished ends the program.
    flow_->Back();
    EXPECT_EQ(flow_->Page(), engine::kDrivePage);
    EXPECT_EQ(display_.drives.size(), 2u);
    EXPECT_FALSE(display_.result.has_value());
    EXPECT_EQ(host_->closes, 0);
    Start({"brenvo.exe", "/QVCHECK", "0", "QV11"}).Next();
    EXPECT_EQ(host_->closes, 1);
    EXPECT_EQ(display_.dismissed, 1);
}

TEST_F(Wizard, ACheckWithTwoOrFourValuesOrAnotherSwitchOpensOnTheWelcomePage) {
    for (std::vector<std::string> line :
         {std::vector<std::string>{"brenvo.exe", "/QVCHECK", "0"},
          std::vector<std::string>{"brenvo.exe", "/QVCHECK", "0", "QV11", "more"},
          std::vector<std::string>{"brenvo.exe", "/qvcheck", "0", "QV11"}}) {
        EXPECT_EQ(Start(line).Page(), engine::kWelcomePage) << line.at(1);
        EXPECT_FALSE(host_->checked.has_value());
    }
}

TEST_F(Wizard, ClosingTheWindowOutsideTheRunEndsTheProgram) {
    WizardFlow& flow = Start();
    flow.Next();
    EXPECT_TRUE(flow.CloseRequested());
    EXPECT_TRUE(display_.asked.empty());
    EXPECT_EQ(host_->closes, 1);
    EXPECT_TRUE(host_->TerminateRequested());
}

// The whole OEM cycle: update through the wizard, restart, and the command the restart entry
// names checks the drive on the restarted machine.
TEST_F(Wizard, TheWholeCycleEndsOnASuccessfulCheck) {
    WizardFlow& flow = Start();
    StartUpdate(flow);
    FinishRun();
    flow.Tick();
    ASSERT_EQ(flow.Page(), engine::kCompletePage);
    flow.Cancel();
    ASSERT_TRUE(host_->TerminateRequested());
    ASSERT_TRUE(bench_.machine().restart.pending);
    std::optional<std::string> entry = RestartEntry();
    ASSERT_TRUE(entry.has_value());

    flow_.reset();
    host_.reset();
    bench_.machine().Restart();
    WizardFlow& check = Start(common::SplitCommandLine(*entry));
    EXPECT_EQ(check.Page(), engine::kResultPage);
    EXPECT_EQ(host_->checked, CheckOutcome::Matches);
    ASSERT_TRUE(display_.result.has_value());
    EXPECT_EQ(display_.result->message, "The firmware update was successful.");
}

}  // namespace wizard_flow_test
