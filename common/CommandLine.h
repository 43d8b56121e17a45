// What every program says about its own command line: its version, and a usage error in one line
// that names what was wrong and where the help is.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace common {

// The program's arguments in UTF-8, its own name first. On Windows they are read from the wide
// command line: the C runtime's argv spells them in the ANSI code page, with a '?' for every
// character it lacks (all of a Japanese folder's on a Western system). Elsewhere argv as it is.
std::vector<std::string> Arguments(int argc, char** argv);

// The project's version, as CMake names it ("0.1").
const char* Version();
// "brenvo-cli 0.1": what --version prints.
std::string VersionLine(std::string_view program);
// "brenvo-cli: unknown option --frob (brenvo-cli update --help shows the usage)". `helpCommand`
// is the command line that shows the help that applies (default: the program's own --help).
std::string UsageErrorLine(std::string_view program, std::string_view what,
                           std::string_view helpCommand = {});

}  // namespace common
