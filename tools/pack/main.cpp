// brenvo-pack: the packaging step.
#include <cstring>
#include <iostream>
#include <string>

#include "tools/pack/Packer.h"

namespace {
constexpr char kUsage[] =
    "usage: brenvo-pack MANIFEST.json INPUT_EXE OUTPUT_EXE\n"
    "       brenvo-pack --show EXE\n"
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
    if (argc == 2 && (!std::strcmp(argv[1], "--help") || !std::strcmp(argv[1], "-h"))) {
        std::cout << kUsage;
        return 0;
    }
    if (argc == 3 && !std::strcmp(argv[1], "--show")) {
        return pack::ShowExecutable(argv[2], std::cout, std::cerr);
    }
    if (argc == 4 && argv[1][0] != '-') {
        return pack::PackExecutable(argv[1], argv[2], argv[3], std::cout, std::cerr);
    }
    std::cerr << kUsage;
    return 2;
}
