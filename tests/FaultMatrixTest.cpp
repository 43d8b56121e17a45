// The fault matrix's share of the test suite: every 20th generated case, judged both ways. The
// whole matrix runs by scripts/fault-matrix.sh.
#include <gtest/gtest.h>

#include "tests/matrix/FaultMatrix.h"

namespace {

TEST(FaultMatrix, EveryVerdictOfTheSubsetTellsTheTruth) {
    auto cases = matrix::GenerateCases(false);
    ASSERT_GT(cases.size(), 90u);
    for (const auto& c : cases) {
        matrix::Judgement j = matrix::RunInProcess(c);
        EXPECT_TRUE(j.verdict == matrix::Verdict::True || j.verdict == matrix::Verdict::Unknown)
            << c.name << ": " << matrix::VerdictName(j.verdict) << ": " << j.why;
        EXPECT_TRUE(j.historyChecked && j.historyWrong.empty()) << c.name << ": " << j.historyWrong;
    }
}

}  // namespace

// Drives that start in their boot loader: every verdict tells the truth, and the truth is the one
// wanted: the family's loader that one image names is recovered by --recover when nothing goes
// wrong, and by nothing else.
TEST(FaultMatrix, OnlyARecoveryAskedForTakesTheFamilysLoader) {
    int recovered = 0;
    for (const auto& c : matrix::GenerateCases(true)) {
        if (c.startsInLoader == matrix::Loader::None) continue;
        matrix::Judgement j = matrix::RunInProcess(c);
        EXPECT_EQ(j.verdict, matrix::Verdict::True) << c.name << ": " << j.why;
        const bool wanted = c.startsInLoader == matrix::Loader::Family && c.recover &&
                            !c.unattended && c.faults.empty();
        const bool said = j.transcript.find(": recovered, now QV12") != std::string::npos;
        EXPECT_EQ(said, wanted) << c.name << "\n" << j.transcript;
        recovered += said;
    }
    EXPECT_EQ(recovered, 3);  // the three pass-through paths
}
