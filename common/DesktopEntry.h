// The Exec= value of a desktop entry (the autostart entry that runs the check after a restart):
// written so that a desktop reads back exactly the words it was given, or refused.
#pragma once

#include <string>
#include <vector>

namespace common {

// The value after "Exec=": a word holding a reserved character is put in double quotes, with a
// backslash before each " ` $ and backslash inside them; a % is %%; then the file's own string
// escaping doubles every backslash. Returns "" and says why in `problem` when a word cannot be
// carried: a control byte (a newline, a tab, ...), text that is not UTF-8, an empty first word,
// or a % in the first word (a desktop looks that word up as a program before it turns %% into
// %, finds none and drops the whole entry).
std::string DesktopExecValue(const std::vector<std::string>& words, std::string& problem);

}  // namespace common
