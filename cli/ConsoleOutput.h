// The console program's output on Windows: a console takes its texts as UTF-16 through
// WriteConsoleW, so the Chinese and Japanese texts arrive right whatever the console's code page
// (932, 950, 437 ...); redirected to a file or a pipe, the output stays the program's UTF-8 bytes.
// Elsewhere this does nothing.
#pragma once

#include <memory>
#include <ostream>
#include <streambuf>

namespace cli {

class ConsoleOutput {
  public:
    // Routes `stream` through the console while the standard handle behind it (`which`: 1 output,
    // 2 error) is a console; until destruction, which gives the stream its buffer back.
    ConsoleOutput(std::ostream& stream, int which);
    ~ConsoleOutput();
    ConsoleOutput(const ConsoleOutput&) = delete;
    ConsoleOutput& operator=(const ConsoleOutput&) = delete;

    // The stream goes to a console.
    bool ToConsole() const { return buffer_ != nullptr; }

  private:
    std::ostream& stream_;
    std::streambuf* original_ = nullptr;
    std::unique_ptr<std::streambuf> buffer_;
};

}  // namespace cli
