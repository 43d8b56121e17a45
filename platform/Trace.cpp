#include "platform/Trace.h"

#include <algorithm>
#include <cstdlib>
#include <memory>

#include "common/Crc32.h"
#include "common/Text.h"

namespace platform {
namespace {
std::unique_ptr<Trace>& TraceSlot() {
    static std::unique_ptr<Trace> trace;
    return trace;
}
}  // namespace

Trace* Trace::Current() {
    return TraceSlot().get();
}

bool Trace::OpenFile(const std::string& path, std::string& error) {
    auto trace = std::make_unique<Trace>();
    trace->out_.open(path, std::ios::binary | std::ios::app);
    if (!trace->out_) {
        error = "cannot open the trace file " + path;
        return false;
    }
    TraceSlot() = std::move(trace);
    return true;
}

bool Trace::OpenFromEnvironment(std::string& error) {
    const char* path = std::getenv("BRENVO_TRACE");
    if (!path || !*path) return true;
    return OpenFile(path, error);
}

void Trace::Close() {
    TraceSlot().reset();
}

void Trace::Write(const nlohmann::ordered_json& line) {
    std::lock_guard lock(mutex_);
    out_ << line.dump() << '\n';
    // Flushed at once: a trace is read most when a run ended badly.
    out_.flush();
}

void Trace::WriteCommand(const std::string& device, std::span<const uint8_t> cdb, int direction,
                         std::span<const uint8_t> data, int outcome,
                         std::span<const uint8_t, 3> sense, double seconds) {
    nlohmann::ordered_json line;
    line["device"] = device;
    line["cdb"] = common::Hex(cdb);
    line["dir"] = direction;
    line["len"] = data.size();
    line["head"] = common::Hex(data.first(std::min<size_t>(16, data.size())));
    line["crc32"] = common::Crc32(data);
    line["outcome"] = outcome;
    line["sense"] = {sense[0], sense[1], sense[2]};
    line["t"] = seconds;
    Write(line);
}

void Trace::WriteShutdownBlock(const std::string& state, const std::string& detail) {
    nlohmann::ordered_json line;
    line["shutdownBlock"] = state;
    line["detail"] = detail;
    Write(line);
}

}  // namespace platform
