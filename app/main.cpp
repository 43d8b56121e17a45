// brenvo: the firmware updater's window. It runs on the emulated PC named by BRENVO_MACHINE;
// the emulated PC's state is written back when the program ends.
#include <QMessageBox>
#include <cstdio>
#include <exception>
#include <string>

#include "app/Application.h"
#include "app/Frmbrenvo.h"
#include "dialogs/Modal.h"
#include "dialogs/UiFonts.h"
#include "package/PackageBlock.h"
#include "platform/MachineSession.h"

namespace {
// No machine to run on, or its state could not be written back.
constexpr int kExitNoMachine = 6;
}  // namespace

int main(int argc, char** argv) {
    app::BrenvoApplication application(argc, argv);
    ui::InstallFontSubstitutes();
    app::InstallMessageBoxHandler();

    platform::MachineSession session;
    std::string error;
    if (!session.Open(error)) {
        ui::Modal::Message(nullptr, ui::MessageKind::Error, app::kApplicationTitle,
                           QString::fromStdString(error));
        return kExitNoMachine;
    }

    try {
        package::Package package(package::OwnBlock());
        app::TBrenvoMain main(package);
        if (!main.TerminateRequested()) {
            main.show();
            application.exec();
        }
    } catch (const std::exception& e) {
        app::ReportException(QString::fromStdString(e.what()));
    } catch (...) {
        app::ReportException(QString());
    }

    if (!session.Finish(error)) {
        ui::Modal::Message(
            nullptr, ui::MessageKind::Error, app::kApplicationTitle,
            QString::fromStdString("The emulated PC's state could not be saved: " + error));
        return kExitNoMachine;
    }
    return 0;
}
