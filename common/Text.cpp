#include "common/Text.h"

#include <cctype>
#include <cstdio>

namespace common {
namespace {
constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

int Sextet(char c) {
    if (c >= 'A' && c <= 'Z') return c - 'A';
    if (c >= 'a' && c <= 'z') return c - 'a' + 26;
    if (c >= '0' && c <= '9') return c - '0' + 52;
    if (c == '+') return 62;
    if (c == '/') return 63;
    return -1;
}

// The length of the valid UTF-8 character at the start of `text`, or 0 when its first byte
// does not start one (a stray continuation, an overlong form, a surrogate, beyond U+10FFFF).
size_t Utf8Length(std::string_view text) {
    auto byte = [&](size_t i) { return static_cast<unsigned char>(text[i]); };
    unsigned char lead = byte(0);
    if (lead < 0x80) return 1;
    size_t length = lead >= 0xC2 && lead <= 0xDF   ? 2
                    : lead >= 0xE0 && lead <= 0xEF ? 3
                    : lead >= 0xF0 && lead <= 0xF4 ? 4
                                                   : 0;
    if (length == 0 || text.size() < length) return 0;
    for (size_t i = 1; i < length; ++i)
        if ((byte(i) & 0xC0) != 0x80) return 0;
    unsigned char second = byte(1);
    if ((lead == 0xE0 && second < 0xA0) || (lead == 0xED && second > 0x9F) ||
        (lead == 0xF0 && second < 0x90) || (lead == 0xF4 && second > 0x8F))
        return 0;
    return length;
}
}  // namespace

std::string_view ShownCharacter(std::string_view text, size_t& took, char (&escape)[12]) {
    unsigned char c = static_cast<unsigned char>(text[0]);
    took = Utf8Length(text);
    // U+0080-U+009F are C2 80 to C2 9F: the 8-bit controls, CSI (U+009B) among them.
    const bool c1 = took == 2 && c == 0xC2 && static_cast<unsigned char>(text[1]) < 0xA0;
    if (took > 1 && !c1) return text.substr(0, took);
    if (c1) {
        std::snprintf(escape, sizeof escape, "\\x%02x\\x%02x", c,
                      static_cast<unsigned char>(text[1]));
        return escape;
    }
    took = 1;
    if (c >= 0x20 && c != 0x7F && c < 0x80) return text.substr(0, 1);
    const char* named = c == '\n' ? "\\n" : c == '\t' ? "\\t" : c == '\r' ? "\\r" : nullptr;
    if (named) return named;
    std::snprintf(escape, sizeof escape, "\\x%02x", c);
    return escape;
}

std::string ShownText(std::string_view text) {
    std::string shown;
    shown.reserve(text.size());
    char escape[12];
    for (size_t at = 0; at < text.size();) {
        size_t took = 0;
        shown += ShownCharacter(text.substr(at), took, escape);
        at += took;
    }
    return shown;
}

std::string Base64Encode(std::span<const uint8_t> bytes) {
    std::string out;
    out.reserve((bytes.size() + 2) / 3 * 4);
    size_t i = 0;
    for (; i + 3 <= bytes.size(); i += 3) {
        uint32_t v = (bytes[i] << 16) | (bytes[i + 1] << 8) | bytes[i + 2];
        for (int s = 18; s >= 0; s -= 6)
            out += kAlphabet[(v >> s) & 63];
    }
    size_t rest = bytes.size() - i;
    if (rest > 0) {
        uint32_t v = bytes[i] << 16;
        if (rest == 2) v |= bytes[i + 1] << 8;
        out += kAlphabet[(v >> 18) & 63];
        out += kAlphabet[(v >> 12) & 63];
        out += rest == 2 ? kAlphabet[(v >> 6) & 63] : '=';
        out += '=';
    }
    return out;
}

std::optional<std::vector<uint8_t>> Base64Decode(std::string_view text) {
    if (text.size() % 4 != 0) return std::nullopt;
    std::vector<uint8_t> out;
    out.reserve(text.size() / 4 * 3);
    for (size_t i = 0; i < text.size(); i += 4) {
        int pad = 0;
        uint32_t v = 0;
        for (size_t k = 0; k < 4; ++k) {
            char c = text[i + k];
            int s = 0;
            if (c == '=') {
                // Padding only at the end of the last group.
                if (i + 4 != text.size() || k < 2) return std::nullopt;
                ++pad;
            } else {
                if (pad > 0) return std::nullopt;
                s = Sextet(c);
                if (s < 0) return std::nullopt;
            }
            v = (v << 6) | static_cast<uint32_t>(s);
        }
        out.push_back(static_cast<uint8_t>(v >> 16));
        if (pad < 2) out.push_back(static_cast<uint8_t>(v >> 8));
        if (pad < 1) out.push_back(static_cast<uint8_t>(v));
    }
    return out;
}

std::string Hex(std::span<const uint8_t> bytes) {
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string out;
    out.reserve(bytes.size() * 2);
    for (uint8_t b : bytes) {
        out += kDigits[b >> 4];
        out += kDigits[b & 15];
    }
    return out;
}

std::string UpperAscii(std::string_view text) {
    std::string out(text);
    for (char& c : out)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return out;
}

std::string Head(std::string_view text, size_t n) {
    return std::string(text.substr(0, n));
}

std::string QuotedShown(std::string_view text) {
    return "\"" + ShownText(text) + "\"";
}

std::string TrimBlanks(std::string_view text) {
    size_t b = 0, e = text.size();
    while (b < e && text[b] == ' ')
        ++b;
    while (e > b && text[e - 1] == ' ')
        --e;
    return std::string(text.substr(b, e - b));
}

std::vector<std::string> SplitCommandLine(const std::string& commandLine) {
    std::vector<std::string> parameters;
    std::string current;
    bool quoted = false, any = false;
    size_t backslashes = 0;
    for (char c : commandLine) {
        // A row of backslashes is literal unless a quote follows it: then each pair gives one
        // backslash, and an odd one out makes the quote a character of the parameter.
        if (c == '\\') {
            ++backslashes;
            any = true;
            continue;
        }
        if (c == '"') {
            current.append(backslashes / 2, '\\');
            if (backslashes % 2 == 1) {
                current += c;
            } else {
                quoted = !quoted;
            }
            backslashes = 0;
            any = true;
            continue;
        }
        current.append(backslashes, '\\');
        backslashes = 0;
        if ((c == ' ' || c == '\t') && !quoted) {
            if (any) parameters.push_back(current);
            current.clear();
            any = false;
        } else {
            current += c;
            any = true;
        }
    }
    current.append(backslashes, '\\');
    if (any) parameters.push_back(current);
    return parameters;
}

}  // namespace common
