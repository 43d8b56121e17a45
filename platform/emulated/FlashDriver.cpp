#include "platform/emulated/FlashDriver.h"

#include <algorithm>
#include <cstring>
#include <set>

#include "common/Crc32.h"
#include "platform/DriverRequests.h"
#include "platform/FlashChips.h"
#include "platform/emulated/FirmwareImage.h"
#include "platform/emulated/Machine.h"

namespace platform::emulated {
namespace {
using directide::DriverRequest;
using directide::GetLe32;
using directide::PutLe32;

static_assert(directide::kDriverRequestCount ==
              std::tuple_size_v<decltype(IdeMachine::requestsSeen)>);

// A chip erase takes the chip this long.
constexpr int64_t kEraseNanos = 1'500'000'000;

// The fault of a kind that covers [address, address + length), with its index; -1 when none.
int FindFault(const IdeSlot& slot, IdeFaultKind kind, int64_t address, int64_t length) {
    for (size_t i = 0; i < slot.faults.size(); ++i) {
        const IdeFault& fault = slot.faults[i];
        if (fault.kind != kind) continue;
        if (kind == IdeFaultKind::Erase || kind == IdeFaultKind::Identify ||
            kind == IdeFaultKind::NeverReady) {
            return static_cast<int>(i);
        }
        int64_t at = FaultAddress(slot, fault);
        if (at >= address && at < address + length) return static_cast<int>(i);
    }
    return -1;
}

// Whether a fault fires now; counts it.
bool Fires(IdeSlot& slot, int index) {
    if (index < 0) return false;
    int& fired = slot.faultFired[index];
    int times = slot.faults[index].times;
    if (times >= 0 && fired >= times) return false;
    ++fired;
    return true;
}

void PutText(uint8_t* at, const std::string& text, size_t width) {
    std::memset(at, ' ', width);
    std::memcpy(at, text.data(), std::min(text.size(), width));
}

// ATA identify strings hold two characters a word, the first in the high byte.
void PutAtaText(uint8_t* at, const std::string& text, size_t width) {
    PutText(at, text, width);
    for (size_t i = 0; i + 1 < width; i += 2)
        std::swap(at[i], at[i + 1]);
}

// The chip's contents as a read gives them: a cell with a verify fault reads wrong.
std::vector<uint8_t> ReadableFlash(const IdeSlot& slot) {
    std::vector<uint8_t> bytes = slot.flash.ToVector();
    std::set<int64_t> bad;
    for (const IdeFault& fault : slot.faults) {
        if (fault.kind == IdeFaultKind::Verify) bad.insert(FaultAddress(slot, fault));
    }
    for (int64_t at : bad) {
        if (at >= 0 && at < std::ssize(bytes)) bytes[static_cast<size_t>(at)] ^= 0x01;
    }
    return bytes;
}

bool HasChip(const IdeSlot& slot) {
    return slot.present && slot.chipRow >= 0 && !slot.flash.empty();
}

}  // namespace

Status FlashDriver::Control(uint32_t code, std::span<uint8_t> in, std::span<uint8_t> out,
                            uint32_t& returned) {
    returned = 0;
    DriverRequest request;
    if (!directide::RequestOfCode(code, request)) return Status::Failure(1);  // invalid function
    std::lock_guard lock(machine_.mutex);
    IdeMachine& ide = machine_.ide;
    IdeSlot& slot = ide.driveSlots[static_cast<size_t>(ide.selectedSlot)];
    const int number = static_cast<int>(request);
    const int seen = ++ide.requestsSeen[static_cast<size_t>(number) % ide.requestsSeen.size()];
    for (const IdeSlot& s : ide.driveSlots) {
        for (const IdeFault& f : s.faults) {
            if (f.kind == IdeFaultKind::RequestFails && f.request == number && seen >= f.nth &&
                (f.times < 0 || seen < f.nth + f.times))
                return Status::Failure(kErrorIoDevice);
        }
    }
    // The reply is built here and copied out: input and output may be the same bytes.
    uint8_t reply[directide::kIdentifyReplySize] = {};
    size_t replySize = std::min(out.size(), sizeof reply);
    auto inWord = [&](size_t offset) -> uint32_t {
        return offset + 4 <= in.size() ? GetLe32(in.data() + offset) : 0;
    };
    auto status = [&](bool ok) { reply[0] = ok ? 1 : 0; };

    switch (request) {
        case DriverRequest::PortRead: {
            uint32_t port = inWord(0);
            uint32_t value =
                port == 0xCFC ? PciConfigRead(ide.pci, ide.pci.configAddress) : 0xFFFFFFFFu;
            PutLe32(reply, value);
            break;
        }
        case DriverRequest::PortWrite: {
            uint32_t port = inWord(0), value = inWord(4);
            if (port == 0xCF8) ide.pci.configAddress = value;
            if (port == 0xCFC) PciConfigWrite(ide.pci, ide.pci.configAddress, value);
            status(true);
            break;
        }
        case DriverRequest::PciConfigRead:
            // The answer goes into the request's own result field; the request has no output.
            if (in.size() != directide::kPciRequestSize || !out.empty())
                return Status::Failure(kErrorInvalidParameter);
            PutLe32(in.data() + 4, PciConfigRead(ide.pci, inWord(0)));
            break;
        case DriverRequest::PciConfigWrite:
            PciConfigWrite(ide.pci, inWord(0), inWord(4));
            break;
        case DriverRequest::StopCdrom:
            if (!in.empty() || !out.empty()) return Status::Failure(kErrorInvalidParameter);
            ide.counters.stopCdromRequests++;
            break;
        case DriverRequest::SelectDevice: {
            int index = IdeSlotOf(inWord(0), inWord(4));
            if (index < 0) break;
            ide.selectedSlot = index;
            IdeSlot& selected = ide.driveSlots[static_cast<size_t>(index)];
            selected.pollsSinceSelect = 0;
            bool ready = selected.present &&
                         !Fires(selected, FindFault(selected, IdeFaultKind::NeverReady, 0, 0));
            status(ready);
            break;
        }
        case DriverRequest::IdentifyDevice: {
            if (!slot.present || ++slot.pollsSinceSelect < slot.identifyPolls) break;
            reply[0] = 0x05;  // CD-ROM device
            reply[2] = 0x02;
            reply[4] = 31;
            PutText(reply + 8, slot.vendor, 8);
            PutText(reply + 16, slot.product, 16);
            PutText(reply + 32, slot.revision, 4);
            if (slot.flashIncomplete) PutText(reply + 36, "FLASH INCOMPLETE", 16);
            PutLe32(reply + directide::kIdentifyCompleteOffset, 1);
            PutLe32(reply + directide::kIdentifyKindOffset, static_cast<uint32_t>(slot.kind));
            break;
        }
        case DriverRequest::ReadFlashByte: {
            std::copy(in.begin(), in.begin() + std::min(in.size(), replySize), reply);
            uint32_t address = inWord(0);
            PutLe32(reply + 12, 0);
            if (!HasChip(slot) || !slot.flashMode || address >= slot.flash.size()) break;
            uint8_t value = slot.flash[address];
            if (FindFault(slot, IdeFaultKind::Verify, address, 1) >= 0) value ^= 0x01;
            if (Fires(slot, FindFault(slot, IdeFaultKind::ReadOnce, address, 1))) value ^= 0xFF;
            PutLe32(reply + 4, value);
            PutLe32(reply + 12, 1);
            break;
        }
        case DriverRequest::ProgramPage:
        case DriverRequest::ProgramBlock: {
            uint32_t address = inWord(0);
            if (request == DriverRequest::ProgramPage) {
                ide.counters.pageRequests++;
            } else {
                ide.counters.programRequests++;
            }
            if (!HasChip(slot) || !slot.flashMode || in.size() < directide::kProgramRequestSize ||
                uint64_t{address} + directide::kChunkSize > slot.flash.size()) {
                break;
            }
            if (Fires(slot,
                      FindFault(slot, IdeFaultKind::Program, address, directide::kChunkSize))) {
                break;
            }
            const uint8_t* data = in.data() + directide::kProgramDataOffset;
            bool pageChip = directide::kFlashChips[static_cast<size_t>(slot.chipRow)].method == 0;
            auto cells = slot.flash.Mutable().subspan(address, directide::kChunkSize);
            for (size_t i = 0; i < directide::kChunkSize; ++i) {
                uint8_t& cell = cells[i];
                // A page-programmed chip erases the page itself; any other programming can only
                // clear bits.
                cell = (pageChip && request == DriverRequest::ProgramPage) ? data[i]
                                                                           : (cell & data[i]);
            }
            status(true);
            break;
        }
        case DriverRequest::IdentifyFlash: {
            std::copy(in.begin(), in.begin() + std::min(in.size(), replySize), reply);
            bool alternate = inWord(8) != 0;
            PutLe32(reply + 12, 0);
            if (!HasChip(slot) || !slot.flashMode) break;
            const auto& chip = directide::kFlashChips[static_cast<size_t>(slot.chipRow)];
            bool answers = slot.alternateSequence == alternate &&
                           !Fires(slot, FindFault(slot, IdeFaultKind::Identify, 0, 0));
            // A chip that does not take the sequence answers with its erased array contents.
            PutLe32(reply, answers ? chip.maker : 0xFF);
            PutLe32(reply + 4, answers ? chip.device : 0xFF);
            PutLe32(reply + 12, 1);
            break;
        }
        case DriverRequest::EraseFlash: {
            ide.counters.eraseRequests++;
            bool alternate = inWord(directide::kEraseFlagOffset) != 0;
            if (alternate) ide.counters.eraseFlagSeen++;
            if (!HasChip(slot) || !slot.flashMode) break;
            if (slot.alternateSequence != alternate) break;  // the chip ignores the sequence
            if (Fires(slot, FindFault(slot, IdeFaultKind::Erase, 0, 0))) break;
            slot.flash.Fill(0xFF);
            machine_.flashMadeLasting = true;
            machine_.Clock().Sleep(kEraseNanos);
            status(true);
            break;
        }
        case DriverRequest::PrepareFlash:
            if (slot.present) slot.flashMode = true;
            if (slot.present && !slot.identityCrc) slot.identityCrc = slot.flash.Crc32();
            status(slot.present);
            break;
        case DriverRequest::ResetDevice:
            if (slot.present) {
                // A reset brings the drive back to its power-on transfer mode.
                slot.flashMode = false;
                slot.mwdmaSelected = 0;
                slot.udmaSelected = 0;
                // The drive starts from whatever firmware it reads in its flash now.
                if (slot.identityCrc && *slot.identityCrc != slot.flash.Crc32()) {
                    // Firmware made for the bench carries its revision; any other image gives
                    // one derived from its contents, never the old one; firmware that is not
                    // whole, or that a bad cell makes read wrong, leaves the drive in its boot
                    // loader.
                    FirmwareIdentity identity = IdentityOfFlash(ReadableFlash(slot), slot.revision);
                    slot.revision = identity.revision;
                    slot.flashIncomplete = identity.incomplete;
                    slot.identityCrc = slot.flash.Crc32();
                    machine_.flashMadeLasting = true;
                }
            }
            status(slot.present);
            break;
        case DriverRequest::ReadIdentifyData: {
            if (!slot.present) break;
            auto word = [&](int n, uint16_t v) {
                reply[2 * n] = static_cast<uint8_t>(v);
                reply[2 * n + 1] = static_cast<uint8_t>(v >> 8);
            };
            word(0, 0x85C0);  // ATAPI, CD-ROM, removable
            PutAtaText(reply + 46, slot.revision, 8);
            PutAtaText(reply + 54, slot.vendor + " " + slot.product, 40);
            word(49, 0x0F00);
            word(53, 0x0006);
            word(63, static_cast<uint16_t>(slot.mwdmaSelected << 8 | slot.mwdmaSupported));
            word(88, static_cast<uint16_t>(slot.udmaSelected << 8 | slot.udmaSupported));
            reply[directide::kAtaStatusOffset] = 1;
            break;
        }
        case DriverRequest::SetTransferMode: {
            if (!slot.present || in.size() < 2 || in[0] != directide::kSetFeaturesTransferMode) {
                break;
            }
            uint8_t mode = in[1], number = mode & 0x07;
            if ((mode & 0xF8) == 0x20 && (slot.mwdmaSupported >> number & 1)) {
                slot.mwdmaSelected = static_cast<uint8_t>(1 << number);
                slot.udmaSelected = 0;
                status(true);
            } else if ((mode & 0xF8) == 0x40 && (slot.udmaSupported >> number & 1)) {
                slot.udmaSelected = static_cast<uint8_t>(1 << number);
                slot.mwdmaSelected = 0;
                status(true);
            }
            break;
        }
    }
    std::copy(reply, reply + replySize, out.begin());
    returned = static_cast<uint32_t>(replySize);
    return Status::Success();
}

}  // namespace platform::emulated
