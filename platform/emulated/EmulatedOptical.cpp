// The emulated PC's side of the optical-drive services: logical drives, the volume devices and
// the SCSI pass-through. The ASPI manager is in EmulatedAspi.
#include <algorithm>
#include <cstring>

#include "common/Bytes.h"
#include "common/Text.h"
#include "platform/Trace.h"
#include "platform/emulated/DriveVolume.h"
#include "platform/emulated/EmulatedSystem.h"

namespace platform::emulated {
namespace {
constexpr uint32_t kDriveFixed = 3;
constexpr uint32_t kDriveNoRootDir = 1;
constexpr uint32_t kErrorInvalidFunction = 1;

using common::Le32;

// The system drive and the optical drives, sorted by letter.
std::vector<std::string> Roots(const Machine& machine) {
    std::vector<std::string> roots = {"C:\\"};
    for (const auto& drive : machine.drives) {
        if (!drive->Letter().empty()) roots.push_back(common::UpperAscii(drive->Letter()) + "\\");
    }
    std::sort(roots.begin(), roots.end());
    roots.erase(std::unique(roots.begin(), roots.end()), roots.end());
    return roots;
}

std::string DeviceName(const OpticalDrive& drive) {
    if (!drive.Letter().empty()) return common::UpperAscii(drive.Letter());
    auto a = drive.Address().value_or(std::array<int, 4>{-1, -1, -1, -1});
    return std::to_string(a[0]) + ":" + std::to_string(a[1]) + ":" + std::to_string(a[2]) + ":" +
           std::to_string(a[3]);
}
}  // namespace

Status DriveVolume::Control(uint32_t code, std::span<uint8_t> /*in*/, std::span<uint8_t> out,
                            uint32_t& returned) {
    returned = 0;
    if (code != kIoctlScsiGetAddress) return Status::Failure(kErrorInvalidFunction);
    if (out.size() < kScsiAddressSize) return Status::Failure(kErrorInvalidParameter);
    auto address = drive_->Address();
    // A drive on a bus that hands out no SCSI addresses: the call fails.
    if (!address) return Status::Failure(kErrorInvalidFunction);
    out[0] = static_cast<uint8_t>(kScsiAddressSize);  // Length
    out[1] = out[2] = out[3] = 0;
    for (int i = 0; i < 4; ++i)
        out[4 + i] = static_cast<uint8_t>((*address)[i]);
    returned = kScsiAddressSize;
    return Status::Success();
}

TransportResult RunDriveCommand(Machine& machine, OpticalDrive& drive,
                                std::span<const uint8_t, 12> cdb, int direction,
                                std::span<uint8_t> data, double timeoutSeconds) {
    double now = machine.Clock().NowSeconds();
    TransportResult result;
    result.answer = drive.Execute(cdb, direction, data, now);
    // What the drive wrote into its flash is kept before the host hears the answer.
    if (drive.TakeFlashWritten()) machine.FlashMadeLasting();
    result.seconds = result.answer.seconds;
    if (timeoutSeconds >= 0 && result.answer.seconds > timeoutSeconds) {
        result.timedOut = true;
        result.seconds = timeoutSeconds;
    }
    if (Trace* trace = Trace::Current()) {
        int outcome = 1;
        if (result.answer.status == DriveAnswer::Status::NoAnswer || result.timedOut)
            outcome = 0;
        else if (result.answer.status == DriveAnswer::Status::CheckCondition)
            outcome = 2;
        const auto& sense = result.answer.sense;
        bool withSense = result.answer.status == DriveAnswer::Status::CheckCondition;
        std::array<uint8_t, 3> senseBytes{};
        if (withSense) senseBytes = {static_cast<uint8_t>(sense[2] & 0x0F), sense[12], sense[13]};
        trace->WriteCommand(DeviceName(drive), cdb, direction, data, outcome, senseBytes, now);
    }
    return result;
}

uint32_t EmulatedSystem::GetLogicalDriveStrings(std::span<char> buffer) {
    std::string list;
    {
        std::lock_guard lock(machine_->mutex);
        for (const auto& root : Roots(*machine_))
            list += root + '\0';
    }
    if (buffer.size() < list.size() + 1) return static_cast<uint32_t>(list.size() + 1);
    std::memcpy(buffer.data(), list.data(), list.size());
    buffer[list.size()] = '\0';
    return static_cast<uint32_t>(list.size());
}

uint32_t EmulatedSystem::GetDriveType(const std::string& root) {
    std::lock_guard lock(machine_->mutex);
    std::string upper = common::UpperAscii(root);
    if (upper == "C:\\") return kDriveFixed;
    if (upper.size() >= 2 && machine_->FindDrive(upper.substr(0, 2))) return kDriveCdrom;
    return kDriveNoRootDir;
}

Status EmulatedSystem::ScsiPassThroughDirect(Handle handle,
                                             std::span<uint8_t, kScsiRequestSize> request,
                                             std::span<uint8_t> data) {
    std::shared_ptr<EmulatedDevice> device;
    {
        std::lock_guard lock(handlesMutex_);
        auto it = handles_.find(handle);
        if (it == handles_.end()) return Status::Failure(kErrorInvalidHandle);
        device = it->second;
    }
    auto* volume = dynamic_cast<DriveVolume*>(device.get());
    if (!volume) return Status::Failure(kErrorInvalidFunction);

    // The 32-bit SCSI_PASS_THROUGH_DIRECT as the program built it.
    using namespace platform::passthrough;
    uint16_t length = common::Le16(&request[kLength]);
    uint8_t cdbLength = request[kCdbLength], senseLength = request[kSenseInfoLength];
    uint8_t direction = request[kDataIn];
    uint32_t transferLength = Le32(&request[kDataTransferLength]);
    uint32_t timeout = Le32(&request[kTimeOutValue]);
    uint32_t dataBuffer = Le32(&request[kDataBuffer]);
    uint32_t senseOffset = Le32(&request[kSenseInfoOffset]);
    if (length != kStructureLength || cdbLength == 0 || cdbLength > kStructureLength - kCdb ||
        direction > 2 || senseOffset + senseLength > kScsiRequestSize)
        return Status::Failure(kErrorInvalidParameter);
    std::span<uint8_t> transfer;
    if (transferLength > 0) {
        uint32_t wanted = direction == 0 ? kDataBufferWrite : kDataBufferRead;
        if (direction == 2 || dataBuffer != wanted || data.size() < transferLength)
            return Status::Failure(kErrorInvalidParameter);
        transfer = data.first(transferLength);
    }
    std::array<uint8_t, 12> cdb{};
    std::copy_n(request.begin() + kCdb, std::min<size_t>(cdbLength, 12), cdb.begin());

    TransportResult result = RunDriveCommand(*machine_, volume->drive(), cdb,
                                             transferLength ? direction : 2, transfer, timeout);
    machine_->Clock().Sleep(static_cast<int64_t>(result.seconds * 1e9));
    if (result.timedOut) return Status::Failure(kErrorSemaphoreTimeout);
    if (result.answer.status == DriveAnswer::Status::NoAnswer)
        return Status::Failure(kErrorIoDevice);
    if (result.answer.status == DriveAnswer::Status::CheckCondition) {
        request[kScsiStatus] = 0x02;  // CHECK CONDITION
        std::copy_n(result.answer.sense.begin(),
                    std::min<size_t>(senseLength, result.answer.sense.size()),
                    request.begin() + senseOffset);
    }
    return Status::Success();
}

namespace {
int WritesReceived(const OpticalDrive& drive) {
    int writes = 0;
    for (CommandKind kind :
         {CommandKind::WriteBuffer, CommandKind::Profile, CommandKind::Commit,
          CommandKind::DownloadOpen, CommandKind::DownloadBlock, CommandKind::DownloadCommit})
        writes += drive.Received(kind);
    return writes;
}
}  // namespace

// A drive the bench says another program holds refuses the claim; any other drive is claimed.
// The claims are logged, with what the drive had been sent by then, for the tests.
DriveClaim EmulatedSystem::ClaimDrive(const std::string& root) {
    std::lock_guard lock(machine_->mutex);
    const std::string letter = common::UpperAscii(root.substr(0, 2));
    auto drive = machine_->FindDrive(letter);
    if (!drive) return {false, kErrorFileNotFound, ""};
    if (!drive->HeldBy().empty()) return {false, kErrorSharingViolation, drive->HeldBy()};
    machine_->claimed.push_back(letter);
    machine_->claimLog.push_back(
        {letter, true, WritesReceived(*drive), drive->Received(CommandKind::Any)});
    return {true, kErrorSuccess, ""};
}

void EmulatedSystem::ReleaseDrive(const std::string& root) {
    std::lock_guard lock(machine_->mutex);
    const std::string letter = common::UpperAscii(root.substr(0, 2));
    auto& claimed = machine_->claimed;
    auto it = std::find(claimed.begin(), claimed.end(), letter);
    if (it == claimed.end()) return;
    claimed.erase(it);
    auto drive = machine_->FindDrive(letter);
    machine_->claimLog.push_back({letter, false, drive ? WritesReceived(*drive) : 0,
                                  drive ? drive->Received(CommandKind::Any) : 0});
}

std::string EmulatedSystem::DriveHolder(const std::string& root) {
    std::lock_guard lock(machine_->mutex);
    auto drive = machine_->FindDrive(common::UpperAscii(root.substr(0, 2)));
    return drive ? drive->HeldBy() : "";
}

}  // namespace platform::emulated

namespace platform::emulated {

Handle EmulatedSystem::LoadAspiLibrary() {
    return aspi_->LoadLibrary();
}

bool EmulatedSystem::ResolveAspiEntry(Handle module, const std::string& name) {
    return aspi_->Resolve(module, name);
}

void EmulatedSystem::FreeAspiLibrary(Handle module) {
    aspi_->FreeLibrary(module);
}

uint32_t EmulatedSystem::GetASPI32SupportInfo() {
    return aspi_->GetSupportInfo();
}

uint32_t EmulatedSystem::SendASPI32Command(std::span<uint8_t> srb, std::span<uint8_t> data) {
    return aspi_->SendCommand(srb, data);
}

Handle EmulatedSystem::CreateEvent(bool manualReset, bool initiallySignalled) {
    return aspi_->CreateEvent(manualReset, initiallySignalled);
}

uint32_t EmulatedSystem::WaitForSingleObject(Handle handle, uint32_t milliseconds) {
    return aspi_->Wait(handle, milliseconds);
}

}  // namespace platform::emulated
