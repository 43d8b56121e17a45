// Who holds an optical drive on Linux: a file system mounted from its block device, or other
// processes with its device nodes open. Read from the kernel's own tables, never guessed.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace platform::linuxhost {

// The mount points of the file systems mounted from the block device `majorMinor` ("11:0"),
// read from the text of a mountinfo file (proc(5)); the kernel's octal escapes undone.
std::vector<std::string> MountPointsOf(std::string_view mountinfo, const std::string& majorMinor);

// The processes other than `self` that have one of `nodes` open, as "name (process N)", from the
// /proc tree at `procRoot`. Processes whose descriptors this user may not read are not seen.
std::vector<std::string> ProcessesHolding(const std::string& procRoot,
                                          const std::vector<std::string>& nodes, int self);

}  // namespace platform::linuxhost
