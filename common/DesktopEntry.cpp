#include "common/DesktopEntry.h"

#include <cstdint>
#include <string_view>

#include "common/JsonFields.h"

namespace common {
namespace {
// The characters that make a word need its quotes.
constexpr std::string_view kReserved = " \t\n\"'\\><~|&;$*?#()`";

// Strict UTF-8: no overlong form, no surrogate, nothing above U+10FFFF.
bool IsUtf8(std::string_view text) {
    for (size_t i = 0; i < text.size();) {
        const auto lead = static_cast<uint8_t>(text[i]);
        size_t length = 0;
        uint32_t code = 0, least = 0;
        if (lead < 0x80) {
            ++i;
            continue;
        } else if ((lead & 0xE0) == 0xC0) {
            length = 2, code = lead & 0x1F, least = 0x80;
        } else if ((lead & 0xF0) == 0xE0) {
            length = 3, code = lead & 0x0F, least = 0x800;
        } else if ((lead & 0xF8) == 0xF0) {
            length = 4, code = lead & 0x07, least = 0x10000;
        } else {
            return false;
        }
        if (i + length > text.size()) return false;
        for (size_t k = 1; k < length; ++k) {
            const auto next = static_cast<uint8_t>(text[i + k]);
            if ((next & 0xC0) != 0x80) return false;
            code = (code << 6) | (next & 0x3F);
        }
        if (code < least || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return false;
        i += length;
    }
    return true;
}

std::string WordProblem(const std::string& word, bool first) {
    for (char c : word) {
        const auto byte = static_cast<uint8_t>(c);
        if (byte < 0x20 || byte == 0x7F) return "it holds a control byte";
    }
    if (!IsUtf8(word)) return "it is not UTF-8 text";
    if (first && word.empty()) return "the program's name is empty";
    if (first && word.find('%') != std::string::npos)
        return "the program's name holds a %, which a desktop does not read as a program";
    return "";
}
}  // namespace

std::string DesktopExecValue(const std::vector<std::string>& words, std::string& problem) {
    problem.clear();
    std::string exec;
    for (size_t i = 0; i < words.size(); ++i) {
        const std::string& word = words[i];
        if (std::string why = WordProblem(word, i == 0); !why.empty()) {
            problem = QuotedExcerpt(word) + " cannot be written in a desktop entry: " + why;
            return "";
        }
        if (i > 0) exec += ' ';
        const bool quoted = word.empty() || word.find_first_of(kReserved) != std::string::npos;
        if (quoted) exec += '"';
        for (char c : word) {
            // The backslash that escapes within the quotes, itself doubled for the file.
            if (quoted && (c == '"' || c == '`' || c == '$' || c == '\\')) exec += "\\\\";
            if (c == '\\') {
                exec += "\\\\";
            } else if (c == '%') {
                exec += "%%";
            } else {
                exec += c;
            }
        }
        if (quoted) exec += '"';
    }
    return exec;
}

}  // namespace common
