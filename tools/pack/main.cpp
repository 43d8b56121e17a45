// brenvo-pack: the packaging step.
#include <iostream>
#include <string>
#include <vector>

#include "common/CommandLine.h"
#include "tools/pack/Packer.h"

namespace {
constexpr char kProgram[] = "brenvo-pack";
constexpr char kUsage[] =
    "usage: brenvo-pack MANIFEST.json INPUT_EXE OUTPUT_EXE\n"
    "       brenvo-pack --show EXE\n"
    "       brenvo-pack --version\n"
    "\n"
    "Writes the package that MANIFEST.json describes into a copy of a built Brenvo program\n"
    "(INPUT_EXE), verifies the copy and saves it as OUTPUT_EXE. On any problem nothing is\n"
    "written. --show prints the package that a program carries.\n"
    "\n"
    "Manifest (paths relative to the manifest's folder):\n"
    "  { \"title\": \"...\", \"driveName\": \"...\", \"buildDate\": \"2026/12/07\",\n"
    "    \"creditTag\": \"...\", \"toolTag\": \"...\", \"versionTag\": \"...\",\n"
    "    \"options\": \"00010110001001100000000000000000\",\n"
    "    \"images\": [ { \"file\": \"fw1.bin\", \"key\": \"key1.bin\", \"newRevision\": \"QV12\",\n"
    "                  \"start\": 0,\n"
    "                  \"constraints\": [ { \"low\": \"QV10\", \"high\": \"QV19\",\n"
    "                                     \"vendor\": \"\", \"product\": \"\" } ] } ] }\n"
    "Images are given unscrambled; keys are 1024-byte files; option digit 11 must equal the\n"
    "number of images.\n";
}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args = common::Arguments(argc, argv);
    if (!args.empty()) args.erase(args.begin());
    for (const auto& a : args) {
        if (a == "--help" || a == "-h") {
            std::cout << kUsage;
            return 0;
        }
    }
    for (const auto& a : args) {
        if (a == "--version") {
            std::cout << common::VersionLine(kProgram) << "\n";
            return 0;
        }
    }
    std::string wrong;
    if (!args.empty() && args[0] == "--show") {
        if (args.size() == 2) return pack::ShowExecutable(args[1], std::cout, std::cerr);
        wrong = args.size() < 2 ? "--show needs the program to read" : "--show reads one program";
    } else {
        for (const auto& a : args) {
            if (!a.empty() && a[0] == '-') {
                wrong = "unknown option " + a;
                break;
            }
        }
        if (wrong.empty() && args.size() == 3)
            return pack::PackExecutable(args[0], args[1], args[2], std::cout, std::cerr);
        if (wrong.empty()) {
            wrong = args.empty() ? "nothing to do"
                                 : "packing takes three files (MANIFEST.json INPUT_EXE "
                                   "OUTPUT_EXE), not " +
                                       std::to_string(args.size());
        }
    }
    std::cerr << common::UsageErrorLine(kProgram, wrong) << "\n";
    return 2;
}
