// Texts and paths at the Win32 edge: UTF-8 inside the program, UTF-16 in every call to Windows.
#pragma once

#include <string>
#include <string_view>

namespace platform::windows {

// UTF-8 to UTF-16 and back; a byte that is not UTF-8 becomes U+FFFD, never a '?' of the code page.
std::wstring Wide(std::string_view utf8);
std::string Utf8(std::wstring_view text);

// A path for the wide file functions. One that is MAX_PATH characters or longer is made
// absolute and given the "\\?\" prefix (a share's "\\?\UNC\"), which lifts the limit to 32,767
// characters; device names ("\\.\E:") and paths that carry a prefix already stay as they are.
std::wstring WidePath(const std::string& utf8);

}  // namespace platform::windows
