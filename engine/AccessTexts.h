// The access refusal where the system's rights are not the Windows administrator's (Linux): the
// node refused, the user, and what on this machine would give access, by language (1
// Traditional Chinese, 2 Japanese, any other value English).
#pragma once

#include <cstddef>
#include <string>

#include "engine/StartupTexts.h"
#include "platform/AccessDenial.h"

namespace engine {

// `console`: the text is for a terminal (root's rights through sudo), not for the window (through
// pkexec where a polkit action names the program, else sudo from the desktop's terminal with the
// display passed by name: sudo -E would hand a root window the user's whole environment).
CaptionedText AccessDenialText(const platform::AccessDenial& denial, int language, bool console);

// The text with its lines broken to at most `columns` (a Chinese or Japanese character takes
// two): after a space, or before a wide character that is not closing punctuation; a word longer
// than a line (a path) stays whole. Lines of a list ("- ") go on indented. Message boxes show
// lines as they are given, and a terminal is about 80 columns wide.
std::string WrapLines(const std::string& text, size_t columns);
inline constexpr size_t kAccessTextColumns = 78;

}  // namespace engine
