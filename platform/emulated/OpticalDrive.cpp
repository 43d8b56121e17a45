#include "platform/emulated/OpticalDrive.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "package/FlashProfiles.h"
#include "platform/emulated/FirmwareImage.h"

namespace platform::emulated {
namespace {
constexpr const char* kKindNames[] = {"any",           "testUnitReady",
                                      "inquiry",       "startStopUnit",
                                      "eventStatus",   "readDiscInformation",
                                      "closeTrack",    "readBuffer",
                                      "writeBuffer",   "profile",
                                      "commit",        "readFlashId",
                                      "readDriveTag",  "downloadOpen",
                                      "downloadBlock", "downloadCommit",
                                      "other"};
static_assert(std::size(kKindNames) == static_cast<size_t>(CommandKind::Count));

constexpr const char* kFaultNames[] = {
    "failCommand",      "corruptReadBack", "neverReady", "unitAttentionForever",
    "transportFailure", "slowCommand",     "powerCut",   "shortBlock",
    "badCell",          "corruptWrite"};

// How long the drive spends on a command: a fixed turnaround plus the bytes on the bus
// (about 20 MB/s), and for a flash write the time the chip takes per mebibyte.
constexpr double kTurnaround = 100e-6;
constexpr double kSecondsPerByte = 50e-9;
constexpr double kCommitBase = 0.5;
constexpr double kFlashSecondsPerMebibyte = 3.0;
// After a commit the drive restarts on its new firmware.
constexpr double kRestartAfterCommit = 1.0;
constexpr double kRestartAfterReset = 3.0;
constexpr double kTrayMotion = 1.5;
constexpr double kSpinUp = 2.0;
constexpr size_t kBankSize = 0x10000;
constexpr uint32_t kSmallProfileOffset = 0x80000;

uint32_t Be16(const uint8_t* p) {
    return uint32_t{p[0]} << 8 | p[1];
}
uint32_t Be24(const uint8_t* p) {
    return uint32_t{p[0]} << 16 | uint32_t{p[1]} << 8 | p[2];
}
uint32_t Be32(const uint8_t* p) {
    return uint32_t{p[0]} << 24 | Be24(p + 1);
}

DriveAnswer& Check(DriveAnswer& answer, uint8_t key, uint8_t asc, uint8_t ascq) {
    answer.status = DriveAnswer::Status::CheckCondition;
    answer.sense = {};
    answer.sense[0] = 0x70;
    answer.sense[2] = key;
    answer.sense[7] = 10;
    answer.sense[12] = asc;
    answer.sense[13] = ascq;
    return answer;
}

void PutText(std::span<uint8_t> to, const std::string& text, uint8_t pad) {
    for (size_t i = 0; i < to.size(); ++i) {
        to[i] = i < text.size() ? static_cast<uint8_t>(text[i]) : pad;
    }
}

double FlashSeconds(size_t bytes) {
    return kCommitBase + kFlashSecondsPerMebibyte * static_cast<double>(bytes) / (1 << 20);
}

bool NeedsReadiness(CommandKind kind) {
    switch (kind) {
        case CommandKind::ReadBuffer:
        case CommandKind::WriteBuffer:
        case CommandKind::Profile:
        case CommandKind::Commit:
        case CommandKind::DownloadOpen:
        case CommandKind::DownloadBlock:
        case CommandKind::DownloadCommit:
        case CommandKind::ReadDiscInformation:
            return true;
        default:
            return false;
    }
}
// Flips one bit of `data`, the same one for the same seed.
void FlipSeededBit(std::span<uint8_t> data, uint32_t seed) {
    uint64_t mixed = uint64_t{seed} * 2654435761u;
    data[mixed % data.size()] ^= static_cast<uint8_t>(1u << (mixed >> 32) % 8);
}

}  // namespace

const char* CommandKindName(CommandKind kind) {
    return kKindNames[static_cast<size_t>(kind)];
}

std::optional<CommandKind> CommandKindFromName(const std::string& name) {
    for (size_t i = 0; i < std::size(kKindNames); ++i) {
        if (name == kKindNames[i]) return static_cast<CommandKind>(i);
    }
    return std::nullopt;
}

const char* FaultKindName(DriveFault::Kind kind) {
    return kFaultNames[static_cast<size_t>(kind)];
}

std::optional<DriveFault::Kind> FaultKindFromName(const std::string& name) {
    for (size_t i = 0; i < std::size(kFaultNames); ++i) {
        if (name == kFaultNames[i]) return static_cast<DriveFault::Kind>(i);
    }
    return std::nullopt;
}

CommandKind ClassifyCommand(std::span<const uint8_t, 12> cdb) {
    switch (cdb[0]) {
        case 0x00:
            return CommandKind::TestUnitReady;
        case 0x12:
            return CommandKind::Inquiry;
        case 0x1B:
            return CommandKind::StartStopUnit;
        case 0x4A:
            return CommandKind::EventStatus;
        case 0x51:
            return CommandKind::ReadDiscInformation;
        case 0x5B:
            return CommandKind::CloseTrack;
        case 0x3C:
            return CommandKind::ReadBuffer;
        case 0x3B:
            if (cdb[9] == 0x80 || cdb[9] == 0xA0) return CommandKind::Commit;
            if (cdb[9] == 0x7F) return CommandKind::Profile;
            return CommandKind::WriteBuffer;
        case 0xDF:
            return cdb[1] == 0x11 ? CommandKind::ReadFlashId : CommandKind::Other;
        case 0xF3:
            return cdb[1] == 0x0E && cdb[2] == 0x02 ? CommandKind::ReadDriveTag
                                                    : CommandKind::Other;
        case 0xF2:
            if (cdb[1] == 0x01) return CommandKind::DownloadOpen;
            if (cdb[1] == 0x03) return CommandKind::DownloadBlock;
            if (cdb[1] == 0x04) return CommandKind::DownloadCommit;
            return CommandKind::Other;
        default:
            return CommandKind::Other;
    }
}

OpticalDrive::OpticalDrive(DriveSettings settings) : settings_(std::move(settings)) {}

std::vector<uint8_t>& OpticalDrive::Staging() {
    if (!staged_) {
        staging_ = ReadFlash();
        staged_ = true;
    }
    return staging_;
}

std::vector<uint8_t> OpticalDrive::ReadFlash() const {
    std::vector<uint8_t> bytes = settings_.flash.ToVector();
    for (const auto& fault : settings_.faults) {
        if (fault.kind == DriveFault::Kind::BadCell && fault.address >= 0 &&
            static_cast<size_t>(fault.address) < bytes.size())
            bytes[static_cast<size_t>(fault.address)] ^= 0x01;
    }
    return bytes;
}

bool OpticalDrive::TakeFlashWritten() {
    std::lock_guard lock(mutex_);
    return std::exchange(flashWritten_, false);
}

void OpticalDrive::ByHand(const std::function<void(DriveSettings&)>& change) {
    std::lock_guard lock(mutex_);
    change(settings_);
}

DriveSettings OpticalDrive::Settings() const {
    std::lock_guard lock(mutex_);
    return settings_;
}

std::vector<uint8_t> OpticalDrive::Flash() const {
    std::lock_guard lock(mutex_);
    return settings_.flash.ToVector();
}

std::string OpticalDrive::ContentsProblem() const {
    std::lock_guard lock(mutex_);
    return contentsProblem_;
}

bool OpticalDrive::PoweredOff() const {
    std::lock_guard lock(mutex_);
    return poweredOff_;
}

int OpticalDrive::Received(CommandKind kind) const {
    std::lock_guard lock(mutex_);
    return received_[static_cast<size_t>(kind)];
}

DriveAnswer OpticalDrive::Execute(std::span<const uint8_t, 12> cdb, int direction,
                                  std::span<uint8_t> data, double now) {
    std::lock_guard lock(mutex_);
    try {
        return Answer(cdb, direction, data, now);
    } catch (const FlashFileError& e) {
        // The bench's contents file went bad: the drive cannot go on, and the run says why.
        contentsProblem_ = e.what();
        DriveAnswer silent;
        silent.status = DriveAnswer::Status::NoAnswer;
        return silent;
    }
}

DriveAnswer OpticalDrive::Answer(std::span<const uint8_t, 12> cdb, int direction,
                                 std::span<uint8_t> data, double now) {
    DriveAnswer answer;
    answer.seconds = kTurnaround + kSecondsPerByte * static_cast<double>(data.size());
    if (direction == 1) std::fill(data.begin(), data.end(), 0);
    if (poweredOff_ || !contentsProblem_.empty()) {
        answer.status = DriveAnswer::Status::NoAnswer;
        return answer;
    }
    CommandKind kind = ClassifyCommand(cdb);
    // The loader of the two smallest chips takes its profile at 0x80000 without a control byte,
    // where a large image has data too: it is a profile only while the loader waits for one and
    // it is exactly as long as the chip's profile.
    if (kind == CommandKind::WriteBuffer && Be24(&cdb[3]) == kSmallProfileOffset && cdb[9] == 0 &&
        SmallProfileChip() && !profileAccepted_ && Be24(&cdb[6]) == ProfileTransferLength())
        kind = CommandKind::Profile;
    int count = ++received_[static_cast<size_t>(kind)];
    int anyCount = ++received_[static_cast<size_t>(CommandKind::Any)];

    const DriveFault* corrupt = nullptr;
    const DriveFault* corruptWrite = nullptr;
    const DriveFault* slow = nullptr;
    bool powerCut = false;
    std::array<uint8_t, 12> received;
    std::copy(cdb.begin(), cdb.end(), received.begin());
    for (const auto& fault : settings_.faults) {
        int seen = fault.command == CommandKind::Any ? anyCount
                   : fault.command == kind           ? count
                                                     : -1;
        if (seen < 0 || !fault.Hits(seen)) continue;
        switch (fault.kind) {
            case DriveFault::Kind::TransportFailure:
                answer.status = DriveAnswer::Status::NoAnswer;
                return answer;
            case DriveFault::Kind::FailCommand:
                return Check(answer, fault.sense[0], fault.sense[1], fault.sense[2]);
            case DriveFault::Kind::CorruptReadBack:
                corrupt = &fault;
                break;
            case DriveFault::Kind::SlowCommand:
                slow = &fault;
                break;
            case DriveFault::Kind::PowerCut:
                powerCut = true;
                break;
            case DriveFault::Kind::ShortBlock:
                received[10] = received[11] = 0;
                break;
            case DriveFault::Kind::CorruptWrite:
                corruptWrite = &fault;
                break;
            default:
                break;  // the lasting states are looked at by the commands themselves
        }
    }

    if (powerCut) {
        poweredOff_ = true;
        answer.status = DriveAnswer::Status::NoAnswer;
        // A flash write that loses power stops half way through.
        if (kind == CommandKind::Commit || kind == CommandKind::DownloadCommit) {
            size_t length = settings_.flash.size();
            size_t offset = 0;
            if (kind == CommandKind::DownloadCommit)
                length = std::min<size_t>(Be32(&cdb[6]), length);
            if (kind == CommandKind::Commit && settings_.flash.size() == 2 * kBankSize) {
                offset = received[10] == 1 ? kBankSize : 0;
                length = kBankSize;
            }
            settings_.flash.Write(offset, std::span(Staging()).first(length / 2));
            settings_.flashIncomplete = true;
            flashWritten_ = true;
        }
        return answer;
    }

    if (corruptWrite && direction == 0 && !data.empty()) {
        // The bytes are damaged on their way: the host's own buffer stays as it sent it.
        std::vector<uint8_t> arrived(data.begin(), data.end());
        FlipSeededBit(arrived, corruptWrite->seed);
        Run(received, kind, arrived, now, answer);
        if (slow) answer.seconds = slow->seconds;
        return answer;
    }
    Run(received, kind, data, now, answer);
    if (answer.status == DriveAnswer::Status::Good && corrupt && kind == CommandKind::ReadBuffer &&
        !data.empty()) {
        FlipSeededBit(data, corrupt->seed);
    }
    if (slow) answer.seconds = slow->seconds;
    return answer;
}

DriveAnswer OpticalDrive::Run(std::span<const uint8_t, 12> cdb, CommandKind kind,
                              std::span<uint8_t> data, double now, DriveAnswer& answer) {
    auto has = [&](DriveFault::Kind k) {
        return std::any_of(settings_.faults.begin(), settings_.faults.end(),
                           [&](const DriveFault& f) { return f.kind == k; });
    };
    bool attentionForever = has(DriveFault::Kind::UnitAttentionForever);
    bool becomingReady = has(DriveFault::Kind::NeverReady) || now < settings_.readyAt;

    // Every command but INQUIRY reports a pending unit attention first, and is not carried out.
    if (kind != CommandKind::Inquiry && (settings_.unitAttention || attentionForever)) {
        settings_.unitAttention = false;
        return Check(answer, 0x06, 0x29, 0x00);
    }
    if (NeedsReadiness(kind) && becomingReady) return Check(answer, 0x02, 0x04, 0x01);

    switch (kind) {
        case CommandKind::TestUnitReady:
            if (becomingReady) return Check(answer, 0x02, 0x04, 0x01);
            if (settings_.trayOpen) return Check(answer, 0x02, 0x3A, 0x02);
            if (!settings_.medium) return Check(answer, 0x02, 0x3A, 0x01);
            return answer;
        case CommandKind::Inquiry:
            Inquiry(data.first(std::min<size_t>(data.size(), cdb[4])));
            return answer;
        case CommandKind::StartStopUnit: {
            bool loadEject = cdb[4] & 0x02, start = cdb[4] & 0x01;
            if (loadEject && !start) {
                if (settings_.trayLocked) return Check(answer, 0x05, 0x53, 0x02);
                settings_.trayOpen = true;
                answer.seconds += kTrayMotion;
            } else if (loadEject && start) {
                if (settings_.trayOpen) answer.seconds += kTrayMotion;
                settings_.trayOpen = false;
                if (settings_.medium) settings_.readyAt = now + answer.seconds + kSpinUp;
            }
            return answer;
        }
        case CommandKind::EventStatus:
            if (!(cdb[1] & 0x01)) return Check(answer, 0x05, 0x24, 0x00);
            if (data.size() >= 6) {
                data[1] = 6;
                data[2] = 0x04;  // media class
                data[3] = 0x10;
                data[5] = (settings_.trayOpen ? 0x01 : 0) |
                          (settings_.medium && !settings_.trayOpen ? 0x02 : 0);
            }
            return answer;
        case CommandKind::ReadDiscInformation:
            if (settings_.trayOpen || !settings_.medium) return Check(answer, 0x02, 0x3A, 0x00);
            if (data.size() >= 8) {
                data[1] = 32;
                data[2] = 0x0E;
                data[7] = static_cast<uint8_t>(settings_.backgroundFormat & 3);
            }
            return answer;
        case CommandKind::CloseTrack:
            if (settings_.trayOpen || !settings_.medium) return Check(answer, 0x02, 0x3A, 0x00);
            if (settings_.backgroundFormat == 2) settings_.backgroundFormat = 1;
            return answer;
        case CommandKind::ReadBuffer: {
            uint32_t offset = Be24(&cdb[3]), length = Be24(&cdb[6]);
            if ((cdb[1] & 0x1F) != 0x01 || cdb[2] != 0x01 || offset + length > Staging().size())
                return Check(answer, 0x05, 0x24, 0x00);
            std::copy_n(Staging().begin() + offset, std::min<size_t>(length, data.size()),
                        data.begin());
            return answer;
        }
        case CommandKind::WriteBuffer:
        case CommandKind::Profile:
        case CommandKind::Commit:
            return WriteBuffer(cdb, kind, data, now, answer);
        case CommandKind::ReadFlashId:
            if (!settings_.flashId) return Check(answer, 0x05, 0x20, 0x00);
            std::copy_n(settings_.flashId->begin(), std::min<size_t>(4, data.size()), data.begin());
            return answer;
        case CommandKind::ReadDriveTag:
            // The boot loader of a drive whose flash is not whole knows no tag.
            if (!settings_.driveTag || settings_.flashIncomplete)
                return Check(answer, 0x05, 0x20, 0x00);
            PutText(data.first(std::min<size_t>(data.size(), 7)), *settings_.driveTag, 0);
            return answer;
        case CommandKind::DownloadOpen:
            downloadOpen_ = true;
            Staging() = ReadFlash();
            return answer;
        case CommandKind::DownloadBlock: {
            if (!downloadOpen_ && !InLoaderMode()) return Check(answer, 0x05, 0x2C, 0x00);
            uint32_t offset = Be32(&cdb[2]), announced = Be16(&cdb[8]);
            if (announced < 2 || data.size() != announced) return Check(answer, 0x05, 0x24, 0x00);
            size_t length = announced - 2;
            if (offset + length > Staging().size()) return Check(answer, 0x05, 0x24, 0x00);
            uint16_t sum = 0;
            for (size_t i = 0; i < length; ++i)
                sum = static_cast<uint16_t>(sum + data[i]);
            // The sum behind the data comes low byte first.
            if ((data[length] | data[length + 1] << 8) != sum)
                return Check(answer, 0x05, 0x26, 0x00);
            std::copy_n(data.begin(), length, Staging().begin() + offset);
            return answer;
        }
        case CommandKind::DownloadCommit: {
            if (!downloadOpen_ && !InLoaderMode()) return Check(answer, 0x05, 0x2C, 0x00);
            uint32_t total = Be32(&cdb[6]);
            if (total == 0 || total > settings_.flash.size())
                return Check(answer, 0x05, 0x24, 0x00);
            CommitToFlash(0, 0, total, now);
            downloadOpen_ = false;
            answer.seconds += FlashSeconds(total);
            settings_.readyAt = now + answer.seconds + kRestartAfterCommit;
            return answer;
        }
        default:
            return Check(answer, 0x05, 0x20, 0x00);
    }
}

DriveAnswer OpticalDrive::WriteBuffer(std::span<const uint8_t, 12> cdb, CommandKind kind,
                                      std::span<const uint8_t> data, double now,
                                      DriveAnswer& answer) {
    uint32_t offset = Be24(&cdb[3]), length = Be24(&cdb[6]);
    uint8_t control = cdb[9];
    if ((cdb[1] & 0x1F) != 0x05 || cdb[2] != 0x01) return Check(answer, 0x05, 0x24, 0x00);
    if (kind == CommandKind::Profile) {
        if (data.size() != length || !AcceptProfile(offset, data.first(length)) ||
            (offset == 0 && control != 0x7F) || (offset != 0 && control != 0))
            return Check(answer, 0x05, 0x26, 0x00);
        profileAccepted_ = true;
        return answer;
    }
    // Without the profile of its chip the loader cannot program the flash.
    if (settings_.flashId && !profileAccepted_) return Check(answer, 0x05, 0x2C, 0x00);
    if (kind == CommandKind::WriteBuffer) {
        if (data.size() != length || offset + length > Staging().size())
            return Check(answer, 0x05, 0x24, 0x00);
        std::copy(data.begin(), data.end(), Staging().begin() + offset);
        return answer;
    }
    // The commit: a two-bank flash takes the staged 64 KiB into the bank of byte 10, any other
    // flash takes the whole staging buffer.
    if (length != 0 || !data.empty()) return Check(answer, 0x05, 0x24, 0x00);
    uint8_t bank = cdb[10];
    size_t written;
    if (settings_.flash.size() == 2 * kBankSize) {
        if (bank > 1) return Check(answer, 0x05, 0x24, 0x00);
        CommitToFlash(bank * kBankSize, 0, kBankSize, now);
        written = kBankSize;
    } else {
        if (bank != 0) return Check(answer, 0x05, 0x24, 0x00);
        written = settings_.flash.size();
        CommitToFlash(0, 0, written, now);
    }
    profileAccepted_ = false;
    answer.seconds += FlashSeconds(written);
    // 0xA0 also resets the drive, which takes longer to come back.
    settings_.readyAt =
        now + answer.seconds + (control == 0xA0 ? kRestartAfterReset : kRestartAfterCommit);
    return answer;
}

int OpticalDrive::ProfileEntry() const {
    if (!settings_.flashId) return -1;
    const auto& id = *settings_.flashId;
    return package::FindChipProfile(id[0], id[1], id[2], id[3]);
}

size_t OpticalDrive::ProfileTransferLength() const {
    int entry = ProfileEntry();
    if (entry < 0) return 0;
    size_t profileLength = package::kFlashIdTable[entry].length;
    if (entry >= 2 && entry <= 4) return profileLength;
    return profileLength + (profileLength & 1) + (entry <= 1 ? 4 : 6);
}

bool OpticalDrive::AcceptProfile(uint32_t offset, std::span<const uint8_t> data) {
    int entry = ProfileEntry();
    if (entry < 0) return false;
    const auto& id = *settings_.flashId;
    size_t profileLength = package::kFlashIdTable[entry].length;
    auto profile = package::ProfileBytes(entry);
    size_t header = entry <= 1 ? 4 : 6;
    if (data.size() != ProfileTransferLength()) return false;
    if (entry <= 1) {
        if (offset != kSmallProfileOffset || !std::equal(id.begin(), id.end(), data.begin()))
            return false;
    } else {
        auto idBytes = package::FlashIdBytes(entry);
        if (offset != 0 || !std::equal(idBytes.begin(), idBytes.end(), data.begin())) return false;
    }
    size_t carried = std::min(profileLength, data.size() - header);
    return std::equal(profile.begin(), profile.begin() + carried, data.begin() + header);
}

void OpticalDrive::CommitToFlash(size_t flashOffset, size_t stagingOffset, size_t length,
                                 double /*now*/) {
    settings_.flash.Write(flashOffset, std::span(Staging()).subspan(stagingOffset, length));
    flashWritten_ = true;
    // The drive restarts from what it reads in its flash; firmware that is not whole leaves it in
    // its boot loader (one bank of two written, say, or a cell that reads back wrong, which the
    // image's checksum finds).
    FirmwareIdentity identity = IdentityOfFlash(ReadFlash(), settings_.revision);
    settings_.flashIncomplete = identity.incomplete;
    if (!identity.incomplete) {
        settings_.revision = identity.revision;
        if (settings_.driveTag) settings_.driveTag = identity.driveTag;
    }
    settings_.unitAttention = true;
}

bool OpticalDrive::SmallProfileChip() const {
    int entry = ProfileEntry();
    return entry == 0 || entry == 1;
}

std::string OpticalDrive::ReportedRevision() const {
    using Signs = DriveSettings::LoaderSigns;
    return settings_.flashIncomplete && settings_.loaderSigns != Signs::TextOnly
               ? "0000"
               : settings_.revision;
}

bool OpticalDrive::InLoaderMode() const {
    // The boot loader runs when the flash is incomplete, whatever the drive shows of it; a
    // revision starting with "0" is the loader's too. It takes download blocks unasked.
    return settings_.flashIncomplete || ReportedRevision().rfind('0', 0) == 0;
}

void OpticalDrive::Inquiry(std::span<uint8_t> data) const {
    std::array<uint8_t, 96> answer{};
    answer[0] = 0x05;  // CD/DVD device
    answer[1] = 0x80;  // removable
    answer[3] = 0x32;
    answer[4] = static_cast<uint8_t>(answer.size() - 5);
    std::span<uint8_t> all(answer);
    PutText(all.subspan(8, 8), settings_.vendor, ' ');
    PutText(all.subspan(16, 16), settings_.product, ' ');
    // A drive whose flash write was cut short runs its boot loader and says so.
    PutText(all.subspan(32, 4), ReportedRevision(), ' ');
    std::string specific = settings_.flashIncomplete &&
                                   settings_.loaderSigns != DriveSettings::LoaderSigns::RevisionOnly
                               ? "FLASH INCOMPLETE"
                               : settings_.vendorSpecific;
    PutText(all.subspan(36, 16), specific, specific.empty() ? 0 : ' ');
    std::copy_n(answer.begin(), std::min(data.size(), answer.size()), data.begin());
}

}  // namespace platform::emulated
