// Texts and paths at the Win32 edge: the backend uses common's UTF-8/UTF-16 pair under its own
// namespace, the one the program's file functions use too.
#pragma once

#include "common/WideText.h"

namespace platform::windows {

using common::Utf8;
using common::Wide;
using common::WidePath;

}  // namespace platform::windows
