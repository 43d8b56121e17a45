// brenvo-fault-matrix: runs the fault matrix and counts the verdicts that were not true.
//
//   brenvo-fault-matrix [--subset] [--filter TEXT]
//       every case in this process (the engine with the console's view)
//   brenvo-fault-matrix --cli BRENVO_CLI --window BRENVO --bench-tool BRENVO_BENCH --dir DIR
//                       [--every N] [--window-every M]
//       every N-th case through the real brenvo-cli, every M-th through the window in script
//       mode, each on a bench file of its own in DIR
//
// The last line reads "cases N, false successes F, false failures G, unknown U, hangs H"; the
// status is non-zero unless F, G and H are 0. A case of this process that does not end within
// kHangSeconds is a hang: it is named, the counts so far are printed and the matrix ends there
// (its threads cannot be taken back).
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <future>
#include <iostream>
#include <string>

#include "tests/matrix/FaultMatrix.h"

namespace {
constexpr int kHangSeconds = 60;
}  // namespace

int main(int argc, char** argv) {
    bool subset = false, verbose = false;
    std::string filter;
    matrix::Programs programs;
    int every = 0, windowEvery = 0;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        auto value = [&]() -> std::string { return i + 1 < argc ? argv[++i] : ""; };
        if (a == "--subset") {
            subset = true;
        } else if (a == "--verbose") {
            verbose = true;
        } else if (a == "--filter") {
            filter = value();
        } else if (a == "--cli") {
            programs.cli = value();
        } else if (a == "--window") {
            programs.window = value();
        } else if (a == "--bench-tool") {
            programs.benchTool = value();
        } else if (a == "--dir") {
            programs.workDir = value();
        } else if (a == "--every") {
            every = std::stoi(value());
        } else if (a == "--window-every") {
            windowEvery = std::stoi(value());
        } else {
            std::cerr << "brenvo-fault-matrix: unknown argument " << a << "\n";
            return 2;
        }
    }
    const bool programsMode = !programs.cli.empty();
    // The programs run from each case's own folder.
    for (std::string* path :
         {&programs.cli, &programs.window, &programs.benchTool, &programs.workDir}) {
        if (!path->empty()) *path = std::filesystem::absolute(*path).string();
    }
    if (programsMode && (programs.window.empty() || programs.benchTool.empty() ||
                         programs.workDir.empty() || every <= 0 || windowEvery <= 0)) {
        std::cerr << "brenvo-fault-matrix: --cli needs --window, --bench-tool, --dir, --every "
                     "and --window-every\n";
        return 2;
    }

    int cases = 0, falseSuccesses = 0, falseFailures = 0, unknown = 0, hangs = 0, checks = 0;
    int historyChecks = 0, historyWrong = 0;
    auto count = [&](const matrix::Case& c, const matrix::Judgement& j, const char* how) {
        ++cases;
        checks += j.checked;
        historyChecks += j.historyChecked;
        if (!j.historyWrong.empty()) {
            ++historyWrong;
            std::cout << "HISTORY [" << how << "] " << c.name << ": " << j.historyWrong << "\n";
        }
        switch (j.verdict) {
            case matrix::Verdict::True:
                return;
            case matrix::Verdict::Unknown:
                ++unknown;
                return;
            case matrix::Verdict::FalseSuccess:
                ++falseSuccesses;
                break;
            case matrix::Verdict::FalseFailure:
                ++falseFailures;
                break;
            case matrix::Verdict::Hang:
                ++hangs;
                break;
        }
        std::cout << matrix::VerdictName(j.verdict) << " [" << how << "] " << c.name << ": "
                  << j.why << "\n";
        if (verbose) std::cout << j.transcript << "\n";
    };
    auto summary = [&]() {
        const int falseVerdicts = falseSuccesses + falseFailures + hangs;
        std::cout << "checks after a restart judged: " << checks << "\n";
        std::cout << "history checks " << historyChecks << ", wrong " << historyWrong << "\n";
        std::cout << cases - falseVerdicts << " passed, " << falseVerdicts << " failed\n";
        std::cout << "cases " << cases << ", false successes " << falseSuccesses
                  << ", false failures " << falseFailures << ", unknown " << unknown << ", hangs "
                  << hangs << std::endl;
        return falseVerdicts == 0 && historyWrong == 0 ? 0 : 1;
    };
    const auto all = matrix::GenerateCases(!subset);
    for (size_t i = 0; i < all.size(); ++i) {
        const matrix::Case& c = all[i];
        if (!filter.empty() && c.name.find(filter) == std::string::npos) continue;
        if (!programsMode) {
            auto run = std::async(std::launch::async, [&c] { return matrix::RunInProcess(c); });
            if (run.wait_for(std::chrono::seconds(kHangSeconds)) != std::future_status::ready) {
                count(c, {matrix::Verdict::Hang, "the run did not end", ""}, "engine");
                summary();
                std::_Exit(1);
            }
            count(c, run.get(), "engine");
            continue;
        }
        if (i % static_cast<size_t>(every) == 0)
            count(c, matrix::RunProgram(c, programs, false), "brenvo-cli");
        // The window's subset, as unattended runs of the standard variant: it starts and ends
        // them by itself.
        if (i % static_cast<size_t>(windowEvery) == 0 && !matrix::UnattendedChoosesNothing(c))
            count(c, matrix::RunProgram(c, programs, true), "brenvo");
    }
    return summary();
}
