// Writing files without following links: a program makes every file it writes under a name that
// no file had (never through a link someone left at a fixed name, never into an existing file),
// then renames it into place, which replaces a name and never writes through it.
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string>

namespace common {

// What stands at `path` when a program must not replace it: "is a folder", "is a symbolic link",
// "is a device, a pipe or a socket, not a regular file". Empty when nothing is there or a regular
// file is.
std::string NotReplaceable(const std::string& path);

// For tests: the six characters of fresh names come from `source`, asked with the attempt (0 for
// the first name a NewFile tries, 1 after that name was taken...), until it is set empty again; a
// test can so plant a link at the very name a program is about to open.
void SetFreshSuffixSource(std::function<std::string(int attempt)> source);
// Six fresh characters for a name made beside another (random, or the tests' source).
std::string FreshSuffix(int attempt);

// A file this run made beside `target`, named "TARGET.TAG.XXXXXX" with six fresh characters, opened
// for reading and writing only if no file (nor link) had that name. Removed when destroyed unless
// it was put in place.
class NewFile {
  public:
    // False with `problem` (the system's words) when no such file can be made. When it will
    // replace a regular file at `target`, it takes that file's permissions and owner first
    // (TakeModeAndOwnerOf), so a save leaves a private file private.
    bool Create(const std::string& target, const std::string& tag, std::string& problem);
    // Gives the new file the permission bits of the regular file at `model` (never set-user-ID,
    // set-group-ID or sticky) and, when this process is root and that file is another user's, its
    // owner and group. Nothing when `model` is not a regular file (a link is not followed). False
    // with `problem` when the system refuses. Does nothing on Windows.
    bool TakeModeAndOwnerOf(const std::string& model, std::string& problem);
    ~NewFile();
    NewFile() = default;
    NewFile(const NewFile&) = delete;
    NewFile& operator=(const NewFile&) = delete;

    const std::string& Path() const { return path_; }
    bool Write(std::span<const uint8_t> bytes);
    // Whether the file, read back through its own descriptor (never by its name, which someone
    // may have given to another file meanwhile), holds exactly `bytes`.
    bool Holds(std::span<const uint8_t> bytes) const;
    // Gives the open file the permission bits of `mode` less set-user-ID, set-group-ID and sticky,
    // through its descriptor (on Windows: read-only unless `mode` lets the owner write). False
    // with `problem` when the system refuses.
    bool SetPermissions(unsigned mode, std::string& problem);
    // Flushes and, when `durable`, syncs the contents to the disk, then closes the file.
    bool Close(bool durable);
    // Renames the file to `target` (on Windows it is closed first; on POSIX it stays open). False
    // with `problem` when the system refuses.
    bool PutInPlace(const std::string& target, std::string& problem);
    // Hands the open descriptor over to the caller; the file stays, whatever its name.
    int Release();
    // Removes the file if it is still under its own name.
    void Discard();
    // The open descriptor (POSIX) or C runtime handle (Windows); -1 once closed.
    int Descriptor() const { return fd_; }

  private:
    std::string path_;
    int fd_ = -1;
    bool placed_ = false;
};

// Writes `bytes` to `target` through a NewFile tagged `tag`: the file at `target` is replaced
// whole or not at all, and a link there is replaced, never followed. Refuses a target that is not
// a regular file. False with `problem` saying why.
bool WriteFileInPlace(const std::string& target, std::span<const uint8_t> bytes,
                      const std::string& tag, bool durable, std::string& problem);

}  // namespace common
