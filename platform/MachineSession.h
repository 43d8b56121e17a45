// Choosing the machine a run acts on.
//
// BRENVO_MACHINE=bench.json runs on the emulated PC that the bench file describes and writes its
// state back when the run ends; without it the program would use the real backend of the build's
// operating system.
#pragma once

#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "common/UserFiles.h"
#include "platform/DirectIde.h"
#include "platform/emulated/BenchLock.h"

namespace platform {

namespace emulated {
class Machine;
}

class MachineSession {
  public:
    MachineSession() = default;
    ~MachineSession();
    MachineSession(const MachineSession&) = delete;
    MachineSession& operator=(const MachineSession&) = delete;

    // Which program runs: a restart it registers starts a console program in a terminal.
    enum class FrontEnd { Window, Console };
    // Installs the process's System. On failure returns false and `error` says why (a bad bench
    // file names the file and the field, a bench another run holds says so); nothing is
    // installed then. The bench stays held by this run until Finish or the session's end.
    bool Open(std::string& error, FrontEnd frontEnd = FrontEnd::Window);
    // Writes the emulated PC's state back to its bench file. False (and `error`, a whole
    // sentence saying which) when it cannot, or when a flash contents file of the bench turned
    // out bad during the run (the state is saved then).
    bool Finish(std::string& error);

    // The device node behind a drive letter ("E:\\" -> "/dev/sg1 /dev/sr0"); empty on the
    // emulated PC.
    std::string DeviceNode(const std::string& root) const;
    // Whether this machine can take a direct-IDE package, and if not, why.
    using DirectIde = platform::DirectIde;
    DirectIde DirectIdePath() const { return directIde_; }
    // What this computer is, as (label, text) lines, where its backend says more than the
    // Windows terms do (Linux: the system, the user, each drive's node); empty otherwise.
    std::vector<std::pair<std::string, std::string>> MachineReport() const;

  private:
#ifndef _WIN32
    // First, so it is let go last: root working on a user's bench as that user, until the end.
    std::unique_ptr<common::ActingAs> actingAs_;
#endif
    // The emulated PC of this run, or null on a real machine.
    std::shared_ptr<emulated::Machine> machine_;
    emulated::BenchLock lock_;
    // Saves of the bench: at each lasting flash write (from any worker) and at the end; `held`
    // while this run holds the bench.
    struct BenchSaves {
        std::mutex mutex;
        bool held = false;
    };
    std::shared_ptr<BenchSaves> saves_ = std::make_shared<BenchSaves>();
    std::map<std::string, std::string> deviceNodes_;  // "E:" -> its nodes
    DirectIde directIde_ = DirectIde::Available;
};

}  // namespace platform
