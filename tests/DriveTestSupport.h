// Emulated PCs with optical drives, a System that records what crosses the seam, and the trace
// read back as JSON, for the tests of the SCSI path.
#pragma once

#include <atomic>
#include <fstream>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "platform/MessageBox.h"
#include "platform/Trace.h"
#include "platform/emulated/EmulatedSystem.h"
#include "tests/TestMachine.h"
#include "tools/bench/Presets.h"

namespace testing_support {

// Records the requests of both transports before the emulated PC answers them.
class RecordingSystem : public platform::emulated::EmulatedSystem {
  public:
    using EmulatedSystem::EmulatedSystem;

    platform::Status ScsiPassThroughDirect(platform::Handle drive,
                                           std::span<uint8_t, platform::kScsiRequestSize> request,
                                           std::span<uint8_t> data) override {
        Record(request, data);
        return EmulatedSystem::ScsiPassThroughDirect(drive, request, data);
    }
    uint32_t SendASPI32Command(std::span<uint8_t> srb, std::span<uint8_t> data) override {
        Record(srb, data);
        return EmulatedSystem::SendASPI32Command(srb, data);
    }
    uint32_t WaitForSingleObject(platform::Handle handle, uint32_t milliseconds) override {
        ++waits;
        return EmulatedSystem::WaitForSingleObject(handle, milliseconds);
    }

    // Several flash workers may send at once.
    void Record(std::span<const uint8_t> request, std::span<const uint8_t> data) {
        std::lock_guard lock(mutex_);
        requests.emplace_back(request.begin(), request.end());
        dataSizes.push_back(data.size());
    }
    void Clear() {
        std::lock_guard lock(mutex_);
        requests.clear();
        dataSizes.clear();
    }

    std::mutex mutex_;
    std::vector<std::vector<uint8_t>> requests;  // as sent, before the answer
    std::vector<size_t> dataSizes;
    std::atomic<int> waits = 0;
};

// A machine set up by a preset (and `configure`), with a RecordingSystem installed.
class DriveBench {
  public:
    template <typename Configure>
    DriveBench(const std::string& preset, Configure configure)
        : machine_(std::make_shared<platform::emulated::Machine>()) {
        benchtool::ApplyPreset(preset, *machine_);
        configure(*machine_);
        auto system = std::make_unique<RecordingSystem>(machine_);
        recorder_ = system.get();
        scope_ = std::make_unique<platform::ScopedSystem>(std::move(system));
    }
    explicit DriveBench(const std::string& preset)
        : DriveBench(preset, [](platform::emulated::Machine&) {}) {}

    platform::emulated::Machine& machine() { return *machine_; }
    platform::emulated::OpticalDrive& drive(size_t i) { return *machine_->drives.at(i); }
    RecordingSystem& recorder() { return *recorder_; }
    double Now() { return machine_->Clock().NowSeconds(); }

  private:
    std::shared_ptr<platform::emulated::Machine> machine_;
    RecordingSystem* recorder_ = nullptr;
    std::unique_ptr<platform::ScopedSystem> scope_;
};

// Adds a fault to the settings of a drive before the bench is built.
inline void AddFault(platform::emulated::Machine& m, size_t drive,
                     platform::emulated::DriveFault fault) {
    auto settings = m.drives.at(drive)->Settings();
    settings.faults.push_back(fault);
    m.drives[drive] = std::make_shared<platform::emulated::OpticalDrive>(std::move(settings));
}

// Changes the settings of a drive before the bench is built.
template <typename Change>
void ChangeDrive(platform::emulated::Machine& m, size_t drive, Change change) {
    auto settings = m.drives.at(drive)->Settings();
    change(settings);
    m.drives[drive] = std::make_shared<platform::emulated::OpticalDrive>(std::move(settings));
}

// The trace of the test, read back line by line.
class TraceCapture {
  public:
    TraceCapture() {
        std::string error;
        platform::Trace::OpenFile(dir_.File("trace.jsonl"), error);
    }
    ~TraceCapture() { platform::Trace::Close(); }

    std::vector<nlohmann::json> Lines() const {
        std::vector<nlohmann::json> lines;
        std::ifstream in(dir_.File("trace.jsonl"));
        for (std::string line; std::getline(in, line);)
            lines.push_back(nlohmann::json::parse(line));
        return lines;
    }

  private:
    TempDir dir_;
};

// Message boxes shown during the test.
class MessageBoxCapture {
  public:
    MessageBoxCapture() {
        previous_ = platform::SetMessageBoxHandler(
            [this](const platform::MessageBoxRequest& r) { shown.push_back(r); });
    }
    ~MessageBoxCapture() { platform::SetMessageBoxHandler(std::move(previous_)); }
    std::vector<platform::MessageBoxRequest> shown;

  private:
    platform::MessageBoxHandler previous_;
};

}  // namespace testing_support
