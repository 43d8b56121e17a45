// brenvo-tcmu: an optical drive of an emulated PC served to the Linux kernel as a real SCSI
// device, through the kernel's userspace target (TCMU) and its command ring on /dev/uioN.
//
// Every command the kernel does not answer itself reaches the same drive model the emulated PC
// uses, described by the same bench file, and is recorded in the same trace (BRENVO_TRACE). With
// tcm_loop in front, the kernel attaches sr and sg to it like any CD/DVD drive.
//
// Usage: brenvo-tcmu [--answer STATUS:COMMAND:NTH[:TIMES]] BENCH.json /dev/uioN
//        (SIGTERM writes the drive's state back and ends)
//
// --answer makes the target, not the drive, answer commands of a kind (a name of the bench's
// faults: writeBuffer, commit, testUnitReady, any, ...) from the NTH on, TIMES of them (0: every
// one) with a status the drive model never gives: busy, conflict (RESERVATION CONFLICT) or
// nosense (CHECK CONDITION without sense data). Those commands never reach the drive.

#include <fcntl.h>
#include <signal.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <vector>

#include "platform/Trace.h"
#include "platform/emulated/BenchFile.h"
#include "platform/emulated/DriveVolume.h"
#include "platform/emulated/Machine.h"
#include "tools/tcmu/TcmuRing.h"

namespace {
using platform::emulated::DriveAnswer;

volatile sig_atomic_t stopRequested = 0;

void RequestStop(int) {
    stopRequested = 1;
}

// How many command bytes the kernel's target layer keeps: it derives the length from the
// opcode's group, so bytes 10 and 11 of a 12-byte vendor command never arrive.
size_t KeptCdbLength(uint8_t opcode) {
    switch (opcode >> 5) {
        case 0:
            return 6;
        case 1:
        case 2:
            return 10;
        case 4:
            return 16;
        case 5:
            return 12;
        default:
            return 10;  // vendor groups 6 and 7
    }
}

// The direction a drive of the family gives each command that carries data.
bool CarriesDataOut(std::span<const uint8_t, 12> cdb) {
    switch (cdb[0]) {
        case 0x3B:  // WRITE BUFFER
        case 0x15:  // MODE SELECT(6)
        case 0x55:  // MODE SELECT(10)
            return true;
        case 0xF2:  // the vendor download's data block
            return cdb[1] == 0x03;
        default:
            return false;
    }
}

// Commands the target answers itself with a status, before the drive sees them.
struct TargetAnswer {
    uint8_t status = 0;
    platform::emulated::CommandKind command = platform::emulated::CommandKind::Any;
    int nth = 1, times = 1;
    int seen = 0;

    // Counts the command; true when this one is answered here.
    bool Takes(std::span<const uint8_t, 12> cdb) {
        if (status == 0) return false;
        auto kind = platform::emulated::ClassifyCommand(cdb);
        if (command != platform::emulated::CommandKind::Any && kind != command) return false;
        ++seen;
        return seen >= nth && (times == 0 || seen < nth + times);
    }
};

// "busy:writeBuffer:1:0" into a TargetAnswer; false when it is not one.
bool ParseTargetAnswer(const std::string& text, TargetAnswer& answer) {
    std::vector<std::string> parts;
    size_t start = 0;
    for (size_t colon; (colon = text.find(':', start)) != std::string::npos; start = colon + 1)
        parts.push_back(text.substr(start, colon - start));
    parts.push_back(text.substr(start));
    if (parts.size() < 3 || parts.size() > 4) return false;
    if (parts[0] == "busy")
        answer.status = 0x08;
    else if (parts[0] == "conflict")
        answer.status = 0x18;
    else if (parts[0] == "nosense")
        answer.status = 0x02;
    else
        return false;
    auto kind = platform::emulated::CommandKindFromName(parts[1]);
    if (!kind) return false;
    answer.command = *kind;
    answer.nth = std::atoi(parts[2].c_str());
    answer.times = parts.size() == 4 ? std::atoi(parts[3].c_str()) : 1;
    return answer.nth >= 1 && answer.times >= 0;
}

size_t MapSize(const std::string& uioNode) {
    std::string name = std::filesystem::path(uioNode).filename().string();
    std::ifstream in("/sys/class/uio/" + name + "/maps/map0/size");
    size_t size = 0;
    in >> std::hex >> size;
    return size;
}

class RingServer {
  public:
    RingServer(platform::emulated::Machine& machine, platform::emulated::OpticalDrive& drive,
               uint8_t* map, size_t mapSize, TargetAnswer targetAnswer)
        : machine_(machine),
          drive_(drive),
          map_(map),
          mapSize_(mapSize),
          targetAnswer_(targetAnswer) {}

    int TargetAnswered() const { return targetAnswered_; }

    // Answers every command the ring holds.
    void Drain() {
        uint32_t entry = 0;
        while (brenvo_tcmu_next(map_, &entry)) {
            Answer(entry);
            brenvo_tcmu_advance(map_);
        }
    }

  private:
    static constexpr uint32_t kMaxSegments = 1024;

    void Answer(uint32_t entry) {
        std::array<uint8_t, 12> cdb{};
        const uint8_t* kernelCdb = brenvo_tcmu_cdb(map_, entry);
        std::copy_n(kernelCdb, std::min<size_t>(KeptCdbLength(kernelCdb[0]), cdb.size()),
                    cdb.begin());
        if (targetAnswer_.Takes(cdb)) {
            // The sense area stays empty: CHECK CONDITION comes with nothing to read.
            brenvo_tcmu_answer(map_, entry, targetAnswer_.status, nullptr, 0);
            ++targetAnswered_;
            return;
        }
        uint32_t count =
            brenvo_tcmu_segments(map_, entry, offsets_.data(), lengths_.data(), kMaxSegments);
        count = std::min(count, kMaxSegments);
        size_t total = 0;
        for (uint32_t i = 0; i < count; ++i) {
            // A segment outside the mapping is the kernel's error, never a reason to write there.
            if (offsets_[i] > mapSize_ || lengths_[i] > mapSize_ - offsets_[i]) {
                brenvo_tcmu_answer(map_, entry, 0x08, nullptr, 0);
                return;
            }
            total += lengths_[i];
        }
        data_.assign(total, 0);
        bool out = total > 0 && CarriesDataOut(cdb);
        if (out) Copy(count, true);

        auto result = platform::emulated::RunDriveCommand(
            machine_, drive_, cdb, total == 0 ? 2 : (out ? 0 : 1), data_, -1);
        machine_.Clock().Sleep(static_cast<int64_t>(result.seconds * 1e9));
        if (total > 0 && !out) Copy(count, false);

        switch (result.answer.status) {
            case DriveAnswer::Status::Good:
                brenvo_tcmu_answer(map_, entry, 0x00, nullptr, 0);
                break;
            case DriveAnswer::Status::CheckCondition:
                brenvo_tcmu_answer(map_, entry, 0x02, result.answer.sense.data(),
                                   result.answer.sense.size());
                break;
            case DriveAnswer::Status::NoAnswer:  // BUSY: the drive did not take the command
                brenvo_tcmu_answer(map_, entry, 0x08, nullptr, 0);
                break;
        }
    }

    // Between the ring's segments and one contiguous buffer for the drive model.
    void Copy(uint32_t count, bool fromRing) {
        size_t at = 0;
        for (uint32_t i = 0; i < count; ++i) {
            uint8_t* segment = map_ + offsets_[i];
            if (fromRing)
                std::memcpy(data_.data() + at, segment, lengths_[i]);
            else
                std::memcpy(segment, data_.data() + at, lengths_[i]);
            at += lengths_[i];
        }
    }

    platform::emulated::Machine& machine_;
    platform::emulated::OpticalDrive& drive_;
    uint8_t* map_;
    size_t mapSize_;
    TargetAnswer targetAnswer_;
    int targetAnswered_ = 0;
    std::vector<uint8_t> data_;
    std::array<uint64_t, kMaxSegments> offsets_{}, lengths_{};
};

int Fail(const std::string& text) {
    std::cerr << "brenvo-tcmu: " << text << "\n";
    return 1;
}
}  // namespace

int main(int argc, char** argv) {
    TargetAnswer targetAnswer;
    if (argc == 5 && std::string(argv[1]) == "--answer") {
        if (!ParseTargetAnswer(argv[2], targetAnswer))
            return Fail(std::string("not an answer: ") + argv[2]);
        argv += 2;
        argc -= 2;
    }
    if (argc != 3)
        return Fail(
            "usage: brenvo-tcmu [--answer STATUS:COMMAND:NTH[:TIMES]] BENCH.json /dev/uioN");
    std::string error;
    if (!platform::Trace::OpenFromEnvironment(error)) return Fail(error);
    std::shared_ptr<platform::emulated::Machine> machine;
    try {
        machine = platform::emulated::LoadBench(argv[1]);
    } catch (const platform::emulated::BenchError& e) {
        return Fail(std::string("bad bench file: ") + e.what());
    }
    if (machine->drives.empty()) return Fail("the bench has no optical drive");

    int fd = open(argv[2], O_RDWR | O_CLOEXEC);
    if (fd < 0) return Fail(std::string(argv[2]) + ": " + std::strerror(errno));
    size_t size = MapSize(argv[2]);
    if (size == 0) return Fail(std::string("no mapping size for ") + argv[2]);
    void* map = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    if (map == MAP_FAILED) return Fail(std::string("mmap: ") + std::strerror(errno));

    struct sigaction action {};
    action.sa_handler = RequestStop;  // no SA_RESTART: the wait on the ring ends at once
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);

    RingServer server(*machine, *machine->drives.front(), static_cast<uint8_t*>(map), size,
                      targetAnswer);
    std::cout << "brenvo-tcmu: serving " << machine->drives.front()->Letter() << " of " << argv[1]
              << " on " << argv[2] << std::endl;
    uint32_t events = 0;
    server.Drain();  // commands queued before we started
    while (!stopRequested) {
        if (read(fd, &events, sizeof events) != sizeof events) {
            if (errno == EINTR) continue;
            return Fail(std::string("read: ") + std::strerror(errno));
        }
        server.Drain();
        // Tell the kernel the ring moved on: exactly four bytes.
        if (write(fd, &events, sizeof events) != sizeof events)
            return Fail(std::string("write: ") + std::strerror(errno));
    }
    munmap(map, size);
    close(fd);
    if (targetAnswer.status != 0)
        std::cout << "brenvo-tcmu: the target answered " << server.TargetAnswered()
                  << " commands itself" << std::endl;
    try {
        platform::emulated::SaveBench(*machine, argv[1]);
    } catch (const platform::emulated::BenchError& e) {
        return Fail(std::string("the drive's state could not be saved: ") + e.what());
    }
    return 0;
}
