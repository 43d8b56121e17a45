// Holding a drive's trace behind the kernel to the emulated PC's: what may differ and what may not.
#include <gtest/gtest.h>

#include <sstream>

#include "tools/tracecmp/TraceCompare.h"

// A namespace of its own: the Windows stage builds every test file as one.
namespace trace_compare_test {

std::string TracedCommand(const std::string& cdb, double seconds, int outcome = 1) {
    return R"({"device":"E:","cdb":")" + cdb +
           R"(","dir":2,"len":0,"head":"","crc32":0,"outcome":)" + std::to_string(outcome) +
           R"(,"sense":[0,0,0],"t":)" + std::to_string(seconds) + "}";
}

std::vector<std::string> CollapsedTrace(const std::vector<std::string>& lines) {
    std::stringstream text;
    for (const std::string& line : lines)
        text << line << "\n";
    return tracecmp::Collapsed(text);
}

const std::string kCdbTestUnitReady = "000000000000000000000000";
const std::string kCdbWriteBuffer = "3b0100000000000008000001";
const std::string kCdbReadBuffer = "3c0100000000000008000001";
const std::string kCdbVendorCommit = "f20400000000000200000001";
const std::string kCdbVendorStatus = "df1100000000000000000000";

TEST(TraceNormalise, DropsTheTimeAndWhatTheKernelDoesNotPassOn) {
    // Bytes 10 and 11 of a WRITE BUFFER and of a vendor command are lost behind the kernel; a READ
    // BUFFER's are kept, and no block is longer than 12 bytes.
    EXPECT_EQ(tracecmp::Normalise(TracedCommand(kCdbWriteBuffer, 1.5)),
              tracecmp::Normalise(TracedCommand("3b0100000000000008000000", 2.25)));
    EXPECT_EQ(tracecmp::Normalise(TracedCommand(kCdbVendorCommit, 0.1)),
              tracecmp::Normalise(TracedCommand("f2040000000000020000ffff", 0.2)));
    EXPECT_NE(tracecmp::Normalise(TracedCommand(kCdbReadBuffer, 0.1)),
              tracecmp::Normalise(TracedCommand("3c0100000000000008000000", 0.1)));
    EXPECT_EQ(tracecmp::Normalise(TracedCommand(kCdbTestUnitReady + "0000", 3)),
              tracecmp::Normalise(TracedCommand(kCdbTestUnitReady, 4)));
    // Everything else of the line counts.
    EXPECT_NE(tracecmp::Normalise(TracedCommand(kCdbWriteBuffer, 1, 1)),
              tracecmp::Normalise(TracedCommand(kCdbWriteBuffer, 1, 2)));
    EXPECT_EQ(tracecmp::Normalise("not a trace line"), "not a trace line");
}

TEST(TraceCompare, WaitsCollapseAndTheKernelsOwnCommandsAreAllowed) {
    // The drive's state polled until it answers otherwise.
    const auto reference =
        CollapsedTrace({TracedCommand(kCdbVendorStatus, 0, 2),
                        TracedCommand(kCdbVendorStatus, 1, 2), TracedCommand(kCdbVendorStatus, 2),
                        TracedCommand(kCdbWriteBuffer, 3), TracedCommand(kCdbVendorCommit, 4)});
    // Behind the kernel the wait polled more often, and the sr driver asked about the medium.
    const auto run = CollapsedTrace(
        {TracedCommand(kCdbVendorStatus, 0, 2), TracedCommand(kCdbVendorStatus, 0.1, 2),
         TracedCommand(kCdbVendorStatus, 0.2, 2), TracedCommand(kCdbVendorStatus, 0.3),
         TracedCommand("4a0100001000000008000000", 0.4), TracedCommand(kCdbWriteBuffer, 0.5),
         TracedCommand("250000000000000000000000", 0.6), TracedCommand(kCdbVendorCommit, 0.7)});
    const tracecmp::Comparison comparison = tracecmp::Compare(reference, run);
    EXPECT_TRUE(comparison.Equal()) << tracecmp::Report(comparison, reference);
    EXPECT_EQ(comparison.matched, 4u);
    EXPECT_EQ(comparison.kernelCommands, 2u);
}

TEST(TraceCompare, AMissingAChangedOrAnOutOfOrderCommandIsADifference) {
    const auto reference =
        CollapsedTrace({TracedCommand(kCdbTestUnitReady, 0), TracedCommand(kCdbWriteBuffer, 1),
                        TracedCommand(kCdbVendorCommit, 2)});

    const auto missing = tracecmp::Compare(
        reference,
        CollapsedTrace({TracedCommand(kCdbTestUnitReady, 0), TracedCommand(kCdbWriteBuffer, 1)}));
    EXPECT_FALSE(missing.Equal());
    EXPECT_NE(tracecmp::Report(missing, reference).find("missing from line 3: " + reference[2]),
              std::string::npos);

    // A vendor command the reference does not have is never the kernel's own.
    const auto extra = tracecmp::Compare(
        reference,
        CollapsedTrace({TracedCommand(kCdbTestUnitReady, 0), TracedCommand(kCdbWriteBuffer, 1),
                        TracedCommand(kCdbVendorStatus, 1.5), TracedCommand(kCdbVendorCommit, 2)}));
    EXPECT_FALSE(extra.Equal());
    ASSERT_EQ(extra.unexpected.size(), 1u);
    EXPECT_NE(extra.unexpected[0].find("df11"), std::string::npos);

    const auto reordered = tracecmp::Compare(
        reference,
        CollapsedTrace({TracedCommand(kCdbTestUnitReady, 0), TracedCommand(kCdbVendorCommit, 2),
                        TracedCommand(kCdbWriteBuffer, 1)}));
    EXPECT_FALSE(reordered.Equal());

    const auto answeredOtherwise = tracecmp::Compare(
        reference,
        CollapsedTrace({TracedCommand(kCdbTestUnitReady, 0), TracedCommand(kCdbWriteBuffer, 1, 2),
                        TracedCommand(kCdbVendorCommit, 2)}));
    EXPECT_FALSE(answeredOtherwise.Equal());
}

}  // namespace trace_compare_test
