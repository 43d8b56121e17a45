// The registry of a Linux machine: a small JSON file in the user's configuration folder.
//
// String values under the local-machine and current-user roots, as the program writes them. A
// value under the RunOnce key is also an autostart entry of the desktop session, so it runs once
// at the next log-in; the program removes both when it starts with that value's command line, as
// Windows removes a RunOnce value when it runs it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "common/UserFiles.h"
#include "platform/System.h"

namespace platform::linuxhost {

// Whose files the registry reads and writes when root works for another user (a run under sudo
// or pkexec). No user: the run's own files.
struct RegistryOwner {
    std::optional<common::FileOwner> user;
    // The folder their files are reached from, opened as given (their home, as the password
    // database names it; the configuration folder lies beneath it). Every folder below it is the
    // user's to change, so each is opened without following a link. Empty: from the root folder.
    std::string home;
};

// How the desktop starts a RunOnce value's command at the next log-in.
struct AutostartLaunch {
    // Words before the command: {"pkexec"} when it needs root's rights again.
    std::vector<std::string> prefix;
    // The entry opens a terminal (a console program's output, or a password prompt).
    bool terminal = false;
};

class RegistryFile {
  public:
    // `configDir` is the user's configuration folder (~/.config).
    explicit RegistryFile(std::string configDir, RegistryOwner owner = {},
                          AutostartLaunch launch = {});

    Status Set(RegistryRoot root, const std::string& key, const std::string& name,
               const std::string& value);
    std::optional<std::string> Query(RegistryRoot root, const std::string& key,
                                     const std::string& name) const;
    Status Delete(RegistryRoot root, const std::string& key, const std::string& name);

    // Why `command` cannot be a RunOnce value (its autostart entry could not carry it), or "".
    // Set refuses such a value with kErrorNotSupported and writes nothing.
    std::string RunOnceProblem(const std::string& command) const;

    // Removes every RunOnce value (and its autostart entry) whose command line is `argv`.
    void RemoveRunOnceStartedAs(const std::vector<std::string>& argv);

    std::string FilePath() const;
    std::string AutostartPath(const std::string& name) const;
    static std::string AutostartName(const std::string& name);

  private:
    // The folder `sub` of the configuration folder, opened as the owner while `acting` holds.
    std::optional<common::Folder> OpenFolder(const std::string& sub, bool create) const;
    // The registry's values; nullopt when the file is there but refused (a link, not a file).
    std::optional<nlohmann::json> Load() const;
    bool Write(const std::string& sub, const std::string& name, const std::string& text) const;
    std::string RunOnceExec(const std::string& command, std::string& problem) const;

    std::string configDir_;
    RegistryOwner owner_;
    AutostartLaunch launch_;
};

}  // namespace platform::linuxhost
