// What a program's texts look like in a console of a given code page, read back from the screen:
//   brenvo_console_probe.exe CODEPAGE OUTFILE PROGRAM [ARGUMENTS...]
// sets the console's output code page, runs the program in this console (no redirection), reads
// every row of the screen back as UTF-16 and writes it to OUTFILE in UTF-8, then gives the code
// page back. First it proves the read-back can tell: the UTF-8 bytes of a Japanese text written
// raw must come back as something else, or the console would pass any program (exit status 3).
// The console is Wine's when the probe runs at a terminal (scripts/wine-test.sh starts it under
// `script`).
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/windows/WideText.h"

namespace {

using platform::windows::Utf8;

void Clear(HANDLE console, const CONSOLE_SCREEN_BUFFER_INFO& info) {
    DWORD cells = static_cast<DWORD>(info.dwSize.X) * static_cast<DWORD>(info.dwSize.Y), done = 0;
    FillConsoleOutputCharacterW(console, L' ', cells, COORD{0, 0}, &done);
    SetConsoleCursorPosition(console, COORD{0, 0});
}

// The screen's rows up to the cursor, each without its trailing blanks.
std::wstring Screen(HANDLE console) {
    CONSOLE_SCREEN_BUFFER_INFO info{};
    GetConsoleScreenBufferInfo(console, &info);
    std::wstring text;
    for (SHORT row = 0; row <= info.dwCursorPosition.Y && row < info.dwSize.Y; ++row) {
        std::wstring line(static_cast<size_t>(info.dwSize.X), L' ');
        DWORD read = 0;
        ReadConsoleOutputCharacterW(console, line.data(), static_cast<DWORD>(line.size()),
                                    COORD{0, row}, &read);
        line.resize(read);
        while (!line.empty() && line.back() == L' ')
            line.pop_back();
        text += line + L"\n";
    }
    return text;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 4) {
        std::fprintf(stderr,
                     "usage: brenvo_console_probe CODEPAGE OUTFILE PROGRAM [ARGUMENTS...]\n");
        return 2;
    }
    HANDLE console = GetStdHandle(STD_OUTPUT_HANDLE);
    CONSOLE_SCREEN_BUFFER_INFO info{};
    if (!GetConsoleScreenBufferInfo(console, &info)) {
        std::fprintf(stderr, "standard output is not a console (error %lu)\n", GetLastError());
        return 2;
    }
    const UINT before = GetConsoleOutputCP();
    const UINT codePage = static_cast<UINT>(std::atoi(argv[1]));
    if (!SetConsoleOutputCP(codePage) || GetConsoleOutputCP() != codePage) {
        std::fprintf(stderr, "the console refuses code page %u (error %lu)\n", codePage,
                     GetLastError());
        return 2;
    }

    // "日本語" as raw UTF-8 bytes: in code page 932, 950 or 437 the screen shows something else.
    const std::wstring sample = L"\u65e5\u672c\u8a9e";
    const char raw[] = "\xe6\x97\xa5\xe6\x9c\xac\xe8\xaa\x9e\n";
    Clear(console, info);
    DWORD written = 0;
    WriteFile(console, raw, sizeof raw - 1, &written, nullptr);
    const bool rawArrives = Screen(console).find(sample) != std::wstring::npos;

    std::string command;
    for (int i = 3; i < argc; ++i)
        command += std::string(i > 3 ? " " : "") + argv[i];
    Clear(console, info);
    STARTUPINFOA start{};
    start.cb = sizeof start;
    PROCESS_INFORMATION process{};
    if (!CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &start, &process)) {
        std::fprintf(stderr, "cannot start %s (error %lu)\n", command.c_str(), GetLastError());
        SetConsoleOutputCP(before);
        return 2;
    }
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD status = 0;
    GetExitCodeProcess(process.hProcess, &status);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    const std::string screen = Utf8(Screen(console));
    SetConsoleOutputCP(before);

    if (FILE* out = std::fopen(argv[2], "wb")) {
        std::fwrite(screen.data(), 1, screen.size(), out);
        std::fclose(out);
    }
    std::printf("\ncode page %u, program status %lu\n", codePage, status);
    if (rawArrives) {
        std::printf("raw UTF-8 arrives right in code page %u: this console cannot tell\n",
                    codePage);
        return 3;
    }
    return 0;
}
