#include "engine/RunHistory.h"

#include <filesystem>
#include <sstream>

#include "common/Files.h"
#include "common/JsonFields.h"
#include "common/Text.h"

#ifdef _WIN32
#include "common/NewFile.h"
#include "common/WideText.h"
#else
#include <sys/file.h>
#include <sys/stat.h>

#include "common/UserFiles.h"
#endif

namespace engine {
namespace {

const char* OutcomeName(DriveOutcome outcome) {
    switch (outcome) {
        case DriveOutcome::NotFlashed:
            return "not flashed";
        case DriveOutcome::Flashed:
            return "flashed";
        case DriveOutcome::Failed:
            return "failed";
        case DriveOutcome::Unknown:
            return "unknown";
    }
    return "unknown";
}

// Keeps the newest kHistoryRecords - 1 lines of `old` and adds `line`.
std::string Rotated(const std::string& old, const std::string& line) {
    std::vector<std::string> lines;
    std::istringstream in(old);
    for (std::string l; std::getline(in, l);) {
        if (!l.empty()) lines.push_back(std::move(l));
    }
    const size_t keep = kHistoryRecords - 1;
    const size_t first = lines.size() > keep ? lines.size() - keep : 0;
    std::string text;
    for (size_t i = first; i < lines.size(); ++i)
        text += lines[i] + "\n";
    return text + line + "\n";
}

History Parse(const std::vector<uint8_t>& bytes) {
    History history;
    std::istringstream in(std::string(bytes.begin(), bytes.end()));
    for (std::string line; std::getline(in, line);) {
        if (line.empty()) continue;
        try {
            nlohmann::json record = common::ParseJson(line, "history");
            if (record.is_object()) {
                history.records.push_back(std::move(record));
                continue;
            }
        } catch (const common::JsonError&) {
        }
        ++history.unreadable;
    }
    return history;
}

std::string Field(const nlohmann::json& object, const char* name) {
    auto it = object.find(name);
    if (it == object.end() || !it->is_string()) return "?";
    return common::ShownText(it->get<std::string>());
}

#ifndef _WIN32
struct Place {
    std::string base, below, name;
};

Place PlaceOf(const std::string& file) {
    const std::filesystem::path path(file);
    std::filesystem::path folder = path.parent_path();
    if (folder.empty()) folder = ".";
    const std::string last = folder.filename().string();
    if (last.empty() || last == "." || last == "..") return {folder.string(), "", path.filename()};
    std::filesystem::path parent = folder.parent_path();
    if (parent.empty()) parent = ".";
    return {parent.string(), last, path.filename()};
}

// The history's folder, held open and locked against other runs appending at once.
std::optional<common::Folder> OpenFolder(const Place& place, bool create, std::string& problem) {
    if (create && !place.below.empty()) {
        // Made here rather than by the walk below so that its permissions do not hang on the
        // umask the program was started with.
        std::error_code ignored;
        std::filesystem::create_directories(place.base, ignored);
        const std::string folder = place.base + "/" + place.below;
        if (::mkdir(folder.c_str(), 0755) == 0) ::chmod(folder.c_str(), 0755);
    }
    auto folder = common::Folder::Open(place.base, place.below, false, problem);
    if (folder && ::flock(folder->Descriptor(), create ? LOCK_EX : LOCK_SH) != 0) {
        problem = place.base + "/" + place.below + ": cannot be locked";
        return std::nullopt;
    }
    return folder;
}
#endif

std::string& ProgramOverride() {
    static std::string name;
    return name;
}

}  // namespace

void SetHistoryProgram(std::string name) {
    ProgramOverride() = std::move(name);
}

const std::string& HistoryProgram() {
    return ProgramOverride();
}

std::string VerdictName(RunEnd end) {
    switch (end) {
        case RunEnd::Succeeded:
            return "succeeded";
        case RunEnd::Failed:
            return "failed";
        case RunEnd::Unknown:
            return "unknown";
        case RunEnd::Stopped:
            return "stopped";
        case RunEnd::Declined:
            return "declined";
        case RunEnd::NoDrive:
            return "no drive";
        case RunEnd::None:
            break;
    }
    return "none";
}

std::string VerdictReason(const RunReport& run, RunEnd end) {
    if (end == RunEnd::Succeeded) return "every chosen drive was flashed and confirmed its commit";
    if (run.drives.empty()) return "no drive was flashed";
    std::string reason;
    for (const DriveResult& d : run.drives) {
        std::string why;
        if (d.outcome != DriveOutcome::NotFlashed && d.inBootLoader) {
            why = "runs its boot loader: the firmware in its flash is not whole";
        } else if (d.outcome == DriveOutcome::Failed) {
            why = "the flash failed";
        } else if (d.outcome == DriveOutcome::Unknown) {
            why = "did not confirm its commit in time";
        } else if (d.outcome == DriveOutcome::NotFlashed) {
            why = "not flashed, the run stopped before its turn";
        }
        if (why.empty()) continue;
        reason += (reason.empty() ? "" : "; ") + common::TrimBlanks(d.address) + " " + why;
    }
    return reason.empty() ? "the run was stopped" : reason;
}

nlohmann::json HistoryRecord(const RunReport& run, RunEnd end, const RunFacts& facts) {
    char checksum[9];
    std::snprintf(checksum, sizeof checksum, "%08X", facts.checksum);
    nlohmann::json drives = nlohmann::json::array();
    for (const DriveResult& d : run.drives) {
        drives.push_back({{"address", d.address},
                          {"identity", d.identity},
                          {"path", d.path},
                          {"before", d.oldRevision},
                          {"package", d.packageRevision},
                          {"outcome", OutcomeName(d.outcome)},
                          {"after", d.answered ? d.revisionAfter : ""},
                          {"answered", d.answered}});
    }
    return {{"time", facts.time},
            {"program", facts.program},
            {"package", {{"title", facts.title}, {"checksum", checksum}}},
            {"drives", std::move(drives)},
            {"verdict", VerdictName(end)},
            {"reason", VerdictReason(run, end)}};
}

bool AppendRecord(const std::string& file, const nlohmann::json& record, std::string& problem) {
    // Invalid UTF-8 from a drive is replaced rather than thrown over.
    const std::string line = record.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
#ifdef _WIN32
    std::error_code ignored;
    std::filesystem::create_directories(common::FilePath(file).parent_path(), ignored);
    std::string old;
    std::string readProblem;
    if (auto bytes = common::ReadWholeFile(file, readProblem, kMaxHistoryBytes))
        old.assign(bytes->begin(), bytes->end());
    const std::string text = Rotated(old, line);
    return common::WriteFileInPlace(
        file, std::span(reinterpret_cast<const uint8_t*>(text.data()), text.size()), "new", false,
        problem);
#else
    const Place place = PlaceOf(file);
    auto folder = OpenFolder(place, true, problem);
    if (!folder) return false;
    std::string readProblem;
    std::string old;
    // A history grown past its bound by someone else's hand is started afresh.
    if (auto bytes = folder->Read(place.name, kMaxHistoryBytes, readProblem))
        old.assign(bytes->begin(), bytes->end());
    const std::string text = Rotated(old, line);
    if (folder->Write(place.name,
                      std::span(reinterpret_cast<const uint8_t*>(text.data()), text.size()),
                      problem))
        return true;
    problem = place.base + "/" + (place.below.empty() ? "" : place.below + "/") + problem;
    return false;
#endif
}

std::optional<History> ReadHistory(const std::string& file, std::string& problem) {
    problem.clear();
#ifdef _WIN32
    if (common::NotARegularFile(file) == "does not exist") return History{};
    auto bytes = common::ReadWholeFile(file, problem, kMaxHistoryBytes);
    if (!bytes) {
        problem = file + " " + problem;
        return std::nullopt;
    }
#else
    const Place place = PlaceOf(file);
    std::string openProblem;
    auto folder = OpenFolder(place, false, openProblem);
    if (!folder) return History{};  // no folder yet: no run has written
    auto bytes = folder->Read(place.name, kMaxHistoryBytes, problem);
    if (!bytes) {
        if (problem.empty()) return History{};
        problem = file + ": " + problem;
        return std::nullopt;
    }
#endif
    return Parse(*bytes);
}

std::string HistoryForPeople(const History& history, size_t count) {
    std::string text;
    size_t shown = 0;
    for (auto it = history.records.rbegin(); it != history.records.rend() && shown < count;
         ++it, ++shown) {
        const nlohmann::json& r = *it;
        text += Field(r, "time") + "  " + Field(r, "program") + "  " + Field(r, "verdict") + "\n";
        const nlohmann::json package =
            r.contains("package") && r["package"].is_object() ? r["package"] : nlohmann::json{};
        text += "  package " + Field(package, "title") + " (checksum " +
                Field(package, "checksum") + ")\n";
        if (r.contains("drives") && r["drives"].is_array()) {
            for (const nlohmann::json& d : r["drives"]) {
                if (!d.is_object()) continue;
                std::string after = Field(d, "after");
                if (after.empty()) after = "no answer";
                text += "  " + Field(d, "address") + " " + Field(d, "identity") + ": " +
                        Field(d, "before") + " -> " + after + ", " + Field(d, "outcome") + " (" +
                        Field(d, "path") + ")\n";
            }
        }
        text += "  " + Field(r, "reason") + "\n";
    }
    if (history.records.empty()) text += "No run has written to a drive yet.\n";
    if (history.unreadable > 0)
        text += std::to_string(history.unreadable) + " line(s) of the file are no record.\n";
    return text;
}

std::string HistoryNote(const std::string& file) {
    return "The record of this run is in " + common::ShownText(file) + ".";
}

}  // namespace engine
