// brenvo-bench: makes, shows and restarts emulated PCs.
#include <iostream>
#include <string>
#include <vector>

#include "common/CommandLine.h"
#include "tools/bench/BenchTool.h"

int main(int argc, char** argv) {
    std::vector<std::string> args = common::Arguments(argc, argv);
    if (!args.empty()) args.erase(args.begin());
    return benchtool::Run(args, std::cout, std::cerr);
}
