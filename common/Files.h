// Reading a whole input file, with every way it can fail said in words.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace common {

// How large the inputs of each kind may be. A bench file is small, but one written before flash
// contents moved beside it carries them inline (16 drives of 1 MiB: 22 MB); a manifest or the
// registry file is a few hundred bytes.
inline constexpr size_t kMaxBenchBytes = size_t{32} << 20;
inline constexpr size_t kMaxSmallJsonBytes = size_t{1} << 20;

// The bytes of the file at `path`, or nullopt with `problem` saying why not ("does not exist",
// "is a folder, not a file", "is a FIFO (named pipe), not a file", "cannot be opened:
// Permission denied", ...). Never throws for a file it cannot read, and never waits: anything but
// a regular file (a FIFO, a device, a socket, a folder) is refused before a byte is read, and so
// is a file longer than `maxBytes`.
std::optional<std::vector<uint8_t>> ReadWholeFile(const std::string& path, std::string& problem,
                                                  size_t maxBytes = size_t{512} << 20);

// What the thing at `path` is when it is not a regular file ("is a folder, not a file", "is a
// character device, not a file"...), "does not exist", or empty for a regular file (links
// followed). For inputs opened by other means than ReadWholeFile.
std::string NotARegularFile(const std::string& path);

#ifndef _WIN32
// What a file of the mode `mode` (as stat gives it) is, said for a message ("is a FIFO (named
// pipe), not a file"); empty for a regular file.
std::string FileKind(unsigned mode);
#endif

}  // namespace common
