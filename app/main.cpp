// brenvo: the firmware updater's window. It runs on the emulated PC named by BRENVO_MACHINE;
// the emulated PC's state is written back when the program ends.
//
// SIGINT, SIGTERM and SIGHUP end it only while no flash is being written (exit status 4 when
// they end it with nothing written).
//
// BRENVO_UNATTENDED=1 is for scripts: no message box or dialog waits for a person (a question
// counts as not answered), every message box the run asked for is written to stderr at the end,
// and the program ends by itself with brenvo-cli's exit status (engine/ExitStatus.h).
#include <unistd.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>
#include <string_view>
#include <vector>

#include "app/Application.h"
#include "app/Frmbrenvo.h"
#include "app/StopSignals.h"
#include "dialogs/Modal.h"
#include "dialogs/UiFonts.h"
#include "engine/ExitStatus.h"
#include "engine/ScriptedModal.h"
#include "engine/WindowCommandLine.h"
#include "package/PackageBlock.h"
#include "platform/MachineSession.h"
#include "platform/Trace.h"

namespace {
using engine::kExitUsage;
// No machine to run on, or its state could not be written back.
constexpr int kExitNoMachine = engine::kExitBadMachine;

// With root's rights the toolkit starts without the variables that would make it load code
// (engine::ToolkitVariableRefused); each one removed is named, so a user who had set it knows.
void ForgetToolkitPlugins() {
    std::vector<std::string> refused;
    for (char** entry = environ; *entry; ++entry) {
        const std::string_view variable(*entry);
        const size_t equals = variable.find('=');
        if (equals == std::string_view::npos) continue;
        if (engine::ToolkitVariableRefused(variable.substr(0, equals), variable.substr(equals + 1)))
            refused.emplace_back(variable.substr(0, equals));
    }
    for (const std::string& name : refused) {
        ::unsetenv(name.c_str());
        std::fprintf(stderr, "brenvo: with root's rights %s is not used\n", name.c_str());
    }
}

// In a scripted run the messages nobody saw go to stderr.
int Finish(bool unattended, int status) {
    return engine::FinishScripted<ui::Modal>(
        unattended, status, [](const QString& text) { return text.toStdString(); });
}
}  // namespace

int main(int argc, char** argv) {
    // The window takes its own options only, and answers --help, --version and anything else
    // before anything starts, display or machine. Qt's options (-platformpluginpath,
    // -platform, -style, ...) would load code of whoever wrote the command line (a bench's
    // restart entry, say) with root's rights: they are usage errors like any other word.
    const std::vector<std::string> parameters(argv, argv + argc);
    const engine::WindowCommand command = engine::ParseWindowCommandLine(parameters);
    if (command.start == engine::WindowStart::UsageError) {
        std::fprintf(stderr, "%s\n", command.text.c_str());
        return kExitUsage;
    }
    if (command.start != engine::WindowStart::Run) {
        std::fputs((command.text + (command.text.back() == '\n' ? "" : "\n")).c_str(), stdout);
        return 0;
    }
    if (geteuid() == 0) ForgetToolkitPlugins();
    // Qt sees the program's name and nothing else; the window reads its checked command line.
    int toolkitArgc = 1;
    char* toolkitArgv[] = {argv[0], nullptr};
    app::BrenvoApplication application(toolkitArgc, toolkitArgv);
    ui::InstallFontSubstitutes();
    app::InstallMessageBoxHandler();
    const bool unattended = qEnvironmentVariableIntValue("BRENVO_UNATTENDED") == 1;
    ui::Modal::SetUnattended(unattended);
    // A signal never cuts a flash: it ends the window only while nothing is being written.
    app::StopSignals stopSignals;

    platform::MachineSession session;
    std::string error;
    if (!session.Open(error)) {
        ui::Modal::Message(nullptr, ui::MessageKind::Error, app::kApplicationTitle,
                           QString::fromStdString(error));
        return Finish(unattended, kExitNoMachine);
    }

    // Without script mode the run's messages have said how it ended, and the program ends 0.
    int status = engine::kExitOk;
    try {
        package::Package package(package::OwnBlock());
        app::TBrenvoMain main(package, parameters, session.DirectIdePath());
        // Signals look at the window's gate exactly while the window lives.
        struct Watching {
            app::StopSignals& stops;
            ~Watching() { stops.Watch(nullptr); }
        } watching{stopSignals};
        stopSignals.Watch(&main.Engine().Gate());
        main.SetScriptMode(unattended);
        if (!main.TerminateRequested()) {
            main.show();
            application.exec();
        }
        stopSignals.TakeAnswers();
        main.FormDestroy();
        if (unattended) status = main.ExitStatus();
    } catch (const std::exception& e) {
        app::ReportException(QString::fromStdString(e.what()));
        if (unattended) status = engine::kExitFlashFailed;
    } catch (...) {
        app::ReportException(QString());
        if (unattended) status = engine::kExitFlashFailed;
    }

    if (!session.Finish(error)) {
        error[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(error[0])));
        ui::Modal::Message(nullptr, ui::MessageKind::Error, app::kApplicationTitle,
                           QString::fromStdString(error));
        return Finish(unattended, kExitNoMachine);
    }
    if (std::string lost = platform::Trace::Problem(); !lost.empty()) {
        ui::Modal::Message(nullptr, ui::MessageKind::Error, app::kApplicationTitle,
                           QString::fromStdString(lost));
        return Finish(unattended, kExitNoMachine);
    }
    // A signal that ended the run before its flash says so in the status, as the console's does.
    if (stopSignals.ExitStatus() != 0) status = stopSignals.ExitStatus();
    return Finish(unattended, status);
}
