// brenvo-cli: the Brenvo engine for terminals and scripts.
#include <unistd.h>

#include <cstring>
#include <iostream>
#include <string>
#include <vector>

#include "cli/ConsoleView.h"
#include "cli/RunReport.h"
#include "device/HiTimer.h"
#include "device/SystemInfo.h"
#include "engine/RestartCheck.h"
#include "engine/UpdateEngine.h"
#include "package/Package.h"
#include "platform/MachineSession.h"
#include "platform/MessageBox.h"
#include "platform/System.h"
#include "tools/pack/Packer.h"

namespace {

using namespace cli;

constexpr char kUsage[] =
    "usage: brenvo-cli [--package FILE] COMMAND [options]\n"
    "\n"
    "Commands:\n"
    "  list       list the drives, and for each whether the package may update it\n"
    "  update     update the selected drive (or, for an unattended package, every drive\n"
    "             the package takes) as the package's options say\n"
    "  package    show the firmware package this run would use and whether it is usable\n"
    "  machine    show the machine this run acts on (platform family, rights, clock)\n"
    "  /QVCHECK N REVISION\n"
    "             after a restart: check that drive N of the list now reports REVISION\n"
    "             (what an OEM wizard package registers to run once after its update)\n"
    "\n"
    "Options:\n"
    "  --package FILE   use the package carried by FILE (any packaged Brenvo program)\n"
    "                   instead of this program's own\n"
    "  --drive N        update drive N of the list (from 0; default: the selected one,\n"
    "                   the last drive the package may update)\n"
    "  --yes, --no      answer every question; without them the questions are asked at\n"
    "                   the terminal, and with no terminal the update is refused\n"
    "\n"
    "Environment:\n"
    "  BRENVO_MACHINE=bench.json   run on the emulated PC of a bench file (brenvo-bench new)\n"
    "  BRENVO_TRACE=file           record every command sent, one JSON line each\n"
    "\n"
    "Exit status: 0 success (every chosen drive flashed), 1 the flash failed, 2 bad\n"
    "usage, 3 no drive to update, 4 declined or refused (a question answered no or\n"
    "unanswered, a refusal, access denied, a drive another program holds, a chosen drive\n"
    "left unflashed), 5 bad package, 6 bad machine (bench file), 7 the outcome is unknown\n"
    "(a drive did not confirm its commit in time), 8 a direct-IDE package on a system that\n"
    "has no flash driver for it (Linux).\n";

struct Options {
    std::string packageFile;
    std::string command;
    engine::CheckRequest check;
    int drive = -1;
    cli::Answers answers = cli::Answers::Ask;
};

bool ParseArgs(int argc, char** argv, Options& o) {
    o.check = engine::ParseCheckCommandLine(std::vector<std::string>(argv, argv + argc));
    if (o.check.requested) {
        o.command = "check";
        return true;
    }
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        if (a == "--package" && i + 1 < argc) {
            o.packageFile = argv[++i];
        } else if (a == "--drive" && i + 1 < argc) {
            std::string n = argv[++i];
            if (n.empty() || n.find_first_not_of("0123456789") != std::string::npos ||
                n.size() > 2) {
                return false;
            }
            o.drive = std::stoi(n);
        } else if (a == "--yes" && o.answers == cli::Answers::Ask) {
            o.answers = cli::Answers::Yes;
        } else if (a == "--no" && o.answers == cli::Answers::Ask) {
            o.answers = cli::Answers::No;
        } else if (!a.empty() && a[0] != '-' && o.command.empty()) {
            o.command = a;
        } else {
            return false;
        }
    }
    if (o.command != "update" && (o.drive >= 0 || o.answers != cli::Answers::Ask)) return false;
    return o.command == "list" || o.command == "update" || o.command == "package" ||
           o.command == "machine";
}

// The block of the package this run uses: this program's own, or a copy of another program's.
bool LoadBlock(const std::string& file, std::vector<uint8_t>& storage, std::span<uint8_t>& block,
               std::string& error) {
    if (file.empty()) {
        block = package::OwnBlock();
        return true;
    }
    try {
        storage = pack::ReadPackageBlock(file);
    } catch (const std::exception& e) {
        error = e.what();
        return false;
    }
    block = storage;
    return true;
}

int ShowMachine() {
    auto& system = platform::CurrentSystem();
    device::OSInfo info;
    device::HiTimer timer;
    std::cout << "Machine:        " << system.Describe() << "\n";
    std::cout << "Platform:       " << (info.IsNtFamily() ? "NT family" : "older Windows family")
              << "\n";
    if (info.IsNtFamily()) {
        std::cout << "Administrator:  " << (device::IsAdministrator(info) ? "yes" : "no") << "\n";
    } else {
        std::cout << "Administrator:  (not checked on the older family)\n";
    }
    if (timer.unavailable) {
        std::cout << "Stopwatch:      no performance counter (waits sleep instead)\n";
    } else {
        std::cout << "Stopwatch:      " << timer.frequency << " counts per second\n";
    }
    return kExitOk;
}

int StartExit(engine::StartEnd end) {
    switch (end) {
        case engine::StartEnd::Ready:
            return kExitOk;
        case engine::StartEnd::NoFirmware:
        case engine::StartEnd::DamagedPackage:
            return kExitBadPackage;
        case engine::StartEnd::DeviceFailed:
            return kExitFlashFailed;
        case engine::StartEnd::AccessDenied:
        case engine::StartEnd::NoticeDeclined:
        case engine::StartEnd::DriveHeld:
            return kExitDeclined;
        case engine::StartEnd::NoMatchingDrive:
            return kExitNoDrive;
    }
    return kExitFlashFailed;
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
            std::cout << "       not supported by this package\n";
            continue;
        }
        auto& package = engine.Package();
        std::cout << "       image " << r->imageIndex + 1 << ": "
                  << (engine.Form().Long() ? engine::FieldText(r->driveTag)
                                           : engine::FieldText(r->revision))
                  << " -> " << package.NewRevisionLabel(r->imageIndex + 1);
        if (r->driveNewer) std::cout << "  (the drive's firmware is newer)";
        if (r->sameRevision) std::cout << "  (the drive already has this revision)";
        std::cout << "\n";
    }
}

int Update(engine::UpdateEngine& engine, cli::ConsoleView& view, const Options& options) {
    const auto& o = engine.Options();
    if (o.unattended) {
        if (options.drive >= 0) {
            std::cout << "This package updates every drive it supports by itself; --drive is "
                         "not used.\n";
        }
    } else {
        int item = options.drive >= 0 ? options.drive : engine.SelectedItem();
        if (item < 0 || item >= static_cast<int>(engine.ListLines().size())) {
            std::cerr << "brenvo-cli: there is no drive " << options.drive
                      << " in the list (brenvo-cli list shows them)\n";
            return kExitUsage;
        }
        engine.DrivesChange(item);
        if (!engine.Revisions().matched) {
            std::cerr << "brenvo-cli: " << engine::RefusalText(o.language) << "\n";
            return kExitNoDrive;
        }
        std::cout << "Updating " << engine.ListLines()[item] << "\n"
                  << engine.Revisions().message << " " << engine.Revisions().oldRevision << " -> "
                  << engine.Revisions().newRevision << "\n";
    }
    engine.UpdateClick();
    view.RunUntilIdle(engine);
    if (o.uiVariant == 2 && engine.LastRun().end == engine::RunEnd::Succeeded) {
        // The OEM variant checks the drive once more after the restart.
        engine::WriteRestartCheck(engine.SelectedItem(), engine.Revisions().newRevision);
        std::cout << "After the restart the drive is checked once more.\n";
    }

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
    return result.outcome == engine::CheckOutcome::Matches ? kExitOk : kExitFlashFailed;
}

int RunEngine(std::span<uint8_t> block, const Options& options,
              const platform::MachineSession& session) {
    package::Package package(block);
    const bool terminal = isatty(STDIN_FILENO) && isatty(STDOUT_FILENO);
    cli::ConsoleView view(std::cin, std::cout, std::cerr, options.answers, terminal);
    engine::UpdateEngine engine(package, view);
    view.SetLanguage(engine.ParsePackage().ok() ? package.Options().language : 0);
    if (engine.ParsePackage().ok() && package.Options().directIde &&
        !session.DirectIdeAvailable()) {
        std::cerr << "brenvo-cli: this package flashes drives through the direct-IDE flash driver, "
                     "which exists only for Windows; it cannot update drives on this system.\n";
        return kExitNoFlashDriver;
    }
    view.SetAcceptNotice(options.command == "list" || options.command == "check");
    // The core's own message boxes (the ASPI manager's) go to the console as well.
    auto previous = platform::SetMessageBoxHandler([&](const platform::MessageBoxRequest& r) {
        view.ShowMessage(engine::MessageKind::Error, r.text, r.caption);
    });
    engine::StartEnd start = engine.StartUp();
    int status;
    if (options.command == "check") {
        status = start == engine::StartEnd::Ready ? Check(engine, options.check) : StartExit(start);
    } else if (options.command == "list") {
        if (start == engine::StartEnd::Ready || start == engine::StartEnd::NoMatchingDrive) {
            PrintList(engine, session);
        }
        status = StartExit(start);
    } else if (start != engine::StartEnd::Ready) {
        status = StartExit(start);
        if (view.Unanswered()) status = kExitDeclined;
    } else {
        status = Update(engine, view, options);
    }
    if (start == engine::StartEnd::AccessDenied && !session.AccessHint().empty())
        std::cerr << "brenvo-cli: " << session.AccessHint() << "\n";
    platform::SetMessageBoxHandler(previous);
    return status;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 2 && (!std::strcmp(argv[1], "--help") || !std::strcmp(argv[1], "-h"))) {
        std::cout << kUsage;
        return kExitOk;
    }
    Options options;
    if (!ParseArgs(argc, argv, options)) {
        std::cerr << kUsage;
        return kExitUsage;
    }

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
                  << pack::DescribePackage(block, usable);
        return usable ? kExitOk : kExitBadPackage;
    }

    platform::MachineSession session;
    if (!session.Open(error)) {
        std::cerr << "brenvo-cli: " << error << "\n";
        return kExitBadMachine;
    }
    int status = options.command == "machine" ? ShowMachine() : RunEngine(block, options, session);
    if (!session.Finish(error)) {
        std::cerr << "brenvo-cli: the emulated PC's state could not be saved: " << error << "\n";
        return kExitBadMachine;
    }
    return status;
}
