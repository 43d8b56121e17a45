// The command line of the updater's window (the Qt window and the Win32 window alike): nothing,
// or /QVCHECK N REVISION (what the OEM wizard registers to run after the restart), or --help, or
// --version. Anything else is refused before any drive is touched.
#pragma once

#include <string>
#include <vector>

namespace engine {

enum class WindowStart { Run, Help, Version, UsageError };

struct WindowCommand {
    WindowStart start = WindowStart::Run;
    std::string text;  // the help, the version line, or the usage error in one line
};

// `parameters` as the program received them, parameter 0 being the program itself.
WindowCommand ParseWindowCommandLine(const std::vector<std::string>& parameters);

}  // namespace engine
