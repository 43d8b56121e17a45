#include "platform/linux/RegistryFile.h"

#include <sys/fsuid.h>

#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>

#include "common/DesktopEntry.h"
#include "common/Files.h"
#include "common/JsonFields.h"
#include "common/NewFile.h"
#include "common/Text.h"

namespace platform::linuxhost {
namespace {
namespace fs = std::filesystem;
constexpr char kRunOnceKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunOnce";

std::string FullKey(RegistryRoot root, const std::string& key) {
    return (root == RegistryRoot::LocalMachine ? "HKLM\\" : "HKCU\\") + key;
}

bool IsRunOnce(const std::string& key) {
    return key.size() == sizeof kRunOnceKey - 1 &&
           std::equal(key.begin(), key.end(), kRunOnceKey,
                      [](char a, char b) { return std::tolower(a) == std::tolower(b); });
}

// A registry file that cannot be read (absent, not a regular file, not JSON) reads as empty, as
// before its first write; it is read with the same limits as every other input.
nlohmann::json Load(const std::string& path) {
    std::string problem;
    auto bytes = common::ReadWholeFile(path, problem, common::kMaxSmallJsonBytes);
    if (!bytes) return nlohmann::json::object();
    try {
        auto json = common::ParseJson(
            std::string_view(reinterpret_cast<const char*>(bytes->data()), bytes->size()), path);
        return json.is_object() ? json : nlohmann::json::object();
    } catch (const common::JsonError&) {
        return nlohmann::json::object();
    }
}

// While it lives, this thread makes files as `uid` and the kernel checks its access to them as
// that user's (the file system's user and group, which Linux keeps per thread): root writing into
// a user's home leaves no file of root's there, and a link the user left there cannot lead it
// where the user may not write.
class ActingAs {
  public:
    ActingAs(std::optional<uint32_t> uid, uint32_t gid) : active_(uid.has_value()) {
        if (!active_) return;
        previousGid_ = setfsgid(gid);
        previousUid_ = setfsuid(*uid);
    }
    ~ActingAs() {
        if (!active_) return;
        setfsuid(previousUid_);
        setfsgid(previousGid_);
    }
    ActingAs(const ActingAs&) = delete;
    ActingAs& operator=(const ActingAs&) = delete;

  private:
    bool active_;
    int previousUid_ = 0;
    int previousGid_ = 0;
};

std::vector<std::string> WithPrefix(std::vector<std::string> prefix,
                                    const std::vector<std::string>& words) {
    prefix.insert(prefix.end(), words.begin(), words.end());
    return prefix;
}

std::string Canonical(const std::string& path) {
    std::error_code ec;
    auto canonical = fs::canonical(path, ec);
    return ec ? path : canonical.string();
}
}  // namespace

RegistryFile::RegistryFile(std::string configDir, RegistryOwner owner, AutostartLaunch launch)
    : configDir_(std::move(configDir)), owner_(owner), launch_(std::move(launch)) {}

// Written under a fresh name beside it (never through a link) and renamed over, so a crash leaves
// the old file or the new one; as the owner's when root writes for another user.
bool RegistryFile::WriteAtomically(const std::string& path, const std::string& text) const {
    ActingAs owner(owner_.uid, owner_.gid);
    std::error_code ec;
    fs::create_directories(fs::path(path).parent_path(), ec);
    common::NewFile file;
    std::string problem;
    return file.Create(path, ".new", problem) &&
           file.Write(std::span(reinterpret_cast<const uint8_t*>(text.data()), text.size())) &&
           file.Close(false) && file.PutInPlace(path, problem);
}

std::string RegistryFile::FilePath() const {
    return configDir_ + "/brenvo/registry.json";
}

std::string RegistryFile::AutostartPath(const std::string& name) const {
    return configDir_ + "/autostart/brenvo-runonce-" + name + ".desktop";
}

std::string RegistryFile::RunOnceExec(const std::string& command, std::string& problem) const {
    return common::DesktopExecValue(WithPrefix(launch_.prefix, common::SplitCommandLine(command)),
                                    problem);
}

std::string RegistryFile::RunOnceProblem(const std::string& command) const {
    std::string problem;
    RunOnceExec(command, problem);
    return problem;
}

Status RegistryFile::Set(RegistryRoot root, const std::string& key, const std::string& name,
                         const std::string& value) {
    // A RunOnce value the desktop could not run as written is refused before anything is written.
    const bool runOnce = root == RegistryRoot::LocalMachine && IsRunOnce(key);
    std::string problem, exec;
    if (runOnce) {
        exec = RunOnceExec(value, problem);
        if (!problem.empty()) return Status::Failure(kErrorNotSupported);
    }
    auto json = Load(FilePath());
    json[FullKey(root, key)][name] = value;
    if (!WriteAtomically(FilePath(), json.dump(2) + "\n"))
        return Status::Failure(kErrorAccessDenied);
    if (runOnce) {
        std::string entry =
            "[Desktop Entry]\nType=Application\nName=Brenvo check after the restart\n"
            "Exec=" +
            exec + (launch_.terminal ? "\nTerminal=true\n" : "\nTerminal=false\n") +
            "X-GNOME-Autostart-enabled=true\n";
        if (!WriteAtomically(AutostartPath(name), entry))
            return Status::Failure(kErrorAccessDenied);
    }
    return Status::Success();
}

std::optional<std::string> RegistryFile::Query(RegistryRoot root, const std::string& key,
                                               const std::string& name) const {
    auto json = Load(FilePath());
    auto keyIt = json.find(FullKey(root, key));
    if (keyIt == json.end() || !keyIt->is_object()) return std::nullopt;
    auto valueIt = keyIt->find(name);
    if (valueIt == keyIt->end() || !valueIt->is_string()) return std::nullopt;
    return valueIt->get<std::string>();
}

Status RegistryFile::Delete(RegistryRoot root, const std::string& key, const std::string& name) {
    auto json = Load(FilePath());
    auto keyIt = json.find(FullKey(root, key));
    if (keyIt == json.end() || !keyIt->is_object() || !keyIt->contains(name))
        return Status::Failure(kErrorFileNotFound);
    keyIt->erase(name);
    if (!WriteAtomically(FilePath(), json.dump(2) + "\n"))
        return Status::Failure(kErrorAccessDenied);
    if (root == RegistryRoot::LocalMachine && IsRunOnce(key)) {
        ActingAs owner(owner_.uid, owner_.gid);
        std::error_code ec;
        fs::remove(AutostartPath(name), ec);
    }
    return Status::Success();
}

void RegistryFile::RemoveRunOnceStartedAs(const std::vector<std::string>& argv) {
    if (argv.empty()) return;
    auto json = Load(FilePath());
    auto keyIt = json.find(FullKey(RegistryRoot::LocalMachine, kRunOnceKey));
    if (keyIt == json.end() || !keyIt->is_object()) return;
    std::vector<std::string> started;
    for (const auto& [name, value] : keyIt->items()) {
        if (!value.is_string()) continue;
        auto words = common::SplitCommandLine(value.get<std::string>());
        if (words.size() != argv.size() || Canonical(words[0]) != Canonical(argv[0])) continue;
        if (std::equal(words.begin() + 1, words.end(), argv.begin() + 1)) started.push_back(name);
    }
    for (const auto& name : started)
        Delete(RegistryRoot::LocalMachine, kRunOnceKey, name);
}

}  // namespace platform::linuxhost
