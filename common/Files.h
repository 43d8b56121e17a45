// Reading a whole input file, with every way it can fail said in words.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace common {

// The bytes of the file at `path`, or nullopt with `problem` saying why not ("does not exist",
// "is a folder, not a file", "cannot be opened: Permission denied", ...). Never throws for a
// file it cannot read. A file longer than `maxBytes` (an endless device among them) is refused.
std::optional<std::vector<uint8_t>> ReadWholeFile(const std::string& path, std::string& problem,
                                                  size_t maxBytes = size_t{512} << 20);

}  // namespace common
