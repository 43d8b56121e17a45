// brenvo-bench: makes, shows and restarts emulated PCs.
#include <iostream>
#include <string>
#include <vector>

#include "tools/bench/BenchTool.h"

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    return benchtool::Run(args, std::cout, std::cerr);
}
