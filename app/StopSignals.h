// SIGINT, SIGTERM and SIGHUP for the window. The handler puts each to the window's flash gate at
// once, so a stop that comes while the window's thread waits on a drive still keeps the flash from
// beginning; the answer is then carried to the user-interface thread. With nothing written the
// window ends (exit status 4, a line on stderr saying the drive was not changed); while a flash is
// written it says so once and the run goes on to its verdict, after which the window ends.
#pragma once

#include <QObject>

class QSocketNotifier;

namespace engine {
class FlashGate;
}

namespace app {

class StopSignals : public QObject {
  public:
    explicit StopSignals(QObject* parent = nullptr);
    ~StopSignals() override;

    // The gate of the window's engine while it exists; null before and after.
    void Watch(engine::FlashGate* gate);
    // Acts on the answers the handler has left: the loop does it as they come, the program once
    // more after the loop, for a stop that ended the run before the loop turned again.
    void TakeAnswers();
    // 4 once a stop ended the program before anything was written, otherwise 0.
    int ExitStatus() const { return exitStatus_; }

  private:
    QSocketNotifier* notifier_ = nullptr;
    int exitStatus_ = 0;
};

}  // namespace app
