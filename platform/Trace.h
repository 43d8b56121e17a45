// The command trace: BRENVO_TRACE=file records every command and driver request the program
// sends, one JSON object a line, in the order the device received them.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <mutex>
#include <span>
#include <string>

#include <nlohmann/json.hpp>

#include "platform/ScsiRequest.h"

namespace platform {

class Trace {
  public:
    // The trace of this process, or null when BRENVO_TRACE is not set.
    static Trace* Current();
    // Opens (appends to) the file named by BRENVO_TRACE; false with `error` when it cannot, or
    // when it names anything but a regular file (a FIFO would stall the program, a device swallow
    // the trace). The name is opened once, never through a link, and what was opened is kept
    // only if this open made it or it is a file of this program's user with no other name (hard
    // link): the trace never appends to a file someone else chose for it.
    static bool OpenFromEnvironment(std::string& error);
    // Why lines of the trace were lost ("the trace file t.jsonl could not be written: No space
    // left on device"), or empty while every line reached the file.
    static std::string Problem();
    // For tests: trace into the given file until Close.
    static bool OpenFile(const std::string& path, std::string& error);
    static void Close();

    void Write(const nlohmann::ordered_json& line);
    // One command as the drive received it: its block, direction, the data (the first 16 bytes
    // and a CRC-32 of all), the outcome (1 good, 2 check condition, 0 no answer), sense key, ASC
    // and ASCQ, and the time in seconds. Every backend writes commands in this one form.
    void WriteCommand(const std::string& device, std::span<const uint8_t> cdb, int direction,
                      std::span<const uint8_t> data, int outcome, std::span<const uint8_t, 3> sense,
                      double seconds);
    // Sleep and shutdown held off for a flash: `state` "held", "released" or "not held" (the
    // system offered no way to), with what the backend asked for or why it could not.
    void WriteShutdownBlock(const std::string& state, const std::string& detail);
    // One command of a real system's SCSI pass-through, read from the request as it came back:
    // the block, direction and length, and, when the system answered (`answered`), the SCSI
    // status and the sense it wrote into the request.
    void WritePassThrough(const std::string& device,
                          std::span<const uint8_t, kScsiRequestSize> request,
                          std::span<const uint8_t> data, bool answered, double seconds);

  private:
    std::mutex mutex_;
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> out_{nullptr, &std::fclose};
    std::string path_;
    std::string problem_;
};

}  // namespace platform
