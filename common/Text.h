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

// Splits a command line as the system hands it to a program: blanks separate parameters,
// double quotes group them, \" is a quote within a parameter and the backslashes just before a
// quote are halved; any other backslash is itself.
std::vector<std::string> SplitCommandLine(const std::string& commandLine);

}  // namespace common
