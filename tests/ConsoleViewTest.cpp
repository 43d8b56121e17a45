// The console's run through the engine: the one question before the first write, each step as a
// line, and a progress bar only while the flash is under way.
#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>

#include "cli/ConsoleView.h"
#include "tests/DriveTestSupport.h"
#include "tests/EngineTestSupport.h"

namespace {
using namespace testing_support;
using engine::RunEnd;
using engine::StartEnd;

constexpr size_t kImageSize = 256 * 1024;
constexpr char kQuestion[] = "Update E: QUORVANT DVD-RW QV-1600 from QV11 to QV12? [y/N]";

// One console run of `update` on the typical bench: what the user typed, what was shown.
struct ConsoleRun {
    ConsoleRun(const std::string& options, cli::Answers answers, bool terminal,
               const std::string& typed = "")
        : bench("typical"),
          package(options, {Image("QV12", kImageSize)}),
          block(package.Block()),
          in(typed),
          view(in, out, err, answers, terminal),
          engine(block, view) {
        view.SetRestart(cli::Restart::No);
    }
    void Run() {
        ASSERT_EQ(engine.StartUp(), StartEnd::Ready) << err.str();
        startUpShown = out.str();
        engine.UpdateClick();
        view.RunUntilIdle(engine);
    }
    bool Flashed() { return bench.drive(0).Settings().revision == "QV12"; }
    size_t Count(const std::string& text) const {
        size_t n = 0;
        for (size_t at = out.str().find(text); at != std::string::npos;
             at = out.str().find(text, at + 1))
            ++n;
        return n;
    }

    DriveBench bench;
    TestPackage package;
    package::Package block;
    std::istringstream in;
    std::ostringstream out, err;
    cli::ConsoleView view;
    engine::UpdateEngine engine;
    std::string startUpShown;
};

// The lines of a script's run come from the procedure's steps, once each, in order.
TEST(ConsoleView, AScriptGetsTheQuestionAndEachStepOnceAsALine) {
    ConsoleRun run(Options({}), cli::Answers::Yes, false);
    run.Run();
    EXPECT_EQ(run.engine.LastRun().end, RunEnd::Succeeded);
    const std::string expected = std::string(kQuestion) +
                                 " yes (--yes)\n"
                                 "progress 0 %\n"
                                 "Programming ...\n"
                                 "progress 100 %\n"
                                 "Inquiry ...\n"
                                 "Done.\n";
    EXPECT_EQ(run.out.str().substr(0, expected.size()), expected) << run.out.str();
    EXPECT_EQ(run.out.str().find('\r'), std::string::npos);
}

// At a terminal nothing draws a bar before the flash, and the bar keeps a line of its own.
TEST(ConsoleView, AtATerminalTheBarHasItsOwnLineOnlyWhileFlashing) {
    ConsoleRun run(Options({}), cli::Answers::Yes, true);
    run.Run();
    ASSERT_TRUE(run.Flashed());
    const std::string shown = run.out.str();
    EXPECT_EQ(run.startUpShown, "") << "start-up draws no bar";
    const size_t question = shown.find(kQuestion), bar = shown.find("\r[");
    ASSERT_NE(question, std::string::npos);
    ASSERT_NE(bar, std::string::npos);
    EXPECT_LT(question, bar);
    EXPECT_EQ(shown[bar - 1], '\n') << "the bar starts a line";
    const size_t barEnd = shown.find('\n', bar);
    const size_t lastBar = shown.rfind("\r[", barEnd);
    EXPECT_EQ(shown.substr(lastBar, 39), "\r[##############################] 100 %")
        << shown.substr(bar, barEnd - bar) << " ends where the flash ended";
    EXPECT_EQ(shown.substr(barEnd + 1, 12), "Inquiry ...\n");
    EXPECT_EQ(shown.find("\r[", barEnd), std::string::npos) << "no bar after the flash";
}

// The one question at a terminal: yes flashes; no, an empty answer, the end of the input, or
// no terminal at all end the run with the drive as it was; anything else is asked again.
TEST(ConsoleView, TheRunsQuestionDecidesBeforeAnythingIsWritten) {
    struct Case {
        cli::Answers answers;
        bool terminal;
        const char* typed;
        bool flashes;
        size_t asked;
    };
    for (const Case& c : {Case{cli::Answers::Ask, true, "y\n", true, 1},
                          Case{cli::Answers::Ask, true, "maybe\nyes\n", true, 2},
                          Case{cli::Answers::Ask, true, "n\n", false, 1},
                          Case{cli::Answers::Ask, true, "\n", false, 1},
                          Case{cli::Answers::Ask, true, "", false, 1},
                          Case{cli::Answers::Ask, false, "y\n", false, 1},
                          Case{cli::Answers::No, true, "y\n", false, 1}}) {
        ConsoleRun run(Options({}), c.answers, c.terminal, c.typed);
        run.Run();
        const std::string what = std::string("typed \"") + c.typed + "\":\n" + run.out.str();
        EXPECT_EQ(run.Flashed(), c.flashes) << what;
        EXPECT_EQ(run.Count(kQuestion), c.asked) << what;
        EXPECT_EQ(run.Count("Please answer y (yes) or n (no)"), c.asked - 1) << what;
        if (!c.flashes) {
            EXPECT_EQ(run.engine.LastRun().end, RunEnd::Declined) << what;
            EXPECT_NE(run.err.str().find("the drive was not changed"), std::string::npos);
            auto flash = run.bench.drive(0).Flash();
            EXPECT_TRUE(std::all_of(flash.begin(), flash.end(), [](uint8_t b) {
                return b == 0xFF;
            })) << what;
        }
        EXPECT_EQ(run.view.Unanswered(), !c.terminal && c.answers == cli::Answers::Ask) << what;
    }
}

// The package whose own dialog confirms the change asks it as the same one line, once (after its
// notice); a package that updates every drive by itself starts without asking.
TEST(ConsoleView, TheConfirmingPackageAsksOnceAndTheUnattendedOneOnlyHeedsANo) {
    ConsoleRun confirming(Options({{1, '1'}}), cli::Answers::Ask, true, "y\ny\n");
    confirming.Run();
    EXPECT_TRUE(confirming.Flashed()) << confirming.out.str();
    EXPECT_EQ(confirming.Count(kQuestion), 1u) << confirming.out.str();
    EXPECT_EQ(confirming.Count("[y/"), 2u) << "the notice, then the run's question";
    EXPECT_EQ(confirming.Count("FW Information"), 0u) << confirming.out.str();

    ConsoleRun unattended(Options({{8, '1'}}), cli::Answers::Ask, false);
    unattended.Run();
    EXPECT_TRUE(unattended.Flashed()) << unattended.err.str();
    EXPECT_EQ(unattended.Count("[y/N]"), 0u) << unattended.out.str();

    // A no given on the command line is heeded even by the package that does not ask.
    ConsoleRun refused(Options({{8, '1'}}), cli::Answers::No, false);
    refused.Run();
    EXPECT_FALSE(refused.Flashed()) << refused.out.str();
    EXPECT_EQ(refused.Count("no (--no)"), 1u) << refused.out.str();
}

// At a terminal --yes answers the update's own questions without reading the terminal, but not
// the restart: that one is asked of the person there, or answered by --reboot.
TEST(ConsoleView, AtATerminalYesAnswersTheUpdateButNeverTheRestart) {
    using cli::Answers;
    using cli::Restart;
    struct Case {
        Answers answers;
        Restart restart;
        const char* typed;
        int restarts;
        const char* said;
    };
    for (const Case& c : {Case{Answers::Yes, Restart::Ask, "y\n", 0, "> no (no --reboot)"},
                          Case{Answers::Yes, Restart::Yes, "", 1, "> yes (--reboot)"},
                          Case{Answers::Ask, Restart::Ask, "y\n", 1, "[y/n] "},
                          Case{Answers::Ask, Restart::Ask, "n\n", 0, "[y/n] "},
                          Case{Answers::Ask, Restart::No, "y\n", 0, "> no (--no-reboot)"}}) {
        testing_support::DriveBench pc("typical");
        std::istringstream in(c.typed);
        std::ostringstream out, err;
        cli::ConsoleView view(in, out, err, c.answers, true);
        view.SetRestart(c.restart);
        if (c.answers == Answers::Yes) {
            uint8_t answer = 0;
            view.ShowUpdateConfirm(&answer, "QV11", "QV12");
            EXPECT_EQ(answer, 1);
            EXPECT_EQ(in.tellg(), 0) << "--yes reads nothing from the terminal";
        }
        view.ShowReboot();
        EXPECT_EQ(pc.machine().restart.requests, c.restarts) << out.str();
        EXPECT_NE(out.str().find(c.said), std::string::npos) << out.str();
    }
}

}  // namespace
