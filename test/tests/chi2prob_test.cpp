// The chi-square tail probability: reference values, both cut-offs, the
// branch choices, and the console pauses of the numerical failures.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <string>

#include "common/number_types.h"
#include "tests/chi2prob/chi2prob.h"

namespace korvel {
namespace {

// The pauses read one line of standard input; at its end they go on at once.
class Chi2ProbTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { ASSERT_NE(std::freopen("/dev/null", "r", stdin), nullptr); }
};

void EXPECT_RELATIVE(EXTENDED actual, EXTENDED expected, EXTENDED tolerance) {
  EXPECT_LT(std::fabs(actual - expected), std::fabs(expected) * tolerance)
      << "actual " << static_cast<double>(actual) << ", expected " << static_cast<double>(expected);
}

TEST_F(Chi2ProbTest, ReferenceValuesOnEveryBranch) {
  EXPECT_RELATIVE(GAMMQ(0.5L, 10.0L), 7.744E-6L, 1.0E-3L);     // continued fraction
  EXPECT_RELATIVE(GAMMQ(1.0L, 1.0L), 0.3679L, 1.0E-3L);        // series
  EXPECT_RELATIVE(GAMMQ(1.5L, 3.9075L), 0.04999L, 1.0E-3L);    // 3 df at the 5 % point
  EXPECT_RELATIVE(GAMMQ(50.5L, 50.5L), 0.4813L, 1.0E-3L);      // 101 df, normal approximation
  EXPECT_RELATIVE(GAMMQ(60.0L, 73.2835L), 0.04999L, 1.0E-3L);  // 120 df, normal approximation
  EXPECT_RELATIVE(GAMMLN(0.5L), 0.5724L, 1.0E-3L);
}

TEST_F(Chi2ProbTest, GammaLogarithmFollowsLgammaOnBothSidesOfOne) {
  for (EXTENDED x : {0.1L, 0.5L, 0.9L, 1.0L, 1.5L, 2.0L, 7.5L, 50.0L, 300.0L}) {
    EXPECT_NEAR(static_cast<double>(GAMMLN(x)), static_cast<double>(std::lgamma(x)), 1.0E-8)
        << "at " << static_cast<double>(x);
  }
}

TEST_F(Chi2ProbTest, ChiSquareAboveTwoHundredIsZeroUpToHundredDf) {
  EXPECT_EQ(GAMMQ(0.5L, 100.01L), 0.0L);
  EXPECT_EQ(GAMMQ(50.0L, 100.5L), 0.0L);  // 100 df, chi-square 201
  // At exactly 200 the tail is still evaluated (about 1.2E-8 on 100 df).
  EXPECT_RELATIVE(GAMMQ(50.0L, 100.0L), 1.178E-8L, 1.0E-2L);
}

TEST_F(Chi2ProbTest, NormalApproximationAboveHundredDf) {
  // A deviate above 5 gives exactly 0.
  EXPECT_EQ(GAMMQ(60.0L, 300.0L), 0.0L);
  // A chi-square far below its df gives a negative deviate: 1 minus a small
  // tail, close to the series value.
  EXPECT_NEAR(static_cast<double>(GAMMQ(60.0L, 40.0L)), 0.99827, 1.0E-3);
  EXPECT_GT(GAMMQ(60.0L, 40.0L), 0.99L);
  EXPECT_LT(GAMMQ(60.0L, 40.0L), 1.0L);
  // Chi-square 0: the tail is 1, not a NaN from ln 0.
  EXPECT_EQ(GAMMQ(60.0L, 0.0L), 1.0L);
  // No cut-off at 200 above 100 df.
  EXPECT_GT(GAMMQ(150.0L, 150.0L), 0.4L);
}

TEST_F(Chi2ProbTest, SeriesBelowAPlusOneContinuedFractionFromAPlusOne) {
  EXTENDED GAMSER = 0.0L, GAMMCF = 0.0L, GLN = 0.0L;
  GCF(2.0L, 3.0L, GAMMCF, GLN);
  EXPECT_EQ(GAMMQ(2.0L, 3.0L), GAMMCF);
  const EXTENDED BELOW = std::nextafter(3.0L, 0.0L);
  GSER(2.0L, BELOW, GAMSER, GLN);
  EXPECT_EQ(GAMMQ(2.0L, BELOW), 1.0L - GAMSER);
  // Both agree with each other where they meet.
  EXPECT_NEAR(static_cast<double>(GAMMCF), static_cast<double>(1.0L - GAMSER), 1.0E-6);
}

TEST_F(Chi2ProbTest, ZeroChiSquareGivesOneAndOnlyZeroDfPauses) {
  testing::internal::CaptureStdout();
  EXPECT_EQ(GAMMQ(0.5L, 0.0L), 1.0L);
  EXPECT_EQ(GAMMQ(49.5L, 0.0L), 1.0L);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
  testing::internal::CaptureStdout();
  const EXTENDED Q = GAMMQ(0.0L, 0.0L);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "pause in GAMMQ - invalid arguments\n");
  EXPECT_EQ(Q, 1.0L);
  testing::internal::CaptureStdout();
  EXPECT_EQ(GAMMQ(0.0L, 3.5L), 1.0L);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "pause in GAMMQ - invalid arguments\n");
}

TEST_F(Chi2ProbTest, NegativeChiSquarePausesTwiceAndGivesOne) {
  testing::internal::CaptureStdout();
  const EXTENDED Q = GAMMQ(1.0L, -1.0L);
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "pause in GAMMQ - invalid arguments\npause in GSER - x less than 0\n");
  EXPECT_EQ(Q, 1.0L);
}

TEST_F(Chi2ProbTest, NoConvergenceWithinItmaxPausesAndGoesOn) {
  EXTENDED RESULT = 0.0L, GLN = 0.0L;
  testing::internal::CaptureStdout();
  GSER(1.0E7L, 1.0E7L, RESULT, GLN);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "pause in GSER - a too large, itmax too small\n");
  EXPECT_TRUE(std::isfinite(RESULT));
  testing::internal::CaptureStdout();
  GCF(1.0E9L, 1.0E9L + 1.0L, RESULT, GLN);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "pause in GCF - a too large, itmax too small\n");
}

}  // namespace
}  // namespace korvel
