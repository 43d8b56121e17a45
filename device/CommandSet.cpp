#include "device/CommandSet.h"

#include <algorithm>
#include <array>

#include "platform/System.h"

namespace device {
namespace {
using Block = std::array<uint8_t, 12>;

constexpr uint32_t kEventStatusLength = 8;
constexpr uint32_t kDiscInformationLength = 256;
constexpr uint32_t kFlashIdLength = 128;
constexpr uint32_t kDriveTagLength = 16;
constexpr uint32_t kReadyPollMs = 300;

void PutBe16(Block& b, size_t at, uint32_t v) {
    b[at] = static_cast<uint8_t>(v >> 8);
    b[at + 1] = static_cast<uint8_t>(v);
}
void PutBe24(Block& b, size_t at, uint32_t v) {
    b[at] = static_cast<uint8_t>(v >> 16);
    PutBe16(b, at + 1, v);
}
void PutBe32(Block& b, size_t at, uint32_t v) {
    b[at] = static_cast<uint8_t>(v >> 24);
    PutBe24(b, at + 1, v);
}

// A WRITE BUFFER block: download microcode and save, buffer 1.
Block WriteBufferBlock(uint32_t offset, uint32_t length, uint8_t control) {
    Block b{0x3B, 0x05, 0x01};
    PutBe24(b, 3, offset);
    PutBe24(b, 6, length);
    b[9] = control;
    return b;
}

// A commit writes the flash: the drive may take long before it answers, so it is given the long
// time-out; every other command keeps the device's short one.
bool ExecuteLong(AtapiDevice& device, const Block& b) {
    const uint32_t ordinary = device.timeout;
    device.SetTimeout(std::max(ordinary, AtapiDevice::kDefaultTimeout));
    const bool ok = device.Execute(b, kNoData, 0);
    device.SetTimeout(ordinary);
    return ok;
}
}  // namespace

bool SenseIs(const AtapiDevice& device, uint8_t key) {
    return device.SenseKey() == key;
}

bool SenseIs(const AtapiDevice& device, uint8_t key, uint8_t asc) {
    return device.SenseKey() == key && device.Asc() == asc;
}

bool TestUnitReady(AtapiDevice& device) {
    Block b{0x00};
    return device.Execute(b, kNoData, 0);
}

bool Inquiry(AtapiDevice& device, uint8_t evpd, uint8_t page, uint8_t allocationLength) {
    Block b{0x12};
    b[1] = evpd & 0x01;
    b[2] = page;
    b[4] = allocationLength;
    return device.Execute(b, kDataIn, allocationLength);
}

bool StartStopUnit(AtapiDevice& device, bool immediate, uint8_t powerCondition, bool loadEject,
                   bool start) {
    Block b{0x1B};
    b[1] = immediate ? 0x01 : 0x00;
    b[4] = static_cast<uint8_t>(powerCondition << 4 | (loadEject ? 0x02 : 0) | (start ? 0x01 : 0));
    return device.Execute(b, kNoData, 0);
}

bool LoadTray(AtapiDevice& device) {
    return StartStopUnit(device, false, 0, true, true);
}

bool EjectTray(AtapiDevice& device) {
    return StartStopUnit(device, false, 0, true, false);
}

bool StopUnit(AtapiDevice& device) {
    return StartStopUnit(device, false, 0, false, false);
}

bool IsTrayOpen(AtapiDevice& device) {
    Block b{0x4A, 0x01};
    b[4] = 0x10;  // media event class
    PutBe16(b, 7, kEventStatusLength);
    if (!device.Execute(b, kDataIn, kEventStatusLength)) return false;
    return (device.ReadBuffer()[5] & 0x01) != 0;
}

bool ReadDiscInformation(AtapiDevice& device) {
    Block b{0x51};
    PutBe16(b, 7, kDiscInformationLength);
    return device.Execute(b, kDataIn, kDiscInformationLength);
}

uint8_t BackgroundFormatStatus(AtapiDevice& device) {
    if (!ReadDiscInformation(device)) return 4;
    return device.ReadBuffer()[7] & 0x03;
}

bool StopBackgroundFormat(AtapiDevice& device) {
    Block b{0x5B};
    return device.Execute(b, kNoData, 0);
}

bool ReadBuffer(AtapiDevice& device, uint32_t offset, uint32_t length) {
    Block b{0x3C, 0x01, 0x01};
    PutBe24(b, 3, offset);
    PutBe24(b, 6, length);
    return device.Execute(b, kDataIn, length);
}

bool WriteBuffer(AtapiDevice& device, uint32_t offset, uint32_t length, uint8_t control) {
    // The commit controls carry no data.
    if (control == kControlCommit || control == kControlCommitVariant)
        return ExecuteLong(device, WriteBufferBlock(offset, length, control));
    return device.Execute(WriteBufferBlock(offset, length, control), kDataOut, length);
}

bool CommitBuffer(AtapiDevice& device, uint8_t bank, uint8_t control) {
    Block b = WriteBufferBlock(0, 0, control);
    b[10] = bank == kNoBank ? 0 : bank;
    return ExecuteLong(device, b);
}

bool ReadFlashId(AtapiDevice& device) {
    Block b{0xDF, 0x11};
    if (!device.Execute(b, kDataIn, kFlashIdLength)) return false;
    auto answer = device.ReadBuffer().first(kFlashIdLength);
    return std::any_of(answer.begin(), answer.end(), [](uint8_t v) { return v != 0; });
}

bool ReadDriveTag(AtapiDevice& device) {
    Block b{0xF3, 0x0E, 0x02};
    return device.Execute(b, kDataIn, kDriveTagLength);
}

bool DownloadOpen(AtapiDevice& device) {
    Block b{0xF2, 0x01};
    return device.Execute(b, kNoData, 0);
}

bool DownloadBlock(AtapiDevice& device, uint32_t offset, uint32_t length) {
    // The data, its sum and the announced length must all fit the write buffer and bytes 8-9.
    auto buffer = device.WriteBuffer();
    if (length + 2 > buffer.size() || length + 2 > 0xFFFF) return false;
    uint16_t sum = 0;
    for (uint32_t i = 0; i < length; ++i)
        sum = static_cast<uint16_t>(sum + buffer[i]);
    // The block's fields are big-endian; the sum behind the data goes low byte first.
    buffer[length] = static_cast<uint8_t>(sum);
    buffer[length + 1] = static_cast<uint8_t>(sum >> 8);
    Block b{0xF2, 0x03};
    PutBe32(b, 2, offset);
    PutBe16(b, 8, length + 2);
    return device.Execute(b, kDataOut, length + 2);
}

bool DownloadCommit(AtapiDevice& device, uint32_t total) {
    Block b{0xF2, 0x04};
    PutBe32(b, 6, total);
    b[11] = 0x01;
    return ExecuteLong(device, b);
}

bool WaitNoUnitAttention(AtapiDevice& device) {
    for (int i = 0; i < kUnitAttentionTries; ++i) {
        if (TestUnitReady(device) || !SenseIs(device, 0x06)) return true;
    }
    return false;
}

bool WaitReady(AtapiDevice& device, double seconds) {
    auto& stopwatch = device.stopwatch;
    stopwatch.Start(true);
    bool timedOut = false;
    for (;;) {
        TestUnitReady(device);
        if (!SenseIs(device, 0x02, 0x04) && !SenseIs(device, 0x06)) break;
        if (stopwatch.RunSeconds() < seconds) {
            platform::CurrentSystem().Sleep(kReadyPollMs);
            continue;
        }
        timedOut = true;
        break;
    }
    // The callers test the sense of this last one (no medium, for instance).
    TestUnitReady(device);
    stopwatch.Stop();
    return !timedOut;
}

bool IsMediumAbsent(AtapiDevice& device) {
    WaitReady(device, 30);
    return SenseIs(device, 0x02, 0x3A);
}

}  // namespace device
