// What every program says about its own command line: its version, and a usage error in one line
// that names what was wrong and where the help is.
#pragma once

#include <string>
#include <string_view>

namespace common {

// The project's version, as CMake names it ("0.1").
const char* Version();
// "brenvo-cli 0.1": what --version prints.
std::string VersionLine(std::string_view program);
// "brenvo-cli: unknown option --frob (brenvo-cli update --help shows the usage)". `helpCommand`
// is the command line that shows the help that applies (default: the program's own --help).
std::string UsageErrorLine(std::string_view program, std::string_view what,
                           std::string_view helpCommand = {});

}  // namespace common
