// Writing files without following links: a program makes every file it writes under a name that
// no file had (never through a link someone left at a fixed name, never into an existing file),
// then renames it into place, which replaces a name and never writes through it.
#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace common {

// What stands at `path` when a program must not replace it: "is a folder", "is a symbolic link",
// "is a device, a pipe or a socket, not a regular file". Empty when nothing is there or a regular
// file is.
std::string NotReplaceable(const std::string& path);

// A file this run made beside `target`, named "TARGET.TAG.XXXXXX" with six fresh characters, opened
// for writing only if no file (nor link) had that name. Removed when destroyed unless it was put
// in place.
class NewFile {
  public:
    // False with `problem` (the system's words) when no such file can be made.
    bool Create(const std::string& target, const std::string& tag, std::string& problem);
    ~NewFile();
    NewFile() = default;
    NewFile(const NewFile&) = delete;
    NewFile& operator=(const NewFile&) = delete;

    const std::string& Path() const { return path_; }
    bool Write(std::span<const uint8_t> bytes);
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
