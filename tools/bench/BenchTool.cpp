#include "tools/bench/BenchTool.h"

#ifndef _WIN32
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <ostream>

#include "common/CommandLine.h"
#include "common/Crc32.h"
#include "common/Environment.h"
#include "common/Files.h"
#include "common/NewFile.h"
#include "common/Text.h"
#include "engine/RestartCheck.h"
#include "package/PackageFile.h"
#include "platform/FlashChips.h"
#include "platform/emulated/BenchFile.h"
#include "platform/emulated/BenchLock.h"
#include "platform/emulated/DriveBench.h"
#include "platform/emulated/FirmwareImage.h"
#include "tools/bench/Presets.h"

namespace benchtool {
namespace {
using platform::emulated::BenchError;
using platform::emulated::Family;
using platform::emulated::Machine;

constexpr char kProgram[] = "brenvo-bench";

struct Verb {
    const char* name;
    const char* synopsis;  // after the verb
    const char* text;      // what it does
};
constexpr Verb kVerbs[] = {
    {"new", "[--preset NAME] [--paced] OUT.json",
     "make a bench file (an emulated PC). --paced gives it a clock that keeps real time, so a "
     "flash takes as long as on a real drive and a window's bar runs as a user would see it; "
     "without it the clock is virtual and waits take no time"},
    {"show", "BENCH.json", "print a bench in plain words"},
    {"key", "[--seed N] OUT",
     "write a 1024-byte key table for trying packages (not a vendor's key)"},
    {"boot", "BENCH.json",
     "restart the emulated PC: reset what a restart resets, then run each RunOnce entry once, "
     "as the system does. It runs an entry only when it is the check after a restart as the "
     "program writes it (\"PROGRAM\" /QVCHECK INDEX REVISION) and PROGRAM is the bench's Program "
     "path; it then runs the Brenvo program that last ran on the bench with those three words "
     "only, if that file is a regular file (not a link) that still carries a package block "
     "(checked on the very file it starts, as brenvo-pack --show finds it). Any other entry is "
     "refused, naming it, and boot ends with status 1. "
     "BRENVO_BENCH_LAUNCHER=PROG starts it through PROG (wine, for a Windows build)"},
    {"copy", "BENCH.json NEW.json",
     "copy a bench with its flash contents files, under the new name"},
    {"firmware", "--revision R --size N [--tag T] OUT",
     "make a firmware image that gives a drive revision R once flashed (R up to 4 characters, "
     "N from 96 bytes to 16 MiB, T up to 7 characters)"},
};

constexpr char kPresets[] =
    "Presets: default (NT family, administrator, no drives); typical (NT family, drives E: and\n"
    "F:); aspi (the same drives on the older family, through ASPI); sixteen (16 drives like E:);\n"
    "bank (one drive like E: with a 128 KiB two-bank flash); ide (NT family, SiS IDE controller,\n"
    "two drives on the direct-IDE path); ide98 (the same on the older family).\n";

constexpr char kMachineNote[] =
    "Run any Brenvo program on a bench with BRENVO_MACHINE=BENCH.json.\n";

const Verb* FindVerb(const std::string& name) {
    for (const Verb& verb : kVerbs) {
        if (name == verb.name) return &verb;
    }
    return nullptr;
}

std::string Usage() {
    std::string text;
    for (const Verb& verb : kVerbs) {
        text += std::string(text.empty() ? "usage: " : "       ") + kProgram + " " + verb.name +
                " " + verb.synopsis + "\n";
    }
    text += "       brenvo-bench VERB --help\n       brenvo-bench --version\n\n";
    for (const Verb& verb : kVerbs)
        text += "  " + std::string(verb.name) + ": " + verb.text + "\n";
    return text + "\n" + kPresets + kMachineNote;
}

std::string VerbUsage(const Verb& verb) {
    std::string text = "usage: " + std::string(kProgram) + " " + verb.name + " " + verb.synopsis +
                       "\n\n" + verb.text + ".\n";
    if (std::string(verb.name) == "new") text += std::string("\n") + kPresets;
    return text + "\n" + kMachineNote;
}

// A usage error of `verb` (or of the command line as a whole): one line.
int UsageError(std::ostream& err, const std::string& what, const std::string& verb = "") {
    err << common::UsageErrorLine(
               kProgram, what, verb.empty() ? "" : std::string(kProgram) + " " + verb + " --help")
        << "\n";
    return 2;
}

std::string Hex8(uint32_t v) {
    char text[12];
    std::snprintf(text, sizeof text, "%08x", v);
    return text;
}

// A verb's words: "--name value" options (only the given names) and one output file.
struct VerbArgs {
    std::map<std::string, std::string> options;
    std::string path;
};

bool ReadVerbArgs(const std::vector<std::string>& args, std::initializer_list<const char*> names,
                  VerbArgs& verb, std::ostream& err) {
    for (size_t i = 1; i < args.size(); ++i) {
        bool option = false;
        for (const char* name : names) {
            if (args[i] == name) {
                if (i + 1 >= args.size()) {
                    UsageError(err, std::string(name) + " needs a value", args[0]);
                    return false;
                }
                verb.options[name] = args[++i];
                option = true;
                break;
            }
        }
        if (option) continue;
        if (!args[i].empty() && args[i][0] == '-') {
            UsageError(err, "unknown option " + args[i], args[0]);
            return false;
        }
        if (!verb.path.empty()) {
            UsageError(err, args[0] + " writes one file (" + verb.path + ", then " + args[i] + ")",
                       args[0]);
            return false;
        }
        verb.path = args[i];
    }
    if (verb.path.empty()) UsageError(err, args[0] + " needs the file to write", args[0]);
    return !verb.path.empty();
}

// A new file, or a regular file replaced whole; never written through a link.
bool WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes, std::ostream& err) {
    std::string problem;
    if (common::WriteFileInPlace(path, bytes, ".writing", false, problem)) return true;
    err << "brenvo-bench: cannot write " << path << ": it " << problem << "\n";
    return false;
}

// A key table for trying packages: deterministic bytes from a seed.
int Key(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    VerbArgs verb;
    if (!ReadVerbArgs(args, {"--seed"}, verb, err)) return 2;
    uint32_t seed = 1;
    if (verb.options.count("--seed")) {
        try {
            seed = static_cast<uint32_t>(std::stoul(verb.options["--seed"]));
        } catch (const std::exception&) {
            return UsageError(err, "--seed takes a whole number", "key");
        }
    }
    std::vector<uint8_t> key(1024);
    uint32_t state = seed * 2654435761u + 0x9E3779B9u;
    for (auto& k : key) {
        state = state * 1664525u + 1013904223u;
        k = static_cast<uint8_t>(state >> 24);
    }
    if (!WriteBytes(verb.path, key, err)) return 1;
    out << "brenvo-bench: wrote the key table " << verb.path << " (seed " << seed << ")\n";
    return 0;
}

// The CRC-32 of a flash as it is: of its contents file when it has one, read now, with `problem`
// saying when the file and the bench disagree or the file cannot be read.
std::string FlashCrc(const platform::emulated::FlashContents& flash, std::string& problem) {
    if (flash.File().empty()) return Hex8(flash.Crc32());
    std::string unread;
    auto bytes = common::ReadWholeFile(flash.File(), unread, flash.size());
    if (!bytes) {
        problem = "the contents file " + flash.File() + " " + unread;
        return "unknown";
    }
    const uint32_t crc = common::Crc32(*bytes);
    if (crc != flash.Crc32()) {
        problem = "the contents file " + flash.File() + " has crc32 " + Hex8(crc) +
                  ", the bench says " + Hex8(flash.Crc32()) + ": the drive will not answer";
    }
    return Hex8(crc);
}

// Every text a bench holds is shown escaped: a bench is anyone's file, and a control byte in a
// drive's name must not draw over the terminal.
std::string Shown(const std::string& text) {
    return common::ShownText(text);
}

void ShowIde(Machine& m, std::ostream& out) {
    const auto& ide = m.ide;
    if (!ide.present) return;
    const auto& pci = ide.pci;
    out << "  PCI host bridge:   vendor " << Hex8(pci.hostVendor).substr(4) << ", device "
        << Hex8(pci.hostDevice).substr(4) << "\n";
    if (pci.sisIdeDevice >= 0) {
        out << "  SiS 5513 IDE:      device " << pci.sisIdeDevice
            << " function 1, timing 0x40 = " << Hex8(pci.timing40)
            << ", 0x44 = " << Hex8(pci.timing44) << "\n";
    } else {
        out << "  SiS 5513 IDE:      none\n";
    }
    out << "  Services:          " << (ide.services.empty() ? "none" : "") << "\n";
    for (const auto& [key, s] : ide.services) {
        out << "    " << Shown(s.config.name) << "  type " << s.config.serviceType << ", "
            << Shown(s.config.imagePath) << (s.running ? ", running" : ", stopped") << "\n";
    }
    out << "  CD-ROM devices:    " << ide.cdroms.size() << "\n";
    for (const auto& c : ide.cdroms) {
        out << "    " << Shown(c.instance) << (c.started ? "  started" : "  stopped") << "\n";
    }
    out << "  IDE slots:\n";
    for (size_t i = 0; i < ide.driveSlots.size(); ++i) {
        const auto& s = ide.driveSlots[i];
        if (!s.present) continue;
        out << "    slot " << i << "  " << Shown(s.vendor) << " " << Shown(s.product)
            << "  revision " << Shown(s.revision);
        if (s.chipRow >= 0) {
            const auto& chip = directide::kFlashChips[static_cast<size_t>(s.chipRow)];
            out << ", chip row " << s.chipRow << " " << chip.name << " (" << chip.size / 1024
                << " KiB, method " << int{chip.method} << "), flash crc32 ";
            std::string problem;
            out << FlashCrc(s.flash, problem);
            if (!problem.empty()) out << ", " << problem;
        } else {
            out << ", no flash chip";
        }
        for (const auto& f : s.faults)
            out << ", fault " << platform::emulated::IdeFaultName(f.kind);
        out << "\n";
    }
}

int New(std::vector<std::string> args, std::ostream& out, std::ostream& err) {
    // --paced is the one flag among the valued options: take it out before they are read.
    const auto flag = std::find(args.begin() + 1, args.end(), std::string("--paced"));
    const bool paced = flag != args.end();
    if (paced) args.erase(flag);
    VerbArgs verb;
    if (!ReadVerbArgs(args, {"--preset"}, verb, err)) return 2;
    const std::string preset =
        verb.options.count("--preset") ? verb.options["--preset"] : "default";
    const std::string& path = verb.path;
    Machine machine;
    if (!ApplyPreset(preset, machine)) {
        std::string names;
        for (const auto& n : PresetNames())
            names += (names.empty() ? "" : ", ") + n;
        err << "brenvo-bench: no preset \"" << preset << "\" (there are: " << names << ")\n";
        return 2;
    }
    machine.clockSettings.paced = paced;
    if (std::string what = common::NotReplaceable(path); !what.empty()) {
        err << "brenvo-bench: " << path << " " << what << "\n";
        return 1;
    }
    platform::emulated::BenchLock lock;
    std::string error;
    if (lock.Acquire(path, error) != platform::emulated::BenchLock::Result::Held) {
        err << "brenvo-bench: " << error << "\n";
        return 1;
    }
    try {
        platform::emulated::SaveBench(machine, path);
    } catch (const std::exception& e) {
        err << "brenvo-bench: " << e.what() << "\n";
        return 1;
    }
    out << "brenvo-bench: wrote " << path << " (preset " << preset
        << (paced ? ", clock paced in real time" : "") << ")\n";
    return 0;
}

void Show(Machine& m, std::ostream& out) {
    auto yesNo = [](bool b) { return b ? "yes" : "no"; };
    out << "Emulated PC " << Shown(m.benchPath) << "\n";
    out << "  Platform family:   " << (m.family == Family::Nt ? "NT" : "older family (9x)")
        << (m.versionCallFails ? ", GetVersionEx fails" : "") << "\n";
    out << "  Administrator:     " << yesNo(m.security.administrator);
    if (!m.security.securityApiPresent) out << " (advapi32.dll missing)";
    if (!m.security.checkTokenMembership) out << " (CheckTokenMembership missing)";
    if (!m.security.allocateAndInitializeSid) out << " (AllocateAndInitializeSid missing)";
    if (!m.security.freeSid) out << " (FreeSid missing)";
    out << "\n";
    const auto& c = m.clockSettings;
    out << "  Clock:             " << (c.paced ? "paced in real time" : "virtual") << ", at "
        << c.now << " s";
    if (c.counterPresent) {
        out << ", performance counter " << c.frequency << " Hz";
    } else {
        out << ", no performance counter";
    }
    out << "\n";
    auto dir = [](const std::optional<std::string>& d) { return d ? Shown(*d) : "(unavailable)"; };
    out << "  Temp directory:    " << dir(m.tempDirectory) << "\n";
    out << "  Windows directory: " << dir(m.windowsDirectory) << "\n";
    out << "  System directory:  " << dir(m.systemDirectory) << "\n";
    out << "  Program path:      " << Shown(m.programPath) << "\n";
    out << "  Restart:           " << (m.restart.pending ? "requested, pending" : "none pending")
        << " (" << m.restart.requests << " requested, " << m.restart.boots << " carried out)\n";
    out << "  Files:             " << (m.files.empty() ? "none" : "") << "\n";
    for (const auto& [key, f] : m.files) {
        out << "    " << Shown(f.path) << "  " << f.data.size() << " bytes, crc32 "
            << Hex8(common::Crc32(f.data)) << ((f.attributes & 1) ? ", read-only" : "") << "\n";
    }
    out << "  Registry:          " << (m.registry.empty() ? "no values" : "") << "\n";
    for (const auto& [key, v] : m.registry) {
        out << "    " << Shown(v.key) << "  " << Shown(v.name) << " = \"" << Shown(v.value)
            << "\"\n";
    }
    ShowIde(m, out);
    const auto& a = m.aspi;
    out << "  ASPI manager:      "
        << (a.present ? "present, support status " + std::to_string(a.supportStatus)
                      : std::string("none"))
        << "\n";
    out << "  Optical drives:    " << (m.drives.empty() ? "none" : "") << "\n";
    for (const auto& drive : m.drives) {
        auto d = drive->Settings();
        std::string state = d.flashIncomplete ? "flash incomplete" : "ready";
        if (d.trayOpen) state += ", tray open";
        if (!d.medium) state += ", no disc";
        if (d.trayLocked) state += ", tray locked";
        if (d.unitAttention) state += ", unit attention pending";
        if (!d.faults.empty()) state += ", " + std::to_string(d.faults.size()) + " fault(s) seeded";
        out << "    " << (d.letter.empty() ? "--" : d.letter) << " "
            << (d.address ? platform::emulated::FormatAddress(*d.address) : "no address") << "  "
            << Shown(d.vendor) << " " << Shown(d.product) << "  revision " << Shown(d.revision);
        if (d.driveTag) out << " (" << Shown(*d.driveTag) << ")";
        std::string problem;
        out << ", flash " << d.flash.size() << " bytes crc32 " << FlashCrc(d.flash, problem) << ", "
            << (problem.empty() ? state : problem) << "\n";
    }
}

constexpr char kRunOnceKey[] = "HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunOnce";

// Runs one RunOnce entry on the bench: only the check after the restart, exactly as the program
// writes it (its program path, /QVCHECK, the drive's index and the revision), for the bench's
// program, and then only the program that last ran on the bench if it is a regular file that still
// carries a package block, read from the very file that is started. -1 when it is refused (said
// on `err`, naming the entry).
int RunOnceCommand(const Machine& m, const std::string& benchPath, const std::string& name,
                   const std::string& command, std::ostream& out, std::ostream& err) {
    auto refuse = [&](const std::string& why) {
        err << "brenvo-bench: refused the RunOnce entry " << common::QuotedExcerpt(name) << " ("
            << common::QuotedExcerpt(command) << "): " << why << "\n";
        return -1;
    };
    // Nothing but the check: no other word reaches the program (a toolkit's options, a test
    // binary's output file, an update of its own).
    const auto entry = engine::ParseRestartEntry(command);
    if (!entry) {
        return refuse(
            "it is not the check after a restart as the program writes it (\"PROGRAM\" /QVCHECK "
            "INDEX REVISION)");
    }
    if (common::UpperAscii(entry->programPath) != common::UpperAscii(m.programPath))
        return refuse("it does not name this bench's program (" + m.programPath + ")");
    if (m.hostProgram.empty()) return refuse("no Brenvo program has run on this bench yet");
#ifdef _WIN32
    // brenvo-bench is a Linux program (a Windows build of the flasher is restarted from there,
    // through BRENVO_BENCH_LAUNCHER=wine); the tests' Windows builds of this library start nothing.
    (void)benchPath;
    (void)out;
    return refuse(
        "this build of the bench tool starts no program (boot the bench with the Linux "
        "brenvo-bench)");
#else
    // The file checked is the file started, program and launcher alike: it is opened once, never
    // through a link, and started from that descriptor, so no one can put another program under
    // its name between the two. Opened without waiting: a FIFO would otherwise hold boot for ever.
    // A device is not even opened (opening some does something).
    struct stat info {};
    if (::lstat(m.hostProgram.c_str(), &info) == 0 && !S_ISREG(info.st_mode) &&
        !S_ISLNK(info.st_mode))
        return refuse("the program " + m.hostProgram + " is not a regular file");
    const int program =
        ::open(m.hostProgram.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (program < 0) {
        return refuse(
            "cannot open the program " + m.hostProgram + ": " +
            (errno == ELOOP ? std::string("it is a symbolic link") : std::strerror(errno)));
    }
    if (::fstat(program, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(program);
        return refuse("the program " + m.hostProgram + " is not a regular file");
    }
    const std::string opened = "/proc/self/fd/" + std::to_string(program);
    try {
        package::ReadPackageBlock(opened);
    } catch (const std::exception& e) {
        ::close(program);
        std::string why = e.what();
        if (why.starts_with(opened)) why = m.hostProgram + why.substr(opened.size());
        return refuse("the program it would start is not a Brenvo program: " + why);
    }
    // A launcher (BRENVO_BENCH_LAUNCHER, e.g. wine for a Windows build) is the user's choice, never
    // the bench's; it is given the checked file through this process's descriptor, held open
    // until the program ends. Named by this process's number, not "self": Wine's server, another
    // process, opens the file by that name.
    const std::string launcher = common::EnvironmentValue("BRENVO_BENCH_LAUNCHER");
    const std::string held =
        "/proc/" + std::to_string(::getpid()) + "/fd/" + std::to_string(program);
    std::vector<std::string> argvText{launcher.empty() ? m.hostProgram : held, engine::kCheckSwitch,
                                      std::to_string(entry->driveIndex), entry->revision};
    if (!entry->identity.empty()) argvText.push_back(entry->identity);
    if (!launcher.empty()) argvText.insert(argvText.begin(), launcher);
    std::vector<char*> argv;
    for (auto& a : argvText)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    out << "brenvo-bench: running " << command << "\n" << std::flush;
    pid_t child = fork();
    if (child == 0) {
        setenv("BRENVO_MACHINE", benchPath.c_str(), 1);
        if (!launcher.empty()) {
            execvp(launcher.c_str(), argv.data());
        } else {
            fexecve(program, argv.data(), ::environ);
        }
        _exit(127);
    }
    int status = 0;
    const bool waited = child >= 0 && waitpid(child, &status, 0) >= 0;
    ::close(program);
    if (!waited) return -1;
    int code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    out << "brenvo-bench: " << m.programPath << " ended with status " << code << "\n";
    return code;
#endif
}

int Boot(const std::string& path, std::ostream& out, std::ostream& err) {
    std::vector<std::string> names, commands;
    // The restart itself holds the bench; the programs it then runs take it in turn.
    platform::emulated::BenchLock lock;
    try {
        auto machine = platform::emulated::LoadHeldBench(path, lock);
        machine->Restart();
        // The system removes each RunOnce value before it runs it.
        for (const auto& [key, value] : machine->registry) {
            if (common::UpperAscii(value.key) == common::UpperAscii(kRunOnceKey)) {
                names.push_back(value.name);
                commands.push_back(value.value);
            }
        }
        for (const auto& name : names)
            machine->RemoveRegistry(kRunOnceKey, name);
        platform::emulated::SaveBench(*machine, machine->benchPath);
        lock.Release();
        out << "brenvo-bench: restarted " << path << " (restart " << machine->restart.boots << "), "
            << commands.size() << " RunOnce entr" << (commands.size() == 1 ? "y" : "ies") << "\n";
        int worst = 0;
        for (size_t i = 0; i < commands.size(); ++i) {
            int code =
                RunOnceCommand(*machine, machine->benchPath, names[i], commands[i], out, err);
            if (code != 0) worst = 1;
        }
        return worst;
    } catch (const std::exception& e) {
        err << "brenvo-bench: " << e.what() << "\n";
        return 1;
    }
}

// A copy of a bench that shares nothing with it: every flash held in a contents file is read (its
// checksum checked) and written anew under the copy's name.
int Copy(const std::string& from, const std::string& to, std::ostream& out, std::ostream& err) {
    std::error_code ec;
    if (std::filesystem::symlink_status(to, ec).type() != std::filesystem::file_type::not_found) {
        err << "brenvo-bench: " << to << " already exists; name a new file for the copy\n";
        return 1;
    }
    platform::emulated::BenchLock fromLock, toLock;
    try {
        auto machine = platform::emulated::LoadHeldBench(from, fromLock);
        std::string error;
        if (toLock.Acquire(to, error) != platform::emulated::BenchLock::Result::Held)
            throw BenchError(error);
        int files = 0;
        auto detach = [&](platform::emulated::FlashContents& flash) {
            if (flash.File().empty()) return;
            flash = platform::emulated::FlashContents(flash.ToVector());
            ++files;
        };
        for (auto& drive : machine->drives)
            drive->ByHand([&](platform::emulated::DriveSettings& d) { detach(d.flash); });
        for (auto& slot : machine->ide.driveSlots)
            detach(slot.flash);
        platform::emulated::SaveBench(*machine, to);
        out << "brenvo-bench: copied " << from << " to " << to << " (" << files
            << " flash contents file" << (files == 1 ? "" : "s") << ")\n";
        return 0;
    } catch (const std::exception& e) {
        err << "brenvo-bench: " << e.what() << "\n";
        return 1;
    }
}

int Firmware(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    VerbArgs verb;
    if (!ReadVerbArgs(args, {"--revision", "--tag", "--size"}, verb, err)) return 2;
    const std::string revision = verb.options["--revision"], tag = verb.options["--tag"];
    long long size = -1;
    try {
        size = std::stoll(verb.options["--size"], nullptr, 0);
    } catch (const std::exception&) {
        size = -1;
    }
    if (revision.empty() || revision.size() > 4 || tag.size() > 7 || size < 0x60 ||
        size > (16 << 20)) {
        return UsageError(err,
                          "firmware needs --revision (1-4 characters), --size (96 bytes to 16 MiB) "
                          "and takes a --tag of up to 7 characters",
                          "firmware");
    }
    auto image = platform::emulated::MakeFirmwareImage(revision, tag, static_cast<size_t>(size));
    if (!WriteBytes(verb.path, image, err)) return 1;
    out << "brenvo-bench: wrote " << verb.path << " (" << image.size() << " bytes, revision "
        << revision << ", crc32 " << Hex8(common::Crc32(image)) << ")\n";
    return 0;
}

}  // namespace

int Run(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    if (args.empty()) return UsageError(err, "no verb given");
    const Verb* verb = FindVerb(args[0]);
    for (const auto& a : args) {
        if (a == "--help" || a == "-h") {
            out << (verb ? VerbUsage(*verb) : Usage());
            return 0;
        }
    }
    for (const auto& a : args) {
        if (a == "--version") {
            out << common::VersionLine(kProgram) << "\n";
            return 0;
        }
    }
    if (!verb) {
        if (!args[0].empty() && args[0][0] == '-')
            return UsageError(err, "unknown option " + args[0]);
        return UsageError(
            err, "unknown verb \"" + args[0] + "\" (the verbs: new, show, key, boot, firmware)");
    }
    if (args[0] == "new") return New(args, out, err);
    if (args[0] == "key") return Key(args, out, err);
    if (args[0] == "firmware") return Firmware(args, out, err);
    if (args[0] == "copy") {
        if (args.size() != 3 || args[1].rfind('-', 0) == 0 || args[2].rfind('-', 0) == 0)
            return UsageError(err, "copy needs the bench file and the new name", "copy");
        return Copy(args[1], args[2], out, err);
    }
    // show and boot read one bench file.
    if (args.size() != 2 || (!args[1].empty() && args[1][0] == '-')) {
        return UsageError(err,
                          args.size() < 2   ? args[0] + " needs the bench file"
                          : args.size() > 2 ? args[0] + " reads one bench file"
                                            : "unknown option " + args[1],
                          args[0]);
    }
    if (args[0] == "boot") return Boot(args[1], out, err);
    try {
        auto machine = platform::emulated::LoadBench(args[1]);
        Show(*machine, out);
        return 0;
    } catch (const std::exception& e) {
        err << "brenvo-bench: " << e.what() << "\n";
        return 1;
    }
}

}  // namespace benchtool
