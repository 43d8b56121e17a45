// The emulated optical drive's command decoder: any command blocks with any data, in any order.
// The drive must answer every one, and its flash may change only through a commit.
//
// Input: a first byte whose lowest bit sends the drive's own chip profile before anything else
// (so the loader's later steps are in reach), then records of a 12-byte command block, a
// direction byte (even: to the drive), a two-byte length and, towards the drive, that many data
// bytes.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

#include "package/FlashProfiles.h"
#include "platform/emulated/OpticalDrive.h"
#include "tools/bench/Presets.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace platform::emulated;
    // The two-bank drive of the "bank" bench: a 128 KiB flash keeps each run quick.
    DriveSettings settings = benchtool::QuorvantDrive("E:", "1:0:0:0");
    settings.flashId = std::array<uint8_t, 4>{0xBF, 0xB6, 0x00, 0x01};
    settings.flash = FlashContents(128 * 1024, 0xFF);
    OpticalDrive drive(std::move(settings));
    std::vector<uint8_t> flash = drive.Flash();
    std::vector<uint8_t> buffer;
    double now = 0;
    size_t at = 1;
    if (size > 0 && (data[0] & 1)) {
        auto id = *drive.Settings().flashId;
        auto profile = package::ProfileBytes(package::FindChipProfile(id[0], id[1], id[2], id[3]));
        buffer.assign(profile.begin(), profile.end());
        const uint8_t cdb[12] = {0x3B,
                                 0x05,
                                 0x01,
                                 0,
                                 0,
                                 0,
                                 static_cast<uint8_t>(profile.size() >> 16),
                                 static_cast<uint8_t>(profile.size() >> 8),
                                 static_cast<uint8_t>(profile.size()),
                                 0x7F,
                                 0,
                                 0};
        drive.Execute(std::span<const uint8_t, 12>(cdb), 0, buffer, now);
    }
    while (size >= at + 15) {
        uint8_t cdbBytes[12];
        std::memcpy(cdbBytes, data + at, 12);
        std::span<const uint8_t, 12> cdb(cdbBytes);
        const int direction = data[at + 12] & 1 ? 1 : 0;
        size_t length = data[at + 13] | (data[at + 14] << 8);
        at += 15;
        if (direction == 0) length = std::min(length, size - at);
        buffer.assign(length, 0);
        if (direction == 0) {
            std::copy(data + at, data + at + length, buffer.begin());
            at += length;
        }
        // The flash is compared around each commit and at the end, not after every command: a
        // 128 KiB comparison per command made a run cost milliseconds.
        CommandKind kind = ClassifyCommand(cdb);
        const bool commit = kind == CommandKind::Commit || kind == CommandKind::DownloadCommit;
        if (commit && drive.Flash() != flash) __builtin_trap();
        DriveAnswer answer = drive.Execute(cdb, direction == 0 ? 0 : 1, buffer, now);
        now += answer.seconds + 0.001;
        if (commit) flash = drive.Flash();
    }
    if (drive.Flash() != flash) __builtin_trap();
    return 0;
}
