// An optical drive of the emulated PC: identity, tray and medium, its flash and the loader that
// rewrites it, and the faults a bench can seed into it.
//
// The drive answers command blocks the way the drive family does; both transports (pass-through
// and the ASPI manager) hand it the same blocks and get the same answers.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "platform/emulated/FlashContents.h"

namespace platform::emulated {

// The kinds of command a fault can count.
enum class CommandKind {
    Any,
    TestUnitReady,
    Inquiry,
    StartStopUnit,
    EventStatus,
    ReadDiscInformation,
    CloseTrack,
    ReadBuffer,
    WriteBuffer,  // data for the staging buffer
    Profile,      // a chip profile (WRITE BUFFER with control 0x7F; at 0x80000 for small chips)
    Commit,       // WRITE BUFFER with control 0x80 or 0xA0
    ReadFlashId,
    ReadDriveTag,
    DownloadOpen,
    DownloadBlock,
    DownloadCommit,
    Other,
    Count
};
const char* CommandKindName(CommandKind kind);
std::optional<CommandKind> CommandKindFromName(const std::string& name);
CommandKind ClassifyCommand(std::span<const uint8_t, 12> cdb);

struct DriveFault {
    enum class Kind {
        FailCommand,           // CHECK CONDITION with the given sense
        CorruptReadBack,       // one answer byte of READ BUFFER flipped (chosen by the seed)
        NeverReady,            // not ready, becoming ready, for ever
        UnitAttentionForever,  // every TEST UNIT READY answers unit attention
        TransportFailure,      // the command never reaches the drive
        SlowCommand,           // the command takes `seconds`
        PowerCut,              // power fails during the command; a commit is left half written
        ShortBlock,    // the block arrives cut to its first 10 bytes, as a target layer that
                       // knows only the opcode's length passes it on: bytes 10 and 11 are lost
        BadCell,       // the flash cell at `address` holds what is written but reads back with
                       // its lowest bit flipped, to the drive itself as well
        CorruptWrite,  // one byte of the data the host sends arrives flipped (chosen by the seed):
                       // the staging buffer (or a download block's checksum) gets wrong bytes
    };
    Kind kind = Kind::FailCommand;
    CommandKind command = CommandKind::Any;
    int nth = 1;    // the first affected command of that kind, counted from 1 in each run
    int times = 1;  // how many in a row; 0 = every one from the nth on
    std::array<uint8_t, 3> sense = {0x03, 0x0C, 0x00};  // write error
    double seconds = 0;
    uint32_t seed = 1;
    int64_t address = 0;  // the flash address of a bad cell

    bool Hits(int count) const { return count >= nth && (times == 0 || count < nth + times); }
};
const char* FaultKindName(DriveFault::Kind kind);
std::optional<DriveFault::Kind> FaultKindFromName(const std::string& name);

// What the drive is, as the bench describes it; the parts that change are written back.
struct DriveSettings {
    std::string letter;                         // "E:"
    std::optional<std::array<int, 4>> address;  // port, path, target, lun; none = no address
    uint32_t openError = 0;                     // CreateFile fails with this code when non-zero
    std::string vendor, product, revision, vendorSpecific;
    std::optional<std::string> driveTag;
    std::optional<std::array<uint8_t, 4>> flashId;
    FlashContents flash;
    bool trayOpen = false;
    bool medium = true;
    bool trayLocked = false;       // the tray will not eject
    bool unitAttention = false;    // one unit attention is pending
    double readyAt = 0;            // virtual second from which the drive is ready
    int backgroundFormat = 0;      // 0 none, 1 suspended, 2 running, 3 completed
    bool flashIncomplete = false;  // power was cut while the flash was written
    // Which signs of its boot loader the drive shows while its flash is incomplete: both (revision
    // "0000" and FLASH INCOMPLETE), as the family's loader does, or only one of them, as other
    // loaders may.
    enum class LoaderSigns { Both, RevisionOnly, TextOnly };
    LoaderSigns loaderSigns = LoaderSigns::Both;
    // Another program holds the drive (a burner, a mounted disc): who, as the system would name
    // it; empty when nobody does. A claim on the drive is then refused.
    std::string heldBy;
    std::vector<DriveFault> faults;
};

// One answer of the drive.
struct DriveAnswer {
    enum class Status { Good, CheckCondition, NoAnswer };
    Status status = Status::Good;
    std::array<uint8_t, 18> sense{};  // fixed-format sense data for CHECK CONDITION
    double seconds = 0;               // how long the drive took
};

class OpticalDrive {
  public:
    explicit OpticalDrive(DriveSettings settings);

    // Runs one command. `data` is what the host sends (direction 0) or where the answer goes
    // (direction 1; filled completely, zero beyond the answer). `now` is the virtual time.
    DriveAnswer Execute(std::span<const uint8_t, 12> cdb, int direction, std::span<uint8_t> data,
                        double now);

    // A copy of the persistent state (for the bench file and the tests).
    DriveSettings Settings() const;
    // The flash and the identity; for tools and tests.
    std::vector<uint8_t> Flash() const;
    const std::string& Letter() const { return settings_.letter; }
    std::optional<std::array<int, 4>> Address() const { return settings_.address; }
    uint32_t OpenError() const { return settings_.openError; }
    const std::string& HeldBy() const { return settings_.heldBy; }
    // A person at the machine changes the drive: takes the disc out, pushes the tray in.
    void ByHand(const std::function<void(DriveSettings&)>& change);
    // The drive lost power in this run and answers nothing more.
    bool PoweredOff() const;
    // Why the drive answers nothing more: its flash contents file did not hold what the bench
    // says (empty while it is sound).
    std::string ContentsProblem() const;
    // Commands of a kind received in this run.
    int Received(CommandKind kind) const;
    // Whether a flash write became lasting (a commit, or one cut short by a power failure) since
    // the last call.
    bool TakeFlashWritten();

  private:
    DriveAnswer Run(std::span<const uint8_t, 12> cdb, CommandKind kind, std::span<uint8_t> data,
                    double now, DriveAnswer& answer);
    DriveAnswer Answer(std::span<const uint8_t, 12> cdb, int direction, std::span<uint8_t> data,
                       double now);
    DriveAnswer WriteBuffer(std::span<const uint8_t, 12> cdb, CommandKind kind,
                            std::span<const uint8_t> data, double now, DriveAnswer& answer);
    bool AcceptProfile(uint32_t offset, std::span<const uint8_t> data);
    void CommitToFlash(size_t flashOffset, size_t stagingOffset, size_t length, double now);
    void Inquiry(std::span<uint8_t> data) const;
    std::string ReportedRevision() const;
    bool InLoaderMode() const;
    bool SmallProfileChip() const;
    // The chip's row of the profile table (-1 none), and how long its profile transfer is.
    int ProfileEntry() const;
    size_t ProfileTransferLength() const;
    // The staging buffer; the first command that uses it finds the flash's contents there.
    std::vector<uint8_t>& Staging();
    // The flash as the drive reads it: bad cells read wrong.
    std::vector<uint8_t> ReadFlash() const;

    mutable std::mutex mutex_;
    DriveSettings settings_;
    std::vector<uint8_t> staging_;
    bool staged_ = false;
    std::string contentsProblem_;
    bool profileAccepted_ = false;
    bool downloadOpen_ = false;
    bool poweredOff_ = false;
    bool flashWritten_ = false;
    std::array<int, static_cast<size_t>(CommandKind::Count)> received_{};
};

}  // namespace platform::emulated
