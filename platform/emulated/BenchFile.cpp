#include "platform/emulated/BenchFile.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>

#include "common/Files.h"
#include "common/NewFile.h"
#include "common/Text.h"
#include "common/WideText.h"
#include "platform/emulated/DriveBench.h"
#include "platform/emulated/FlashFiles.h"
#include "platform/emulated/IdeBench.h"

namespace platform::emulated {
namespace {
using nlohmann::json;
using nlohmann::ordered_json;

void ReadClock(Fields& f, ClockSettings& c) {
    c.paced = f.Choice("mode", c.paced ? "paced" : "virtual", {"virtual", "paced"}) == "paced";
    c.now = f.Number("now", c.now, 0, 1e9);
    c.pollMicroseconds = f.Number("pollMicroseconds", c.pollMicroseconds, 0.001, 1e6);
    c.counterPresent = f.Bool("performanceCounter", c.counterPresent);
    c.frequency = f.Integer("frequency", c.frequency, 1, int64_t{1} << 40);
}

void ReadSecurity(Fields& f, SecuritySettings& s) {
    s.administrator = f.Bool("administrator", s.administrator);
    s.securityApiPresent = f.Bool("advapi32", s.securityApiPresent);
    const json* missing = f.Raw("missingEntries");
    if (missing) {
        if (!missing->is_array()) f.Fail("missingEntries", "expected a list of entry names");
        for (const auto& name : *missing) {
            if (name == "AllocateAndInitializeSid")
                s.allocateAndInitializeSid = false;
            else if (name == "CheckTokenMembership")
                s.checkTokenMembership = false;
            else if (name == "FreeSid")
                s.freeSid = false;
            else
                f.Fail("missingEntries",
                       "unknown entry " + common::Excerpt(name) +
                           " (AllocateAndInitializeSid, CheckTokenMembership or FreeSid)");
        }
    }
    s.membershipCheckFails = f.Bool("membershipCheckFails", s.membershipCheckFails);
}

void ReadShutdown(Fields& f, ShutdownSettings& s) {
    s.processToken = f.Bool("processToken", s.processToken);
    s.shutdownPrivilege = f.Bool("shutdownPrivilege", s.shutdownPrivilege);
    s.exitWindowsFails = f.Bool("exitWindowsFails", s.exitWindowsFails);
}

void ReadRestart(Fields& f, RestartRecord& r) {
    r.requests = static_cast<int>(f.Integer("requests", r.requests, 0, 1'000'000));
    r.pending = f.Bool("pending", r.pending);
    r.lastFlags = static_cast<uint32_t>(f.Integer("lastFlags", r.lastFlags, 0, 0xFFFFFFFF));
    r.boots = static_cast<int>(f.Integer("boots", r.boots, 0, 1'000'000));
    r.refused = static_cast<int>(f.Integer("refused", r.refused, 0, 1'000'000));
}

void ReadFile(Fields& f, Machine& m) {
    std::string path = f.String("path", "");
    if (path.empty()) f.Fail("path", "a file needs its Windows path");
    bool readOnly = f.Bool("readOnly", false);
    std::vector<uint8_t> data;
    if (f.Has("base64") && f.Has("text")) f.Fail("text", "give either base64 or text, not both");
    if (f.Has("base64")) {
        auto decoded = common::Base64Decode(f.String("base64", ""));
        if (!decoded) f.Fail("base64", "not valid base64");
        data = std::move(*decoded);
    } else {
        std::string text = f.String("text", "");
        data.assign(text.begin(), text.end());
    }
    if (m.FindFile(path))
        f.Fail("path", "the file " + common::QuotedExcerpt(path) + " is listed twice");
    m.PutFile(path, std::move(data), readOnly ? 0x01 : 0x80);
}

void ReadRegistryValue(Fields& f, Machine& m) {
    std::string key = f.String("key", "");
    if (key.rfind("HKLM\\", 0) != 0 && key.rfind("HKCU\\", 0) != 0) {
        f.Fail("key", "expected a key starting with HKLM\\ or HKCU\\, found " +
                          common::QuotedExcerpt(key));
    }
    std::string name = f.String("name", "");
    m.PutRegistry(key, name, f.String("value", ""));
}

}  // namespace

std::shared_ptr<Machine> ParseBench(std::string_view text, const std::string& name) {
    json root = common::ParseJson(text, name);
    Fields top(root, name);
    auto format = top.Integer("brenvoBench", -1, -1, 1'000'000);
    if (format == -1)
        top.Fail("brenvoBench", "missing: a bench file starts with \"brenvoBench\": 1");
    if (format != kBenchFormat) {
        top.Fail("brenvoBench",
                 "this program reads bench format 1, the file is format " + std::to_string(format));
    }
    // Flash contents files lie beside the bench.
    const std::string folder = common::PathText(common::FilePath(name).parent_path());
    auto machine = std::make_shared<Machine>();
    Machine& m = *machine;
    top.Object("machine", [&](Fields& f) {
        m.family = f.Choice("family", "nt", {"nt", "9x"}) == "nt" ? Family::Nt : Family::Windows9x;
        m.versionCallFails = f.Bool("getVersionFails", m.versionCallFails);
        m.programPath = f.String("programPath", m.programPath);
        m.hostProgram = f.String("hostProgram", m.hostProgram);
    });
    top.Object("clock", [&](Fields& f) { ReadClock(f, m.clockSettings); });
    top.Object("security", [&](Fields& f) { ReadSecurity(f, m.security); });
    top.Object("shutdown", [&](Fields& f) { ReadShutdown(f, m.shutdown); });
    top.Object("directories", [&](Fields& f) {
        m.tempDirectory = f.NullableString("temp", m.tempDirectory);
        m.windowsDirectory = f.NullableString("windows", m.windowsDirectory);
        m.systemDirectory = f.NullableString("system", m.systemDirectory);
    });
    top.Array("files", [&](Fields& f, size_t) { ReadFile(f, m); });
    top.Array("registry", [&](Fields& f, size_t) { ReadRegistryValue(f, m); });
    top.Object("restart", [&](Fields& f) { ReadRestart(f, m.restart); });
    top.Object("ide", [&](Fields& f) { ReadIdeSection(f, m, folder); });
    top.Object("aspi", [&](Fields& f) { ReadAspi(f, m.aspi); });
    top.Array("drives", [&](Fields& f, size_t) { ReadDrive(f, m, folder); });
    top.Finish();
    return machine;
}

void CheckBenchName(const std::string& path) {
    // What a file name may hold, in bytes (Windows counts UTF-16 units, never more than bytes).
    constexpr size_t kLongestFileName = 255;
    const std::string stem = common::PathText(common::FilePath(path).filename());
    // A drive without a letter is named by its place in the list, and a list holds fewer than
    // kMaxJsonValues drives.
    DriveSettings unlettered;
    const std::string flashName =
        std::max(DriveFlashName(unlettered, common::kMaxJsonValues - 1),
                 IdeFlashName(std::tuple_size_v<decltype(IdeMachine::driveSlots)> - 1),
                 [](const auto& a, const auto& b) { return a.size() < b.size(); });
    const std::string longest =
        ContentsFileName(stem, flashName, kWidestGeneration) + ".writing.XXXXXX";
    // The lock file's names ("NAME.lock", "NAME.lock.taking.XXXXXX") and the bench's own
    // temporary name ("NAME.writing.XXXXXX") are shorter.
    if (longest.size() <= kLongestFileName) return;
    const size_t room = kLongestFileName - (longest.size() - stem.size());
    throw BenchError(path + ": the bench file's name is too long (" + std::to_string(stem.size()) +
                     " bytes): the files a save keeps beside the bench are named after it, and "
                     "the longest would pass the 255 bytes a file name may hold; give the bench "
                     "a name of at most " +
                     std::to_string(room) + " bytes");
}

std::shared_ptr<Machine> LoadBench(const std::string& path) {
    CheckBenchName(path);
    std::string problem;
    auto bytes = common::ReadWholeFile(path, problem, common::kMaxBenchBytes);
    if (!bytes) throw BenchError(path + ": the bench file " + problem);
    auto machine = ParseBench(
        std::string_view(reinterpret_cast<const char*>(bytes->data()), bytes->size()), path);
    machine->benchPath = path;
    return machine;
}

namespace {
// The bench's text; the flash contents go where `flashes` puts them.
std::string Serialize(Machine& m, FlashWriter& flashes) {
    m.FreezeClock();
    std::lock_guard lock(m.mutex);
    ordered_json root;
    root["brenvoBench"] = kBenchFormat;
    root["machine"] = {{"family", m.family == Family::Nt ? "nt" : "9x"},
                       {"getVersionFails", m.versionCallFails},
                       {"programPath", m.programPath},
                       {"hostProgram", m.hostProgram}};
    const auto& c = m.clockSettings;
    root["clock"] = {{"mode", c.paced ? "paced" : "virtual"},
                     {"now", c.now},
                     {"pollMicroseconds", c.pollMicroseconds},
                     {"performanceCounter", c.counterPresent},
                     {"frequency", c.frequency}};
    const auto& s = m.security;
    ordered_json missing = ordered_json::array();
    if (!s.allocateAndInitializeSid) missing.push_back("AllocateAndInitializeSid");
    if (!s.checkTokenMembership) missing.push_back("CheckTokenMembership");
    if (!s.freeSid) missing.push_back("FreeSid");
    root["security"] = {{"administrator", s.administrator},
                        {"advapi32", s.securityApiPresent},
                        {"missingEntries", missing},
                        {"membershipCheckFails", s.membershipCheckFails}};
    root["shutdown"] = {{"processToken", m.shutdown.processToken},
                        {"shutdownPrivilege", m.shutdown.shutdownPrivilege},
                        {"exitWindowsFails", m.shutdown.exitWindowsFails}};
    auto dir = [](const std::optional<std::string>& d) {
        return d ? ordered_json(*d) : ordered_json(nullptr);
    };
    root["directories"] = {{"temp", dir(m.tempDirectory)},
                           {"windows", dir(m.windowsDirectory)},
                           {"system", dir(m.systemDirectory)}};
    ordered_json files = ordered_json::array();
    for (const auto& [key, file] : m.files) {
        files.push_back({{"path", file.path},
                         {"readOnly", (file.attributes & 0x01) != 0},
                         {"base64", common::Base64Encode(file.data)}});
    }
    root["files"] = files;
    ordered_json registry = ordered_json::array();
    for (const auto& [key, value] : m.registry) {
        registry.push_back({{"key", value.key}, {"name", value.name}, {"value", value.value}});
    }
    root["registry"] = registry;
    root["restart"] = {{"requests", m.restart.requests},
                       {"pending", m.restart.pending},
                       {"lastFlags", m.restart.lastFlags},
                       {"boots", m.restart.boots},
                       {"refused", m.restart.refused}};
    if (m.ide.present) root["ide"] = WriteIdeSection(m, flashes);
    root["aspi"] = WriteAspi(m.aspi);
    ordered_json drives = ordered_json::array();
    for (size_t i = 0; i < m.drives.size(); ++i) {
        DriveSettings d = m.drives[i]->Settings();
        drives.push_back(WriteDrive(d, flashes.Store(DriveFlashName(d, i), d.flash)));
    }
    root["drives"] = drives;
    return root.dump(2) + "\n";
}

// The bench goes to a fresh file beside it, renamed into place: a link at the bench's temporary
// name is never written through.
void WriteBenchText(const std::string& text, const std::string& path) {
    std::string problem;
    if (!common::WriteFileInPlace(
            path, std::span(reinterpret_cast<const uint8_t*>(text.data()), text.size()), ".writing",
            false, problem))
        throw BenchError(path + ": the bench file " + problem);
}
}  // namespace

std::string SerializeBench(Machine& m) {
    FlashWriter inline_;
    try {
        return Serialize(m, inline_);
    } catch (const FlashFileError& e) {
        throw BenchError(e.what());
    }
}

void SaveBench(Machine& m, const std::string& path, const std::function<void(SaveStep)>& reached) {
    FlashWriter flashes(path);
    try {
        std::string text = Serialize(m, flashes);
        if (reached) reached(SaveStep::ContentsWritten);
        WriteBenchText(text, path);
    } catch (const std::exception& e) {
        // Nothing names what this save wrote; left behind, it would only fill the disk further.
        flashes.RemoveWrittenFiles();
        throw BenchError(e.what());
    }
    if (reached) reached(SaveStep::BenchWritten);
    std::lock_guard lock(m.mutex);
    for (size_t i = 0; i < m.drives.size(); ++i) {
        m.drives[i]->ByHand(
            [&](DriveSettings& d) { flashes.MarkStored(DriveFlashName(d, i), d.flash); });
    }
    for (size_t i = 0; i < m.ide.driveSlots.size(); ++i)
        flashes.MarkStored(IdeFlashName(i), m.ide.driveSlots[i].flash);
    // What a run wrote is counted against the bench it runs on, not a copy saved elsewhere.
    std::set<std::string> writtenElsewhere;
    flashes.RemoveUnnamedFiles(path == m.benchPath ? m.contentsWritten : writtenElsewhere);
}

}  // namespace platform::emulated
