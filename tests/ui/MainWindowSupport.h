// A packaged block in memory and the emulated PCs of the bench presets, for the main window's
// tests.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "package/OptionNames.h"
#include "package/Package.h"
#include "package/PackageBlock.h"
#include "platform/emulated/FirmwareImage.h"
#include "tests/EngineTestSupport.h"
#include "tests/TestMachine.h"
#include "tools/bench/Presets.h"
#include "tools/pack/Packer.h"

namespace main_testing {

// The shipped options: variant 0, English, warnNewer, commit variant, reboot after success with
// the question, stay after success, one image.
using package::kShippedOptions;

// The options with digit `digit` (1-based, as the block counts them) set to `value`.
inline std::string WithDigit(const std::string& options, int digit, char value) {
    return testing_support::Options({{digit, value}}, options);
}

// One 1 MiB image that gives drives revision QV13, for drives from QV10 to QV19.
inline pack::Manifest QuorvantManifest(const std::string& options = kShippedOptions) {
    pack::Manifest manifest;
    manifest.title = "Firmware Flasher - QV13 - DVD-RW QV-1600";
    manifest.driveName = "DVD-RW QV-1600";
    manifest.buildDate = "2026/12/07";
    manifest.options = options;
    pack::ImageSpec image;
    image.file = "fw1.bin";
    image.data = platform::emulated::MakeFirmwareImage("QV13", "QV13-00", 1 << 20);
    image.key = testing_support::KeyBytes(12);
    image.newRevision = "QV13";
    image.constraints.push_back({"QV10", "QV19", "", ""});
    manifest.images.push_back(std::move(image));
    return manifest;
}

// The block a packaged program would carry, and the package the window reads from it.
struct PackagedBlock {
    explicit PackagedBlock(const pack::Manifest& manifest) : bytes(package::kBlockSize) {
        pack::WritePackage(manifest, bytes);
    }
    std::vector<uint8_t> bytes;
    package::Package package{bytes};
};

// Two drives the package takes: E: empty, F: holding a disc in a tray nobody can open.
inline void EmptyEAndLockedDiscInF(platform::emulated::Machine& m) {
    m.drives.clear();
    for (int i = 0; i < 2; ++i) {
        auto d = benchtool::QuorvantDrive(i ? "F:" : "E:", "1:0:" + std::to_string(i) + ":0");
        d.medium = i == 1;
        d.trayLocked = i == 1;
        m.drives.push_back(std::make_shared<platform::emulated::OpticalDrive>(d));
    }
}

// An emulated PC made as `brenvo-bench new --preset NAME` makes it, changed by `configure`.
template <typename Configure>
std::unique_ptr<testing_support::TestMachine> PresetMachine(const std::string& preset,
                                                            Configure configure) {
    return std::make_unique<testing_support::TestMachine>(
        [&](platform::emulated::Machine& machine) {
            benchtool::ApplyPreset(preset, machine);
            configure(machine);
        });
}
inline std::unique_ptr<testing_support::TestMachine> PresetMachine(const std::string& preset) {
    return PresetMachine(preset, [](platform::emulated::Machine&) {});
}

}  // namespace main_testing
