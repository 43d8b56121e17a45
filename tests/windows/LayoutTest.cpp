// The layout checks of the pass-through request and its translation to the native structure.
#include <gtest/gtest.h>

#include "platform/windows/ScsiLayouts.h"

namespace {
using namespace platform::windows;

// The SDK's structure as a header packed one byte tight would declare it.
#pragma pack(push, 1)
struct PackedTight {
    USHORT Length;
    UCHAR ScsiStatus, PathId, TargetId, Lun, CdbLength, SenseInfoLength, DataIn;
    ULONG DataTransferLength, TimeOutValue;
    PVOID DataBuffer;
    ULONG SenseInfoOffset;
    UCHAR Cdb[16];
};
#pragma pack(pop)
// The same fields with a 32-bit buffer field: what a 64-bit build must not hand the system.
struct ThirtyTwoBitPointer {
    USHORT Length;
    UCHAR ScsiStatus, PathId, TargetId, Lun, CdbLength, SenseInfoLength, DataIn;
    ULONG DataTransferLength, TimeOutValue;
    ULONG DataBuffer;
    ULONG SenseInfoOffset;
    UCHAR Cdb[16];
};

TEST(PassThroughLayout, TheSdkStructureIsTheDocumentedOneAndBrokenPackingIsCaught) {
    EXPECT_EQ(LayoutOf<SCSI_PASS_THROUGH_DIRECT>(), kNativePassThrough);
    EXPECT_NE(LayoutOf<PackedTight>(), kNativePassThrough);
    EXPECT_EQ(LayoutOf<ThirtyTwoBitPointer>(), kPassThrough32);
    if (sizeof(void*) == 8) {
        EXPECT_NE(LayoutOf<ThirtyTwoBitPointer>(), kNativePassThrough);
        EXPECT_EQ(kNativePassThrough.size, 56u);
        EXPECT_EQ(kNativePassThrough.dataBuffer, 24u);
    }
}

TEST(PassThroughLayout, TheProgramsRequestTravelsAsTheNativeStructureAndBack) {
    std::array<uint8_t, platform::kScsiRequestSize> request{};
    request[0] = 44;
    request[3] = 1;                                              // PathId
    request[4] = 2;                                              // TargetId
    request[6] = 12;                                             // CdbLength
    request[7] = 24;                                             // SenseInfoLength
    request[8] = 1;                                              // data in
    request[12] = 0x00, request[13] = 0x08;                      // 2048 bytes
    request[16] = 0x30;                                          // 48 seconds
    request[20] = platform::kDataBufferRead;                     // the tag, not an address
    request[24] = 48;                                            // SenseInfoOffset
    request[28] = 0x3C, request[29] = 0x02, request[39] = 0x7F;  // the command block
    uint8_t buffer[2048];

    NativePassThrough native = ToNative(request, buffer);
    EXPECT_EQ(native.request.Length, sizeof(SCSI_PASS_THROUGH_DIRECT));
    EXPECT_EQ(native.request.PathId, 1);
    EXPECT_EQ(native.request.TargetId, 2);
    EXPECT_EQ(native.request.CdbLength, 12);
    EXPECT_EQ(native.request.SenseInfoLength, 24);
    EXPECT_EQ(native.request.DataIn, 1);
    EXPECT_EQ(native.request.DataTransferLength, 2048u);
    EXPECT_EQ(native.request.TimeOutValue, 48u);
    EXPECT_EQ(native.request.DataBuffer, buffer);
    EXPECT_EQ(native.request.Cdb[0], 0x3C);
    EXPECT_EQ(native.request.Cdb[11], 0x7F);
    // The sense area the system writes lies where the native request says.
    auto* base = reinterpret_cast<const uint8_t*>(&native);
    EXPECT_EQ(base + native.request.SenseInfoOffset, native.sense);

    native.request.ScsiStatus = 2;
    native.request.DataTransferLength = 512;
    native.sense[2] = 0x05, native.sense[12] = 0x24;
    FromNative(native, request);
    EXPECT_EQ(request[2], 2);
    EXPECT_EQ(request[12] | request[13] << 8, 512);
    EXPECT_EQ(request[48 + 2], 0x05);
    EXPECT_EQ(request[48 + 12], 0x24);
    EXPECT_EQ(request[20], platform::kDataBufferRead);  // the program's bytes keep their tag
}

}  // namespace
