// brenvo-vmprobe: the device layer against a real kernel, one check per call, for the VM stage.
//
//   list                   the drives as the core enumerates them (letter, nodes, address, INQUIRY)
//   ready N                TEST UNIT READY and the ready wait on drive N
//   microcode N            a mode-5 WRITE BUFFER, then the unit attention it raises and its wait
//   send N SECONDS CDB [LENGTH] [FILE=VALUE...]
//                          the command (hex, up to 12 bytes; LENGTH bytes read back) four times
//                          straight through the backend's pass-through with that time-out: its
//                          verdict and what the kernel put in the SG_IO header. The FILE=VALUE
//                          writes (a target's fault settings) happen after the node is opened
//   tray N                 medium, eject, the tray-open test, load
//   bench N COUNT          AtapiDevice::Execute against a bare SG_IO loop, COUNT commands each
//
// Each prints "key=value" words a script can check.
#include <fcntl.h>
#include <scsi/sg.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <string>

#include "common/Bytes.h"
#include "device/AtapiDevice.h"
#include "device/CommandSet.h"
#include "engine/DriveList.h"
#include "platform/ScsiRequest.h"
#include "platform/linux/LinuxSystem.h"

namespace {
using device::AtapiDevice;
using platform::linuxhost::LinuxSystem;

std::string Result(const AtapiDevice& d) {
    char text[64];
    std::snprintf(text, sizeof text, "outcome=%d sense=%X/%02X/%02X", d.outcome, d.senseKey, d.asc,
                  d.ascq);
    return text;
}

int List(LinuxSystem& system, AtapiDevice& device) {
    std::cout << "drives=" << device.DriveCount() << "\n";
    for (int i = 0; i < device.DriveCount(); ++i) {
        const auto* r = device.DriveAt(i);
        std::string root = engine::FieldText(r->rootPath).substr(0, 2);
        for (const auto& node : system.Drives()) {
            if (node.letter != root) continue;
            std::cout << root << " sg=" << node.sgNode << " block=" << node.blockNode
                      << " address=" << r->adapter << ":" << r->path << ":" << r->target << ":"
                      << r->lun << " vendor='" << engine::FieldText(r->vendor) << "' product='"
                      << engine::FieldText(r->product) << "' revision='"
                      << engine::FieldText(r->revision) << "'\n";
        }
    }
    return 0;
}

double Seconds(std::chrono::steady_clock::time_point since) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

// What the kernel put in the header of the last SG_IO, when `send` watches the backend's calls.
sg_io_hdr_t kernelAnswer{};

// The backend's verdict on one command, beside the kernel's answer it came from: the checks can
// tell a status the backend passed on from one it turned into an error.
int Send(LinuxSystem& system, int index, int argc, char** argv) {
    namespace pt = platform::passthrough;
    uint32_t seconds = argc > 3 ? static_cast<uint32_t>(std::atoi(argv[3])) : 2;
    std::string hex = argc > 4 ? argv[4] : "00";
    std::array<uint8_t, 12> cdb{};
    for (size_t i = 0; i < cdb.size() && 2 * i + 1 < hex.size(); ++i)
        cdb[i] = static_cast<uint8_t>(std::stoul(hex.substr(2 * i, 2), nullptr, 16));
    uint32_t length = 0;
    std::vector<std::string> settings;
    for (int i = 5; i < argc; ++i) {
        std::string word = argv[i];
        if (word.find('=') == std::string::npos)
            length = static_cast<uint32_t>(std::atoi(argv[i]));
        else
            settings.push_back(word);
    }
    uint32_t error = 0;
    platform::Handle handle = system.CreateDevice(
        "\\\\.\\" + system.Drives().at(index).letter,
        platform::kGenericRead | platform::kGenericWrite,
        platform::kFileShareRead | platform::kFileShareWrite, platform::kOpenExisting, 0, error);
    if (handle == platform::kInvalidHandle) {
        std::cout << "open failed error=" << error << "\n";
        return 1;
    }
    for (const auto& setting : settings) {
        auto equals = setting.find('=');
        std::ofstream(setting.substr(0, equals)) << setting.substr(equals + 1) << "\n";
    }
    std::vector<uint8_t> data(length);
    for (int i = 0; i < 4; ++i) {
        std::array<uint8_t, platform::kScsiRequestSize> r{};
        r[pt::kLength] = pt::kStructureLength;
        r[pt::kCdbLength] = 12;
        r[pt::kSenseInfoLength] = pt::kSenseLength;
        r[pt::kDataIn] = length ? device::kDataIn : device::kNoData;
        common::PutLe32(&r[pt::kDataTransferLength], length);
        common::PutLe32(&r[pt::kTimeOutValue], seconds);
        common::PutLe32(&r[pt::kDataBuffer], length ? platform::kDataBufferRead : 0);
        common::PutLe32(&r[pt::kSenseInfoOffset], pt::kSenseArea);
        std::copy(cdb.begin(), cdb.end(), r.begin() + pt::kCdb);
        kernelAnswer = {};
        auto start = std::chrono::steady_clock::now();
        platform::Status status = system.ScsiPassThroughDirect(handle, r, data);
        const uint8_t* sense = &r[pt::kSenseArea];
        std::printf(
            "send ok=%d error=%u status=%02X host=%02X driver=%02X sense_len=%u sense=%X/%02X/%02X "
            "elapsed=%.1f\n",
            status.ok, status.ok ? 0 : status.error, r[pt::kScsiStatus], kernelAnswer.host_status,
            kernelAnswer.driver_status, kernelAnswer.sb_len_wr, sense[2] & 0x0F, sense[12],
            sense[13], Seconds(start));
    }
    system.CloseHandle(handle);
    return 0;
}

// The same commands as bare SG_IO ioctls on the node, with nothing of ours in between.
bool BareLoop(int fd, const uint8_t* cdb, int direction, uint8_t* data, unsigned length,
              int count) {
    uint8_t sense[32];
    for (int i = 0; i < count; ++i) {
        sg_io_hdr_t h{};
        h.interface_id = 'S';
        h.dxfer_direction = direction;
        h.cmd_len = 12;
        h.cmdp = const_cast<uint8_t*>(cdb);
        h.dxferp = length ? data : nullptr;
        h.dxfer_len = length;
        h.mx_sb_len = sizeof sense;
        h.sbp = sense;
        h.timeout = 108000u * 1000u;  // what AtapiDevice passes by default
        if (ioctl(fd, SG_IO, &h) != 0 || h.status || h.host_status) return false;
    }
    return true;
}

double Median(std::vector<double> values) {
    std::nth_element(values.begin(), values.begin() + values.size() / 2, values.end());
    return values[values.size() / 2];
}

// Both paths in alternating blocks of 16 commands, `count` commands each per round, five rounds;
// the median block of each, so a busy moment of the host (qemu shares it) hurts neither.
int Bench(LinuxSystem& system, AtapiDevice& device, int index, int count) {
    constexpr int kBlock = 16;
    constexpr int kRounds = 5;
    int fd = open(system.Drives().at(index).sgNode.c_str(), O_RDWR | O_NONBLOCK);
    if (fd < 0) return 1;
    std::array<uint8_t, 12> write{0x3B, 0x02, 0, 0, 0, 0, 0, 0x08, 0};  // mode 2, 2048 bytes
    std::array<uint8_t, 12> ready{};
    std::vector<uint8_t> data(2048, 0x5A);
    struct Row {
        const char* name;
        std::array<uint8_t, 12>& cdb;
        int sgDirection;
        uint8_t direction;
        unsigned length;
    } rows[] = {{"write_buffer_2048", write, SG_DXFER_TO_DEV, device::kDataOut, 2048},
                {"test_unit_ready", ready, SG_DXFER_NONE, device::kNoData, 0}};
    for (auto& row : rows) {
        // Both send the same bytes from the same memory: the device's write buffer.
        std::copy(data.begin(), data.end(), device.WriteBuffer().begin());
        uint8_t* bytes = device.WriteBuffer().data();
        std::vector<double> bare, ours;
        bool ok = BareLoop(fd, row.cdb.data(), row.sgDirection, bytes, row.length, kBlock);
        for (int block = 0; ok && block < kRounds * count / kBlock; ++block) {
            // Which path goes first alternates too.
            for (int turn = 0; turn < 2; ++turn) {
                auto start = std::chrono::steady_clock::now();
                if ((turn + block) % 2 == 0) {
                    ok = BareLoop(fd, row.cdb.data(), row.sgDirection, bytes, row.length, kBlock) &&
                         ok;
                    bare.push_back(Seconds(start));
                } else {
                    for (int i = 0; i < kBlock; ++i)
                        ok = device.Execute(row.cdb, row.direction, row.length) && ok;
                    ours.push_back(Seconds(start));
                }
            }
        }
        if (!ok) {
            std::cout << row.name << " failed " << Result(device) << "\n";
            close(fd);
            return 1;
        }
        double b = Median(bare) / kBlock, o = Median(ours) / kBlock;
        std::printf("%s count=%dx%d bare_us=%.2f execute_us=%.2f ratio=%.3f\n", row.name, kRounds,
                    count, b * 1e6, o * 1e6, o / b);
    }
    close(fd);
    return 0;
}
}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::cerr << "usage: brenvo-vmprobe list|ready|microcode|send|tray|bench N [ARG]\n";
        return 2;
    }
    std::string command = argv[1];
    int index = argc > 2 ? std::atoi(argv[2]) : 0;
    auto host = platform::linuxhost::LinuxHost::Real();
    if (command == "send") {  // only here: the bench measures the backend as it ships
        host.sgIo = [real = host.sgIo](int fd, sg_io_hdr_t& header) {
            int result = real(fd, header);
            kernelAnswer = header;
            return result;
        };
    }
    auto owned = std::make_unique<LinuxSystem>(std::move(host));
    LinuxSystem& system = *owned;
    platform::InstallSystem(std::move(owned));
    AtapiDevice device;
    if (command == "list") return List(system, device);
    if (command == "send") return Send(system, index, argc, argv);
    if (!device.OpenDrive(index)) {
        std::cout << "open failed error=" << device.lastError << "\n";
        return 1;
    }
    if (command == "ready") {
        device::TestUnitReady(device);
        std::cout << "tur " << Result(device) << "\n";
        bool waited = device::WaitReady(device, 10);
        std::cout << "wait_ready=" << waited << " " << Result(device) << "\n";
    } else if (command == "microcode") {
        bool written = device::WriteBuffer(device, 0, 2048, device::kControlData);
        std::cout << "write_buffer=" << written << " " << Result(device) << "\n";
        device::TestUnitReady(device);
        std::cout << "after " << Result(device) << "\n";
        bool cleared = device::WaitNoUnitAttention(device);
        std::cout << "wait_no_unit_attention=" << cleared << " " << Result(device) << "\n";
    } else if (command == "tray") {
        std::cout << "medium_absent=" << device::IsMediumAbsent(device) << " " << Result(device)
                  << "\n";
        bool ejected = device::EjectTray(device);
        std::cout << "eject=" << ejected << " tray_open=" << device::IsTrayOpen(device) << "\n";
        bool loaded = device::LoadTray(device);
        std::cout << "load=" << loaded << " tray_open=" << device::IsTrayOpen(device) << "\n";
    } else if (command == "bench") {
        return Bench(system, device, index, argc > 3 ? std::atoi(argv[3]) : 512);
    } else {
        std::cerr << "brenvo-vmprobe: unknown command " << command << "\n";
        return 2;
    }
    return 0;
}
