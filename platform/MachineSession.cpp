#include "platform/MachineSession.h"

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <vector>

#ifndef _WIN32
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include "common/Environment.h"
#include "platform/System.h"
#include "platform/Trace.h"
#include "platform/emulated/BenchFile.h"
#include "platform/emulated/BenchLock.h"
#include "platform/emulated/EmulatedSystem.h"
#ifdef _WIN32
#include "platform/MessageBox.h"
#include "platform/windows/WindowsSystem.h"
#endif
#ifdef __linux__
#include "platform/linux/LinuxSystem.h"
#endif

namespace platform {

#ifndef _WIN32
namespace {
// The user whose bench root was handed: the bench file's owner, or when root's own file lies in a
// folder of another user's, that folder's owner. Nullopt when the run is not root's or the bench
// is root's in root's folder.
std::optional<common::FileOwner> BenchOwner(const std::string& bench) {
    if (geteuid() != 0) return std::nullopt;
    struct stat info {};
    if (::lstat(bench.c_str(), &info) != 0) return std::nullopt;  // loading says what is wrong
    if (info.st_uid == 0) {
        std::string folder = std::filesystem::path(bench).parent_path().string();
        if (::stat(folder.empty() ? "." : folder.c_str(), &info) != 0 || info.st_uid == 0)
            return std::nullopt;
    }
    common::FileOwner owner{info.st_uid, info.st_gid, {info.st_gid}};
    long size = sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buffer(static_cast<size_t>(size > 0 ? size : 16384));
    passwd entry{};
    passwd* found = nullptr;
    if (getpwuid_r(info.st_uid, &entry, buffer.data(), buffer.size(), &found) == 0 && found) {
        owner.gid = found->pw_gid;
        owner.groups = common::GroupsOf(found->pw_name, found->pw_gid);
    }
    return owner;
}
}  // namespace
#endif

bool MachineSession::Open(std::string& error, [[maybe_unused]] FrontEnd frontEnd) {
    const std::string bench = common::EnvironmentValue("BRENVO_MACHINE");
#ifndef _WIN32
    // Root on a user's bench works on it as that user for the whole run: the bench, its contents
    // files, its lock, the history and the trace are read and written with the user's rights
    // alone (a link the user left leads nowhere they could not go), and what the run makes is
    // theirs. An emulated PC needs no right of root's. The identity is this thread's, and every
    // thread the run starts from now on (a drive's worker) is born with it.
    if (!bench.empty()) {
        if (auto owner = BenchOwner(bench)) {
            actingAs_ = std::make_unique<common::ActingAs>(owner);
            if (!actingAs_->ok()) {
                error = "the bench belongs to uid " + std::to_string(owner->uid) +
                        ", whose rights this run cannot take";
                return false;
            }
        }
    }
#endif
    if (!Trace::OpenFromEnvironment(error)) return false;
#ifdef _WIN32
    // Without a bench file a Windows build runs on this computer; its message boxes are the
    // system's own unless the front-end shows them itself.
    if (bench.empty()) {
        if (auto handler = SetMessageBoxHandler(nullptr))
            SetMessageBoxHandler(handler);
        else
            SetMessageBoxHandler(windows::ShowWin32MessageBox);
        if (windows::Is64BitWindows()) directIde_ = DirectIde::SixtyFourBitWindows;
        InstallSystem(std::make_unique<windows::WindowsSystem>());
        return true;
    }
#endif
#ifdef __linux__
    if (bench.empty()) {
        auto system = linuxhost::OpenThisComputer(frontEnd == FrontEnd::Console);
        for (const auto& drive : system->Drives())
            deviceNodes_[drive.letter] =
                drive.sgNode + (drive.blockNode.empty() ? "" : " " + drive.blockNode);
        directIde_ = DirectIde::NoDriverForSystem;
        // A refusal says what is true on this machine, not the Windows administrator's text.
        SetAccessDenialSource([] {
            auto* host = dynamic_cast<linuxhost::LinuxSystem*>(&CurrentSystem());
            return host ? host->WhyAccessDenied() : std::nullopt;
        });
        InstallSystem(std::move(system));
        return true;
    }
#endif
    if (bench.empty()) {
        error =
            "No real-machine backend is built into this program yet. Run it on an emulated PC: "
            "make one with \"brenvo-bench new bench.json\" and set BRENVO_MACHINE=bench.json.";
        return false;
    }
    try {
        machine_ = emulated::LoadHeldBench(bench, lock_);
    } catch (const emulated::BenchLockError& e) {
        error = e.what();
        return false;
    } catch (const std::exception& e) {
        lock_.Release();
        error = std::string("Bad bench file: ") + e.what();
        return false;
    }
    // A restart of this bench runs this program again.
#ifdef _WIN32
    machine_->hostProgram = windows::ThisProgramFile();
#else
    std::error_code ec;
    auto self = std::filesystem::canonical("/proc/self/exe", ec);
    if (!ec) machine_->hostProgram = self.string();
#endif
    // A drive keeps what it committed even when this program is killed the moment after: the
    // bench is written back at each lasting flash write, under the lock this run holds.
    saves_->held = true;
    machine_->persistFlash = [machine = machine_.get(), saves = saves_] {
        std::lock_guard lock(saves->mutex);
        if (!saves->held) return;
        try {
            emulated::SaveBench(*machine, machine->benchPath);
        } catch (const std::exception&) {
            // The bench on disk is still its last whole state; the save at the end of the run
            // tries again and says so if it fails too.
        }
    };
    InstallSystem(std::make_unique<emulated::EmulatedSystem>(machine_));
    return true;
}

MachineSession::~MachineSession() {
    std::lock_guard lock(saves_->mutex);
    saves_->held = false;
}

std::string MachineSession::DeviceNode(const std::string& root) const {
    auto it = deviceNodes_.find(root.substr(0, 2));
    return it == deviceNodes_.end() ? std::string() : it->second;
}

std::vector<std::pair<std::string, std::string>> MachineSession::MachineReport() const {
#ifdef __linux__
    if (!machine_ && HasSystem()) {
        if (auto* host = dynamic_cast<linuxhost::LinuxSystem*>(&CurrentSystem()))
            return host->MachineReport();
    }
#endif
    return {};
}

bool MachineSession::Finish(std::string& error) {
    if (!machine_) return true;
    {
        std::lock_guard lock(saves_->mutex);
        saves_->held = false;
        try {
            emulated::SaveBench(*machine_, machine_->benchPath);
        } catch (const std::exception& e) {
            lock_.Release();
            error = std::string("the emulated PC's state could not be saved: ") + e.what();
            return false;
        }
        lock_.Release();
    }
    // A drive whose contents file turned out bad answered nothing; the run must not pass for a
    // sound one. Its contents stay as the bench named them.
    for (const auto& drive : machine_->drives) {
        std::string problem = drive->ContentsProblem();
        if (!problem.empty()) {
            error = "bad bench file: " + problem +
                    " (the drive answered nothing; the state was "
                    "saved with the contents file as the bench names it)";
            return false;
        }
    }
    return true;
}

}  // namespace platform
