// The history of runs: one JSON line for every run that sent a writing command to a drive, kept
// in the system's place for it (System::HistoryFile). It answers "what happened?" for the user
// and a support desk: when, which program and package, each drive from which revision to which,
// by which path, and the verdict with its reason. Nothing else of the run goes in; the trace
// stays the developer's.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "engine/UpdateEngine.h"

namespace engine {

// The file keeps the newest records only.
inline constexpr size_t kHistoryRecords = 200;
// What the history may grow to before it is read at all; kept records are far smaller.
inline constexpr size_t kMaxHistoryBytes = size_t{4} << 20;

// "succeeded", "failed", "unknown", "stopped"...
std::string VerdictName(RunEnd end);

// What the record says of a run beyond its report.
struct RunFacts {
    std::string time;     // UTC, "2024-05-01T09:30:00Z"
    std::string program;  // "brenvo-cli 1.4.0"
    std::string title;    // the package's title, as shown
    uint32_t checksum = 0;
};

// The record of a run that has given its verdict `end`.
nlohmann::json HistoryRecord(const RunReport& run, RunEnd end, const RunFacts& facts);
// Why the run ended as it did, in a line: the drives that failed, were left or did not confirm.
std::string VerdictReason(const RunReport& run, RunEnd end);

// Adds `record` as the last line of `file`, keeping the newest kHistoryRecords: the file is
// written whole under a fresh name and renamed into place, so a run cut at any point leaves the
// previous history or the new one, never part of a line. Its folder is made when missing
// (readable by all, writable by its owner only); a link at the file is refused, never followed.
// Runs that append at once take turns. False with `problem` when the record could not be kept.
bool AppendRecord(const std::string& file, const nlohmann::json& record, std::string& problem);

struct History {
    std::vector<nlohmann::json> records;  // oldest first
    int unreadable = 0;                   // lines that are no record (edited by hand, say)
};
// The history in `file`: empty when there is none yet; nullopt with `problem` when it cannot be
// read (a link, not a regular file, too large).
std::optional<History> ReadHistory(const std::string& file, std::string& problem);

// The program a record names, for a front-end the system would misname (the console on an
// emulated PC, whose program file is the window's); otherwise the system's program file is named.
void SetHistoryProgram(std::string name);
const std::string& HistoryProgram();

// The newest `count` records for people, newest first. Every text from the file is escaped.
std::string HistoryForPeople(const History& history, size_t count);

// The line the failure message ends with: where the record of this run is.
std::string HistoryNote(const std::string& file);

}  // namespace engine
