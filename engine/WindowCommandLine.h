// The command line of the updater's window (the Qt window and the Win32 window alike): nothing,
// or /QVCHECK N REVISION (what the OEM wizard registers to run after the restart), or --help, or
// --version. Anything else is refused before any drive is touched.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace engine {

enum class WindowStart { Run, Help, Version, UsageError };

struct WindowCommand {
    WindowStart start = WindowStart::Run;
    std::string text;  // the help, the version line, or the usage error in one line
};

// `parameters` as the program received them, parameter 0 being the program itself.
WindowCommand ParseWindowCommandLine(const std::vector<std::string>& parameters);

// With root's rights the Qt window starts its toolkit without the environment variables that
// would make it load code or choose a plugin: true for `name`=`value` when it is one of them,
// and the window removes it before the toolkit starts. The dynamic loader's own variables
// (LD_PRELOAD and the like) are not the window's business: sudo and pkexec drop them.
bool ToolkitVariableRefused(std::string_view name, std::string_view value);

}  // namespace engine
