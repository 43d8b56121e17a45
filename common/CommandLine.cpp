#include "common/CommandLine.h"

#include "common/Version.h"

#ifdef _WIN32
#include "common/WideText.h"
#include "common/WindowsHeader.h"
// After windows.h: shellapi.h builds on its types.
#include <shellapi.h>
#endif

namespace common {

std::vector<std::string> Arguments(int argc, char** argv) {
#ifdef _WIN32
    (void)argc;
    (void)argv;
    int count = 0;
    LPWSTR* wide = ::CommandLineToArgvW(::GetCommandLineW(), &count);
    std::vector<std::string> arguments;
    for (int i = 0; wide && i < count; ++i)
        arguments.push_back(Utf8(wide[i]));
    ::LocalFree(wide);
    return arguments;
#else
    return std::vector<std::string>(argv, argv + argc);
#endif
}

const char* Version() {
    return kVersion;
}

std::string VersionLine(std::string_view program) {
    return std::string(program) + " " + kVersion;
}

std::string UsageErrorLine(std::string_view program, std::string_view what,
                           std::string_view helpCommand) {
    std::string help =
        helpCommand.empty() ? std::string(program) + " --help" : std::string(helpCommand);
    return std::string(program) + ": " + std::string(what) + " (" + help + " shows the usage)";
}

}  // namespace common
