// The console's progress: a bar redrawn in place at a terminal, each step once as a line
// elsewhere.
#include <gtest/gtest.h>

#include <sstream>

#include "cli/ConsoleView.h"
#include "engine/UpdateTexts.h"
#include "tests/DriveTestSupport.h"

namespace {

// Feeds the statuses of a run as the engine's 100 ms timer and its completion give them.
std::string Statuses(bool terminal, int language) {
    std::istringstream in;
    std::ostringstream out, err;
    cli::ConsoleView view(in, out, err, cli::Answers::Yes, terminal);
    engine::ProgressAnimation animation;
    view.SetStatus(engine::Text(engine::UpdateText::CheckDiscAndTray, language));
    view.SetStatus(engine::Text(engine::UpdateText::WaitingReady, language));
    view.SetStatus(engine::Text(engine::UpdateText::ProgrammingPrefix, language));
    for (int tick = 0; tick < 400; ++tick)
        view.SetStatus(animation.Tick(language).status);
    view.SetStatus(engine::Text(engine::UpdateText::Inquiry, language));
    view.SetStatus(engine::Text(engine::UpdateText::Done, language));
    return out.str();
}

TEST(ConsoleView, WritesEachStepOnceAsALineWhenNotATerminal) {
    EXPECT_EQ(Statuses(false, 0),
              "Check Disc & Tray Status...\n"
              "Waiting Drive Ready ...\n"
              "Programming ...\n"
              "Inquiry ...\n"
              "Done.\n");
    EXPECT_EQ(Statuses(false, 2),
              "ディスクとトレーの状態を確認中 ...\n"
              "ドライブが用意できるまで暫くお待ちください。 ...\n"
              "ファームウェアのアップデートが実行中\n"
              "ID Stringを確認中 ...\n"
              "終了しました。\n");
}

TEST(ConsoleView, RedrawsOneBarInPlaceAtATerminal) {
    std::string shown = Statuses(true, 0);
    EXPECT_EQ(shown.find('\n'), std::string::npos);
    EXPECT_NE(shown.find("\r[                              ]   Programming ....."),
              std::string::npos);
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
