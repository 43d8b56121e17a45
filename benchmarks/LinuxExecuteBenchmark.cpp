// What AtapiDevice::Execute adds to one SG_IO on the Linux backend, with the ioctl replaced by an
// immediate answer: the whole cost of our side of a command (request, timing, translation).
#include <benchmark/benchmark.h>

#include <filesystem>
#include <fstream>

#include "device/AtapiDevice.h"
#include "platform/linux/LinuxSystem.h"

namespace {
namespace fs = std::filesystem;

int AnswerAtOnce(int, sg_io_hdr_t& header) {
    benchmark::DoNotOptimize(header);
    return 0;
}

void BM_ExecuteOverLinuxBackend(benchmark::State& state) {
    fs::path sysfs = fs::temp_directory_path() / "brenvo-bench-sysfs";
    fs::create_directories(sysfs / "class/scsi_device/1:0:0:0/device/scsi_generic/sg1");
    std::ofstream(sysfs / "class/scsi_device/1:0:0:0/device/type") << "5\n";
    platform::linuxhost::LinuxHost host;
    host.sysfsRoot = sysfs.string();
    host.configDir = sysfs.string();
    host.open = [](const std::string&, int) { return 42; };
    host.close = [](int) {};
    host.sgIo = AnswerAtOnce;
    platform::ScopedSystem scoped(std::make_unique<platform::linuxhost::LinuxSystem>(host));
    device::AtapiDevice device;
    device.OpenDrive(0);
    std::array<uint8_t, 12> write{0x3B, 0x02, 0, 0, 0, 0, 0, 0x08};
    for (auto _ : state)
        benchmark::DoNotOptimize(device.Execute(write, device::kDataOut, 2048));
    fs::remove_all(sysfs);
}
BENCHMARK(BM_ExecuteOverLinuxBackend);

void BM_BareAnswer(benchmark::State& state) {
    sg_io_hdr_t header{};
    for (auto _ : state)
        benchmark::DoNotOptimize(AnswerAtOnce(42, header));
}
BENCHMARK(BM_BareAnswer);
}  // namespace

BENCHMARK_MAIN();
