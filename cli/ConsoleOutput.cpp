#include "cli/ConsoleOutput.h"

#ifdef _WIN32
#include <algorithm>
#include <string>

#include "platform/windows/WideText.h"
#include "platform/windows/Win32.h"
#endif

namespace cli {

#ifdef _WIN32
namespace {

// The length of `text` without a UTF-8 sequence cut short at its end: those bytes wait for the
// rest of their character.
size_t CompletePrefix(const std::string& text) {
    size_t start = text.size();
    for (int back = 0; back < 4 && start > 0; ++back) {
        const auto byte = static_cast<unsigned char>(text[start - 1]);
        if ((byte & 0xC0) != 0x80) {
            // A lead byte (or ASCII): is its sequence whole?
            const size_t need = byte >= 0xF0 ? 4 : byte >= 0xE0 ? 3 : byte >= 0xC0 ? 2 : 1;
            const size_t have = text.size() - (start - 1);
            return have >= need ? text.size() : start - 1;
        }
        --start;
    }
    return text.size();  // not UTF-8 here: written as it is, each bad byte a U+FFFD
}

// Collects the stream's bytes and writes them to the console as UTF-16 at each line's end and
// at each flush (a progress bar's "\r" line is flushed by its writer).
class ConsoleBuffer : public std::streambuf {
  public:
    explicit ConsoleBuffer(HANDLE console) : console_(console) {}
    ~ConsoleBuffer() override { sync(); }

  protected:
    int_type overflow(int_type c) override {
        if (traits_type::eq_int_type(c, traits_type::eof())) return traits_type::not_eof(c);
        pending_ += traits_type::to_char_type(c);
        if (c == '\n') return sync() == 0 ? c : traits_type::eof();
        return c;
    }
    std::streamsize xsputn(const char* text, std::streamsize count) override {
        pending_.append(text, static_cast<size_t>(count));
        if (pending_.find('\n') != std::string::npos && sync() != 0) return 0;
        return count;
    }
    int sync() override {
        const size_t whole = CompletePrefix(pending_);
        if (whole == 0) return 0;
        const std::wstring text =
            platform::windows::Wide(std::string_view(pending_).substr(0, whole));
        pending_.erase(0, whole);
        // The progress bar ends its line with "erase to the end of the line", which a console
        // without escape sequences (before Windows 10) would print: it is done here instead.
        constexpr std::wstring_view kEraseLine = L"\x1b[K";
        size_t from = 0;
        for (size_t at; (at = text.find(kEraseLine, from)) != std::wstring::npos;
             from = at + kEraseLine.size()) {
            if (!Write(std::wstring_view(text).substr(from, at - from))) return -1;
            EraseToLineEnd();
        }
        return Write(std::wstring_view(text).substr(from)) ? 0 : -1;
    }

  private:
    bool Write(std::wstring_view text) {
        size_t done = 0;
        while (done < text.size()) {
            DWORD written = 0;
            const DWORD piece = static_cast<DWORD>(std::min<size_t>(text.size() - done, 8192));
            if (!::WriteConsoleW(console_, text.data() + done, piece, &written, nullptr) ||
                written == 0)
                return false;
            done += written;
        }
        return true;
    }
    void EraseToLineEnd() {
        CONSOLE_SCREEN_BUFFER_INFO info{};
        if (!::GetConsoleScreenBufferInfo(console_, &info)) return;
        DWORD filled = 0;
        ::FillConsoleOutputCharacterW(console_, L' ',
                                      static_cast<DWORD>(info.dwSize.X - info.dwCursorPosition.X),
                                      info.dwCursorPosition, &filled);
    }

    HANDLE console_;
    std::string pending_;
};

}  // namespace

ConsoleOutput::ConsoleOutput(std::ostream& stream, int which) : stream_(stream) {
    HANDLE handle = ::GetStdHandle(which == 2 ? STD_ERROR_HANDLE : STD_OUTPUT_HANDLE);
    DWORD mode = 0;
    // Only a console has a mode; a file, a pipe or NUL keeps the bytes as they are.
    if (handle == nullptr || handle == INVALID_HANDLE_VALUE || !::GetConsoleMode(handle, &mode))
        return;
    stream_.flush();
    buffer_ = std::make_unique<ConsoleBuffer>(handle);
    original_ = stream_.rdbuf(buffer_.get());
}

ConsoleOutput::~ConsoleOutput() {
    if (!buffer_) return;
    stream_.flush();
    stream_.rdbuf(original_);
}
#else
ConsoleOutput::ConsoleOutput(std::ostream& stream, int /*which*/) : stream_(stream) {}
ConsoleOutput::~ConsoleOutput() = default;
#endif

}  // namespace cli
