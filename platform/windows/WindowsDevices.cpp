// Devices and the optical drives: CreateFileW and DeviceIoControl, the logical drives, the SCSI
// pass-through, and the ASPI manager with its completion event.
#include <algorithm>
#include <cstring>

#include "platform/Trace.h"
#include "platform/windows/Crossing.h"
#include "platform/windows/Modules.h"
#include "platform/windows/ScsiLayouts.h"
#include "platform/windows/WideText.h"
#include "platform/windows/WindowsSystem.h"

namespace platform::windows {
namespace {
using aspi::kScExecScsiCmd;
using aspi::kSsNoAspi;
}  // namespace

NativePassThrough ToNative(std::span<const uint8_t, kScsiRequestSize> request, void* buffer) {
    const PassThroughLayout& at = kPassThrough32;
    NativePassThrough native{};
    SCSI_PASS_THROUGH_DIRECT& r = native.request;
    r.Length = sizeof(SCSI_PASS_THROUGH_DIRECT);
    r.ScsiStatus = request[at.scsiStatus];
    r.PathId = request[at.pathId];
    r.TargetId = request[at.targetId];
    r.Lun = request[at.lun];
    r.CdbLength = request[at.cdbLength];
    r.SenseInfoLength =
        static_cast<UCHAR>(std::min<size_t>(request[at.senseInfoLength], kRequestSenseRoom));
    r.DataIn = request[at.dataIn];
    r.DataTransferLength = Le32(&request[at.dataTransferLength]);
    r.TimeOutValue = Le32(&request[at.timeOutValue]);
    r.DataBuffer = buffer;
    r.SenseInfoOffset = offsetof(NativePassThrough, sense);
    std::memcpy(r.Cdb, &request[at.cdb], sizeof r.Cdb);
    std::memcpy(native.sense, &request[kRequestSenseArea], kRequestSenseRoom);
    return native;
}

void FromNative(const NativePassThrough& native, std::span<uint8_t, kScsiRequestSize> request) {
    const PassThroughLayout& at = kPassThrough32;
    request[at.scsiStatus] = native.request.ScsiStatus;
    request[at.senseInfoLength] = native.request.SenseInfoLength;
    PutLe32(&request[at.dataTransferLength], native.request.DataTransferLength);
    std::memcpy(&request[kRequestSenseArea], native.sense, kRequestSenseRoom);
}

Handle WindowsSystem::CreateDevice(const std::string& name, uint32_t access, uint32_t share,
                                   uint32_t disposition, uint32_t flags, uint32_t& error) {
    if (HANDLE claimed = ClaimedVolume(name)) {
        error = kErrorSuccess;
        return SeamHandle(claimed);
    }
    HANDLE handle =
        ::CreateFileW(WidePath(name).c_str(), access, share, nullptr, disposition, flags, nullptr);
    error = handle == INVALID_HANDLE_VALUE ? ::GetLastError() : kErrorSuccess;
    // A volume another Brenvo run has locked: say that it is held, not that access is denied.
    if (handle == INVALID_HANDLE_VALUE && HeldByAnotherRun(name)) error = kErrorSharingViolation;
    if (handle == INVALID_HANDLE_VALUE) return kInvalidHandle;
    // The trace names a drive as the other backends do: by its letter.
    std::string device = name.rfind("\\\\.\\", 0) == 0 ? name.substr(4) : name;
    std::lock_guard lock(deviceNamesMutex_);
    deviceNames_[SeamHandle(handle)] = device;
    return SeamHandle(handle);
}

std::string WindowsSystem::DeviceNameOf(Handle handle) {
    std::lock_guard lock(deviceNamesMutex_);
    auto it = deviceNames_.find(handle);
    return it == deviceNames_.end() ? std::string() : it->second;
}

Status WindowsSystem::DeviceIoControl(Handle handle, uint32_t code, std::span<uint8_t> in,
                                      std::span<uint8_t> out, uint32_t& returned) {
    DWORD written = 0;
    BOOL ok = ::DeviceIoControl(NativeHandle(handle), code, in.empty() ? nullptr : in.data(),
                                static_cast<DWORD>(in.size()), out.empty() ? nullptr : out.data(),
                                static_cast<DWORD>(out.size()), &written, nullptr);
    returned = written;
    return ok ? Status::Success() : Status::Failure(::GetLastError());
}

bool WindowsSystem::CloseHandle(Handle handle) {
    {
        std::lock_guard lock(deviceNamesMutex_);
        deviceNames_.erase(handle);
    }
    return ::CloseHandle(NativeHandle(handle)) != FALSE;
}

uint32_t WindowsSystem::GetLogicalDriveStrings(std::span<char> buffer) {
    return ::GetLogicalDriveStringsA(static_cast<DWORD>(buffer.size()),
                                     buffer.empty() ? nullptr : buffer.data());
}

uint32_t WindowsSystem::GetDriveType(const std::string& root) {
    return ::GetDriveTypeA(root.c_str());
}

Status WindowsSystem::ScsiPassThroughDirect(Handle drive,
                                            std::span<uint8_t, kScsiRequestSize> request,
                                            std::span<uint8_t> data) {
    uint32_t tag = Le32(&request[kPassThrough32.dataBuffer]);
    void* buffer = tag == kDataBufferNone || data.empty() ? nullptr : data.data();
    DWORD returned = 0;
#ifdef _WIN64
    NativePassThrough native = ToNative(request, buffer);
    BOOL ok = ::DeviceIoControl(NativeHandle(drive), IOCTL_SCSI_PASS_THROUGH_DIRECT, &native,
                                sizeof native, &native, sizeof native, &returned, nullptr);
    DWORD error = ok ? ERROR_SUCCESS : ::GetLastError();
    FromNative(native, request);
#else
    // The request is the native structure: only the buffer's real address goes in, and the tag
    // comes back afterwards so the program's bytes stay its own.
    PutLe32(&request[kPassThrough32.dataBuffer],
            static_cast<uint32_t>(reinterpret_cast<uintptr_t>(buffer)));
    BOOL ok =
        ::DeviceIoControl(NativeHandle(drive), IOCTL_SCSI_PASS_THROUGH_DIRECT, request.data(),
                          kScsiRequestSize, request.data(), kScsiRequestSize, &returned, nullptr);
    DWORD error = ok ? ERROR_SUCCESS : ::GetLastError();
    PutLe32(&request[kPassThrough32.dataBuffer], tag);
#endif
    if (Trace* trace = Trace::Current()) {
        int64_t count = 0, frequency = 1;
        QueryPerformanceCounter(count);
        QueryPerformanceFrequency(frequency);
        trace->WritePassThrough(DeviceNameOf(drive), request, data, ok != FALSE,
                                static_cast<double>(count) / static_cast<double>(frequency));
    }
    return ok ? Status::Success() : Status::Failure(error);
}

Handle WindowsSystem::LoadAspiLibrary() {
#ifdef _WIN64
    // The manager is a 32-bit library whose requests carry 32-bit pointers: a 64-bit program
    // has none.
    return kNullModule;
#else
    auto& m = *modules_;
    if (!m.aspi) m.aspi = ::LoadLibraryA("WNASPI32");
    return m.aspi ? SeamHandle(m.aspi) : kNullModule;
#endif
}

bool WindowsSystem::ResolveAspiEntry(Handle module, const std::string& name) {
    auto& m = *modules_;
    HMODULE library = NativeHandle<HMODULE>(module);
    if (!library || library != m.aspi) return false;
    if (name == "GetASPI32SupportInfo") {
        m.getSupportInfo = Entry<GetASPI32SupportInfoFn>(library, name.c_str());
        return m.getSupportInfo != nullptr;
    }
    if (name == "SendASPI32Command") {
        m.sendCommand = Entry<SendASPI32CommandFn>(library, name.c_str());
        return m.sendCommand != nullptr;
    }
    return Entry<FARPROC>(library, name.c_str()) != nullptr;
}

void WindowsSystem::FreeAspiLibrary(Handle module) {
    auto& m = *modules_;
    if (!m.aspi || NativeHandle<HMODULE>(module) != m.aspi) return;
    ::FreeLibrary(m.aspi);
    m.aspi = nullptr;
    m.getSupportInfo = nullptr;
    m.sendCommand = nullptr;
}

uint32_t WindowsSystem::GetASPI32SupportInfo() {
    auto& m = *modules_;
    return m.getSupportInfo ? m.getSupportInfo() : kSsNoAspi << 8;
}

uint32_t WindowsSystem::SendASPI32Command(std::span<uint8_t> srb, std::span<uint8_t> data) {
    auto& m = *modules_;
    if (!m.sendCommand) return kSsNoAspi;
    if (!srb.empty() && srb[aspi::kCmd] == kScExecScsiCmd) {
        if (srb.size() < kScsiRequestSize) return kSsNoAspi;
        // The manager may finish later and write the request then: it gets the program's own
        // bytes, with the buffer's real address in place of the tag (a 32-bit build's pointer).
        uint32_t tag = Le32(&srb[aspi::kBufPointer]);
        void* buffer = tag == kDataBufferNone || data.empty() ? nullptr : data.data();
        PutLe32(&srb[aspi::kBufPointer],
                static_cast<uint32_t>(reinterpret_cast<uintptr_t>(buffer)));
    }
    return m.sendCommand(srb.data());
}

Handle WindowsSystem::CreateEvent(bool manualReset, bool initiallySignalled) {
    HANDLE event = ::CreateEventA(nullptr, manualReset, initiallySignalled, nullptr);
    return event ? SeamHandle(event) : kInvalidHandle;
}

uint32_t WindowsSystem::WaitForSingleObject(Handle handle, uint32_t milliseconds) {
    return ::WaitForSingleObject(NativeHandle(handle), milliseconds);
}

}  // namespace platform::windows
