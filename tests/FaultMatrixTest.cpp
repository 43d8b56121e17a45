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
