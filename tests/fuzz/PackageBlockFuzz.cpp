// The package block's start-up parse and brenvo-pack --show on any bytes in the block's
// configuration part (texts, option digits, image places, key tables). The image area keeps the
// unpackaged program's bytes. Image sizes are cut to at most 16 KiB (their starts stay anywhere in
// the 2 MiB area) so that a run costs well under a millisecond: what the code does with an image
// does not depend on its length, and the checksum and the image's place are checked as given.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

#include "package/Package.h"
#include "package/PackageBlock.h"
#include "package/PackageFile.h"
#include "package/PackageFlaws.h"

constexpr int64_t kLargestImage = 16 * 1024;

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
    for (int n = 1; n <= package::kMaxImages; ++n) {
        char* digits = reinterpret_cast<char*>(block.data() + package::BinSizeValueOffset(n));
        int64_t value = package::DecimalValue(
            package::FieldText(block, package::BinSizeValueOffset(n), package::kNumberDigits + 1));
        if (value > kLargestImage) {
            char shorter[package::kNumberDigits + 1];
            std::snprintf(shorter, sizeof shorter, "%0*lld",
                          static_cast<int>(package::kNumberDigits),
                          static_cast<long long>(value % (kLargestImage + 1)));
            std::memcpy(digits, shorter, package::kNumberDigits);
        }
    }

    // Start-up writes terminators into the block it parses; brenvo-pack --show reads the file
    // afresh, so it judges the block as packed.
    std::vector<uint8_t> asPacked = block;
    package::Package p(block);
    package::ParseResult parsed = p.Parse();
    // What the packer now refuses can still parse: --show calls such a package unusable.
    const bool flawless = parsed.ok() && package::PackageFlaws(p).empty();
    if (parsed.ok()) {
        for (int i = 0; i < p.Options().imageCount; ++i)
            p.SelectImage(i);
    }
    // brenvo-pack --show judges the package as the program does.
    bool usable = false;
    package::DescribePackage(asPacked, usable);
    if (usable != flawless) __builtin_trap();
    return 0;
}
