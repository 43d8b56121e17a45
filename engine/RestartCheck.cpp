#include "engine/RestartCheck.h"

#include <algorithm>
#include <string_view>

#include "common/Text.h"
#include "engine/DriveList.h"
#include "engine/UpdateEngine.h"
#include "platform/System.h"

namespace engine {
namespace {
constexpr char kSuccessText[] = "The firmware update was successful.";
constexpr char kFailureText[] =
    "Firmware update failed.\n    \nThe firmware update program could not verify that\nthe "
    "selected drive has been properly updated.";

constexpr int kMaxEntryIndex = 999;
// The package's new-revision field holds at most 8 bytes.
constexpr size_t kMaxEntryRevision = 8;
constexpr char kAfterPath[] = " /QVCHECK ";
constexpr size_t kVendorBytes = 8;
constexpr size_t kProductBytes = 16;
constexpr size_t kIdentityDigits = 2 * (kVendorBytes + kProductBytes);

bool IsIdentity(std::string_view text) {
    return text.size() == kIdentityDigits &&
           text.find_first_not_of("0123456789ABCDEF") == std::string_view::npos;
}

// The fixed-width field as the drive answered it: its bytes up to the first zero, blank-padded.
std::string PaddedField(const char* field, size_t size) {
    std::string text(field, size);
    const size_t end = text.find('\0');
    if (end != std::string::npos) text.replace(end, std::string::npos, size - end, ' ');
    return text;
}

// The path between quotes, as the system's splitting of a command line reads it back: a quote is
// \", and a row of backslashes just before a quote (or before the closing quote) is doubled.
std::string QuotedPath(const std::string& path) {
    std::string quoted = "\"";
    size_t backslashes = 0;
    for (char c : path) {
        if (c == '\\') {
            ++backslashes;
            continue;
        }
        quoted.append(c == '"' ? 2 * backslashes + 1 : backslashes, '\\');
        backslashes = 0;
        quoted += c;
    }
    quoted.append(2 * backslashes, '\\');
    return quoted + "\"";
}
}  // namespace

std::string DriveIdentity(const device::DriveRecord& record) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string hex;
    for (char c :
         PaddedField(record.vendor, kVendorBytes) + PaddedField(record.product, kProductBytes)) {
        const auto byte = static_cast<unsigned char>(c);
        hex += kDigits[byte >> 4];
        hex += kDigits[byte & 0x0F];
    }
    return hex;
}

std::string RestartEntry(const std::string& programPath, int driveIndex,
                         const std::string& newRevision, const std::string& identity) {
    return QuotedPath(programPath) + kAfterPath + std::to_string(driveIndex) + " " + newRevision +
           (identity.empty() ? "" : " " + identity);
}

std::string RestartEntryProblem(const std::string& programPath, int driveIndex,
                                const std::string& newRevision) {
    if (programPath.empty()) return "the program's path is not known";
    if (programPath.find('\0') != std::string::npos) return "the program's path holds a zero byte";
    if (driveIndex < 0 || driveIndex > kMaxEntryIndex)
        return "the drive's index " + std::to_string(driveIndex) + " is not one of 0 to 999";
    // No blank (it would split), no quote or backslash (they would be read as quoting), and no
    // leading dash (a toolkit would take the word as an option of its own).
    const bool revisionFits =
        !newRevision.empty() && newRevision.size() <= kMaxEntryRevision && newRevision[0] != '-' &&
        std::all_of(newRevision.begin(), newRevision.end(),
                    [](char c) { return c > ' ' && c < 0x7f && c != '"' && c != '\\'; });
    if (!revisionFits)
        return "the new revision \"" + newRevision +
               "\" is not 1 to 8 visible characters without a quote, a backslash or a leading dash";
    return "";
}

std::optional<RestartEntryParts> ParseRestartEntry(const std::string& entry) {
    // The path: the inverse of QuotedPath; what follows it is checked by writing the parts again.
    if (entry.empty() || entry[0] != '"') return std::nullopt;
    RestartEntryParts parts;
    size_t at = 1, backslashes = 0;
    for (;; ++at) {
        if (at == entry.size()) return std::nullopt;
        const char c = entry[at];
        if (c == '\\') {
            ++backslashes;
            continue;
        }
        if (c == '"') {
            parts.programPath.append(backslashes / 2, '\\');
            if (backslashes % 2 == 0) break;
            parts.programPath += '"';
        } else {
            parts.programPath.append(backslashes, '\\');
            parts.programPath += c;
        }
        backslashes = 0;
    }
    std::string_view rest(entry);
    rest.remove_prefix(at + 1);
    if (!rest.starts_with(kAfterPath)) return std::nullopt;
    rest.remove_prefix(sizeof kAfterPath - 1);
    const size_t blank = rest.find(' ');
    if (blank == std::string_view::npos || blank == 0 || blank > 3) return std::nullopt;
    const std::string_view index = rest.substr(0, blank);
    if (index.find_first_not_of("0123456789") != std::string_view::npos) return std::nullopt;
    parts.driveIndex = std::stoi(std::string(index));
    parts.revision = std::string(rest.substr(blank + 1));
    // The newer form ends with the drive's identity: exactly 48 upper-case hexadecimal digits.
    if (const size_t last = parts.revision.rfind(' '); last != std::string::npos) {
        parts.identity = parts.revision.substr(last + 1);
        parts.revision.resize(last);
        if (!IsIdentity(parts.identity)) return std::nullopt;
    }
    if (!RestartEntryProblem(parts.programPath, parts.driveIndex, parts.revision).empty())
        return std::nullopt;
    // Only the one spelling the program writes: no leading zeros, no other escapes.
    if (RestartEntry(parts.programPath, parts.driveIndex, parts.revision, parts.identity) != entry)
        return std::nullopt;
    return parts;
}

std::string RestartCheckProblem(int driveIndex, const std::string& newRevision,
                                const std::string& identity) {
    auto& system = platform::CurrentSystem();
    const std::string program = system.ModuleFileName();
    std::string problem = RestartEntryProblem(program, driveIndex, newRevision);
    if (problem.empty())
        problem = system.RunOnceProblem(RestartEntry(program, driveIndex, newRevision, identity));
    return problem;
}

std::string WriteRestartCheck(int driveIndex, const std::string& newRevision,
                              const std::string& identity) {
    auto& system = platform::CurrentSystem();
    const std::string program = system.ModuleFileName();
    // An entry the check would not run from is not written at all.
    std::string problem = RestartEntryProblem(program, driveIndex, newRevision);
    if (problem.empty()) {
        system.SetRegistryString(platform::RegistryRoot::LocalMachine, kRunOnceKey,
                                 kRestartValueName,
                                 RestartEntry(program, driveIndex, newRevision, identity));
    }
    return problem;
}

CheckRequest ParseCheckCommandLine(const std::vector<std::string>& parameters) {
    CheckRequest request;
    // A fifth word is only ever the drive's identity as the program writes it.
    if ((parameters.size() != 4 && (parameters.size() != 5 || !IsIdentity(parameters[4]))) ||
        parameters[1] != kCheckSwitch)
        return request;
    request.requested = true;
    const std::string& index = parameters[2];
    // An index that is not a number names no drive of the list.
    bool numeric = !index.empty() && index.size() <= 9 &&
                   index.find_first_not_of("0123456789") == std::string::npos;
    request.driveIndex = numeric ? std::stoi(index) : -1;
    request.expected = common::TrimBlanks(parameters[3]);
    if (parameters.size() == 5) request.identity = parameters[4];
    return request;
}

CheckResult VerifyUpdate(UpdateEngine& engine, const CheckRequest& request) {
    // The check asks one thing: does the drive at that index now report the revision expected?
    // The package's ranges choose drives to update; after its update a drive has normally left
    // them, so they are not applied here.
    CheckResult result;
    result.outcome = CheckOutcome::Differs;
    result.message = kFailureText;
    const int items = static_cast<int>(engine.ListLines().size());
    // The revision comes from the command line and the found one from the drive: both are shown
    // escaped, and compared as they are.
    const std::string expected =
        "the expected version(" + common::ShownText(request.expected) + ").";
    if (request.driveIndex < 0 || request.driveIndex >= items) {
        result.outcome = CheckOutcome::NotListed;
        result.memo = {"The drive list has no drive " +
                           (request.driveIndex < 0 ? std::string("at the index given")
                                                   : std::to_string(request.driveIndex)) +
                           " (it has " + std::to_string(items) + " drives),",
                       "so no drive could be compared with", expected};
        return result;
    }
    engine.DrivesChange(request.driveIndex);
    // What the drive at that index reports now, not what the revision label kept from another
    // drive.
    const device::DriveRecord* record = engine.ListedDrive(request.driveIndex);
    const bool answered = record && record->present &&
                          (record->vendor[0] || record->product[0] || record->revision[0]);
    const std::string at = "The drive at index " + std::to_string(request.driveIndex);
    if (!answered) {
        result.memo = {at + " did not answer, so its",
                       "firmware version could not be compared with", expected};
        return result;
    }
    if (!request.identity.empty() && DriveIdentity(*record) != request.identity) {
        result.memo = {at + " is a " + common::TrimBlanks(ShownField(record->idText)) + ",",
                       "not the drive that was updated, so it was not compared with", expected};
        return result;
    }
    if (!OfPackageFamily(*record, engine.Package())) {
        result.memo = {at + " is a " + common::TrimBlanks(ShownField(record->idText)) + ",",
                       "not a drive this package updates."};
        return result;
    }
    const std::string found = common::TrimBlanks(DriveRevision(*record, engine.Form()));
    if (InBootLoader(*record)) {
        result.memo = {
            "The drive reports " + ShownField(record->revision) + ": it runs its boot loader,",
            "the firmware in its flash is not whole and does", "not match " + expected};
        return result;
    }
    if (found != request.expected) {
        result.memo = {
            "The firmware version reported by the drive " + common::ShownText(found) + " does",
            "not match " + expected};
        return result;
    }
    result.outcome = CheckOutcome::Matches;
    result.message = kSuccessText;
    return result;
}

}  // namespace engine
