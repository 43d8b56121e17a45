// brenvo.exe: the firmware updater's window on Windows. On this computer it flashes the drives the
// package takes; with BRENVO_MACHINE it runs on the emulated PC of that bench file, whose state is
// written back when the program ends.
//
// BRENVO_UNATTENDED=1 is for scripts: no message box or dialog waits for a person (a question
// counts as not answered), every message box the run asked for is written to stderr at the end,
// and the program ends by itself with brenvo-cli's exit status (engine/ExitStatus.h).
#include <windows.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>
#include <vector>

#include "common/CommandLine.h"
#include "common/Environment.h"
#include "engine/ExitStatus.h"
#include "engine/ScriptedModal.h"
#include "engine/WindowCommandLine.h"
#include "package/PackageBlock.h"
#include "platform/MachineSession.h"
#include "platform/Trace.h"
#include "win32/MainWindow.h"
#include "win32/Modal.h"

namespace {

using engine::kExitUsage;
// No machine to run on, or its state could not be written back.
constexpr int kExitNoMachine = engine::kExitBadMachine;

// In a scripted run the messages nobody saw go to stderr.
int Finish(bool unattended, int status) {
    return engine::FinishScripted<win32ui::Modal>(unattended, status,
                                                  [](const std::string& text) { return text; });
}

// The text of the error report: the error's own words ending in a full stop, or a plain sentence
// for an error without words.
void ReportException(std::string what) {
    while (!what.empty() && (what.back() == ' ' || what.back() == '\n'))
        what.pop_back();
    if (what.empty()) what = "An unexpected error occurred.";
    char last = what.back();
    if (last != '.' && last != '!' && last != '?') what += '.';
    win32ui::Modal::Message(nullptr, win32ui::MessageKind::Error, win32ui::kApplicationTitle, what);
}

}  // namespace

int main(int argc, char** argv) {
    win32ui::InstallMessageBoxHandler();
    const bool unattended = common::EnvironmentValue("BRENVO_UNATTENDED") == "1";
    win32ui::Modal::SetUnattended(unattended);

    // A window program has no console to print to: its help, version and usage errors are
    // message boxes, shown before any drive is touched.
    const std::vector<std::string> parameters = common::Arguments(argc, argv);
    engine::WindowCommand command = engine::ParseWindowCommandLine(parameters);
    if (command.start != engine::WindowStart::Run) {
        const bool refused = command.start == engine::WindowStart::UsageError;
        win32ui::Modal::Message(
            nullptr, refused ? win32ui::MessageKind::Error : win32ui::MessageKind::Information,
            win32ui::kApplicationTitle, command.text);
        return Finish(unattended, refused ? kExitUsage : 0);
    }

    platform::MachineSession session;
    std::string error;
    if (!session.Open(error)) {
        win32ui::Modal::Message(nullptr, win32ui::MessageKind::Error, win32ui::kApplicationTitle,
                                error);
        return Finish(unattended, kExitNoMachine);
    }

    // Without script mode the run's messages have said how it ended, and the program ends 0.
    int status = engine::kExitOk;
    try {
        package::Package package(package::OwnBlock());
        win32ui::TBrenvoMain main(package, parameters, session.DirectIdePath());
        main.SetScriptMode(unattended);
        if (!main.TerminateRequested()) {
            main.FormShow();
            win32ui::RunLoop();
        }
        main.FormDestroy();
        // A refused direct-IDE package ends as the failure it is, script or not.
        if (unattended || main.DirectIdeRefused()) status = main.ExitStatus();
    } catch (const std::exception& e) {
        ReportException(e.what());
        if (unattended) status = engine::kExitFlashFailed;
    } catch (...) {
        ReportException("");
        if (unattended) status = engine::kExitFlashFailed;
    }

    if (!session.Finish(error)) {
        error[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(error[0])));
        win32ui::Modal::Message(nullptr, win32ui::MessageKind::Error, win32ui::kApplicationTitle,
                                error);
        return Finish(unattended, kExitNoMachine);
    }
    if (std::string lost = platform::Trace::Problem(); !lost.empty()) {
        win32ui::Modal::Message(nullptr, win32ui::MessageKind::Error, win32ui::kApplicationTitle,
                                lost);
        return Finish(unattended, kExitNoMachine);
    }
    return Finish(unattended, status);
}
