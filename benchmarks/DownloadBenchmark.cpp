// How fast the downloads run on the emulated drive: the program's own work per command (request
// building, buffers, comparisons) plus the emulator's, with the drive's time on the virtual clock.
#include <benchmark/benchmark.h>

#include <memory>

#include "device/AtapiDevice.h"
#include "engine/Downloads.h"
#include "platform/System.h"
#include "platform/emulated/EmulatedSystem.h"
#include "platform/emulated/FirmwareImage.h"
#include "tools/bench/Presets.h"

namespace {
using platform::emulated::CommandKind;

struct Bench {
    explicit Bench(const std::string& preset)
        : machine(std::make_shared<platform::emulated::Machine>()) {
        benchtool::ApplyPreset(preset, *machine);
        scope = std::make_unique<platform::ScopedSystem>(
            std::make_unique<platform::emulated::EmulatedSystem>(machine));
        device = std::make_unique<device::AtapiDevice>();
        device->OpenDrive(0);
    }
    int Commands() { return machine->drives[0]->Received(CommandKind::Any); }

    std::shared_ptr<platform::emulated::Machine> machine;
    std::unique_ptr<platform::ScopedSystem> scope;
    std::unique_ptr<device::AtapiDevice> device;
};

void VerifiedDownloadOneMebibyte(benchmark::State& state) {
    Bench bench("typical");
    // Two images in turn, so every commit changes the flash.
    std::vector<uint8_t> images[2] = {platform::emulated::MakeFirmwareImage("QV12", "", 1 << 20),
                                      platform::emulated::MakeFirmwareImage("QV13", "", 1 << 20)};
    int before = bench.Commands();
    size_t round = 0;
    for (auto _ : state) {
        if (!engine::VerifiedDownload(*bench.device, images[round++ % 2], false)) {
            state.SkipWithError("the download failed");
            break;
        }
    }
    state.counters["commands/s"] =
        benchmark::Counter(bench.Commands() - before, benchmark::Counter::kIsRate);
}
BENCHMARK(VerifiedDownloadOneMebibyte)->Unit(benchmark::kMillisecond);

void BankDownload128KiB(benchmark::State& state) {
    Bench bench("bank");
    std::vector<uint8_t> images[2] = {platform::emulated::MakeFirmwareImage("QV12", "", 128 << 10),
                                      platform::emulated::MakeFirmwareImage("QV13", "", 128 << 10)};
    int before = bench.Commands();
    size_t round = 0;
    for (auto _ : state) {
        if (!engine::BankDownload(*bench.device, images[round++ % 2], engine::kBankChunkSize,
                                  false)) {
            state.SkipWithError("the download failed");
            break;
        }
    }
    state.counters["commands/s"] =
        benchmark::Counter(bench.Commands() - before, benchmark::Counter::kIsRate);
}
BENCHMARK(BankDownload128KiB)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
