// brenvo-tracecmp: holds the trace of a run through the kernel to the emulated PC's trace of the
// same package (see TraceCompare.h for what may differ). Exit status 0 when they agree, 1 when
// they differ, 2 when a trace cannot be read or the command line is wrong.
#include "tools/tracecmp/TraceCompare.h"

#include <fstream>
#include <iostream>
#include <string>

int main(int argc, char** argv) {
    if (argc != 3) {
        std::cerr << "usage: brenvo-tracecmp REFERENCE RUN\n"
                     "  REFERENCE: the emulated PC's trace of the drive's commands\n"
                     "  RUN: the trace the drive wrote behind the kernel\n";
        return 2;
    }
    std::vector<std::string> traces[2];
    for (int i = 0; i < 2; ++i) {
        std::ifstream in(argv[i + 1]);
        if (!in) {
            std::cerr << "brenvo-tracecmp: cannot read " << argv[i + 1] << "\n";
            return 2;
        }
        traces[i] = tracecmp::Collapsed(in);
    }
    const tracecmp::Comparison comparison = tracecmp::Compare(traces[0], traces[1]);
    std::cout << tracecmp::Report(comparison, traces[0]);
    std::cout << "reference commands: " << traces[0].size() << "\n";
    return comparison.Equal() ? 0 : 1;
}
