// Small text helpers shared by the tools and the emulated PC.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace common {

std::string Base64Encode(std::span<const uint8_t> bytes);
// nullopt when the text is not valid base64.
std::optional<std::vector<uint8_t>> Base64Decode(std::string_view text);

std::string Hex(std::span<const uint8_t> bytes);
std::string UpperAscii(std::string_view text);
std::string TrimBlanks(std::string_view text);
// The first `n` bytes of `text`, or all of it when it is shorter.
std::string Head(std::string_view text, size_t n);

// Splits a command line as the system hands it to a program: blanks separate parameters,
// double quotes group them, \" is a quote within a parameter and the backslashes just before a
// quote are halved; any other backslash is itself.
std::vector<std::string> SplitCommandLine(const std::string& commandLine);

// Text from outside (a drive's identity, a package's title, another program's name) as a
// terminal, a window or a log may show it: bytes that are not valid UTF-8 and control characters
// (C0, DEL and the C1 range U+0080-U+009F, which some terminals obey as ESC sequences) appear
// escaped ("\x1b", "\r", "\xc2\x9b"); every other character, Japanese included, as it is. A
// backslash stays a backslash, so escaping what is already escaped changes nothing.
std::string ShownText(std::string_view text);
// Text from outside in double quotes, shown as ShownText shows it.
std::string QuotedShown(std::string_view text);

// The first character of non-empty `text` as ShownText shows it; `took` says how many bytes of
// `text` it was. The result may point into `escape`.
std::string_view ShownCharacter(std::string_view text, size_t& took, char (&escape)[12]);

}  // namespace common
