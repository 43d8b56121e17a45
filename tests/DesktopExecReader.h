// A reader of a desktop entry's Exec= value, as a desktop reads it: the file's string escapes
// (\s \n \t \r \\), then the words, with double quotes grouping and a backslash inside them
// taking the next " ` $ or backslash as itself (which stand there only so escaped), then %% as %.
// nullopt for what a desktop refuses: an unknown escape, an open quote, a reserved character
// outside quotes, any field code other than %%, or a % in the first word (a desktop looks that
// word up as a program before it expands %%).
// For the tests and the fuzz target: it checks the writer, it is not used by it.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace testing_support {

inline std::optional<std::vector<std::string>> ReadDesktopExec(std::string_view value) {
    std::string exec;
    for (size_t i = 0; i < value.size(); ++i) {
        if (value[i] != '\\') {
            exec += value[i];
            continue;
        }
        if (++i == value.size()) return std::nullopt;
        switch (value[i]) {
            case 's':
                exec += ' ';
                break;
            case 'n':
                exec += '\n';
                break;
            case 't':
                exec += '\t';
                break;
            case 'r':
                exec += '\r';
                break;
            case '\\':
                exec += '\\';
                break;
            default:
                return std::nullopt;
        }
    }
    constexpr std::string_view kReserved = "\t\n'\\><~|&;$*?#()`";
    std::vector<std::string> words;
    std::string word;
    bool inWord = false;
    for (size_t i = 0; i < exec.size(); ++i) {
        const char c = exec[i];
        if (c == ' ') {
            if (inWord) words.push_back(word);
            word.clear();
            inWord = false;
        } else if (c == '"') {
            inWord = true;
            for (++i;; ++i) {
                if (i == exec.size()) return std::nullopt;
                if (exec[i] == '"') break;
                // Within the quotes ` and $ stand only escaped, and a backslash escapes only these
                // four.
                if (exec[i] == '`' || exec[i] == '$') return std::nullopt;
                if (exec[i] == '\\') {
                    if (i + 1 == exec.size() ||
                        std::string_view("\"`$\\").find(exec[i + 1]) == std::string_view::npos)
                        return std::nullopt;
                    ++i;
                }
                word += exec[i];
            }
        } else if (kReserved.find(c) != std::string_view::npos) {
            return std::nullopt;
        } else {
            inWord = true;
            word += c;
        }
    }
    if (inWord) words.push_back(word);
    if (words.empty() || words[0].find('%') != std::string::npos) return std::nullopt;
    for (auto& w : words) {
        std::string expanded;
        for (size_t i = 0; i < w.size(); ++i) {
            if (w[i] == '%') {
                if (i + 1 == w.size() || w[i + 1] != '%') return std::nullopt;
                ++i;
            }
            expanded += w[i];
        }
        w = expanded;
    }
    return words;
}

}  // namespace testing_support
