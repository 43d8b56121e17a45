#include "app/StopSignals.h"

#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QSocketNotifier>
#include <atomic>
#include <cerrno>
#include <cstdio>

#include "app/Frmbrenvo.h"
#include "engine/FlashGate.h"

namespace app {
namespace {
constexpr int kExitStopped = 4;  // the console's status for a run ended with nothing written
constexpr int kStopSignals[] = {SIGINT, SIGTERM, SIGHUP};
std::atomic<engine::FlashGate*> watched{nullptr};
std::atomic<bool> stopBeforeWatch{false};  // a stop came while no gate was watched
int wakeUp[2] = {-1, -1};  // the handler writes each answer, the user-interface thread reads it
struct sigaction previous[3];

void OnSignal(int) {
    const int savedErrno = errno;
    engine::FlashGate* gate = watched.load();
    if (!gate) {
        // Without an engine nothing can have been written; the gate the window watches next is
        // closed before it can open (looked at again in case it came meanwhile).
        stopBeforeWatch.store(true);
        gate = watched.load();
    }
    const auto answer =
        static_cast<char>(gate ? gate->RequestStop() : engine::StopAnswer::EndUnchanged);
    ssize_t ignored = write(wakeUp[1], &answer, 1);
    (void)ignored;
    errno = savedErrno;
}
}  // namespace

StopSignals::StopSignals(QObject* parent) : QObject(parent) {
    if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, wakeUp) != 0) return;
    notifier_ = new QSocketNotifier(wakeUp[0], QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, [this] { TakeAnswers(); });
    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int i = 0; i < 3; ++i) {
        sigaction(kStopSignals[i], nullptr, &previous[i]);
        // A signal the caller ignores stays ignored (nohup, a background job of a script).
        if (previous[i].sa_handler != SIG_IGN) sigaction(kStopSignals[i], &action, nullptr);
    }
}

StopSignals::~StopSignals() {
    if (!notifier_) return;
    for (int i = 0; i < 3; ++i)
        sigaction(kStopSignals[i], &previous[i], nullptr);
    watched.store(nullptr);
    delete notifier_;
    close(wakeUp[0]);
    close(wakeUp[1]);
    wakeUp[0] = wakeUp[1] = -1;
}

void StopSignals::Watch(engine::FlashGate* gate) {
    watched.store(gate);
    if (gate && stopBeforeWatch.exchange(false)) gate->RequestStop();
}

void StopSignals::TakeAnswers() {
    char answers[16];
    for (ssize_t n; (n = read(wakeUp[0], answers, sizeof answers)) > 0;) {
        for (ssize_t i = 0; i < n; ++i) {
            switch (static_cast<engine::StopAnswer>(answers[i])) {
                case engine::StopAnswer::EndUnchanged:
                    std::fprintf(stderr, "brenvo: %s\n", engine::kStoppedUnchangedText);
                    exitStatus_ = kExitStopped;
                    if (BrenvoMain) {
                        BrenvoMain->RequestTerminate();
                    } else {
                        QCoreApplication::exit(kExitStopped);
                    }
                    break;
                case engine::StopAnswer::FlashUnderway:
                    std::fprintf(stderr, "brenvo: %s\n", engine::kFlashUnderwayText);
                    break;
                case engine::StopAnswer::AlreadyTold:
                    break;
                case engine::StopAnswer::EndAfterFlash:
                    if (BrenvoMain) BrenvoMain->RequestTerminate();
                    break;
            }
        }
    }
}

}  // namespace app
