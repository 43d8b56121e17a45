#include "platform/emulated/EmulatedAspi.h"

#include <algorithm>
#include <cstring>

#include "common/Bytes.h"
#include "platform/emulated/EmulatedSystem.h"

namespace platform::emulated {
namespace {
constexpr Handle kAspiModule = 0x10000000;

// SRB commands and status codes of the manager.
constexpr uint8_t kScHaInquiry = 0, kScGetDevType = 1, kScExecScsiCmd = 2;
constexpr uint8_t kSsPending = 0, kSsComp = 1, kSsErr = 4, kSsInvalidSrb = 0xE0,
                  kSsInvalidHa = 0x81, kSsNoDevice = 0x82, kSsNoAspi = 0xE3;
constexpr uint8_t kFlagDataIn = 0x08, kFlagDataOut = 0x10, kFlagEventNotify = 0x40;
constexpr uint8_t kHostSelectionTimeout = 0x11;

using common::Le32;
}  // namespace

Handle EmulatedAspi::LoadLibrary() {
    std::lock_guard lock(mutex_);
    if (!machine_.aspi.present) return kNullModule;
    ++loads_;
    return kAspiModule;
}

bool EmulatedAspi::Resolve(Handle module, const std::string& name) const {
    if (module != kAspiModule) return false;
    if (name == "GetASPI32SupportInfo") return machine_.aspi.getSupportInfoEntry;
    if (name == "SendASPI32Command") return machine_.aspi.sendCommandEntry;
    return false;
}

void EmulatedAspi::FreeLibrary(Handle module) {
    std::lock_guard lock(mutex_);
    if (module == kAspiModule && loads_ > 0) --loads_;
}

int EmulatedAspi::AdapterCount() const {
    int count = 0;
    for (const auto& drive : machine_.drives) {
        if (auto a = drive->Address()) count = std::max(count, (*a)[0] + 1);
    }
    return count;
}

std::shared_ptr<OpticalDrive> EmulatedAspi::DriveAt(int adapter, int target, int lun) const {
    for (const auto& drive : machine_.drives) {
        auto a = drive->Address();
        if (a && (*a)[0] == adapter && (*a)[2] == target && (*a)[3] == lun) return drive;
    }
    return nullptr;
}

uint32_t EmulatedAspi::GetSupportInfo() {
    std::lock_guard lock(mutex_);
    if (loads_ == 0) return uint32_t{kSsNoAspi} << 8;
    uint32_t status = static_cast<uint32_t>(machine_.aspi.supportStatus) & 0xFF;
    return status << 8 | static_cast<uint32_t>(status == kSsComp ? AdapterCount() & 0xFF : 0);
}

uint32_t EmulatedAspi::SendCommand(std::span<uint8_t> srb, std::span<uint8_t> data) {
    std::lock_guard lock(mutex_);
    if (loads_ == 0 || srb.size() < 8) {
        // A caller polling the status must see the command end.
        if (srb.size() > 1) srb[1] = kSsNoAspi;
        return kSsNoAspi;
    }
    uint8_t adapter = srb[2];
    int adapters = AdapterCount();
    switch (srb[0]) {
        case kScHaInquiry:
            if (srb.size() < 60) return srb[1] = kSsInvalidSrb;
            if (adapter >= adapters && adapter != 0) return srb[1] = kSsInvalidHa;
            srb[8] = static_cast<uint8_t>(adapters);
            srb[9] = 7;  // the adapter's own SCSI id
            std::memcpy(&srb[10], "ASPI for WIN32  ", 16);
            return srb[1] = kSsComp;
        case kScGetDevType: {
            if (srb.size() < 12) return srb[1] = kSsInvalidSrb;
            if (adapter >= adapters) return srb[1] = kSsInvalidHa;
            if (!DriveAt(adapter, srb[8], srb[9])) return srb[1] = kSsNoDevice;
            srb[10] = 5;  // CD-ROM
            return srb[1] = kSsComp;
        }
        case kScExecScsiCmd:
            if (srb.size() < kScsiRequestSize) return srb[1] = kSsInvalidSrb;
            return Execute(srb, data);
        default:
            return srb[1] = kSsInvalidSrb;
    }
}

uint32_t EmulatedAspi::Execute(std::span<uint8_t> srb, std::span<uint8_t> data) {
    auto drive = DriveAt(srb[2], srb[8], srb[9]);
    if (!drive) return srb[1] = kSsNoDevice;
    uint8_t flags = srb[3];
    uint32_t length = Le32(&srb[12]), buffer = Le32(&srb[16]);
    uint8_t senseLength = srb[20], cdbLength = srb[21];
    int direction = (flags & kFlagDataIn) ? 1 : (flags & kFlagDataOut) ? 0 : 2;
    if (cdbLength == 0 || cdbLength > 16 || senseLength > 16) return srb[1] = kSsInvalidSrb;
    std::span<uint8_t> transfer;
    if (length > 0) {
        uint32_t wanted = direction == 0 ? kDataBufferWrite : kDataBufferRead;
        if (direction == 2 || buffer != wanted || data.size() < length)
            return srb[1] = kSsInvalidSrb;
        transfer = data.first(length);
    }
    std::array<uint8_t, 12> cdb{};
    std::copy_n(srb.begin() + 48, std::min<size_t>(cdbLength, 12), cdb.begin());

    // ASPI has no time-out of its own: the caller bounds its wait.
    TransportResult result =
        RunDriveCommand(machine_, *drive, cdb, length ? direction : 2, transfer, -1);
    std::array<uint8_t, kScsiRequestSize> finished;
    std::copy_n(srb.begin(), kScsiRequestSize, finished.begin());
    switch (result.answer.status) {
        case DriveAnswer::Status::Good:
            finished[1] = kSsComp;
            break;
        case DriveAnswer::Status::CheckCondition:
            finished[1] = kSsErr;
            finished[23] = 0x02;  // target status: CHECK CONDITION
            std::copy_n(result.answer.sense.begin(), senseLength, finished.begin() + 64);
            break;
        case DriveAnswer::Status::NoAnswer:
            finished[1] = kSsErr;
            finished[22] = kHostSelectionTimeout;
            break;
    }
    Handle event = Le32(&srb[24]);
    auto it = events_.find(event);
    if ((flags & kFlagEventNotify) && machine_.aspi.completesByEvent && it != events_.end()) {
        it->second.signalled = false;
        it->second.pending = Pending{srb, finished, result.seconds};
        srb[1] = kSsPending;
        return kSsPending;
    }
    machine_.Clock().Sleep(static_cast<int64_t>(result.seconds * 1e9));
    std::copy(finished.begin(), finished.end(), srb.begin());
    if ((flags & kFlagEventNotify) && it != events_.end()) it->second.signalled = true;
    return finished[1];
}

Handle EmulatedAspi::CreateEvent(bool /*manualReset*/, bool initiallySignalled) {
    std::lock_guard lock(mutex_);
    if (machine_.aspi.eventsFail) return kInvalidHandle;
    Handle handle = nextEvent_;
    nextEvent_ += 4;
    events_[handle].signalled = initiallySignalled;
    return handle;
}

uint32_t EmulatedAspi::Wait(Handle event, uint32_t milliseconds) {
    std::lock_guard lock(mutex_);
    auto it = events_.find(event);
    if (it == events_.end()) return 0xFFFFFFFFu;  // WAIT_FAILED
    Event& e = it->second;
    if (e.signalled) return kWaitObject0;
    auto& clock = machine_.Clock();
    if (e.pending && e.pending->seconds * 1000.0 <= milliseconds) {
        clock.Sleep(static_cast<int64_t>(e.pending->seconds * 1e9));
        std::copy(e.pending->finished.begin(), e.pending->finished.end(), e.pending->srb.begin());
        e.pending.reset();
        e.signalled = true;
        return kWaitObject0;
    }
    clock.Sleep(int64_t{milliseconds} * 1'000'000);
    return kWaitTimeout;
}

bool EmulatedAspi::CloseEvent(Handle event) {
    std::lock_guard lock(mutex_);
    // A command still pending when its event goes away never reports back.
    return events_.erase(event) > 0;
}

}  // namespace platform::emulated
