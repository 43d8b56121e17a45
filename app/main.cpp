// brenvo: the firmware updater's window. It runs on the emulated PC named by BRENVO_MACHINE;
// the emulated PC's state is written back when the program ends.
//
// BRENVO_UNATTENDED=1 is for scripts: no message box or dialog waits for a person (a question
// counts as not answered), every message box the run asked for is written to stderr at the end,
// and the program ends by itself with brenvo-cli's exit status (engine/ExitStatus.h).
#include <cstdio>
#include <exception>
#include <string>

#include "app/Application.h"
#include "app/Frmbrenvo.h"
#include "dialogs/Modal.h"
#include "dialogs/UiFonts.h"
#include "engine/ExitStatus.h"
#include "package/PackageBlock.h"
#include "platform/MachineSession.h"

namespace {
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
    app::BrenvoApplication application(argc, argv);
    ui::InstallFontSubstitutes();
    app::InstallMessageBoxHandler();
    const bool unattended = qEnvironmentVariableIntValue("BRENVO_UNATTENDED") == 1;
    ui::Modal::SetUnattended(unattended);

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
        main.SetScriptMode(unattended);
        if (!main.TerminateRequested()) {
            main.show();
            application.exec();
        }
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
        ui::Modal::Message(
            nullptr, ui::MessageKind::Error, app::kApplicationTitle,
            QString::fromStdString("The emulated PC's state could not be saved: " + error));
        return Finish(unattended, kExitNoMachine);
    }
    return Finish(unattended, status);
}
