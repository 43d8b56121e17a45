// brenvo-bench: makes and shows emulated PCs (bench files).
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

namespace benchtool {

// Runs one brenvo-bench command line (without the program name); returns the exit code.
int Run(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace benchtool
