// brenvo-pack's manifest reader on any text. The manifest's folder holds fw.bin (a 2048-byte
// image) and key.bin (a key table), so a manifest can name real files as well as missing ones.
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>

#include "common/JsonFields.h"
#include "package/PackageBlock.h"
#include "tools/pack/Manifest.h"
#include "tools/pack/Packer.h"

namespace {
std::string folder;

void Write(const std::string& path, const void* bytes, size_t size) {
    std::ofstream(path, std::ios::binary | std::ios::trunc)
        .write(static_cast<const char*>(bytes), static_cast<std::streamsize>(size));
}
}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    folder = (std::filesystem::temp_directory_path() /
              ("brenvo-manifest-fuzz-" + std::to_string(getpid())))
                 .string();
    std::filesystem::create_directories(folder);
    std::string image(2048, '\x5a'), key(1024, '\x11');
    Write(folder + "/fw.bin", image.data(), image.size());
    Write(folder + "/key.bin", key.data(), key.size());
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // The text is read as it is, not written to a file first: a run costs what the reading
    // costs. One block serves every run; each starts from the same bytes before the image area,
    // and the images it places are all the checks read of the rest.
    static std::vector<uint8_t> block(package::kBlockSize);
    std::fill_n(block.begin(), package::kImageAreaOffset, uint8_t{0});
    try {
        pack::Manifest manifest = pack::ParseManifest(
            std::string_view(reinterpret_cast<const char*>(data), size), folder + "/manifest.json");
        // A manifest that reads is one brenvo-pack may write; placing it may still refuse.
        pack::WritePackage(manifest, block);
        if (!pack::VerifyPackage(manifest, block).empty()) __builtin_trap();
    } catch (const common::JsonError&) {
    } catch (const pack::PackError&) {
    }
    return 0;
}
