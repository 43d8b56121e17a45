#include "cli/StopSignals.h"

#include <atomic>
#include <cerrno>
#include <cstring>

#include "cli/RunReport.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <signal.h>
#include <unistd.h>
#endif

namespace cli {
namespace {
std::atomic<engine::FlashGate*> gate{nullptr};

// The lines are made before any signal comes: a handler may only write them.
constexpr char kPrefix[] = "\nbrenvo-cli: ";
char unchangedLine[256];
char underwayLine[256];

void Compose(char (&line)[256], const char* text) {
    std::strncpy(line, kPrefix, sizeof line - 1);
    std::strncat(line, text, sizeof line - std::strlen(line) - 2);
    std::strncat(line, "\n", sizeof line - std::strlen(line) - 1);
}

#ifdef _WIN32
void Say(const char* line) {
    DWORD written = 0;
    ::WriteFile(::GetStdHandle(STD_ERROR_HANDLE), line, static_cast<DWORD>(std::strlen(line)),
                &written, nullptr);
}

#else
bool stderrIsTerminal = false;

void Say(const char* line) {
    // A script's log needs no empty line; a terminal does, after the progress bar.
    const char* from = stderrIsTerminal ? line : line + 1;
    ssize_t ignored = write(STDERR_FILENO, from, std::strlen(from));
    (void)ignored;
}
#endif

// Puts the stop to the gate and says what its answer means: true when the program is to end now,
// nothing written. Otherwise the run ends by itself (and a question waiting at the terminal gives
// up, so no restart is made).
bool EndsNow(engine::FlashGate& g) {
    switch (g.RequestStop()) {
        case engine::StopAnswer::EndUnchanged:
            Say(unchangedLine);
            return true;
        case engine::StopAnswer::FlashUnderway:
            Say(underwayLine);
            return false;
        case engine::StopAnswer::AlreadyTold:
        case engine::StopAnswer::EndAfterFlash:
            break;
    }
    return false;
}

#ifdef _WIN32
BOOL WINAPI OnConsoleEvent(DWORD event) {
    engine::FlashGate* g = gate.load();
    if (!g) return FALSE;
    if (EndsNow(*g)) ::ExitProcess(kExitDeclined);
    // Ctrl+C and Ctrl+Break are answered and the run goes on. Closing the console, logging off
    // and shutting down end the process once this returns (or when Windows stops waiting): hold
    // on while the flash is written.
    if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT) {
        while (g->Flashing())
            ::Sleep(100);
    }
    return TRUE;
}
#else
void OnSignal(int) {
    const int savedErrno = errno;
    if (EndsNow(*gate.load())) _exit(kExitDeclined);
    errno = savedErrno;
}

constexpr int kStopSignals[] = {SIGINT, SIGTERM, SIGHUP};
struct sigaction previous[3];
#endif
}  // namespace

StopSignals::StopSignals(engine::FlashGate& flashGate) {
    Compose(unchangedLine, engine::kStoppedUnchangedText);
    Compose(underwayLine, engine::kFlashUnderwayText);
    gate.store(&flashGate);
#ifdef _WIN32
    ::SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
#else
    stderrIsTerminal = isatty(STDERR_FILENO);
    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    for (int s : kStopSignals)
        sigaddset(&action.sa_mask, s);
    // No SA_RESTART: a question read at the terminal is interrupted and counts as not answered.
    action.sa_flags = 0;
    for (int i = 0; i < 3; ++i) {
        sigaction(kStopSignals[i], nullptr, &previous[i]);
        // A signal the caller ignores stays ignored (nohup, a background job of a script).
        if (previous[i].sa_handler != SIG_IGN) sigaction(kStopSignals[i], &action, nullptr);
    }
#endif
}

StopSignals::~StopSignals() {
#ifdef _WIN32
    ::SetConsoleCtrlHandler(OnConsoleEvent, FALSE);
#else
    for (int i = 0; i < 3; ++i)
        sigaction(kStopSignals[i], &previous[i], nullptr);
#endif
    gate.store(nullptr);
}

}  // namespace cli
