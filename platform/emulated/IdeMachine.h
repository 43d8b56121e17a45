// The emulated PC's hardware and system services for the direct-IDE path: the service control
// manager, the device manager's CD-ROM devices, the PCI configuration space with its IDE
// controller, the eight IDE device slots with their drives and flash chips, and the flash driver's
// load state.
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/System.h"
#include "platform/emulated/FlashContents.h"

namespace platform::emulated {

class Machine;
class EmulatedDevice;

struct EmulatedService {
    ServiceConfig config;
    bool running = false;
};

// One CD-ROM device interface of the device manager.
struct CdromDevice {
    std::string instance;
    bool started = true;
    bool needsReboot = false;  // the class installer asks for a restart after a change
    bool changeFails = false;  // the class installer refuses state changes
};

// Faults a drive's flash chip or the drive itself can be given. Each fires at one flash address
// (chosen from the slot's seed when the bench gives none) for a number of times (-1: always).
enum class IdeFaultKind {
    Program,       // program requests covering the address fail
    Verify,        // the cell at the address does not hold its value: it reads back wrong
    Erase,         // erase requests fail
    Identify,      // the chip answers no known maker and device code to either sequence
    ReadOnce,      // the byte at the address reads wrong, then right (a count of reads)
    NeverReady,    // the drive never reports ready when selected
    RequestFails,  // the driver refuses the `nth` request of number `request` (and `times`-1
                   // more of that number): the request itself fails, whatever the slot
};

struct IdeFault {
    IdeFaultKind kind = IdeFaultKind::Program;
    int64_t address = -1;  // -1: chosen from the seed
    int times = -1;        // -1: always
    int request = -1;      // RequestFails: the driver request's number
    int nth = 1;           // RequestFails: the first refused request of that number, from 1
};

const char* IdeFaultName(IdeFaultKind kind);
bool IdeFaultFromName(const std::string& name, IdeFaultKind& kind);

struct IdeSlot {
    bool present = false;
    int kind = 2;           // device kind the identification reports; 2 is an optical drive
    int identifyPolls = 1;  // identify requests after a selection until the answer is complete
    std::string vendor, product, revision;
    uint8_t mwdmaSupported = 0x07, mwdmaSelected = 0;  // ATA identify word 63 low and high byte
    uint8_t udmaSupported = 0x1F, udmaSelected = 0;    // word 88 low and high byte
    int chipRow = -1;                // row of the flash-chip table; -1: no flash reachable
    bool alternateSequence = false;  // the chip identifies and erases only by the other sequence
    bool flashIncomplete = false;    // the firmware in the flash is not whole: the boot loader runs
    FlashContents flash;             // chip contents, the chip's size
    uint64_t seed = 1;
    std::vector<IdeFault> faults;

    // State of this run (not saved).
    // Checksum of the flash contents that the drive's revision belongs to; taken when the flash
    // is first prepared, compared when the drive is reset.
    std::optional<uint32_t> identityCrc;
    int pollsSinceSelect = 0;
    bool flashMode = false;
    std::map<int64_t, int> faultFired;  // fault index -> times fired
};

struct IdePci {
    uint16_t hostVendor = 0x8086;
    uint16_t hostDevice = 0x7190;
    int sisIdeDevice = -1;  // PCI device (bus 0, function 1) of a SiS 5513 IDE function; -1 none
    uint32_t timing40 = 0;
    uint32_t timing44 = 0;
    uint32_t configAddress = 0;  // latched by a write to port 0xCF8 (not saved)
};

// What the tests and tools look at after a run.
struct IdeCounters {
    int serviceManagerCalls = 0;
    int setupApiCalls = 0;
    int stopCdromRequests = 0;
    int eraseRequests = 0;
    int programRequests = 0;
    int pageRequests = 0;
    int eraseFlagSeen = 0;  // erase requests whose flag at offset 8 was 1
    int driverOpens = 0;
};

struct IdeMachine {
    bool present = false;  // the bench describes the direct-IDE hardware

    std::map<std::string, EmulatedService> services;  // keyed by the upper-cased name
    std::vector<CdromDevice> cdroms;
    bool setupApiPresent = true;
    SetupApi setupEntries{true, true, true, true, true, true};
    std::map<std::string, std::string> dosDevices;  // "SCSI0:" -> "\Device\Ide\IdePort0"

    IdePci pci;
    std::array<IdeSlot, 8> driveSlots;
    // Another user replaces the temporary copy of the driver before it is copied into place.
    bool swapTemporaryDriver = false;

    // State of this run (not saved).
    IdeCounters counters;
    std::map<ScHandle, std::string> scHandles;  // "" for a manager handle
    ScHandle nextScHandle = 0x1000;
    bool setupApiLoaded = false;
    std::map<int64_t, std::map<uint32_t, std::vector<uint8_t>>> deviceSets;  // set -> devnode
    int64_t nextDeviceSet = 0x2000;
    int selectedSlot = 0;
    std::array<int, 16> requestsSeen{};  // driver requests of each number in this run (not saved)
};

// Sets up the default DOS device names of the two IDE channels.
void AddDefaultDosDevices(IdeMachine& ide);

// The slot of a command block port and device select value, or -1.
int IdeSlotOf(uint32_t port, uint32_t select);

// PCI configuration dword at a configuration address (0xFFFFFFFF where nothing answers).
uint32_t PciConfigRead(const IdePci& pci, uint32_t address);
void PciConfigWrite(IdePci& pci, uint32_t address, uint32_t value);

// The flash address a fault fires at.
int64_t FaultAddress(const IdeSlot& slot, const IdeFault& fault);

// The file the flash driver is loaded from on this machine's family; empty when the system
// directory is unknown.
std::string DriverFilePath(Machine& machine);

// Whether the service may start: its image path names the driver file and that file is the
// driver this machine knows. `error` says why not.
bool DriverServiceMayStart(Machine& machine, const EmulatedService& service, uint32_t& error);

// Opens the IDE path's device names ("\\.\RurSys", "\\.\varavo.vxd", "\\.\scsi0:"). Returns
// false when the name is none of them; otherwise `device` is the device or null with `error`.
bool OpenIdeDevice(Machine& machine, const std::string& name,
                   std::shared_ptr<EmulatedDevice>& device, uint32_t& error);

// Called by the emulated CopyFile before it copies `from`.
void BeforeCopy(Machine& machine, const std::string& from);

}  // namespace platform::emulated
