#include "platform/emulated/EmulatedSystem.h"

#include <utility>

#include "platform/Trace.h"

namespace platform::emulated {
namespace {
std::string FullKey(RegistryRoot root, const std::string& key) {
    return (root == RegistryRoot::LocalMachine ? "HKLM\\" : "HKCU\\") + key;
}

// The directory part of a Windows path ("C:\A\B.SYS" -> "C:\A").
std::string ParentOf(const std::string& path) {
    auto slash = path.find_last_of('\\');
    return slash == std::string::npos ? std::string() : path.substr(0, slash);
}
}  // namespace

EmulatedSystem::EmulatedSystem(std::shared_ptr<Machine> machine)
    : machine_(std::move(machine)), aspi_(std::make_unique<EmulatedAspi>(*machine_)) {
    machine_->Clock();  // the run's clock starts now
}

bool EmulatedSystem::QueryPerformanceFrequency(int64_t& countsPerSecond) {
    if (!machine_->clockSettings.counterPresent) {
        countsPerSecond = 0;
        return false;
    }
    countsPerSecond = machine_->clockSettings.frequency;
    return true;
}

bool EmulatedSystem::QueryPerformanceCounter(int64_t& count) {
    if (!machine_->clockSettings.counterPresent) {
        count = 0;
        return false;
    }
    // Counts since the bench was made, split so the product cannot overflow on long runs.
    constexpr int64_t kNanos = 1'000'000'000;
    int64_t nanos = machine_->Clock().ReadForPolling();
    int64_t f = machine_->clockSettings.frequency;
    count = nanos / kNanos * f + nanos % kNanos * f / kNanos;
    return true;
}

void EmulatedSystem::Sleep(uint32_t milliseconds) {
    machine_->Clock().Sleep(static_cast<int64_t>(milliseconds) * 1'000'000);
}

std::optional<uint32_t> EmulatedSystem::PlatformId() {
    if (machine_->versionCallFails) return std::nullopt;
    return machine_->family == Family::Nt ? kPlatformWin32Nt : kPlatformWin32Windows;
}

SecurityApi EmulatedSystem::LoadSecurityApi() {
    const auto& s = machine_->security;
    SecurityApi api;
    if (!s.securityApiPresent) return api;
    securityApiLoaded_ = true;
    api.loaded = true;
    api.allocateAndInitializeSid = s.allocateAndInitializeSid;
    api.checkTokenMembership = s.checkTokenMembership;
    api.freeSid = s.freeSid;
    return api;
}

bool EmulatedSystem::CheckAdministratorsMembership(bool& isMember) {
    const auto& s = machine_->security;
    isMember = false;
    if (!securityApiLoaded_ || !s.allocateAndInitializeSid || !s.checkTokenMembership) return false;
    if (s.membershipCheckFails) return false;
    isMember = s.administrator;
    return true;
}

void EmulatedSystem::UnloadSecurityApi() {
    securityApiLoaded_ = false;
}

Status EmulatedSystem::OpenProcessTokenForPrivileges() {
    if (!machine_->shutdown.processToken) return Status::Failure(kErrorAccessDenied);
    tokenOpen_ = true;
    return Status::Success();
}

uint32_t EmulatedSystem::EnableShutdownPrivilege() {
    if (!tokenOpen_) return kErrorInvalidHandle;
    return machine_->shutdown.shutdownPrivilege ? kErrorSuccess : kErrorNotAllAssigned;
}

void EmulatedSystem::CloseProcessToken() {
    tokenOpen_ = false;
}

bool EmulatedSystem::ExitWindowsEx(uint32_t flags, uint32_t /*reason*/) {
    std::lock_guard lock(machine_->mutex);
    // On the NT family a restart needs the shutdown privilege.
    if (machine_->shutdown.exitWindowsFails ||
        (machine_->family == Family::Nt && !machine_->shutdown.shutdownPrivilege)) {
        machine_->restart.refused++;
        return false;
    }
    machine_->restart.requests++;
    machine_->restart.pending = true;
    machine_->restart.lastFlags = flags;
    return true;
}

Status EmulatedSystem::BlockShutdown(const std::string& reason) {
    std::lock_guard lock(machine_->mutex);
    ShutdownBlockRecord& block = machine_->shutdownBlock;
    Trace* trace = Trace::Current();
    if (machine_->shutdown.blockRefused) {
        block.refused++;
        if (trace)
            trace->WriteShutdownBlock("not held", "the emulated PC offers no shutdown block");
        return Status::Failure(kErrorNotSupported);
    }
    block.held = true;
    block.takes++;
    block.reason = reason;
    if (trace) trace->WriteShutdownBlock("held", "emulated PC: " + reason);
    return Status::Success();
}

void EmulatedSystem::ReleaseShutdownBlock() {
    std::lock_guard lock(machine_->mutex);
    ShutdownBlockRecord& block = machine_->shutdownBlock;
    if (!block.held) return;
    block.held = false;
    block.releases++;
    if (Trace* trace = Trace::Current()) trace->WriteShutdownBlock("released", "emulated PC");
}

std::optional<std::string> EmulatedSystem::GetTempPath() {
    return machine_->tempDirectory;
}
std::optional<std::string> EmulatedSystem::GetWindowsDirectory() {
    return machine_->windowsDirectory;
}
std::optional<std::string> EmulatedSystem::GetSystemDirectory() {
    return machine_->systemDirectory;
}

uint32_t EmulatedSystem::GetFileAttributes(const std::string& path) {
    std::lock_guard lock(machine_->mutex);
    const FileEntry* file = machine_->FindFile(path);
    return file ? file->attributes : kInvalidFileAttributes;
}

Status EmulatedSystem::SetFileAttributes(const std::string& path, uint32_t attributes) {
    std::lock_guard lock(machine_->mutex);
    FileEntry* file = machine_->FindFile(path);
    if (!file) return Status::Failure(kErrorFileNotFound);
    file->attributes = attributes == 0 ? kFileAttributeNormal : attributes;
    return Status::Success();
}

Status EmulatedSystem::DeleteFile(const std::string& path) {
    std::lock_guard lock(machine_->mutex);
    FileEntry* file = machine_->FindFile(path);
    if (!file) return Status::Failure(kErrorFileNotFound);
    if (file->attributes & kFileAttributeReadOnly) return Status::Failure(kErrorAccessDenied);
    machine_->RemoveFile(path);
    return Status::Success();
}

Status EmulatedSystem::WriteWholeFile(const std::string& path, std::span<const uint8_t> bytes) {
    std::lock_guard lock(machine_->mutex);
    FileEntry* existing = machine_->FindFile(path);
    if (existing && (existing->attributes & kFileAttributeReadOnly)) {
        return Status::Failure(kErrorAccessDenied);
    }
    if (ParentOf(path).empty()) return Status::Failure(kErrorPathNotFound);
    machine_->PutFile(path, std::vector<uint8_t>(bytes.begin(), bytes.end()));
    return Status::Success();
}

std::optional<std::vector<uint8_t>> EmulatedSystem::ReadWholeFile(const std::string& path) {
    std::lock_guard lock(machine_->mutex);
    const FileEntry* file = machine_->FindFile(path);
    if (!file) return std::nullopt;
    return file->data;
}

Status EmulatedSystem::CopyFile(const std::string& from, const std::string& to, bool failIfExists) {
    std::lock_guard lock(machine_->mutex);
    BeforeCopy(*machine_, from);
    const FileEntry* source = machine_->FindFile(from);
    if (!source) return Status::Failure(kErrorFileNotFound);
    FileEntry* target = machine_->FindFile(to);
    if (target && failIfExists) return Status::Failure(kErrorFileExists);
    if (target && (target->attributes & kFileAttributeReadOnly)) {
        return Status::Failure(kErrorAccessDenied);
    }
    std::vector<uint8_t> data = source->data;
    uint32_t attributes = source->attributes;
    machine_->PutFile(to, std::move(data), attributes);
    return Status::Success();
}

Handle EmulatedSystem::CreateDevice(const std::string& name, uint32_t access, uint32_t share,
                                    uint32_t disposition, uint32_t /*flags*/, uint32_t& error) {
    auto device = machine_->OpenDevice(name, access, share, disposition, error);
    if (!device) return kInvalidHandle;
    std::lock_guard lock(handlesMutex_);
    Handle handle = nextHandle_;
    nextHandle_ += 4;
    handles_[handle] = std::move(device);
    error = kErrorSuccess;
    return handle;
}

Status EmulatedSystem::DeviceIoControl(Handle handle, uint32_t code, std::span<uint8_t> in,
                                       std::span<uint8_t> out, uint32_t& returned) {
    returned = 0;
    std::shared_ptr<EmulatedDevice> device;
    {
        std::lock_guard lock(handlesMutex_);
        auto it = handles_.find(handle);
        if (it == handles_.end()) return Status::Failure(kErrorInvalidHandle);
        device = it->second;
    }
    Status status = device->Control(code, in, out, returned);
    bool lasting;
    {
        std::lock_guard lock(machine_->mutex);
        lasting = std::exchange(machine_->flashMadeLasting, false);
    }
    if (lasting) machine_->FlashMadeLasting();
    return status;
}

bool EmulatedSystem::CloseHandle(Handle handle) {
    if (aspi_->CloseEvent(handle)) return true;
    std::lock_guard lock(handlesMutex_);
    return handles_.erase(handle) > 0;
}

Status EmulatedSystem::SetRegistryString(RegistryRoot root, const std::string& key,
                                         const std::string& name, const std::string& value) {
    std::lock_guard lock(machine_->mutex);
    if (root == RegistryRoot::LocalMachine && machine_->family == Family::Nt &&
        !machine_->security.administrator) {
        return Status::Failure(kErrorAccessDenied);
    }
    machine_->PutRegistry(FullKey(root, key), name, value);
    return Status::Success();
}

std::optional<std::string> EmulatedSystem::QueryRegistryString(RegistryRoot root,
                                                               const std::string& key,
                                                               const std::string& name) {
    std::lock_guard lock(machine_->mutex);
    const RegistryValue* value = machine_->FindRegistry(FullKey(root, key), name);
    if (!value) return std::nullopt;
    return value->value;
}

Status EmulatedSystem::DeleteRegistryValue(RegistryRoot root, const std::string& key,
                                           const std::string& name) {
    std::lock_guard lock(machine_->mutex);
    if (!machine_->RemoveRegistry(FullKey(root, key), name)) {
        return Status::Failure(kErrorFileNotFound);
    }
    return Status::Success();
}

std::string EmulatedSystem::ModuleFileName() {
    return machine_->programPath;
}

std::string EmulatedSystem::HistoryFile() {
    std::string path = machine_->benchPath;
    if (path.empty()) return "";
    if (path.size() > 5 && path.ends_with(".json")) path.resize(path.size() - 5);
    return path + ".history.jsonl";
}

std::string EmulatedSystem::Describe() {
    return machine_->benchPath.empty() ? "an emulated PC"
                                       : "the emulated PC " + machine_->benchPath;
}

}  // namespace platform::emulated
