// The program's environment variables, read the same way on every system.
#pragma once

#include <string>

namespace common {

// The value of the environment variable `name` in UTF-8; empty when it is not set (or set to
// nothing). On Windows read from the wide environment: the C runtime's getenv spells a value in
// the ANSI code page, so a bench file or a trace in a Japanese-named folder would be looked for
// under '?'s on a Western system.
std::string EnvironmentValue(const char* name);

}  // namespace common
