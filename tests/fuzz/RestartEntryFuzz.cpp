// The restart entry and its autostart entry on any bytes. Read as an entry, the input is accepted
// only if it is exactly what the program writes; read as the program's path, it is either refused
// or comes back whole: through the entry (as boot and the system's splitting read it) and through
// the desktop entry's Exec= line (as a desktop reads it).
#include <cstdint>
#include <string>
#include <vector>

#include "common/DesktopEntry.h"
#include "common/Text.h"
#include "engine/RestartCheck.h"
#include "tests/DesktopExecReader.h"

namespace {
void Require(bool holds) {
    if (!holds) __builtin_trap();
}

void CheckDesktopExec(const std::vector<std::string>& words) {
    std::string problem;
    const std::string exec = common::DesktopExecValue(words, problem);
    if (!problem.empty()) return;
    Require(exec.find('\n') == std::string::npos && exec.find('\r') == std::string::npos);
    Require(testing_support::ReadDesktopExec(exec) == words);
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string input(reinterpret_cast<const char*>(data), size);

    if (auto parts = engine::ParseRestartEntry(input)) {
        Require(engine::RestartEntryProblem(parts->programPath, parts->driveIndex, parts->revision)
                    .empty());
        // The newer entries end with the updated drive's identity; older ones have none.
        Require(engine::RestartEntry(parts->programPath, parts->driveIndex, parts->revision,
                                     parts->identity) == input);
        std::vector<std::string> words{parts->programPath, engine::kCheckSwitch,
                                       std::to_string(parts->driveIndex), parts->revision};
        if (!parts->identity.empty()) words.push_back(parts->identity);
        Require(common::SplitCommandLine(input) == words);
    }

    const int index = static_cast<int>(size % 1000);
    if (engine::RestartEntryProblem(input, index, "QV12").empty()) {
        const std::string entry = engine::RestartEntry(input, index, "QV12");
        auto parts = engine::ParseRestartEntry(entry);
        Require(parts && parts->programPath == input && parts->driveIndex == index &&
                parts->revision == "QV12");
        const std::vector<std::string> words{input, engine::kCheckSwitch, std::to_string(index),
                                             "QV12"};
        Require(common::SplitCommandLine(entry) == words);
        CheckDesktopExec(words);
        CheckDesktopExec({"pkexec", input, engine::kCheckSwitch, "0", "QV12"});
    }
    return 0;
}
