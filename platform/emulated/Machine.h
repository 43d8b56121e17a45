// The emulated PC: everything a bench file describes, in memory.
//
// A Machine is loaded from its bench file at the start of a run and written back at the end, so
// the next run (or a restart through `brenvo-bench boot`) finds the state this run left.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/emulated/EmulatedDevice.h"
#include "platform/emulated/IdeMachine.h"
#include "platform/emulated/OpticalDrive.h"
#include "platform/emulated/VirtualClock.h"

namespace platform::emulated {

enum class Family { Nt, Windows9x };

struct ClockSettings {
    bool paced = false;
    double now = 0.0;                // seconds since the bench was made
    double pollMicroseconds = 50.0;  // how far one counter reading moves virtual time
    bool counterPresent = true;      // QueryPerformanceFrequency succeeds
    int64_t frequency = 10'000'000;  // counts per second
};

struct SecuritySettings {
    bool administrator = true;
    bool securityApiPresent = true;  // "advapi32.dll" loads at all
    bool allocateAndInitializeSid = true;
    bool checkTokenMembership = true;
    bool freeSid = true;
    bool membershipCheckFails = false;  // CheckTokenMembership returns FALSE
};

struct ShutdownSettings {
    bool processToken = true;       // OpenProcessToken succeeds
    bool shutdownPrivilege = true;  // AdjustTokenPrivileges assigns the privilege
    bool exitWindowsFails = false;
    bool blockRefused = false;  // no service holds off sleep and shutdown (a container)
};

// Sleep and shutdown held off while a flash is written.
struct ShutdownBlockRecord {
    bool held = false;
    int takes = 0;     // blocks taken
    int releases = 0;  // blocks released
    int refused = 0;   // blocks asked for and not given
    std::string reason;
};

struct RestartRecord {
    int requests = 0;      // ExitWindowsEx calls that succeeded
    bool pending = false;  // a restart was requested and has not happened yet
    uint32_t lastFlags = 0;
    int refused = 0;  // ExitWindowsEx calls the system refused
    int boots = 0;    // restarts carried out by `brenvo-bench boot`
};

struct FileEntry {
    std::string path;  // as first written (Windows paths keep their case)
    std::vector<uint8_t> data;
    uint32_t attributes = 0x80;  // FILE_ATTRIBUTE_NORMAL
};

struct RegistryValue {
    std::string key;  // "HKLM\SOFTWARE\..." as first written
    std::string name;
    std::string value;
};

// The ASPI manager "WNASPI32" as the machine offers it.
struct AspiSettings {
    bool present = false;  // the library loads at all
    bool getSupportInfoEntry = true;
    bool sendCommandEntry = true;
    int supportStatus = 1;         // GetASPI32SupportInfo's status (1 = SS_COMP, 0xE1..0xE4)
    bool completesByEvent = true;  // with the event flag, commands finish through the event
    bool eventsFail = false;       // CreateEvent fails, so the program has to poll
};

// A claim on an optical drive taken or given back, and how many commands, and of them how many
// that write (data, profiles, commits, download blocks), the drive had received by then.
struct ClaimEvent {
    std::string letter;
    bool claimed = false;  // false: released
    int writesBefore = 0;
    int commandsBefore = 0;
};

class Machine {
  public:
    std::string benchPath;  // where the state goes back to; empty for in-memory
    // The flash contents files this run wrote for the bench: a later save of the same run removes
    // those it no longer names (never the files of earlier runs, which a copy may name).
    std::set<std::string> contentsWritten;

    Family family = Family::Nt;
    bool versionCallFails = false;  // GetVersionExA fails
    ClockSettings clockSettings;
    SecuritySettings security;
    ShutdownSettings shutdown;
    RestartRecord restart;
    ShutdownBlockRecord shutdownBlock;

    // Directories as GetTempPathA, GetWindowsDirectoryA and GetSystemDirectoryA give them; nullopt
    // makes the call fail.
    std::optional<std::string> tempDirectory = std::string("C:\\WINDOWS\\TEMP\\");
    std::optional<std::string> windowsDirectory = std::string("C:\\WINDOWS");
    std::optional<std::string> systemDirectory = std::string("C:\\WINDOWS\\system32");
    std::string programPath = "C:\\Program Files\\Brenvo\\brenvo.exe";
    // The program file on this host that last ran as programPath; a restart runs it again.
    std::string hostProgram;

    // Keyed by the upper-cased path (Windows paths are case-insensitive).
    std::map<std::string, FileEntry> files;
    // Keyed by upper-cased "KEY\NAME".
    std::map<std::string, RegistryValue> registry;

    // Services, device manager and IDE hardware of the direct-IDE path.
    IdeMachine ide;
    // Optical drives in the order the bench lists them, and the ASPI manager.
    std::vector<std::shared_ptr<OpticalDrive>> drives;
    AspiSettings aspi;
    // The claims of this run, in order (not saved: a claim ends with its run).
    std::vector<ClaimEvent> claimLog;
    std::vector<std::string> claimed;  // letters claimed now

    // Everything above may be touched by the user-interface thread and the flash workers at once.
    std::recursive_mutex mutex;

    // Built from clockSettings when the run starts.
    VirtualClock& Clock();

    // Files.
    FileEntry* FindFile(const std::string& path);
    void PutFile(const std::string& path, std::vector<uint8_t> data, uint32_t attributes = 0x80);
    bool RemoveFile(const std::string& path);

    // Registry.
    void PutRegistry(const std::string& key, const std::string& name, const std::string& value);
    const RegistryValue* FindRegistry(const std::string& key, const std::string& name) const;
    bool RemoveRegistry(const std::string& key, const std::string& name);

    // CreateFile of a device name ("\\.\E:"): the device, or null with the Windows error.
    std::shared_ptr<EmulatedDevice> OpenDevice(const std::string& name, uint32_t access,
                                               uint32_t share, uint32_t disposition,
                                               uint32_t& error);

    // The drive with this letter ("E:", any case), or null.
    std::shared_ptr<OpticalDrive> FindDrive(const std::string& letter) const;

    // What a restart does to the hardware and the services: drives come back with a unit
    // attention, services stop, CD-ROM devices start, the pending restart is done.
    void Restart();

    // Takes the clock's reading back into clockSettings.now before the bench is saved.
    void FreezeClock();

    // A drive made a flash write lasting: a commit, a chip erased, a drive restarted on what its
    // chip now holds. A real drive keeps such a write whatever becomes of the program that sent
    // it, so the run holding the bench writes it back now, through `persistFlash` (set by that
    // run; unset, the machine lives in memory only). Called with no drive's lock held.
    std::function<void()> persistFlash;
    void FlashMadeLasting();
    // Set by the direct-IDE flash driver under `mutex`; taken once its request has been answered.
    bool flashMadeLasting = false;

  private:
    std::unique_ptr<VirtualClock> clock_;
};

}  // namespace platform::emulated
