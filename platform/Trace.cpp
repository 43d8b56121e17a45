#include "platform/Trace.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <memory>

#ifndef _WIN32
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include "common/Crc32.h"
#include "common/Environment.h"
#include "common/Files.h"
#include "common/Text.h"
#include "common/WideText.h"

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
    std::string kind = common::NotARegularFile(path);
    if (!kind.empty() && kind != "does not exist") {
        error = "cannot open the trace file " + path + ": it " + kind;
        return false;
    }
    auto trace = std::make_unique<Trace>();
    trace->path_ = path;
#ifndef _WIN32
    // Made or opened without waiting, and judged by what was opened: a FIFO swapped in after the
    // look above still cannot stall the run.
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_NONBLOCK | O_CLOEXEC, 0644);
    struct stat st {};
    bool regular = fd >= 0 && ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
    if (fd >= 0) ::close(fd);
    if (fd >= 0 && !regular) {
        error = "cannot open the trace file " + path + ": it is not a regular file";
        return false;
    }
#endif
    trace->out_.open(common::FilePath(path), std::ios::binary | std::ios::app);
    if (!trace->out_) {
        error = "cannot open the trace file " + path;
        return false;
    }
    TraceSlot() = std::move(trace);
    return true;
}

bool Trace::OpenFromEnvironment(std::string& error) {
    const std::string path = common::EnvironmentValue("BRENVO_TRACE");
    if (path.empty()) return true;
    return OpenFile(path, error);
}

void Trace::Close() {
    TraceSlot().reset();
}

std::string Trace::Problem() {
    Trace* trace = Current();
    if (!trace) return "";
    std::lock_guard lock(trace->mutex_);
    return trace->problem_;
}

void Trace::Write(const nlohmann::ordered_json& line) {
    std::lock_guard lock(mutex_);
    if (!problem_.empty()) return;
    errno = 0;
    out_ << line.dump() << '\n';
    // Flushed at once: a trace is read most when a run ended badly.
    out_.flush();
    if (!out_) {
        problem_ = "the trace file " + path_ + " could not be written (" +
                   std::strerror(errno ? errno : EIO) + "); the trace is incomplete";
    }
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

void Trace::WritePassThrough(const std::string& device,
                             std::span<const uint8_t, kScsiRequestSize> request,
                             std::span<const uint8_t> data, bool answered, double seconds) {
    using namespace passthrough;
    const uint8_t* l = &request[kDataTransferLength];
    uint32_t length = l[0] | l[1] << 8 | l[2] << 16 | uint32_t{l[3]} << 24;
    uint32_t senseOffset = std::min<uint32_t>(request[kSenseInfoOffset], kScsiRequestSize - 14);
    int outcome = !answered ? 0 : (request[kScsiStatus] & 0x7E) == 0x02 ? 2 : 1;
    std::array<uint8_t, 3> sense{};
    if (outcome == 2) {
        sense = {static_cast<uint8_t>(request[senseOffset + 2] & 0x0F), request[senseOffset + 12],
                 request[senseOffset + 13]};
    }
    WriteCommand(device, request.subspan(kCdb, 12), length ? request[kDataIn] : 2,
                 data.first(std::min<size_t>(length, data.size())), outcome, sense, seconds);
}

}  // namespace platform
