#include "device/AtapiDevice.h"

#include <algorithm>
#include <atomic>
#include <new>

#include "platform/MessageBox.h"

namespace device {
namespace {
void ShowError(const char* text, const char* caption) {
    platform::ShowMessageBox(text, caption, platform::MessageIcon::Error);
}

std::unique_ptr<uint8_t[]> AllocateBuffer(uint32_t& size, uint32_t& capacity) {
    std::unique_ptr<uint8_t[]> buffer(new (std::nothrow) uint8_t[AtapiDevice::kBufferSize]());
    size = capacity = buffer ? AtapiDevice::kBufferSize : 0;
    return buffer;
}
}  // namespace

AtapiDevice::AtapiDevice() {
    readBuffer = AllocateBuffer(readBufferSize, readBufferCapacity);
    writeBuffer = AllocateBuffer(writeBufferSize, writeBufferCapacity);
    if (systemInfo.IsNtFamily()) {
        useAspi = 0;
    } else {
        useAspi = 1;
        LoadAspi();
    }
    Enumerate();
}

AtapiDevice::~AtapiDevice() {
    readBuffer.reset();
    writeBuffer.reset();
    readBufferSize = readBufferCapacity = writeBufferSize = writeBufferCapacity = 0;
    UnloadAspi();
    CloseDrive();
}

bool AtapiDevice::LoadAspi() {
    auto& system = platform::CurrentSystem();
    aspiModule = system.LoadAspiLibrary();
    if (aspiModule == platform::kNullModule) {
        ShowError("LoadLibrary:\nWNASPI32.DLL not found.", "Error FS 002");
        return false;
    }
    getSupportInfoEntry = system.ResolveAspiEntry(aspiModule, "GetASPI32SupportInfo");
    if (!getSupportInfoEntry) {
        UnloadAspi();
        ShowError("GetProcAddress:\nGetASPI32SupportInfo not fount.", "Error FS 003");
        return false;
    }
    sendCommandEntry = system.ResolveAspiEntry(aspiModule, "SendASPI32Command");
    if (!sendCommandEntry) {
        UnloadAspi();
        ShowError("GetProcAddress:\npfnSendASPI32Command not found.", "Error FS 004");
        return false;
    }
    uint8_t status = static_cast<uint8_t>(system.GetASPI32SupportInfo() >> 8);
    if (status == aspi::kSsComp) return true;
    UnloadAspi();
    const char* text = "Error initializing ASPI.";
    if (status == aspi::kSsOldManager) text = "Old ASPI manager.";
    if (status == aspi::kSsIllegalMode) text = "ASPI for Windows does not support real mode.";
    if (status == aspi::kSsNoAspi) text = "Could not find the ASPI manager.";
    ShowError(text, "GetASPISupportInfo:");
    return false;
}

void AtapiDevice::UnloadAspi() {
    if (aspiModule != platform::kNullModule) platform::CurrentSystem().FreeAspiLibrary(aspiModule);
    aspiModule = platform::kNullModule;
    getSupportInfoEntry = sendCommandEntry = false;
}

std::span<uint8_t> AtapiDevice::DataFor(uint8_t direction, uint32_t length, uint32_t& tag) {
    // No data phase: the request carries a null buffer even when a buffer exists.
    tag = platform::kDataBufferNone;
    if (length == 0 || direction == kNoData) return {};
    uint8_t* buffer = direction == kDataOut ? writeBuffer.get() : readBuffer.get();
    uint32_t capacity = direction == kDataOut ? writeBufferCapacity : readBufferCapacity;
    // A buffer whose allocation failed goes out as null; the transport refuses the command.
    if (!buffer || length > capacity) return {};
    tag = direction == kDataOut ? platform::kDataBufferWrite : platform::kDataBufferRead;
    return {buffer, length};
}

bool AtapiDevice::Execute(std::span<const uint8_t, 12> cdb, uint8_t direction, uint32_t length) {
    bool passThrough = systemInfo.IsNtFamily() && useAspi == 0;
    if (passThrough ? driveHandle == platform::kInvalidHandle : (adapter == -1 || target == -1))
        return false;
    // A command not sent has no answer to read.
    auto notSent = [this] {
        outcome = kOutcomeFailed;
        senseKey = asc = ascq = 0;
        elapsed = 0;
        timedOut = 0;
        transferred = 0;
        return false;
    };
    if (StoppedAnswering()) return notSent();

    bool completed = false;
    // Nothing longer than the buffers is ever sent: the drive would read or write past them.
    bool sent = length <= kBufferSize &&
                (passThrough ? ExecutePassThrough(cdb, direction, length, completed)
                             : ExecuteAspi(cdb, direction, length, completed));
    std::copy(cdb.begin(), cdb.end(), lastCommand.begin());
    if (!sent) return notSent();
    elapsed = commandStopwatch.TotalSeconds();
    timedOut = static_cast<double>(timeout) < elapsed || transportTimedOut_;
    unanswered_ = timedOut ? unanswered_ + 1 : 0;
    const uint8_t* sense =
        passThrough ? &passThroughRequest[passthrough::kSenseArea] : &aspiRequest[aspi::kSenseArea];
    senseKey = sense[2] & 0x0F;
    asc = sense[12];
    ascq = sense[13];
    if (completed && senseKey == 0 && !timedOut) {
        outcome = kOutcomeSuccess;
        transferred = length;
        return true;
    }
    transferred = 0;
    if (passThrough)
        outcome = (!completed || timedOut) ? kOutcomeFailed : kOutcomeCheckCondition;
    else
        outcome = (senseKey != 0 && !timedOut) ? kOutcomeCheckCondition : kOutcomeFailed;
    return false;
}

bool AtapiDevice::ExecutePassThrough(std::span<const uint8_t, 12> cdb, uint8_t direction,
                                     uint32_t length, bool& completed) {
    namespace pt = passthrough;
    auto& r = passThroughRequest;
    r.fill(0);
    uint32_t tag;
    std::span<uint8_t> data = DataFor(direction, length, tag);
    PutLe16(&r[pt::kLength], pt::kStructureLength);
    r[pt::kPathId] = static_cast<uint8_t>(adapter);
    r[pt::kTargetId] = static_cast<uint8_t>(target);
    r[pt::kLun] = 0;
    r[pt::kCdbLength] = 12;
    r[pt::kSenseInfoLength] = pt::kSenseLength;
    r[pt::kDataIn] = direction;
    PutLe32(&r[pt::kDataTransferLength], length);
    PutLe32(&r[pt::kTimeOutValue], timeout);
    PutLe32(&r[pt::kDataBuffer], tag);
    PutLe32(&r[pt::kSenseInfoOffset], pt::kSenseArea);
    std::copy(cdb.begin(), cdb.end(), r.begin() + pt::kCdb);

    commandStopwatch.Start(true);
    platform::Status status = platform::CurrentSystem().ScsiPassThroughDirect(driveHandle, r, data);
    commandStopwatch.Stop();
    completed = status.ok;
    // The system ends a command at its time-out, so the measured time may be no longer.
    transportTimedOut_ = !status.ok && status.error == platform::kErrorSemaphoreTimeout;
    return true;
}

bool AtapiDevice::ExecuteAspi(std::span<const uint8_t, 12> cdb, uint8_t direction, uint32_t length,
                              bool& completed) {
    // The system never opens a drive without the manager; should it happen, nothing is sent.
    if (!sendCommandEntry) return false;
    auto& r = aspiRequest;
    r.fill(0);
    uint32_t tag;
    std::span<uint8_t> data = DataFor(direction, length, tag);
    r[aspi::kCmd] = aspi::kScExecScsiCmd;
    r[aspi::kHaId] = static_cast<uint8_t>(adapter);
    r[aspi::kFlags] = direction == kDataIn    ? aspi::kFlagDataIn
                      : direction == kDataOut ? aspi::kFlagDataOut
                                              : 0;
    r[aspi::kTarget] = static_cast<uint8_t>(target);
    r[aspi::kLun] = static_cast<uint8_t>(lun);
    PutLe32(&r[aspi::kBufLen], length);
    PutLe32(&r[aspi::kBufPointer], tag);
    r[aspi::kSenseLen] = aspi::kSenseLength;
    r[aspi::kCdbLen] = 12;
    std::copy(cdb.begin(), cdb.end(), r.begin() + aspi::kCdbByte);

    auto& system = platform::CurrentSystem();
    // The manager writes the status byte behind our back when it finishes later.
    std::atomic_ref<uint8_t> status(r[aspi::kStatus]);
    commandStopwatch.Start(true);
    platform::Handle event = system.CreateEvent(true, false);
    if (event != platform::kInvalidHandle) {
        r[aspi::kFlags] |= aspi::kFlagEventNotify;
        PutLe32(&r[aspi::kPostProc], static_cast<uint32_t>(event));
        system.SendASPI32Command(r, data);
        if (status.load() == aspi::kSsPending) {
            uint64_t milliseconds = uint64_t{timeout} * 1000;
            system.WaitForSingleObject(
                event, static_cast<uint32_t>(std::min<uint64_t>(milliseconds, 0xFFFFFFFEu)));
        }
        system.CloseHandle(event);
    } else {
        system.SendASPI32Command(r, data);
        // Polled without sleeping, but never longer than the time-out: a manager that never
        // finishes must not hang the program.
        while (status.load() == aspi::kSsPending &&
               commandStopwatch.RunSeconds() <= static_cast<long double>(timeout)) {
        }
    }
    commandStopwatch.Stop();
    completed = status.load() == aspi::kSsComp;
    // Still pending when the wait gave up: the command outlasted the time-out.
    transportTimedOut_ = status.load() == aspi::kSsPending;
    return true;
}

}  // namespace device
