// Finding, ordering and identifying the optical drives; opening and closing one of them.
#include <algorithm>
#include <cstring>
#include <utility>
#include <vector>

#include "device/AtapiDevice.h"
#include "device/CommandSet.h"

namespace device {
namespace {
constexpr int kIdentifyAttempts = 10;
constexpr int kReidentifyAttempts = 1000;
constexpr int16_t kFirstSubstituteAdapter = 2;

platform::System& Sys() {
    return platform::CurrentSystem();
}

std::string VolumeName(const char* root) {
    return std::string("\\\\.\\") + std::string(root, strnlen(root, 2));
}

platform::Handle OpenVolume(const char* root, uint32_t& error) {
    return Sys().CreateDevice(VolumeName(root), platform::kGenericRead | platform::kGenericWrite,
                              platform::kFileShareRead | platform::kFileShareWrite,
                              platform::kOpenExisting, 0, error);
}

enum class AddressResult { Found, NoAddress, Failed };

struct ScsiAddress {
    uint8_t port = 0, path = 0, target = 0, lun = 0;
};

AddressResult QueryAddress(const char* root, ScsiAddress& address, uint32_t& lastError) {
    uint32_t error = 0;
    platform::Handle handle = OpenVolume(root, error);
    if (handle == platform::kInvalidHandle) {
        lastError = error;
        return AddressResult::Failed;
    }
    std::array<uint8_t, platform::kScsiAddressSize> bytes{};
    uint32_t returned = 0;
    auto status =
        Sys().DeviceIoControl(handle, platform::kIoctlScsiGetAddress, bytes, bytes, returned);
    Sys().CloseHandle(handle);
    if (!status) return AddressResult::NoAddress;
    uint32_t length = bytes[0] | bytes[1] << 8 | bytes[2] << 16 | uint32_t{bytes[3]} << 24;
    if (length == 0) return AddressResult::Failed;
    address = {bytes[4], bytes[5], bytes[6], bytes[7]};
    return AddressResult::Found;
}

void CopyText(char* to, size_t width, const char* from) {
    std::memset(to, 0, width);
    std::memcpy(to, from, width);
    to[width - 1] = 0;
}

void CopyIdentification(DriveRecord& record, const DriveIdentification& id) {
    std::memset(record.idText, 0, sizeof record.idText);
    CopyText(record.revision, sizeof record.revision, id.revision);
    CopyText(record.driveTag, sizeof record.driveTag, id.driveTag);
    CopyText(record.vendor, sizeof record.vendor, id.vendor);
    CopyText(record.product, sizeof record.product, id.product);
    CopyText(record.vendorSpecific, sizeof record.vendorSpecific, id.vendorSpecific);
    // The 24 bytes go in as they are, zero bytes included.
    std::memcpy(record.idText, id.vendor, 8);
    std::memcpy(record.idText + 8, id.product, 16);
}

int32_t AddressKey(const DriveRecord& r) {
    return r.adapter * 4096 + r.path * 256 + r.target * 16 + r.lun;
}
}  // namespace

const DriveRecord* AtapiDevice::DriveAt(int index) const {
    if (index < 0 || index >= driveCount || index >= kDriveTableSize) return nullptr;
    return drives[index].present ? &drives[index] : nullptr;
}

DriveRecord* AtapiDevice::DriveAt(int index) {
    return const_cast<DriveRecord*>(std::as_const(*this).DriveAt(index));
}

bool AtapiDevice::IsPresent(int index) const {
    return index >= 0 && index < kDriveTableSize && drives[index].present;
}

void AtapiDevice::Enumerate() {
    drives = {};
    driveCount = 0;
    heldRoots.clear();
    if (useAspi)
        ScanAspi();
    else
        ScanDriveLetters();
    for (auto& record : drives) {
        if (!record.present) continue;
        ++driveCount;
        record.viaAspi = useAspi;
    }
    SortTable();
    for (int i = 0; i < kDriveTableSize && drives[i].present; ++i) {
        // A drive another program took between the scan and now stays unidentified.
        if (!OpenDrive(i) && lastError == platform::kErrorSharingViolation)
            heldRoots.emplace_back(drives[i].rootPath);
        device::WaitNoUnitAttention(*this);
        for (int attempt = 0; attempt < kIdentifyAttempts; ++attempt) {
            if (IdentifyCurrent()) {
                CopyIdentification(drives[i], current);
                break;
            }
        }
        if (device::ReadFlashId(*this))
            std::copy_n(ReadBuffer().begin(), 4, drives[i].flashKey.begin());
        CloseDrive();
    }
}

void AtapiDevice::ScanDriveLetters() {
    auto& system = Sys();
    uint32_t needed = system.GetLogicalDriveStrings({});
    if (needed == 0) return;
    std::vector<char> list(needed, 0);
    if (system.GetLogicalDriveStrings(list) == 0) return;
    int position = 0;
    int16_t substitutes = 0;
    for (const char* root = list.data(); root < list.data() + list.size() && *root;
         root += std::strlen(root) + 1) {
        if (system.GetDriveType(root) != platform::kDriveCdrom) continue;
        // The table holds 16 drives; further drives are not added.
        if (position >= kDriveTableSize) break;
        DriveRecord& record = drives[position++];
        CopyText(record.rootPath, sizeof record.rootPath, root);
        record.viaAspi = 0;
        ScsiAddress address;
        switch (QueryAddress(record.rootPath, address, lastError)) {
            case AddressResult::Found:
                record.present = 1;
                record.adapter = address.port;
                record.path = address.path;
                record.target = address.target;
                record.lun = address.lun;
                break;
            case AddressResult::NoAddress:
                record.present = 1;
                record.adapter = static_cast<int16_t>(kFirstSubstituteAdapter + substitutes++);
                record.path = record.target = record.lun = 0;
                break;
            case AddressResult::Failed:
                // Another program holds the drive: it is left out of the table, but the run
                // must be able to say why.
                if (lastError == platform::kErrorSharingViolation)
                    heldRoots.emplace_back(record.rootPath);
                break;
        }
    }
}

void AtapiDevice::ScanAspi() {
    if (!sendCommandEntry) return;
    auto& system = Sys();
    std::array<uint8_t, aspi::kHaInquirySize> inquiry{};
    inquiry[aspi::kCmd] = aspi::kScHaInquiry;
    system.SendASPI32Command(inquiry, {});
    if (inquiry[aspi::kStatus] != aspi::kSsComp) return;
    int adapters = inquiry[aspi::kHaCount];
    int position = 0;
    for (int ha = 0; ha < adapters; ++ha) {
        inquiry.fill(0);
        inquiry[aspi::kCmd] = aspi::kScHaInquiry;
        inquiry[aspi::kHaId] = static_cast<uint8_t>(ha);
        system.SendASPI32Command(inquiry, {});
        if (inquiry[aspi::kStatus] != aspi::kSsComp) return;
        for (int t = 0; t < 16; ++t) {
            for (int l = 0; l < 8; ++l) {
                std::array<uint8_t, aspi::kDevTypeSize> type{};
                type[aspi::kCmd] = aspi::kScGetDevType;
                type[aspi::kHaId] = static_cast<uint8_t>(ha);
                type[aspi::kTarget] = static_cast<uint8_t>(t);
                type[aspi::kLun] = static_cast<uint8_t>(l);
                system.SendASPI32Command(type, {});
                if (type[aspi::kStatus] != aspi::kSsComp || type[aspi::kDeviceType] != 5) continue;
                // The table holds 16 drives; further drives are not added.
                if (position >= kDriveTableSize) return;
                DriveRecord& record = drives[position++];
                record.present = 1;
                record.adapter = static_cast<int16_t>(ha);
                record.target = static_cast<int16_t>(t);
                record.lun = static_cast<int16_t>(l);
                record.path = 0;
            }
        }
    }
}

void AtapiDevice::SortTable() {
    std::array<DriveRecord, kDriveTableSize> sorted{};
    std::array<bool, kDriveTableSize> taken{};
    int count = 0;
    for (int round = 0; round < kDriveTableSize; ++round) {
        int best = -1;
        for (int i = 0; i < kDriveTableSize; ++i) {
            if (!drives[i].present || taken[i]) continue;
            // Strictly smaller: on equal keys the lower table position stays first.
            if (best < 0 || AddressKey(drives[i]) < AddressKey(drives[best])) best = i;
        }
        if (best < 0) break;
        taken[best] = true;
        sorted[count++] = drives[best];
    }
    drives = {};
    std::copy_n(sorted.begin(), driveCount, drives.begin());
}

bool AtapiDevice::OpenDrive(int index) {
    unanswered_ = 0;  // a drive opened again is given its chance again
    if (!IsPresent(index)) return false;
    if (driveHandle != platform::kInvalidHandle) CloseDrive();
    const DriveRecord& record = drives[index];
    useAspi = record.viaAspi;
    currentIndex = static_cast<int16_t>(index);
    adapter = record.adapter;
    target = record.target;
    lun = record.lun;
    path = record.path;
    CopyText(current.vendor, sizeof current.vendor, record.vendor);
    CopyText(current.product, sizeof current.product, record.product);
    CopyText(current.revision, sizeof current.revision, record.revision);
    CopyText(current.vendorSpecific, sizeof current.vendorSpecific, record.vendorSpecific);
    if (systemInfo.IsNtFamily() && !useAspi) {
        uint32_t error = 0;
        platform::Handle handle = OpenVolume(record.rootPath, error);
        if (handle == platform::kInvalidHandle) {
            lastError = error;
            currentIndex = -1;
            adapter = target = lun = path = -1;
            return false;
        }
        driveHandle = handle;
    }
    return true;
}

void AtapiDevice::CloseDrive() {
    if (driveHandle != platform::kInvalidHandle && platform::HasSystem())
        Sys().CloseHandle(driveHandle);
    driveHandle = platform::kInvalidHandle;
    adapter = target = lun = path = -1;
    currentIndex = kNoCurrentDrive;
}

bool AtapiDevice::IdentifyCurrent() {
    current = {};
    if (device::ReadDriveTag(*this)) std::memcpy(current.driveTag, ReadBuffer().data(), 7);
    if (!device::Inquiry(*this, 0, 0, 96)) return false;
    const uint8_t* answer = ReadBuffer().data();
    std::memcpy(current.vendor, answer + 8, 8);
    std::memcpy(current.product, answer + 16, 16);
    std::memcpy(current.revision, answer + 32, 4);
    std::memcpy(current.vendorSpecific, answer + 36, 16);
    return std::any_of(answer + 8, answer + 32, [](uint8_t b) { return b != 0; });
}

bool AtapiDevice::ReidentifyCurrent() {
    for (int attempt = 0; attempt < kReidentifyAttempts; ++attempt) {
        if (!IdentifyCurrent()) continue;
        if (IsPresent(currentIndex)) CopyIdentification(drives[currentIndex], current);
        return true;
    }
    return false;
}

}  // namespace device
