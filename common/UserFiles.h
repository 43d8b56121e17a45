// Another user's files, as root reads and writes them for that user: with that user's rights only,
// and never through a link the user could have left.
//
// Under sudo or pkexec the program runs as root but keeps files of the user who started it (the
// check after a restart, a bench in their folder). Root's rights must not reach through those
// files: the thread takes the user's file-system identity and groups while it works on them, and
// opens each folder below the starting point one name at a time, refusing a link at every step.
#pragma once

#ifndef _WIN32

#include <sys/types.h>

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace common {

// Whose files they are: the identity the kernel checks access against while root works on them.
struct FileOwner {
    uint32_t uid = 0;
    uint32_t gid = 0;
    std::vector<uint32_t> groups;  // the supplementary groups, as the group database lists them
};

// The groups the group database gives user `name` whose primary group is `gid` (that one included).
std::vector<uint32_t> GroupsOf(const std::string& name, uint32_t gid);

// While it lives, the calling thread opens, makes and removes files as `owner` (its file-system
// user and group and its supplementary groups are the owner's); no owner: as itself. `ok()` is
// false when the thread could not take that identity, and then nothing may be touched.
//
// Only this thread changes. The C library's setgroups (and its setuid family) change every thread
// of the process, as POSIX wants, by signalling each one: a worker flashing a drive, or the
// window's thread, would work with the user's groups in the meantime. The kernel keeps these
// credentials per thread, so the raw system calls change the caller alone.
class ActingAs {
  public:
    explicit ActingAs(const std::optional<FileOwner>& owner);
    ~ActingAs();
    ActingAs(const ActingAs&) = delete;
    ActingAs& operator=(const ActingAs&) = delete;
    bool ok() const { return ok_; }

  private:
    bool active_ = false;
    bool ok_ = true;
    int previousUid_ = 0;
    int previousGid_ = 0;
    std::vector<gid_t> previousGroups_;
};

// A folder held open: names in it are opened relative to it, never through a link.
class Folder {
  public:
    // `base` opened as given (a folder the user does not control: their home as the password
    // database names it, or the run's own folder; made when missing and `create`), then each name
    // of `below` (a relative path) under it without following a link; a missing folder is made when
    // `create`. Nullopt with `problem` when a name is a link, not a folder, or cannot be opened.
    static std::optional<Folder> Open(const std::string& base, const std::string& below,
                                      bool create, std::string& problem);
    Folder(Folder&& other) noexcept : fd_(other.fd_) { other.fd_ = -1; }
    Folder& operator=(Folder&& other) noexcept;
    Folder(const Folder&) = delete;
    Folder& operator=(const Folder&) = delete;
    ~Folder();
    int Descriptor() const { return fd_; }

    // The regular file `name`, at most `maxBytes` long. Nullopt with an empty `problem` when
    // there is none; with `problem` when it is a link, not a regular file, or cannot be read.
    std::optional<std::vector<uint8_t>> Read(const std::string& name, size_t maxBytes,
                                             std::string& problem) const;
    // Replaces `name` with `bytes`: written under a fresh name, then renamed over it. A file
    // already there keeps its permissions; anything there but a regular file is refused.
    bool Write(const std::string& name, std::span<const uint8_t> bytes, std::string& problem) const;
    // Removes the name (a link is removed, never followed); true when it is gone.
    bool Remove(const std::string& name) const;

  private:
    explicit Folder(int fd) : fd_(fd) {}
    int fd_ = -1;
};

}  // namespace common

#endif
