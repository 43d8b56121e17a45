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
    const std::string refused = "cannot open the trace file " + path + ": ";
    auto trace = std::make_unique<Trace>();
    trace->path_ = path;
#ifndef _WIN32
    // A device is not even opened (opening some has effects of their own), and what is there is
    // looked at, not followed.
    struct stat seen {};
    const bool there = ::lstat(path.c_str(), &seen) == 0;
    if (there && S_ISLNK(seen.st_mode)) {
        error = refused + "it is a symbolic link; name the file itself";
        return false;
    }
    if (there && !S_ISREG(seen.st_mode)) {
        error = refused + "it " + common::FileKind(seen.st_mode);
        return false;
    }
    // One open, which makes the file when it can and never follows a link; everything after
    // goes through this descriptor, judged by what it opened (a FIFO swapped in after the look
    // above still cannot stall the run: it is opened without waiting).
    constexpr int kFlags = O_WRONLY | O_APPEND | O_NOFOLLOW | O_NOCTTY | O_NONBLOCK | O_CLOEXEC;
    int fd = ::open(path.c_str(), kFlags | O_CREAT | O_EXCL, 0644);
    const bool made = fd >= 0;
    if (!made && errno == EEXIST) fd = ::open(path.c_str(), kFlags);
    if (fd < 0) {
        const int cause = errno;
        error = refused + (cause == ELOOP ? "it is a symbolic link; name the file itself"
                                          : std::string(std::strerror(cause)));
        return false;
    }
    struct stat opened {};
    std::string problem;
    if (::fstat(fd, &opened) != 0) {
        problem = std::strerror(errno);
    } else if (!S_ISREG(opened.st_mode)) {
        problem = "it " + common::FileKind(opened.st_mode);
    } else if (!made && opened.st_uid != ::geteuid()) {
        problem = "it belongs to another user; name a new file or one of your own";
    } else if (opened.st_nlink > 1) {
        problem = "it has " + std::to_string(opened.st_nlink) +
                  " names (hard links); name a new file or one of your own";
    }
    if (problem.empty()) {
        ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
        trace->out_.reset(::fdopen(fd, "a"));
        if (!trace->out_) problem = std::strerror(errno);
    }
    if (!problem.empty()) {
        if (!trace->out_) ::close(fd);
        error = refused + problem;
        return false;
    }
#else
    std::string kind = common::NotARegularFile(path);
    if (!kind.empty() && kind != "does not exist") {
        error = refused + "it " + kind;
        return false;
    }
    trace->out_.reset(::_wfopen(common::FilePath(path).c_str(), L"ab"));
    if (!trace->out_) {
        error = "cannot open the trace file " + path;
        return false;
    }
#endif
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
    const std::string text = line.dump() + "\n";
    bool written = std::fwrite(text.data(), 1, text.size(), out_.get()) == text.size();
    // Flushed at once: a trace is read most when a run ended badly.
    written = std::fflush(out_.get()) == 0 && written;
    if (!written) {
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
