// Texts and paths at the edge of Windows: UTF-8 inside the program, UTF-16 in every call to the
// system. Everywhere else a path's bytes are its name and nothing is converted.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace common {

#ifdef _WIN32
// UTF-8 to UTF-16 and back; a byte that is not UTF-8 becomes U+FFFD, never a '?' of the code page.
std::wstring Wide(std::string_view utf8);
std::string Utf8(std::wstring_view text);

// A path for the wide file functions. One that is MAX_PATH characters or longer is made
// absolute and given the "\\?\" prefix (a share's "\\?\UNC\"), which lifts the limit to 32,767
// characters; device names ("\\.\E:") and paths that carry a prefix already stay as they are.
std::wstring WidePath(const std::string& utf8);
#endif

// The path of a file named in UTF-8, for the standard library's streams and file functions. On
// Windows it is held in UTF-16 (WidePath's form), so that they call the wide functions: a
// std::string given to them is read in the ANSI code page, which has no Japanese on a Western
// system, and a name of MAX_PATH characters or more would be refused.
std::filesystem::path FilePath(const std::string& utf8);

// The UTF-8 name of a path (without the long-path prefix FilePath may have added), for names kept
// in the program and for messages. std::filesystem::path::string() on Windows converts to the
// ANSI code page, which turns every character it lacks into '?'.
std::string PathText(const std::filesystem::path& path);

}  // namespace common
