// How long a direct flash of a 1 MiB image takes on the emulated IDE machine: about a million
// driver requests (one program and 128 single-byte reads per 128-byte chunk), with every wait of
// the sequence on the virtual clock.
#include <memory>
#include <vector>

#include <benchmark/benchmark.h>

#include "directide/RurDriver.h"
#include "platform/emulated/EmulatedSystem.h"
#include "platform/emulated/IdePresets.h"

namespace {
using platform::emulated::Family;
using platform::emulated::Machine;

std::vector<uint8_t> Image(size_t size) {
    std::vector<uint8_t> image(size);
    uint32_t state = 1;
    for (auto& b : image) {
        state = state * 1103515245u + 12345u;
        b = static_cast<uint8_t>(state >> 16);
    }
    return image;
}

void DirectFlash(benchmark::State& state, Family family, int slot, size_t size) {
    auto image = Image(size);
    int64_t requests = 0;
    double virtualSeconds = 0;
    for (auto _ : state) {
        state.PauseTiming();
        auto machine = std::make_shared<Machine>();
        platform::emulated::MakeIdeMachine(*machine, family);
        platform::ScopedSystem scope(std::make_unique<platform::emulated::EmulatedSystem>(machine));
        directide::RurDriver driver;
        driver.InstallAndOpen();
        driver.SelectSlot(slot);
        directide::IdeJob job;
        job.image = image.data();
        job.imageSize = static_cast<uint32_t>(image.size());
        driver.ConfigureRun(job);
        double start = machine->Clock().NowSeconds();
        state.ResumeTiming();

        driver.RunFlashing();

        state.PauseTiming();
        if (driver.flashResult != 0) state.SkipWithError("the flash failed");
        const auto& c = machine->ide.counters;
        requests = c.programRequests + c.pageRequests + static_cast<int64_t>(size);
        virtualSeconds = machine->Clock().NowSeconds() - start;
        state.ResumeTiming();
    }
    state.counters["chunk_requests"] = static_cast<double>(requests);
    state.counters["virtual_s"] = virtualSeconds;
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * size));
}

BENCHMARK_CAPTURE(DirectFlash, nt_1MiB_method1, Family::Nt, 0, size_t{0x100000})
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(DirectFlash, nt_256KiB_method0, Family::Nt, 3, size_t{0x40000})
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(DirectFlash, older_1MiB_method1, Family::Windows9x, 0, size_t{0x100000})
    ->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
