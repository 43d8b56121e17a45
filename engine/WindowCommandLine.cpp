#include "engine/WindowCommandLine.h"

#include "common/CommandLine.h"
#include "engine/RestartCheck.h"

namespace engine {
namespace {
constexpr char kProgram[] = "brenvo";
constexpr char kUsage[] =
    "usage: brenvo\n"
    "       brenvo /QVCHECK N REVISION\n"
    "       brenvo --version\n"
    "\n"
    "The firmware updater's window: lists the drives of this computer that the firmware\n"
    "package carried by this program may update, and updates the chosen one.\n"
    "\n"
    "  /QVCHECK N REVISION   after a restart: the OEM wizard checks that drive N of the list\n"
    "                        now reports REVISION (what it registers to run after its update)\n"
    "\n"
    "Environment:\n"
    "  BRENVO_MACHINE=bench.json   run on the emulated PC of a bench file (brenvo-bench new)\n"
    "  BRENVO_TRACE=file           record every command sent, one JSON line each\n"
    "  BRENVO_UNATTENDED=1         for scripts: no message box waits for a person; the messages\n"
    "                              go to the error output when the program ends\n";
}  // namespace

WindowCommand ParseWindowCommandLine(const std::vector<std::string>& parameters) {
    WindowCommand command;
    for (size_t i = 1; i < parameters.size(); ++i) {
        if (parameters[i] == "--help" || parameters[i] == "-h" || parameters[i] == "/?") {
            command.start = WindowStart::Help;
            command.text = kUsage;
            return command;
        }
    }
    for (size_t i = 1; i < parameters.size(); ++i) {
        if (parameters[i] == "--version") {
            command.start = WindowStart::Version;
            command.text = common::VersionLine(kProgram);
            return command;
        }
    }
    if (parameters.size() <= 1 || ParseCheckCommandLine(parameters).requested) return command;
    command.start = WindowStart::UsageError;
    const std::string& first = parameters[1];
    std::string what;
    if (first == kCheckSwitch) {
        what = "/QVCHECK takes a drive index and a revision";
    } else if (!first.empty() && (first[0] == '-' || first[0] == '/')) {
        what = "unknown option " + first;
    } else {
        what = "the window takes no file or word (\"" + first + "\")";
    }
    command.text = common::UsageErrorLine(kProgram, what);
    return command;
}

}  // namespace engine
