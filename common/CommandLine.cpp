#include "common/CommandLine.h"

#include "common/Version.h"

namespace common {

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
