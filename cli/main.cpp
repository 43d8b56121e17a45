// brenvo-cli: the Brenvo engine for terminals and scripts.
#include <unistd.h>

#include <cstdio>
#include <iostream>
#include <string>
#include <vector>

#include "cli/ConsoleOutput.h"
#include "cli/ConsoleView.h"
#include "cli/RunReport.h"
#include "cli/StopSignals.h"
#include "common/CommandLine.h"
#include "common/Text.h"
#include "device/HiTimer.h"
#include "device/SystemInfo.h"
#include "engine/Recovery.h"
#include "engine/RestartCheck.h"
#include "engine/RunHistory.h"
#include "engine/UpdateEngine.h"
#include "package/Package.h"
#include "package/PackageFile.h"
#include "platform/MachineSession.h"
#include "platform/MessageBox.h"
#include "platform/System.h"
#include "platform/Trace.h"

namespace {

using namespace cli;

using engine::kCheckSwitch;

constexpr char kProgram[] = "brenvo-cli";
// How many runs `history` shows people; --json gives them all.
constexpr size_t kHistoryShown = 20;

// What `update` takes besides the global options; both helps show it.
constexpr char kUpdateOptions[] =
    "  --drive N        update drive N of the list (from 0; default: the selected one,\n"
    "                   the last drive the package may update)\n"
    "  --yes, --no      answer the update's questions; before it writes, an update asks\n"
    "                   once, naming each drive and the change (Enter alone is no).\n"
    "                   Without them the questions are asked at the terminal, and with\n"
    "                   no terminal the update is refused and no drive is changed.\n"
    "                   --yes does not answer for the two steps beyond the flash:\n"
    "  --reboot         restart the computer when the package asks to after its update;\n"
    "                   without it the run ends saying that a restart is needed (at a\n"
    "                   terminal with neither --yes nor --no the question is asked)\n"
    "  --no-reboot      never restart, also where the package restarts without asking\n"
    "  --force          flash a drive that already has the package's revision or a newer\n"
    "                   one; without it such a drive is left alone (\"already QV12\")\n"
    "  --dry-run        say for each drive what the update would do; asks nothing and\n"
    "                   writes nothing (status 0 when it would update a drive, else 3)\n"
    "  --recover        write the package's image again to a drive left in its boot\n"
    "                   loader by a cut flash (drive N, or the one such drive); only a\n"
    "                   drive that shows both loader signs and that exactly one image\n"
    "                   names by maker and model, never by an unattended package; asks\n"
    "                   first (--yes answers it)\n";

constexpr char kEnvironmentAndStatus[] =
    "Environment:\n"
    "  BRENVO_MACHINE=bench.json   run on the emulated PC of a bench file (brenvo-bench new)\n"
    "  BRENVO_TRACE=file           record every command sent, one JSON line each\n"
    "\n"
    "Exit status: 0 success (every chosen drive flashed), 1 the flash failed, 2 bad\n"
    "usage, 3 no drive to update (also when every chosen drive is already up to date),\n"
    "4 declined or refused (a question answered no or unanswered, a refusal, access\n"
    "denied, a chosen drive left unflashed, a drive held by another program), 5 bad\n"
    "package, 6 bad machine (bench file), 7 the outcome is unknown (a drive did not confirm its\n"
    "commit in time), 8 a direct-IDE package on a system that has no flash driver for it\n"
    "(Linux), 9 a direct-IDE package on a 64-bit Windows (its driver is 32-bit only).\n"
    "\n"
    "Ctrl+C, SIGTERM and SIGHUP end a run only before its flash begins (nothing written, exit\n"
    "status 4). Once a drive is being written they are answered once and the run ends with its\n"
    "true verdict when the drive has finished, without restarting the computer. Sleep and\n"
    "shutdown are held off while the flash is written.\n";

constexpr char kPackageOption[] =
    "  --package FILE   use the package carried by FILE (any packaged Brenvo program)\n"
    "                   instead of this program's own\n";

std::string Usage() {
    return std::string(
               "usage: brenvo-cli [--package FILE] COMMAND [options]\n"
               "       brenvo-cli COMMAND --help\n"
               "       brenvo-cli --version\n"
               "\n"
               "Commands:\n"
               "  list       list the drives, and for each whether the package may update it\n"
               "  update     update the selected drive (or, for an unattended package, every "
               "drive\n"
               "             the package takes) as the package's options say\n"
               "  package    show the firmware package this run would use and whether it is "
               "usable\n"
               "  machine    show the machine this run acts on (platform, rights, clock)\n"
               "  history    show the record of the last runs that wrote to a drive, newest "
               "first\n"
               "             (--json: every record, one JSON object a line, oldest first)\n"
               "  /QVCHECK N REVISION\n"
               "             after a restart: check that drive N of the list now reports REVISION\n"
               "             (what an OEM wizard package registers to run once after its update)\n"
               "\n"
               "Options:\n") +
           kPackageOption + "\nOptions of update:\n" + kUpdateOptions + "\n" +
           kEnvironmentAndStatus;
}

// The help of one command; empty for a word that is no command.
std::string CommandUsage(const std::string& command) {
    std::string head = "usage: brenvo-cli [--package FILE] " + command;
    std::string text;
    if (command == "list") {
        text = head +
               "\n\nLists the drives of the machine; the selected one is marked *. For each drive\n"
               "it says whether the package may update it, and from which revision to which.\n";
    } else if (command == "update") {
        text =
            head +
            " [--drive N] [--yes|--no] [--reboot|--no-reboot] [--force] [--dry-run|--recover]\n\n"
            "Updates the selected drive (or, for an unattended package, every drive the package\n"
            "takes) as the package's options say, and reports for each chosen drive whether it\n"
            "was flashed and what it reports now.\n\nOptions:\n" +
            kUpdateOptions;
    } else if (command == "package") {
        text = head +
               "\n\nShows the firmware package this run would use (its texts, option digits,\n"
               "images and revision ranges) and whether it is usable. Touches no drive.\n";
    } else if (command == "machine") {
        text = head +
               "\n\nShows the machine this run acts on: this computer or an emulated PC, its\n"
               "platform, whether this user may send commands to drives, and the stopwatch.\n";
    } else if (command == "history") {
        text = head +
               " [--json]\n\n"
               "Shows the record of the last runs that wrote to a drive on this machine, newest\n"
               "first: when, which program and package, each drive from which revision to which,\n"
               "and the verdict with its reason. With --json, every record as the file keeps it,\n"
               "one JSON object a line, oldest first. Touches no drive.\n";
    } else if (command == kCheckSwitch) {
        text =
            "usage: brenvo-cli /QVCHECK N REVISION\n\n"
            "After a restart: checks that drive N of the list now reports REVISION (what an\n"
            "OEM wizard package registers to run once after its update). The entry it\n"
            "registers also names the updated drive's maker and model, in hexadecimal, after\n"
            "REVISION; another drive at index N then fails the check.\n";
    } else {
        return "";
    }
    return text + "\nOptions:\n" + kPackageOption + "\n" + kEnvironmentAndStatus;
}

struct Options {
    std::string packageFile;
    std::string command;
    engine::CheckRequest check;
    int drive = -1;
    cli::Answers answers = cli::Answers::Ask;
    cli::Restart restart = cli::Restart::Ask;
    bool force = false;
    bool dryRun = false;
    bool json = false;
    bool recover = false;
    bool help = false;
    bool version = false;
};

bool IsCommand(const std::string& word) {
    return word == "list" || word == "update" || word == "package" || word == "machine" ||
           word == "history";
}

// Reads the command line into `o`; on a usage error returns what was wrong, in a few words.
std::string ParseArgs(const std::vector<std::string>& args, Options& o) {
    for (size_t i = 1; i < args.size(); ++i) {
        if (args[i] == "--help" || args[i] == "-h") o.help = true;
        if (args[i] == "--version") o.version = true;
    }
    if (args.size() > 1 && args[1] == kCheckSwitch) {
        o.command = kCheckSwitch;
        if (o.help) return "";
        o.check = engine::ParseCheckCommandLine(args);
        return o.check.requested ? "" : "/QVCHECK takes a drive index and a revision";
    }
    for (size_t i = 1; i < args.size(); ++i) {
        const std::string& a = args[i];
        const bool hasValue = i + 1 < args.size();
        if (a == "--help" || a == "-h" || a == "--version") {
            continue;
        } else if (a == "--package") {
            if (!hasValue) return "--package needs the file that carries the package";
            o.packageFile = args[++i];
        } else if (a == "--drive") {
            if (!hasValue) return "--drive needs a drive number of the list";
            const std::string& n = args[++i];
            if (n.empty() || n.find_first_not_of("0123456789") != std::string::npos ||
                n.size() > 2) {
                return "--drive takes a drive number of the list (0 to 15), not \"" + n + "\"";
            }
            o.drive = std::stoi(n);
        } else if (a == "--yes" || a == "--no") {
            auto answer = a == "--yes" ? cli::Answers::Yes : cli::Answers::No;
            if (o.answers != cli::Answers::Ask && o.answers != answer)
                return "--yes and --no cannot both be given";
            o.answers = answer;
        } else if (a == "--reboot" || a == "--no-reboot") {
            auto restart = a == "--reboot" ? cli::Restart::Yes : cli::Restart::No;
            if (o.restart != cli::Restart::Ask && o.restart != restart)
                return "--reboot and --no-reboot cannot both be given";
            o.restart = restart;
        } else if (a == "--force") {
            o.force = true;
        } else if (a == "--dry-run") {
            o.dryRun = true;
        } else if (a == "--json") {
            o.json = true;
        } else if (a == "--recover") {
            o.recover = true;
        } else if (!a.empty() && a[0] == '-') {
            return "unknown option " + a;
        } else if (!o.command.empty()) {
            return "one command at a time (" + o.command + ", then " + a + ")";
        } else if (!IsCommand(a)) {
            return "unknown command \"" + a +
                   "\" (the commands: list, update, package, machine, history)";
        } else {
            o.command = a;
        }
    }
    if (o.help || o.version) return "";
    if (o.command.empty()) return "no command given";
    if (o.command != "update" && o.drive >= 0) return "--drive is an option of update";
    if (o.command != "update" && o.answers != cli::Answers::Ask)
        return "--yes and --no are options of update";
    if (o.command != "update" &&
        (o.restart != cli::Restart::Ask || o.force || o.dryRun || o.recover))
        return "--reboot, --no-reboot, --force, --dry-run and --recover are options of update";
    if (o.dryRun && o.recover)
        return "--dry-run and --recover cannot both be given (--dry-run says what --recover could "
               "do)";
    if (o.command != "history" && o.json) return "--json is an option of history";
    return "";
}

// The block of the package this run uses: this program's own, or a copy of another program's.
bool LoadBlock(const std::string& file, std::vector<uint8_t>& storage, std::span<uint8_t>& block,
               std::string& error) {
    if (file.empty()) {
        block = package::OwnBlock();
        return true;
    }
    try {
        storage = package::ReadPackageBlock(file);
    } catch (const std::exception& e) {
        error = e.what();
        return false;
    }
    block = storage;
    return true;
}

// The history of runs of this machine, for people or (`json`) for scripts.
int ShowHistory(bool json) {
    const std::string file = platform::CurrentSystem().HistoryFile();
    if (file.empty()) {
        std::cerr << "brenvo-cli: this machine keeps no history of runs (an emulated PC without a "
                     "bench file)\n";
        return kExitBadMachine;
    }
    std::string problem;
    auto history = engine::ReadHistory(file, problem);
    if (!history) {
        std::cerr << "brenvo-cli: the history cannot be read: " << common::ShownText(problem)
                  << "\n";
        return kExitBadMachine;
    }
    if (json) {
        for (const auto& record : history->records)
            std::cout << record.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace)
                      << "\n";
        return kExitOk;
    }
    std::cout << "History of runs (" << common::ShownText(file) << "), newest first:\n"
              << engine::HistoryForPeople(*history, kHistoryShown);
    return kExitOk;
}

int ShowMachine(const platform::MachineSession& session) {
    auto& system = platform::CurrentSystem();
    device::OSInfo info;
    device::HiTimer timer;
    std::cout << "Machine:        " << system.Describe() << "\n";
    // On Linux the backend says it in this computer's own terms: no Windows platform family,
    // no administrators group, but the user and each drive's node.
    const auto report = session.MachineReport();
    for (const auto& [label, text] : report) {
        std::string head = label + ":";
        std::cout << head << std::string(head.size() < 16 ? 16 - head.size() : 1, ' ') << text
                  << "\n";
    }
    if (report.empty()) {
        std::cout << "Platform:       "
                  << (info.IsNtFamily() ? "NT family" : "older Windows family") << "\n";
        if (info.IsNtFamily()) {
            std::cout << "Administrator:  " << (device::IsAdministrator(info) ? "yes" : "no")
                      << "\n";
        } else {
            std::cout << "Administrator:  (not checked on the older family)\n";
        }
    }
    if (timer.unavailable) {
        std::cout << "Stopwatch:      no performance counter (waits sleep instead)\n";
    } else {
        std::cout << "Stopwatch:      " << timer.frequency << " counts per second\n";
    }
    return kExitOk;
}

void PrintList(engine::UpdateEngine& engine, const platform::MachineSession& session) {
    const auto& lines = engine.ListLines();
    if (lines.empty()) std::cout << "No drives.\n";
    for (int item = 0; item < static_cast<int>(lines.size()); ++item) {
        const device::DriveRecord* r = engine.ListedDrive(item);
        std::string node = r ? session.DeviceNode(engine::FieldText(r->rootPath)) : "";
        std::cout << (item == engine.SelectedItem() ? "* " : "  ") << item << "  " << lines[item]
                  << (node.empty() ? "" : "  " + node) << "\n";
        if (!r || !r->matched) {
            const std::string loader =
                r ? engine::LoaderDriveText(engine::FindRecovery(*r, engine.Package()), item) : "";
            std::cout << "       " << (loader.empty() ? "not supported by this package" : loader)
                      << "\n";
            continue;
        }
        auto& package = engine.Package();
        std::cout << "       image " << r->imageIndex + 1 << ": "
                  << (engine.Form().Long() ? engine::ShownField(r->driveTag)
                                           : engine::ShownField(r->revision))
                  << " -> " << package.NewRevisionLabel(r->imageIndex + 1);
        if (r->driveNewer) std::cout << "  (the drive's firmware is newer)";
        if (r->sameRevision) std::cout << "  (the drive already has this revision)";
        std::cout << "\n";
    }
}

// An attended run's drive: --drive N, or the selected one. Returns kExitOk, or the status to end
// with when there is no such drive.
int ChooseListItem(engine::UpdateEngine& engine, const Options& options) {
    if (engine.Options().unattended) {
        if (options.drive >= 0) {
            std::cout << "This package updates every drive it supports by itself; --drive is "
                         "not used.\n";
        }
        return kExitOk;
    }
    int item = options.drive >= 0 ? options.drive : engine.SelectedItem();
    if (item < 0 || item >= static_cast<int>(engine.ListLines().size())) {
        std::cerr << "brenvo-cli: there is no drive " << options.drive
                  << " in the list (brenvo-cli list shows them)\n";
        return kExitUsage;
    }
    engine.DrivesChange(item);
    return kExitOk;
}

// What an update would do with each drive; nothing is asked or written.
int DryRun(engine::UpdateEngine& engine, const Options& options) {
    if (int status = ChooseListItem(engine, options); status != kExitOk) return status;
    std::cout << "Dry run: nothing is asked and nothing is written.\n";
    bool updates = false;
    for (const engine::PlannedDrive& p : engine.PlanRun()) {
        const engine::DriveResult& d = p.drive;
        std::cout << (p.item == engine.SelectedItem() ? "* " : "  ") << p.item << "  " << d.line
                  << "\n       ";
        switch (p.plan) {
            case engine::DrivePlan::Update:
                updates = true;
                std::cout << "would be updated from " << d.oldRevision << " to "
                          << d.packageRevision
                          << (p.asks ? ", after a question (--yes answers it)" : "");
                break;
            case engine::DrivePlan::NotSupported: {
                const device::DriveRecord* r = engine.ListedDrive(p.item);
                const std::string loader =
                    r ? engine::LoaderDriveText(engine::FindRecovery(*r, engine.Package()), p.item)
                      : "";
                std::cout << "left alone: "
                          << (loader.empty() ? "not supported by this package" : loader);
                break;
            }
            case engine::DrivePlan::NotChosen:
                std::cout << "left alone: not chosen (--drive " << p.item << " chooses it)";
                break;
            case engine::DrivePlan::SkipCurrent:
                std::cout << "left alone: it already has the package's revision " << d.oldRevision;
                break;
            case engine::DrivePlan::UpToDate:
                std::cout << UpToDateText(d);
                break;
            case engine::DrivePlan::Beyond:
                std::cout << "left alone: the run takes no more drives";
                break;
        }
        std::cout << "\n";
    }
    const engine::RestartPlan restart = engine.PlanRestart();
    if (updates && restart.restarts) {
        std::cout << "After a successful update the package restarts the computer"
                  << (restart.asks ? " if asked to: --reboot says yes"
                                   : " without asking: --no-reboot holds it off")
                  << ".\n";
    }
    if (!updates) std::cerr << "brenvo-cli: no drive to update\n";
    return updates ? kExitOk : kExitNoDrive;
}

int Update(engine::UpdateEngine& engine, cli::ConsoleView& view, const Options& options) {
    const auto& o = engine.Options();
    if (int status = ChooseListItem(engine, options); status != kExitOk) return status;
    if (!o.unattended) {
        const int item = engine.SelectedItem();
        if (!engine.Revisions().matched) {
            std::cerr << "brenvo-cli: " << engine::RefusalText(o.language) << "\n";
            return kExitNoDrive;
        }
        const device::DriveRecord* record = engine.ListedDrive(item);
        if (record && !engine.LeavesAlone(*record)) {
            std::cout << "Updating " << engine.ListLines()[item] << "\n"
                      << engine.Revisions().message << " " << engine.Revisions().oldRevision
                      << " -> " << engine.Revisions().newRevision << "\n";
        }
    }
    engine.UpdateClick();
    view.RunUntilIdle(engine);
    // The engine has registered the OEM variant's check after the restart.
    if (o.uiVariant == 2 && engine.LastRun().end == engine::RunEnd::Succeeded)
        std::cout << "After the restart the drive is checked once more.\n";

    return ReportRun(engine.LastRun(), view.Unanswered(), std::cout, std::cerr);
}

// The recovery of a drive left in its boot loader: --drive N, or the one drive this package can
// recover. The question comes first, then the update's usual confirmations.
int Recover(engine::UpdateEngine& engine, cli::ConsoleView& view, const Options& options) {
    int item = options.drive;
    const int items = static_cast<int>(engine.ListLines().size());
    if (item >= items) {
        std::cerr << "brenvo-cli: there is no drive " << item
                  << " in the list (brenvo-cli list shows them)\n";
        return kExitUsage;
    }
    if (item < 0) {
        std::vector<int> loaders;
        for (int i = 0; i < items; ++i) {
            const device::DriveRecord* r = engine.ListedDrive(i);
            if (r && r->present && engine::InBootLoader(*r)) loaders.push_back(i);
        }
        if (loaders.empty()) {
            std::cerr << "brenvo-cli: no drive in the list is in its boot loader: there is "
                         "nothing to recover\n";
            return kExitNoDrive;
        }
        if (loaders.size() > 1) {
            std::cerr << "brenvo-cli: more than one drive is in its boot loader; say which one "
                         "with --drive N (brenvo-cli list shows them)\n";
            return kExitUsage;
        }
        item = loaders.front();
    }
    std::string reason;
    if (!engine.PrepareRecovery(item, reason)) {
        if (view.Unanswered()) return kExitDeclined;
        std::cerr << "brenvo-cli: not recovered: " << reason << "\n";
        const device::DriveRecord* r = engine.ListedDrive(item);
        return r && engine::InBootLoader(*r) ? kExitDeclined : kExitNoDrive;
    }
    std::cout << "Recovering " << engine.ListLines()[item] << "\n"
              << engine.Revisions().oldRevision << " -> " << engine.Revisions().newRevision << "\n";
    engine.UpdateClick();
    view.RunUntilIdle(engine);
    // The engine has registered the OEM variant's check after the restart.
    if (engine.Options().uiVariant == 2 && engine.LastRun().end == engine::RunEnd::Succeeded)
        std::cout << "After the restart the drive is checked once more.\n";
    return ReportRun(engine.LastRun(), view.Unanswered(), std::cout, std::cerr);
}

// The check after a restart.
int Check(engine::UpdateEngine& engine, const engine::CheckRequest& request) {
    if (engine.Options().uiVariant != 2) {
        std::cerr << "brenvo-cli: this package does not check drives after a restart (only the OEM "
                     "wizard variant does)\n";
        return kExitUsage;
    }
    engine::CheckResult result = engine::VerifyUpdate(engine, request);
    std::cout << "Verifying Firmware update.\n" << result.message << "\n";
    for (const auto& line : result.memo)
        std::cout << line << "\n";
    return engine::CheckExitStatus(result.outcome);
}

int RunEngine(std::span<uint8_t> block, const Options& options,
              const platform::MachineSession& session, engine::FlashGate& gate) {
    package::Package package(block);
    const bool terminal = isatty(STDIN_FILENO) && isatty(STDOUT_FILENO);
    cli::ConsoleView view(std::cin, std::cout, std::cerr, options.answers, terminal);
    view.SetGate(&gate);
    view.SetRestart(options.restart);
    engine::UpdateEngine engine(package, view, &gate);
    engine.SetLeaveUpToDate(!options.force);
    if (options.recover) engine.ForRecovery();
    view.SetLanguage(engine.ParsePackage().ok() ? package.Options().language : 0);
    if (const std::string& notice = engine.ParsePackage().notice; !notice.empty())
        std::cerr << "brenvo-cli: note: " << notice << "\n";
    engine.SetDirectIde(session.DirectIdePath());
    // Nothing is flashed by these: the notice is not asked.
    view.SetAcceptNotice(options.command == "list" || options.command == "check" || options.dryRun);
    // The core's own message boxes (the ASPI manager's) go to the console as well.
    auto previous = platform::SetMessageBoxHandler([&](const platform::MessageBoxRequest& r) {
        view.ShowMessage(engine::MessageKind::Error, r.text, r.caption);
    });
    engine::StartEnd start = engine.StartUp(options.check);
    int status;
    if (options.command == "check") {
        status = start == engine::StartEnd::Ready ? Check(engine, options.check)
                                                  : engine::StartExitStatus(start);
    } else if (options.command == "list") {
        if (start == engine::StartEnd::Ready || start == engine::StartEnd::NoMatchingDrive) {
            PrintList(engine, session);
        }
        status = engine::StartExitStatus(start);
    } else if (start != engine::StartEnd::Ready) {
        status = engine::StartExitStatus(start);
        if (view.Unanswered()) status = kExitDeclined;
    } else {
        status = options.recover  ? Recover(engine, view, options)
                 : options.dryRun ? DryRun(engine, options)
                                  : Update(engine, view, options);
    }
    platform::SetMessageBoxHandler(previous);
    return status;
}

}  // namespace

int main(int argc, char** argv) {
    // At a Windows console the texts go out as UTF-16, right in every code page; to a file or a
    // pipe, and on other systems, as the UTF-8 bytes they are.
    cli::ConsoleOutput consoleOut(std::cout, 1);
    cli::ConsoleOutput consoleErr(std::cerr, 2);
    // Piped or logged, every line goes out as it is written: a log of a run that dies is not
    // empty, and a script sees each step when it happens.
    if (!isatty(STDOUT_FILENO)) {
#ifdef _WIN32
        std::setvbuf(stdout, nullptr, _IONBF, 0);  // the C runtime has no line buffering
#else
        std::setvbuf(stdout, nullptr, _IOLBF, BUFSIZ);
#endif
    }
    Options options;
    const std::string wrong = ParseArgs(common::Arguments(argc, argv), options);
    if (!wrong.empty()) {
        const bool command = IsCommand(options.command) || options.command == kCheckSwitch;
        std::cerr << common::UsageErrorLine(
                         kProgram, wrong,
                         command ? std::string(kProgram) + " " + options.command + " --help" : "")
                  << "\n";
        return kExitUsage;
    }
    if (options.help) {
        std::cout << (options.command.empty() ? Usage() : CommandUsage(options.command));
        return kExitOk;
    }
    if (options.version) {
        std::cout << common::VersionLine(kProgram) << "\n";
        return kExitOk;
    }
    if (options.command == kCheckSwitch) options.command = "check";

    std::vector<uint8_t> storage;
    std::span<uint8_t> block;
    std::string error;
    if (!LoadBlock(options.packageFile, storage, block, error)) {
        std::cerr << "brenvo-cli: " << error << "\n";
        return kExitBadPackage;
    }
    if (options.command == "package") {
        bool usable = false;
        std::cout << "Package of "
                  << (options.packageFile.empty() ? "this program" : options.packageFile) << ":\n"
                  << package::DescribePackage(block, usable);
        return usable ? kExitOk : kExitBadPackage;
    }

    // From here on a stop request is put to the gate: it ends the program only while nothing is
    // being written, and the emulated PC's state is saved whenever a flash was.
    engine::FlashGate gate;
    cli::StopSignals stopSignals(gate);
    engine::SetHistoryProgram(kProgram);
    platform::MachineSession session;
    if (!session.Open(error, platform::MachineSession::FrontEnd::Console)) {
        std::cerr << "brenvo-cli: " << error << "\n";
        return kExitBadMachine;
    }
    int status = options.command == "machine"   ? ShowMachine(session)
                 : options.command == "history" ? ShowHistory(options.json)
                                                : RunEngine(block, options, session, gate);
    if (!session.Finish(error)) {
        std::cerr << "brenvo-cli: " << error << "\n";
        return kExitBadMachine;
    }
    // A trace asked for and cut short is said, and a run that passed otherwise does not pass.
    if (std::string lost = platform::Trace::Problem(); !lost.empty()) {
        std::cerr << "brenvo-cli: " << lost << "\n";
        if (status == kExitOk) return kExitBadMachine;
    }
    return status;
}
