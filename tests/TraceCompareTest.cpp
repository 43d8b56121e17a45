// Holding a drive's trace behind the kernel to the emulated PC's: what may differ and what may not.
#include <gtest/gtest.h>

#include <sstream>

#include "tools/tracecmp/TraceCompare.h"

namespace {

std::string Command(const std::string& cdb, double seconds, int outcome = 1) {
    return R"({"device":"E:","cdb":")" + cdb +
           R"(","dir":2,"len":0,"head":"","crc32":0,"outcome":)" + std::to_string(outcome) +
           R"(,"sense":[0,0,0],"t":)" + std::to_string(seconds) + "}";
}

std::vector<std::string> Trace(const std::vector<std::string>& lines) {
    std::stringstream text;
    for (const std::string& line : lines)
        text << line << "\n";
    return tracecmp::Collapsed(text);
}

const std::string kTestUnitReady = "000000000000000000000000";
const std::string kWriteBuffer = "3b0100000000000008000001";
const std::string kReadBuffer = "3c0100000000000008000001";
const std::string kVendor = "f20400000000000200000001";
const std::string kVendorStatus = "df1100000000000000000000";

TEST(TraceNormalise, DropsTheTimeAndWhatTheKernelDoesNotPassOn) {
    // Bytes 10 and 11 of a WRITE BUFFER and of a vendor command are lost behind the kernel; a READ
    // BUFFER's are kept, and no block is longer than 12 bytes.
    EXPECT_EQ(tracecmp::Normalise(Command(kWriteBuffer, 1.5)),
              tracecmp::Normalise(Command("3b0100000000000008000000", 2.25)));
    EXPECT_EQ(tracecmp::Normalise(Command(kVendor, 0.1)),
              tracecmp::Normalise(Command("f2040000000000020000ffff", 0.2)));
    EXPECT_NE(tracecmp::Normalise(Command(kReadBuffer, 0.1)),
              tracecmp::Normalise(Command("3c0100000000000008000000", 0.1)));
    EXPECT_EQ(tracecmp::Normalise(Command(kTestUnitReady + "0000", 3)),
              tracecmp::Normalise(Command(kTestUnitReady, 4)));
    // Everything else of the line counts.
    EXPECT_NE(tracecmp::Normalise(Command(kWriteBuffer, 1, 1)),
              tracecmp::Normalise(Command(kWriteBuffer, 1, 2)));
    EXPECT_EQ(tracecmp::Normalise("not a trace line"), "not a trace line");
}

TEST(TraceCompare, WaitsCollapseAndTheKernelsOwnCommandsAreAllowed) {
    // The drive's state polled until it answers otherwise.
    const auto reference =
        Trace({Command(kVendorStatus, 0, 2), Command(kVendorStatus, 1, 2),
               Command(kVendorStatus, 2), Command(kWriteBuffer, 3), Command(kVendor, 4)});
    // Behind the kernel the wait polled more often, and the sr driver asked about the medium.
    const auto run = Trace({Command(kVendorStatus, 0, 2), Command(kVendorStatus, 0.1, 2),
                            Command(kVendorStatus, 0.2, 2), Command(kVendorStatus, 0.3),
                            Command("4a0100001000000008000000", 0.4), Command(kWriteBuffer, 0.5),
                            Command("250000000000000000000000", 0.6), Command(kVendor, 0.7)});
    const tracecmp::Comparison comparison = tracecmp::Compare(reference, run);
    EXPECT_TRUE(comparison.Equal()) << tracecmp::Report(comparison, reference);
    EXPECT_EQ(comparison.matched, 4u);
    EXPECT_EQ(comparison.kernelCommands, 2u);
}

TEST(TraceCompare, AMissingAChangedOrAnOutOfOrderCommandIsADifference) {
    const auto reference =
        Trace({Command(kTestUnitReady, 0), Command(kWriteBuffer, 1), Command(kVendor, 2)});

    const auto missing =
        tracecmp::Compare(reference, Trace({Command(kTestUnitReady, 0), Command(kWriteBuffer, 1)}));
    EXPECT_FALSE(missing.Equal());
    EXPECT_NE(tracecmp::Report(missing, reference).find("missing from line 3: " + reference[2]),
              std::string::npos);

    // A vendor command the reference does not have is never the kernel's own.
    const auto extra =
        tracecmp::Compare(reference, Trace({Command(kTestUnitReady, 0), Command(kWriteBuffer, 1),
                                            Command(kVendorStatus, 1.5), Command(kVendor, 2)}));
    EXPECT_FALSE(extra.Equal());
    ASSERT_EQ(extra.unexpected.size(), 1u);
    EXPECT_NE(extra.unexpected[0].find("df11"), std::string::npos);

    const auto reordered = tracecmp::Compare(
        reference,
        Trace({Command(kTestUnitReady, 0), Command(kVendor, 2), Command(kWriteBuffer, 1)}));
    EXPECT_FALSE(reordered.Equal());

    const auto answeredOtherwise = tracecmp::Compare(
        reference,
        Trace({Command(kTestUnitReady, 0), Command(kWriteBuffer, 1, 2), Command(kVendor, 2)}));
    EXPECT_FALSE(answeredOtherwise.Equal());
}

}  // namespace
