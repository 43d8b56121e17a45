// The main window's session, drawn by a recording display: start-up, script mode, the
// selected-drive guard, the close rules, the drive list and the exit status, as both windows run
// them.
#include <gtest/gtest.h>

#include <chrono>
#include <deque>
#include <thread>

#include "engine/ExitStatus.h"
#include "engine/RestartCheck.h"
#include "engine/WindowSession.h"
#include "tests/DriveTestSupport.h"
#include "tests/EngineTestSupport.h"

// A namespace of its own: the Windows stage builds every test file as one.
namespace window_session_test {
using engine::DialogId;
using engine::Later;
using engine::StartEnd;
using engine::WindowSession;
using platform::DirectIde;
using namespace testing_support;

constexpr size_t kMiB = 1024 * 1024;

// Draws nothing; keeps what it was asked to draw, answers as told, and runs the loop's work when
// the test turns the loop.
class RecordingDisplay : public engine::WindowDisplay {
  public:
    bool nobody = false;  // script mode: nothing is answered
    int queuedYes = 0;    // questions a script answers yes beforehand, even in script mode
    uint8_t dialogAnswer = 1;
    bool questionAnswer = true;

    std::vector<std::string> messages;  // "<kind>:<text>"
    std::vector<DialogId> dialogs;
    int listDrawings = 0;
    std::vector<std::string> list;
    int selected = -1;
    bool updateEnabled = false, hidden = false, wizardShown = false, loopEnded = false;
    std::deque<Later> later;
    WindowSession* session = nullptr;

    void ApplyPackage(const std::string&, int) override {}
    void Message(engine::MessageKind kind, const std::string& text, const std::string&) override {
        messages.push_back(std::to_string(static_cast<int>(kind)) + ":" + text);
    }
    std::vector<engine::AskButtons> asked;  // the buttons of each question, in order
    bool Question(const std::string&, const std::string&, engine::AskButtons buttons) override {
        asked.push_back(buttons);
        if (queuedYes > 0) return queuedYes-- > 0;
        if (nobody) ++unanswered_;
        return !nobody && questionAnswer;
    }
    void Dialog(const engine::DialogRequest& request) override {
        dialogs.push_back(request.id);
        if (!request.answer) return;
        if (nobody) {
            ++unanswered_;
        } else {
            *request.answer = dialogAnswer;
        }
    }
    int Unanswered() const override { return unanswered_; }
    bool AnswersNobody() const override { return nobody; }
    void DrawDriveList(const std::vector<std::string>& lines) override {
        ++listDrawings;
        list = lines;
    }
    void SelectDrive(int item) override { selected = item; }
    void DrawRevisionLine(const engine::RevisionLine& line) override {
        updateEnabled = line.matched;
    }
    void DrawOldRevision(const std::string&) override {}
    void DrawStatus(const std::string&) override {}
    void DrawStatusColour(engine::Colour) override {}
    void DrawProgress(int, int) override {}
    void DrawPercent(const std::string&) override {}
    void EnableControls(bool update, bool, bool) override { updateEnabled = update; }
    void SetTimerRunning(bool) override {}
    void Repaint() override {}
    void HideWindow() override { hidden = true; }
    void ShowOemWizard() override { wizardShown = true; }
    void RunLater(Later what) override { later.push_back(what); }
    void EndLoop() override { loopEnded = true; }
    bool OnUiThread() const override { return true; }
    void WakeForPostedTask() override {}
    void WaitForEvents() override {
        std::this_thread::yield();
        session->RunPostedTask();
    }

    // One turn of the loop: the work left for later, in order.
    void Turn() {
        while (!later.empty()) {
            Later what = later.front();
            later.pop_front();
            session->RunLater(what);
        }
    }

  private:
    int unanswered_ = 0;
};

// A window on an emulated PC: the package, the display and the session.
class Window {
  public:
    Window(
        const std::string& preset, const std::string& options,
        DirectIde directIde = DirectIde::Available,
        std::function<void(platform::emulated::Machine&)> configure =
            [](platform::emulated::Machine&) {},
        std::vector<pack::ImageSpec> images = {Image("QV12", kMiB)})
        : bench(preset, configure),
          package(options, std::move(images)),
          block(package.Block()),
          session(block, display, {}, directIde) {
        display.session = &session;
    }
    ~Window() { session.End(); }

    // Start-up and the window's first show, as a person or a script would see them.
    void Open(bool scriptMode = false) {
        session.SetScriptMode(scriptMode);
        session.Start();
        if (session.StartResult() == StartEnd::Ready && session.FirstShow()) session.Shown();
    }
    // Turns the loop until the run has given its verdict.
    void FinishRun() {
        auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        while (session.Engine().Running() > 0 || session.Engine().InRun()) {
            ASSERT_LT(std::chrono::steady_clock::now(), deadline) << "the run did not end";
            display.WaitForEvents();
        }
    }

    DriveBench bench;
    TestPackage package;
    package::Package block;
    RecordingDisplay display;
    WindowSession session;
};

// Every front-end reaches the refusal through the engine's start-up: the windows through their
// session, the console directly. Nothing is installed, no file is written.
TEST(WindowSession, ADirectIdePackageIsRefusedAtStartUpWhereTheMachineCannotTakeIt) {
    const struct {
        DirectIde directIde;
        StartEnd end;
        int status;
    } cases[] = {
        {DirectIde::NoDriverForSystem, StartEnd::NoFlashDriver, engine::kExitNoFlashDriver},
        {DirectIde::SixtyFourBitWindows, StartEnd::No64BitDriver, engine::kExitNo64BitDriver}};
    const std::string directIde = Options({{12, '1'}, {8, '1'}});
    for (const auto& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.directIde));
        Window window("ide", directIde, c.directIde);
        window.Open(true);
        EXPECT_EQ(window.session.StartResult(), c.end);
        EXPECT_EQ(window.session.ExitStatus(), c.status);
        EXPECT_TRUE(window.session.TerminateRequested());
        EXPECT_TRUE(window.display.loopEnded);
        ASSERT_EQ(window.display.messages.size(), 1u);
        EXPECT_EQ(window.display.messages[0].substr(0, 2), "2:") << "an error";
        EXPECT_TRUE(window.display.later.empty()) << "no run is started";
        EXPECT_EQ(window.bench.machine().FindFile("C:\\WINDOWS\\TEMP\\RUR.SYS"), nullptr);
        EXPECT_TRUE(window.bench.machine().ide.services.empty()) << "no driver installed";

        TestView console;
        engine::UpdateEngine engine(window.block, console);
        engine.SetDirectIde(c.directIde);
        EXPECT_EQ(engine::StartExitStatus(engine.StartUp()), c.status);
        EXPECT_EQ(window.bench.machine().FindFile("C:\\WINDOWS\\TEMP\\RUR.SYS"), nullptr);
    }
    // Where the driver exists, the same package starts and its driver is installed.
    Window window("ide", directIde);
    window.Open(true);
    EXPECT_EQ(window.session.StartResult(), StartEnd::Ready);
    EXPECT_NE(window.bench.machine().FindFile("C:\\WINDOWS\\TEMP\\RUR.SYS"), nullptr);
}

// A drive its cut flash left in the loader, named by this package's one image: start-up asks,
// with No preset, and only a yes lets the run write it.
TEST(WindowSession, StartUpOffersToRecoverALoaderDriveWithNoAsTheDefault) {
    for (bool yes : {false, true}) {
        SCOPED_TRACE(yes);
        Window window("typical", Options({{14, '0'}, {7, '0'}}), DirectIde::Available,
                      [](platform::emulated::Machine& m) {
                          m.drives[0]->ByHand([](platform::emulated::DriveSettings& d) {
                              d.flashIncomplete = true;
                          });
                      },
                      {Image("QV12", kMiB, {{"QV10", "QV19", "QUORVANT", "DVD-RW QV-1600  "}})});
        window.display.questionAnswer = yes;
        window.Open();
        ASSERT_EQ(window.display.asked.size(), 1u);
        EXPECT_EQ(window.display.asked[0], engine::AskButtons::YesNoDefaultNo);
        ASSERT_EQ(window.session.StartResult(), yes ? StartEnd::Ready : StartEnd::NoMatchingDrive);
        if (!yes) continue;
        window.session.UpdatePressed();
        window.FinishRun();
        EXPECT_TRUE(window.session.Engine().LastRun().recovery);
        EXPECT_EQ(window.session.Engine().LastRun().end, engine::RunEnd::Succeeded);
    }
}

TEST(WindowSession, TheIdleWindowClosesFromItsTitleBarButNotDuringARun) {
    Window window("typical", Options({{14, '0'}, {7, '0'}}));
    window.Open();
    ASSERT_EQ(window.session.StartResult(), StartEnd::Ready);
    EXPECT_TRUE(window.session.ClosableFromTitleBar());

    window.session.UpdatePressed();
    ASSERT_TRUE(window.session.Engine().InRun());
    EXPECT_FALSE(window.session.CloseAsked()) << "Alt+F4 during the run";
    EXPECT_FALSE(window.display.hidden);
    EXPECT_FALSE(window.session.TerminateRequested());
    window.FinishRun();
    EXPECT_EQ(window.session.Engine().LastRun().end, engine::RunEnd::Succeeded);
    EXPECT_FALSE(window.session.TerminateRequested()) << "the package stays after success";

    EXPECT_TRUE(window.session.CloseAsked()) << "the title bar once the run is over";
    EXPECT_TRUE(window.display.hidden);
    EXPECT_TRUE(window.session.TerminateRequested());
}

TEST(WindowSession, TheCloseButtonDuringARunEndsTheProgramOnlyAtTheVerdict) {
    Window window("typical", Options({{14, '1'}, {7, '0'}}));
    window.Open();
    window.session.UpdatePressed();
    ASSERT_TRUE(window.session.Engine().InRun());
    window.session.ClosePressed();
    EXPECT_FALSE(window.display.hidden);
    EXPECT_FALSE(window.session.TerminateRequested());
    window.FinishRun();
    EXPECT_TRUE(window.session.TerminateRequested()) << "asked during the run, ended after it";
}

TEST(WindowSession, UpdateTakesOnlyASelectedDriveThePackageMayUpdate) {
    Window window("typical", Options({{14, '1'}, {7, '0'}}));
    window.Open();
    ASSERT_EQ(window.display.list.size(), 2u);
    window.session.DriveChosen(1);  // F:, another maker's drive
    EXPECT_EQ(window.display.selected, 1);
    EXPECT_FALSE(window.display.updateEnabled);
    window.session.UpdatePressed();
    EXPECT_FALSE(window.session.Engine().InRun()) << "nothing runs for a drive not offered";

    window.session.DriveChosen(0);
    EXPECT_TRUE(window.display.updateEnabled);
    window.session.UpdatePressed();
    EXPECT_TRUE(window.session.Engine().InRun());
    window.FinishRun();
    EXPECT_EQ(window.session.Engine().LastRun().drives.size(), 1u);
}

TEST(WindowSession, TheDriveListIsDrawnAgainOnlyWhenItsLinesChange) {
    Window window("typical", Options({{14, '1'}, {7, '0'}}));
    window.Open();
    const int drawn = window.display.listDrawings;
    EXPECT_GE(drawn, 1);
    window.session.DriveChosen(1);
    window.session.DriveChosen(0);
    EXPECT_EQ(window.display.listDrawings, drawn) << "a new selection leaves the list as it is";
    EXPECT_EQ(window.display.selected, 0);

    // After the flash the drive reports its new revision: its line changes.
    window.session.UpdatePressed();
    window.FinishRun();
    EXPECT_GT(window.display.listDrawings, drawn);
    EXPECT_NE(window.display.list[0].find("QV12"), std::string::npos) << window.display.list[0];
}

TEST(WindowSession, ScriptModeRunsOnlyAPackageThatNeedsNobody) {
    {
        Window attended("typical", Options({}));
        attended.display.nobody = true;
        attended.Open(true);
        ASSERT_EQ(attended.display.later.size(), 1u);
        attended.display.Turn();
        EXPECT_TRUE(attended.session.TerminateRequested());
        EXPECT_EQ(attended.display.messages.back(),
                  "2:" + std::string(engine::kScriptNeedsPersonText));
        EXPECT_EQ(attended.session.ExitStatus(), engine::kExitDeclined);
        EXPECT_EQ(attended.session.Engine().LastRun().end, engine::RunEnd::None);
    }
    {
        Window unattended("typical", Options({{8, '1'}, {7, '0'}}));
        unattended.display.nobody = true;
        unattended.Open(true);
        unattended.display.Turn();  // the run starts once the window is on the screen
        unattended.FinishRun();
        EXPECT_TRUE(unattended.session.TerminateRequested()) << "the run is the whole program";
        EXPECT_EQ(unattended.session.ExitStatus(), engine::kExitOk);
    }
}

TEST(WindowSession, AQuestionNobodyAnsweredRefusesTheRun) {
    // A disc in the drive (the custom-dialog variant asks to eject it): the question goes to
    // nobody, its flag keeps the caller's yes and the run flashes, but a script that asked and
    // got no answer still refuses.
    Window disc("default", Options({{1, '1'}, {5, '1'}, {8, '1'}}), DirectIde::Available,
                [](platform::emulated::Machine& m) {
                    auto d = benchtool::QuorvantDrive("E:", "1:0:0:0");
                    d.medium = true;
                    m.drives.push_back(std::make_shared<platform::emulated::OpticalDrive>(d));
                });
    disc.display.nobody = true;
    disc.display.queuedYes = 1;  // the variant's checklist at start-up
    disc.Open(true);
    disc.display.Turn();
    disc.FinishRun();
    ASSERT_FALSE(disc.display.dialogs.empty());
    EXPECT_EQ(disc.display.dialogs[0], DialogId::EjectDisc);
    EXPECT_EQ(disc.session.Engine().LastRun().end, engine::RunEnd::Succeeded);
    EXPECT_EQ(disc.session.ExitStatus(), engine::kExitDeclined);
}

// The OEM variant checks the drive once more after the restart; the engine registers that check
// when the run has succeeded, whichever front-end ran it.
TEST(WindowSession, TheCheckAfterTheRestartIsRegisteredOnlyAfterASuccess) {
    auto entry = [] {
        return platform::CurrentSystem().QueryRegistryString(platform::RegistryRoot::LocalMachine,
                                                             engine::kRunOnceKey, "QVFWUpdate");
    };
    {
        Window window("typical", Options({{1, '2'}, {7, '0'}, {14, '1'}}));
        window.Open();
        EXPECT_FALSE(entry().has_value());
        // The window hands over to the wizard once, at a later turn than its first paint.
        window.session.Painted();
        window.session.Painted();
        EXPECT_FALSE(window.display.wizardShown);
        EXPECT_EQ(window.display.later.size(), 1u);
        window.display.Turn();
        EXPECT_TRUE(window.display.wizardShown);
        window.session.UpdatePressed();
        window.FinishRun();
        ASSERT_EQ(window.session.Engine().LastRun().end, engine::RunEnd::Succeeded);
        ASSERT_TRUE(entry().has_value());
        EXPECT_NE(entry()->find("/QVCHECK 0 QV12"), std::string::npos) << *entry();
    }
    {
        Window failing("typical", Options({{1, '2'}, {7, '0'}, {14, '1'}}), DirectIde::Available,
                       [](platform::emulated::Machine& m) {
                           m.drives[0]->ByHand([](platform::emulated::DriveSettings& d) {
                               platform::emulated::DriveFault fail;
                               fail.command = platform::emulated::CommandKind::Commit;
                               d.faults.push_back(fail);
                           });
                       });
        failing.Open();
        failing.session.UpdatePressed();
        failing.FinishRun();
        EXPECT_NE(failing.session.Engine().LastRun().end, engine::RunEnd::Succeeded);
        EXPECT_FALSE(entry().has_value());
    }
}

}  // namespace window_session_test
