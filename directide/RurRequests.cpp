#include <algorithm>
#include <cstring>

#include "common/Text.h"
#include "directide/RurDriver.h"
#include "platform/Trace.h"

namespace directide {
namespace {
using platform::CurrentSystem;

constexpr uint32_t kIdentifyPolls = 101;
constexpr uint32_t kIdentifyPollMs = 3;
constexpr uint32_t kPciAddressPort = 0xCF8;
constexpr uint32_t kPciDataPort = 0xCFC;
constexpr uint32_t kSisVendor = 0x1039;
constexpr uint32_t kSis5513 = 0x55131039;
constexpr uint32_t kSisTiming = 0x0503;

// The number of the highest set bit of a non-zero byte.
uint8_t HighestBit(uint8_t value) {
    uint8_t bit = 0;
    while (value >>= 1)
        ++bit;
    return bit;
}

void CopyText(char* to, const uint8_t* from, size_t count) {
    std::memcpy(to, from, count);
    to[count] = 0;
}

double VirtualSeconds() {
    auto& system = CurrentSystem();
    int64_t frequency = 0, count = 0;
    if (!system.QueryPerformanceFrequency(frequency) || frequency == 0) return 0;
    system.QueryPerformanceCounter(count);
    return static_cast<double>(count) / static_cast<double>(frequency);
}

void TraceRequest(int slot, uint32_t code, std::span<const uint8_t> in,
                  std::span<const uint8_t> out, const platform::Status& result) {
    char codeText[16];
    std::snprintf(codeText, sizeof codeText, "0x%08X", code);
    nlohmann::ordered_json line;
    line["device"] = "slot " + std::to_string(slot);
    line["code"] = codeText;
    line["in"] = common::Hex(in);
    line["out"] = common::Hex(out);
    line["status"] = result.ok ? 0 : result.error;
    line["t"] = VirtualSeconds();
    platform::Trace::Current()->Write(line);
}
}  // namespace

bool RurDriver::Request(DriverRequest request, std::span<uint8_t> in, std::span<uint8_t> out) {
    uint32_t code = RequestCode(request, ntFamily);
    if (driverHandle == 0 || driverHandle == platform::kInvalidHandle || code == kNoCode) {
        std::fill(out.begin(), out.end(), 0);
        return false;
    }
    platform::Trace* trace = platform::Trace::Current();
    std::vector<uint8_t> sent;
    if (trace) sent.assign(in.begin(), in.end());  // the driver may answer in the same bytes
    uint32_t returned = 0;
    platform::Status result =
        CurrentSystem().DeviceIoControl(driverHandle, code, in, out, returned);
    if (!result.ok) std::fill(out.begin(), out.end(), 0);
    if (trace) TraceRequest(currentSlot, code, sent, out, result);
    return result.ok;
}

uint8_t RurDriver::StatusRequest(DriverRequest request) {
    std::array<uint8_t, kStatusSize> out{};
    Request(request, {}, out);
    return out[0];
}

void RurDriver::PortWrite(uint32_t port, uint32_t value) {
    std::array<uint8_t, kPortRequestSize> in{};
    PutLe32(in.data(), port);
    PutLe32(in.data() + 4, value);
    PutLe32(in.data() + 8, kPortWidthDword);
    std::array<uint8_t, kStatusSize> out{};
    Request(DriverRequest::PortWrite, in, out);
}

uint32_t RurDriver::PortRead(uint32_t port) {
    std::array<uint8_t, kPortRequestSize> in{};
    PutLe32(in.data(), port);
    PutLe32(in.data() + 8, kPortWidthDword);
    std::array<uint8_t, kStatusSize> out{};
    Request(DriverRequest::PortRead, in, out);
    return GetLe32(out.data());
}

uint32_t RurDriver::PciRead(uint32_t address) {
    if (ntFamily) {
        PortWrite(kPciAddressPort, address);
        return PortRead(kPciDataPort);
    }
    // No output buffer: the driver fills the request's result field.
    std::array<uint8_t, kPciRequestSize> request{};
    PutLe32(request.data(), address);
    Request(DriverRequest::PciConfigRead, request, {});
    return GetLe32(request.data() + 4);
}

void RurDriver::PciWrite(uint32_t address, uint32_t value) {
    if (ntFamily) {
        PortWrite(kPciAddressPort, address);
        PortWrite(kPciDataPort, value);
        return;
    }
    std::array<uint8_t, kPciRequestSize> in{};
    PutLe32(in.data(), address);
    PutLe32(in.data() + 4, value);
    Request(DriverRequest::PciConfigWrite, in, {});
}

uint8_t RurDriver::SendSelectDevice(uint16_t port, uint8_t select, uint32_t partner, bool* sent) {
    std::array<uint8_t, kSelectRequestSize> in{};
    PutLe32(in.data(), port);
    PutLe32(in.data() + 4, select);
    PutLe32(in.data() + 8, 1);
    PutLe32(in.data() + 12, partner);
    std::array<uint8_t, kStatusSize> out{};
    const bool ok = Request(DriverRequest::SelectDevice, in, out);
    if (sent) *sent = ok;
    return out[0];
}

bool RurDriver::SelectAndIdentify(uint16_t port, uint8_t select) {
    auto& system = CurrentSystem();
    // The drive's ready status does not matter here, but a selection the driver refused did
    // not happen: the identification would answer for the drive selected before.
    bool selected = false;
    SendSelectDevice(port, select, 0, &selected);
    if (!selected) return false;
    for (uint32_t call = 1;; ++call) {
        Request(DriverRequest::IdentifyDevice, identifyBuffer, identifyBuffer);
        if (GetLe32(identifyBuffer.data() + kIdentifyCompleteOffset) != 0) return true;
        if (call >= kIdentifyPolls) return false;
        system.Sleep(kIdentifyPollMs);
    }
}

void RurDriver::DetectSlot(int slot) {
    const size_t s = static_cast<size_t>(slot);
    slotPresent[s] = 0;
    slotName[s].fill(0);
    slotRevision[s].fill(0);
    // A slot no longer detected keeps no record: the flags and the records always agree.
    device::DriveRecord& record = ideDrives[s];
    record = device::DriveRecord{};
    const IdeSlotAddress& address = kIdeSlotTable[s];
    identifyBuffer.fill(0);
    if (!SelectAndIdentify(address.port, address.select)) return;
    if (GetLe32(identifyBuffer.data() + kIdentifyKindOffset) != kOpticalDriveKind) return;
    slotPresent[s] = 1;
    CopyText(slotName[s].data(), identifyBuffer.data() + 8, 24);
    CopyText(slotRevision[s].data(), identifyBuffer.data() + 32, 4);
    record.adapter = static_cast<int16_t>(slot / 2);
    record.target = static_cast<int16_t>(slot % 2);
    record.lun = 0;
    record.path = 0;
    CopyText(record.vendor, identifyBuffer.data() + 8, 8);
    CopyText(record.product, identifyBuffer.data() + 16, 16);
    CopyText(record.revision, identifyBuffer.data() + 32, 4);
    CopyText(record.idText, identifyBuffer.data() + 8, 24);
    // A drive whose flash is not whole says so here, as its INQUIRY does.
    CopyText(record.vendorSpecific, identifyBuffer.data() + 36, 16);
    record.present = 1;
}

void RurDriver::DetectDevices() {
    int saved = currentSlot;
    for (int slot = 0; slot < kIdeSlots; ++slot) {
        currentSlot = slot;  // the trace names the slot being probed
        DetectSlot(slot);
    }
    currentSlot = saved;
}

void RurDriver::RedetectCurrent() {
    if (currentSlot < 0 || currentSlot >= kIdeSlots) return;
    DetectSlot(currentSlot);
}

uint8_t RurDriver::SelectSlot(int slot) {
    if (slot < 0 || slot >= kIdeSlots) return 0;
    const IdeSlotAddress& address = kIdeSlotTable[static_cast<size_t>(slot)];
    currentSlot = slot;
    currentPort = address.port;
    currentSelect = address.select;
    int partner = (slot % 2 == 0) ? slot + 1 : slot - 1;
    return SendSelectDevice(currentPort, currentSelect,
                            slotPresent[static_cast<size_t>(partner)] ? 1 : 0);
}

int RurDriver::DetectedCount() const {
    return static_cast<int>(std::count(slotPresent.begin(), slotPresent.end(), 1));
}

const device::DriveRecord* RurDriver::DriveForListPosition(int position) const {
    if (position < 0) return nullptr;
    for (const auto& record : ideDrives) {
        if (record.present && position-- == 0) return &record;
    }
    return nullptr;
}

device::DriveRecord* RurDriver::DriveAtSlot(int slot) {
    if (slot < 0 || slot >= kIdeSlots) return nullptr;
    return &ideDrives[static_cast<size_t>(slot)];
}

void RurDriver::DetectSisChip() {
    sisFound = false;
    if ((PciRead(0x80000000u) & 0xFFFF) != kSisVendor) return;
    for (uint32_t address = 0x80000100u; address <= 0x8000F900u; address += 0x800) {
        if (PciRead(address) == kSis5513) {
            sisFound = true;
            sisAddress = address;
            return;
        }
    }
}

void RurDriver::RecordPciData() {
    if (!sisFound) return;
    savedTiming40 = PciRead(sisAddress | 0x40);
    savedTiming44 = PciRead(sisAddress | 0x44);
}

void RurDriver::SetSisTiming() {
    if (!sisFound) return;
    uint32_t value;
    uint32_t reg;
    if (currentPort == 0x1F0) {
        value = savedTiming40;
        reg = 0x40;
    } else if (currentPort == 0x170) {
        value = savedTiming44;
        reg = 0x44;
    } else {
        return;
    }
    value = currentSelect == 0xA0 ? (value & 0xFFFF0000u) | kSisTiming
                                  : (value & 0x0000FFFFu) | kSisTiming << 16;
    PciWrite(sisAddress | reg, value);
}

void RurDriver::RestorePciData() {
    if (!sisFound) return;
    PciWrite(sisAddress | 0x40, savedTiming40);
    PciWrite(sisAddress | 0x44, savedTiming44);
}

void RurDriver::GetDmaMode() {
    auto& system = CurrentSystem();
    std::array<uint8_t, kAtaRequestSize> data{};
    for (int attempt = 0;; ++attempt) {
        data.fill(0);
        Request(DriverRequest::ReadIdentifyData, data, data);
        if (data[kAtaStatusOffset] != 0) break;
        if (attempt >= 128) return;  // no mode is recorded
        system.Sleep(50);
    }
    mwdmaMode = mwdmaActive = udmaMode = udmaActive = 0;
    if (data[127] != 0) {
        mwdmaActive = 1;
        mwdmaMode = HighestBit(data[127]);
    }
    if (data[177] != 0) {
        udmaActive = 1;
        udmaMode = HighestBit(data[177]);
    }
}

void RurDriver::SetDmaMode() {
    if (!mwdmaActive && !udmaActive) return;
    auto& system = CurrentSystem();
    uint8_t mode = mwdmaActive ? static_cast<uint8_t>(0x20 | mwdmaMode)
                               : static_cast<uint8_t>(0x40 | udmaMode);
    std::array<uint8_t, kAtaRequestSize> in{};
    in[0] = kSetFeaturesTransferMode;
    in[1] = mode;
    for (int attempt = 0;; ++attempt) {
        std::array<uint8_t, kStatusSize> out{};
        Request(DriverRequest::SetTransferMode, in, out);
        if (out[0] != 0 || attempt >= 10000) return;
        system.Sleep(500);
    }
}

void RurDriver::WaitForDrive() {
    auto& system = CurrentSystem();
    for (int attempt = 0;; ++attempt) {
        if (SelectSlot(currentSlot) != 0 || attempt >= 1000) return;
        system.Sleep(50);
    }
}

}  // namespace directide
