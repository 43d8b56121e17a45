// The package block's start-up parse and brenvo-pack --show on any bytes in the block's
// configuration part (texts, option digits, image places, key tables). The image area keeps the
// unpackaged program's bytes.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

#include "package/Package.h"
#include "package/PackageBlock.h"
#include "tools/pack/Packer.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const std::vector<uint8_t> unpackaged = [] {
        std::vector<uint8_t> block(package::kBlockSize);
        package::WriteUnpackagedBlock(block);
        return block;
    }();
    static std::vector<uint8_t> block = unpackaged;
    const size_t header = std::min(size, package::kImageAreaOffset);
    std::memcpy(block.data(), unpackaged.data(), package::kImageAreaOffset);
    std::memcpy(block.data(), data, header);

    package::Package p(block);
    package::ParseResult parsed = p.Parse();
    if (parsed.ok()) {
        for (int i = 0; i < p.Options().imageCount; ++i)
            p.SelectImage(i);
    }
    // brenvo-pack --show judges the package as the program does.
    bool usable = false;
    pack::DescribePackage(block, usable);
    if (usable != parsed.ok()) __builtin_trap();
    return 0;
}
