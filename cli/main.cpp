// brenvo-cli: the Brenvo engine for terminals and scripts.
#include <cstring>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

#include "device/HiTimer.h"
#include "device/SystemInfo.h"
#include "package/Package.h"
#include "platform/MachineSession.h"
#include "platform/System.h"
#include "tools/pack/Packer.h"

namespace {

// Exit codes, also in --help and the README.
constexpr int kExitOk = 0;
constexpr int kExitUsage = 2;
constexpr int kExitBadPackage = 5;
constexpr int kExitBadMachine = 6;

constexpr char kUsage[] =
    "usage: brenvo-cli [--package FILE] COMMAND\n"
    "\n"
    "Commands:\n"
    "  package    show the firmware package this run would use and whether it is usable\n"
    "  machine    show the machine this run acts on (platform family, rights, clock)\n"
    "\n"
    "Options:\n"
    "  --package FILE   use the package carried by FILE (any packaged Brenvo program)\n"
    "                   instead of this program's own\n"
    "\n"
    "Environment:\n"
    "  BRENVO_MACHINE=bench.json   run on the emulated PC of a bench file (brenvo-bench new)\n"
    "\n"
    "Exit status: 0 success, 2 bad usage, 5 bad package, 6 bad machine (bench file).\n";

struct Options {
    std::string packageFile;
    std::string command;
};

bool ParseArgs(int argc, char** argv, Options& o) {
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        if (a == "--package" && i + 1 < argc) {
            o.packageFile = argv[++i];
        } else if (!a.empty() && a[0] != '-' && o.command.empty()) {
            o.command = a;
        } else {
            return false;
        }
    }
    return o.command == "package" || o.command == "machine";
}

// The block of the package this run uses: this program's own, or a copy of another program's.
bool LoadBlock(const std::string& file, std::vector<uint8_t>& storage, std::span<uint8_t>& block,
               std::string& error) {
    if (file.empty()) {
        block = package::OwnBlock();
        return true;
    }
    std::ifstream in(file, std::ios::binary);
    if (!in) {
        error = "cannot read " + file;
        return false;
    }
    std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), {});
    int64_t at = package::LocateBlock(bytes);
    if (at < 0) {
        error = file + (at == -1 ? " carries no package block" : " carries more than one block");
        return false;
    }
    storage.assign(bytes.begin() + at, bytes.begin() + at + package::kBlockSize);
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
    int status = ShowMachine();
    if (!session.Finish(error)) {
        std::cerr << "brenvo-cli: the emulated PC's state could not be saved: " << error << "\n";
        return kExitBadMachine;
    }
    return status;
}
