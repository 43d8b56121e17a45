#include "platform/emulated/EmulatedAspi.h"

#include <algorithm>
#include <cstring>

#include "common/Bytes.h"
#include "platform/emulated/EmulatedSystem.h"

namespace platform::emulated {
namespace {
constexpr Handle kAspiModule = 0x10000000;

using namespace platform::aspi;
constexpr uint8_t kHostSelectionTimeout = 0x11;
constexpr uint8_t kStatusCheckCondition = 0x02;
constexpr uint8_t kDeviceCdrom = 5;

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
    if (loads_ == 0 || srb.size() < kTarget) {
        // A caller polling the status must see the command end.
        if (srb.size() > kStatus) srb[kStatus] = kSsNoAspi;
        return kSsNoAspi;
    }
    uint8_t adapter = srb[kHaId];
    int adapters = AdapterCount();
    switch (srb[kCmd]) {
        case kScHaInquiry:
            if (srb.size() < kHaInquirySize) return srb[kStatus] = kSsInvalidSrb;
            if (adapter >= adapters && adapter != 0) return srb[kStatus] = kSsInvalidHa;
            srb[kHaCount] = static_cast<uint8_t>(adapters);
            srb[kHaScsiId] = 7;  // the adapter's own SCSI id
            std::memcpy(&srb[kManagerId], "ASPI for WIN32  ", 16);
            return srb[kStatus] = kSsComp;
        case kScGetDevType: {
            if (srb.size() < kDevTypeSize) return srb[kStatus] = kSsInvalidSrb;
            if (adapter >= adapters) return srb[kStatus] = kSsInvalidHa;
            if (!DriveAt(adapter, srb[kTarget], srb[kLun])) return srb[kStatus] = kSsNoDevice;
            srb[kDeviceType] = kDeviceCdrom;
            return srb[kStatus] = kSsComp;
        }
        case kScExecScsiCmd:
            if (srb.size() < kScsiRequestSize) return srb[kStatus] = kSsInvalidSrb;
            return Execute(srb, data);
        default:
            return srb[kStatus] = kSsInvalidSrb;
    }
}

uint32_t EmulatedAspi::Execute(std::span<uint8_t> srb, std::span<uint8_t> data) {
    auto drive = DriveAt(srb[kHaId], srb[kTarget], srb[kLun]);
    if (!drive) return srb[kStatus] = kSsNoDevice;
    uint8_t flags = srb[kFlags];
    uint32_t length = Le32(&srb[kBufLen]), buffer = Le32(&srb[kBufPointer]);
    uint8_t senseLength = srb[kSenseLen], cdbLength = srb[kCdbLen];
    int direction = (flags & kFlagDataIn) ? 1 : (flags & kFlagDataOut) ? 0 : 2;
    if (cdbLength == 0 || cdbLength > 16 || senseLength > 16) return srb[kStatus] = kSsInvalidSrb;
    std::span<uint8_t> transfer;
    if (length > 0) {
        uint32_t wanted = direction == 0 ? kDataBufferWrite : kDataBufferRead;
        if (direction == 2 || buffer != wanted || data.size() < length)
            return srb[kStatus] = kSsInvalidSrb;
        transfer = data.first(length);
    }
    std::array<uint8_t, 12> cdb{};
    std::copy_n(srb.begin() + kCdbByte, std::min<size_t>(cdbLength, 12), cdb.begin());

    // ASPI has no time-out of its own: the caller bounds its wait.
    TransportResult result =
        RunDriveCommand(machine_, *drive, cdb, length ? direction : 2, transfer, -1);
    std::array<uint8_t, kScsiRequestSize> finished;
    std::copy_n(srb.begin(), kScsiRequestSize, finished.begin());
    switch (result.answer.status) {
        case DriveAnswer::Status::Good:
            finished[kStatus] = kSsComp;
            break;
        case DriveAnswer::Status::CheckCondition:
            finished[kStatus] = kSsErr;
            finished[kTargStat] = kStatusCheckCondition;
            std::copy_n(result.answer.sense.begin(), senseLength, finished.begin() + kSenseArea);
            break;
        case DriveAnswer::Status::NoAnswer:
            finished[kStatus] = kSsErr;
            finished[kHaStat] = kHostSelectionTimeout;
            break;
    }
    Handle event = Le32(&srb[kPostProc]);
    auto it = events_.find(event);
    if ((flags & kFlagEventNotify) && machine_.aspi.completesByEvent && it != events_.end()) {
        it->second.signalled = false;
        it->second.pending = Pending{srb, finished, result.seconds};
        srb[kStatus] = kSsPending;
        return kSsPending;
    }
    machine_.Clock().Sleep(static_cast<int64_t>(result.seconds * 1e9));
    std::copy(finished.begin(), finished.end(), srb.begin());
    if ((flags & kFlagEventNotify) && it != events_.end()) it->second.signalled = true;
    return finished[kStatus];
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
