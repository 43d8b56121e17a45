// The program's own package block: one block of initialised data, rewritten in the executable
// file by the packaging step. Kept in its own unit so that only programs that carry a package
// link it.
#include <array>

#include "package/PackageBlock.h"
#include "package/UnpackagedHeader.h"

namespace package {
namespace {

struct BlockStorage {
    std::array<uint8_t, kImageAreaOffset> header;
    std::array<uint8_t, kImageAreaSize> imageArea;
};
static_assert(sizeof(BlockStorage) == kBlockSize);

constexpr std::array<uint8_t, kImageAreaOffset> MakeHeader() {
    std::array<uint8_t, kImageAreaOffset> header{};
    BuildUnpackagedHeader(header);
    return header;
}

// Not const: start-up writes terminators into the constraint entries, and the bytes must stay
// in the file's initialised data, where the packaging step rewrites them.
constinit BlockStorage ownBlock{MakeHeader(), {}};

}  // namespace

std::span<uint8_t> OwnBlock() {
    return {reinterpret_cast<uint8_t*>(&ownBlock), kBlockSize};
}

}  // namespace package
