// brenvo: the firmware updater's window. It runs on the emulated PC named by BRENVO_MACHINE;
// the emulated PC's state is written back when the program ends.
//
// SIGINT, SIGTERM and SIGHUP end it only while no flash is being written (exit status 4 when
// they end it with nothing written).
//
// BRENVO_UNATTENDED=1 is for scripts: no message box or dialog waits for a person (a question
// counts as not answered), every message box the run asked for is written to stderr at the end,
// and the program ends by itself with brenvo-cli's exit status (engine/ExitStatus.h).
#include <cctype>
#include <cstdio>
#include <exception>
#include <string>
#include <vector>

#include "app/Application.h"
#include "app/Frmbrenvo.h"
#include "app/StopSignals.h"
#include "dialogs/Modal.h"
#include "dialogs/UiFonts.h"
#include "engine/ExitStatus.h"
#include "engine/WindowCommandLine.h"
#include "package/PackageBlock.h"
#include "platform/MachineSession.h"
#include "platform/Trace.h"

namespace {
// A command line the window does not take.
constexpr int kExitUsage = 2;
// No machine to run on, or its state could not be written back.
constexpr int kExitNoMachine = engine::kExitBadMachine;

const char* KindName(ui::MessageKind kind) {
    switch (kind) {
        case ui::MessageKind::Warning:
            return "warning";
        case ui::MessageKind::Information:
            return "information";
        case ui::MessageKind::Confirmation:
            return "question";
        case ui::MessageKind::Error:
            break;
    }
    return "error";
}

// In a scripted run the messages nobody saw go to stderr.
int Finish(bool unattended, int status) {
    if (unattended) {
        for (const ui::ShownMessage& message : ui::Modal::Messages())
            std::fprintf(stderr, "brenvo: %s: %s\n", KindName(message.kind),
                         qPrintable(message.text));
    }
    return status;
}
}  // namespace

int main(int argc, char** argv) {
    // --help and --version are answered before anything starts, display or machine.
    engine::WindowCommand command =
        engine::ParseWindowCommandLine(std::vector<std::string>(argv, argv + argc));
    if (command.start == engine::WindowStart::Help ||
        command.start == engine::WindowStart::Version) {
        std::fputs((command.text + (command.text.back() == '\n' ? "" : "\n")).c_str(), stdout);
        return 0;
    }
    app::BrenvoApplication application(argc, argv);
    // Qt has taken its own options (-platform, -style, ...); what is left must be the window's.
    std::vector<std::string> parameters;
    for (const QString& parameter : QCoreApplication::arguments())
        parameters.push_back(parameter.toStdString());
    command = engine::ParseWindowCommandLine(parameters);
    if (command.start == engine::WindowStart::UsageError) {
        std::fprintf(stderr, "%s\n", command.text.c_str());
        return kExitUsage;
    }
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
        app::TBrenvoMain main(package);
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
