// The bench loader on any text. A bench it accepts must be written back as one it accepts again;
// on a virtual clock (which stands still) a second round writes the same text.
#include <cstdint>
#include <string>

#include "platform/emulated/BenchFile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace platform::emulated;
    std::string text(reinterpret_cast<const char*>(data), size);
    std::shared_ptr<Machine> machine;
    try {
        machine = ParseBench(text, "fuzz.json");
    } catch (const BenchError&) {
        return 0;
    }
    const std::string first = SerializeBench(*machine);
    std::string second;
    try {
        second = SerializeBench(*ParseBench(first, "written.json"));
    } catch (const BenchError&) {
        __builtin_trap();
    }
    if (!machine->clockSettings.paced && second != first) __builtin_trap();
    return 0;
}
