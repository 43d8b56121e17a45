// The flash worker: one thread per drive being updated. It unscrambles its own copy of the image,
// flashes it over the SCSI path or hands it to the direct-IDE sequence, and leaves a result byte
// in the device object.
#pragma once

#include <cstdint>
#include <functional>

#include "device/AtapiDevice.h"
#include "directide/IdeJob.h"
#include "directide/RurDriver.h"

namespace engine {

// The worker's status in AtapiDevice::workerStatus.
inline constexpr uint8_t kWorkerSucceeded = 0;
inline constexpr uint8_t kWorkerFailed = 42;
// The final commit timed out: the drive may or may not have finished writing its flash.
inline constexpr uint8_t kWorkerUnknown = 43;
// A verified download is followed by this pause before the worker ends.
inline constexpr uint32_t kSettleAfterVerifiedMs = 1000;

struct FlashJob {
    directide::RurDriver* ideDevice = nullptr;   // only with useDirectIde
    device::AtapiDevice* driveDevice = nullptr;  // only without useDirectIde
    uint8_t* image = nullptr;                    // the worker's own scrambled copy
    const uint8_t* keyTable = nullptr;           // 1024 bytes of the package
    int32_t imageSize = 0;
    bool commitVariant = false;
    bool useDirectIde = false;
    directide::IdeJob ideJob;  // filled only with useDirectIde
};

class Parser {
  public:
    using Post = std::function<void(std::function<void()>)>;

    // Starts a worker for the job. The caller has counted it already; `completion` is attached
    // before the thread runs and is delivered through `post` (to the user-interface thread) once
    // the job is done. The worker frees itself.
    static void Start(const FlashJob& job, std::function<void()> completion, Post post);

    // The thread body: the whole job on the calling thread.
    static void Execute(FlashJob job);
};

}  // namespace engine
