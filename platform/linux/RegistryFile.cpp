#include "platform/linux/RegistryFile.h"

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

std::vector<std::string> WithPrefix(std::vector<std::string> prefix,
                                    const std::vector<std::string>& words) {
    prefix.insert(prefix.end(), words.begin(), words.end());
    return prefix;
}

// The registry file's contents; one that is not JSON reads as empty, as before its first write.
nlohmann::json Parsed(const std::vector<uint8_t>& bytes, const std::string& path) {
    try {
        auto json = common::ParseJson(
            std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()), path);
        return json.is_object() ? json : nlohmann::json::object();
    } catch (const common::JsonError&) {
        return nlohmann::json::object();
    }
}

std::string Canonical(const std::string& path) {
    std::error_code ec;
    auto canonical = fs::canonical(path, ec);
    return ec ? path : canonical.string();
}
}  // namespace

RegistryFile::RegistryFile(std::string configDir, RegistryOwner owner, AutostartLaunch launch)
    : configDir_(std::move(configDir)), owner_(owner), launch_(std::move(launch)) {}

// Root working for another user works as that user (their rights, their groups) and never
// through a link: each folder from their home down is opened without following one.
std::optional<common::Folder> RegistryFile::OpenFolder(const std::string& sub, bool create) const {
    std::string base = configDir_, below = sub;
    if (owner_.user) {
        const std::string& home = owner_.home;
        const bool underHome = !home.empty() && configDir_.size() > home.size() &&
                               configDir_.compare(0, home.size(), home) == 0 &&
                               configDir_[home.size()] == '/';
        base = underHome ? home : "/";
        below = configDir_.substr(underHome ? home.size() : 0) + "/" + sub;
    }
    std::string problem;
    return common::Folder::Open(base, below, create, problem);
}

std::optional<nlohmann::json> RegistryFile::Load() const {
    common::ActingAs acting(owner_.user);
    if (!acting.ok()) return std::nullopt;
    auto folder = OpenFolder("brenvo", false);
    if (!folder) return nlohmann::json::object();
    std::string problem;
    auto bytes = folder->Read("registry.json", common::kMaxSmallJsonBytes, problem);
    if (!bytes) {
        if (problem.empty()) return nlohmann::json::object();
        return std::nullopt;
    }
    return Parsed(*bytes, FilePath());
}

// Written under a fresh name beside it and renamed over, so a crash leaves the old file or the
// new one.
bool RegistryFile::Write(const std::string& sub, const std::string& name,
                         const std::string& text) const {
    common::ActingAs acting(owner_.user);
    if (!acting.ok()) return false;
    auto folder = OpenFolder(sub, true);
    std::string problem;
    return folder &&
           folder->Write(name,
                         std::span(reinterpret_cast<const uint8_t*>(text.data()), text.size()),
                         problem);
}

std::string RegistryFile::FilePath() const {
    return configDir_ + "/brenvo/registry.json";
}

std::string RegistryFile::AutostartPath(const std::string& name) const {
    return configDir_ + "/autostart/" + AutostartName(name);
}

std::string RegistryFile::AutostartName(const std::string& name) {
    return "brenvo-runonce-" + name + ".desktop";
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
    // A value's name is also a file's name in the autostart folder.
    if (name.empty() || name.find('/') != std::string::npos)
        return Status::Failure(kErrorInvalidParameter);
    // A RunOnce value the desktop could not run as written is refused before anything is written.
    const bool runOnce = root == RegistryRoot::LocalMachine && IsRunOnce(key);
    std::string problem, exec;
    if (runOnce) {
        exec = RunOnceExec(value, problem);
        if (!problem.empty()) return Status::Failure(kErrorNotSupported);
    }
    auto json = Load();
    if (!json) return Status::Failure(kErrorAccessDenied);
    (*json)[FullKey(root, key)][name] = value;
    if (!Write("brenvo", "registry.json", json->dump(2) + "\n"))
        return Status::Failure(kErrorAccessDenied);
    if (runOnce) {
        std::string entry =
            "[Desktop Entry]\nType=Application\nName=Brenvo check after the restart\n"
            "Exec=" +
            exec + (launch_.terminal ? "\nTerminal=true\n" : "\nTerminal=false\n") +
            "X-GNOME-Autostart-enabled=true\n";
        if (!Write("autostart", AutostartName(name), entry))
            return Status::Failure(kErrorAccessDenied);
    }
    return Status::Success();
}

std::optional<std::string> RegistryFile::Query(RegistryRoot root, const std::string& key,
                                               const std::string& name) const {
    auto json = Load();
    if (!json) return std::nullopt;
    auto keyIt = json->find(FullKey(root, key));
    if (keyIt == json->end() || !keyIt->is_object()) return std::nullopt;
    auto valueIt = keyIt->find(name);
    if (valueIt == keyIt->end() || !valueIt->is_string()) return std::nullopt;
    return valueIt->get<std::string>();
}

Status RegistryFile::Delete(RegistryRoot root, const std::string& key, const std::string& name) {
    auto json = Load();
    if (!json) return Status::Failure(kErrorAccessDenied);
    auto keyIt = json->find(FullKey(root, key));
    if (keyIt == json->end() || !keyIt->is_object() || !keyIt->contains(name))
        return Status::Failure(kErrorFileNotFound);
    keyIt->erase(name);
    if (!Write("brenvo", "registry.json", json->dump(2) + "\n"))
        return Status::Failure(kErrorAccessDenied);
    if (root == RegistryRoot::LocalMachine && IsRunOnce(key)) {
        common::ActingAs acting(owner_.user);
        auto folder = acting.ok() ? OpenFolder("autostart", false) : std::nullopt;
        if (folder) folder->Remove(AutostartName(name));
    }
    return Status::Success();
}

void RegistryFile::RemoveRunOnceStartedAs(const std::vector<std::string>& argv) {
    if (argv.empty()) return;
    auto json = Load();
    if (!json) return;
    auto keyIt = json->find(FullKey(RegistryRoot::LocalMachine, kRunOnceKey));
    if (keyIt == json->end() || !keyIt->is_object()) return;
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
