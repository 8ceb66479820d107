// korvel-sweep: generations for a target F'st, the template rewrite, point
// seeds, the binomial intervals and the calibration limit.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "support/tricky_template.h"
#include "sweep.h"

namespace {

using korvel::sweep::EXPECTED_FST;
using korvel::sweep::GENERATIONS_FOR_TARGET;
using korvel::sweep::NULL_REJECTION_LIMIT;
using korvel::sweep::PARSE_TEMPLATE;
using korvel::sweep::POINT_SEED;
using korvel::sweep::PointValues;
using korvel::sweep::REWRITE_TEMPLATE;
using korvel::sweep::SweepError;
using korvel::sweep::UsageError;
using korvel::sweep::WILSON_INTERVAL;

// ---- Generations and expected F'st -------------------------------------

TEST(SweepDrift, ExpectedFstMatchesTheReportedValue) {
  // N = 100, t = 10: 1 - 0.995^10 = 0.048889..., reported as 0.0489.
  EXPECT_NEAR(static_cast<double>(EXPECTED_FST(100, 10)), 0.04888987, 1e-8);
  EXPECT_EQ(EXPECTED_FST(100, 0), 0.0L);
  EXPECT_EQ(EXPECTED_FST(1, 1), 0.5L);
}

TEST(SweepDrift, GenerationsAreTheNearestWholeNumberForSeveralSizes) {
  for (int n : {1, 10, 50, 100, 500, 1000, 5000, 16383}) {
    for (long double target : {0.0005L, 0.001L, 0.0025L, 0.005L, 0.01L, 0.02L, 0.05L, 0.1L, 0.3L}) {
      SCOPED_TRACE("N = " + std::to_string(n) + ", F = " + std::to_string(static_cast<double>(target)));
      long double exact = std::log(1.0L - target) / std::log(1.0L - 1.0L / (2.0L * n));
      if (exact > 32767.5L) {
        EXPECT_THROW(GENERATIONS_FOR_TARGET(target, n), UsageError);
        continue;
      }
      const int t = GENERATIONS_FOR_TARGET(target, n);
      EXPECT_GE(t, 1);
      if (exact >= 1.0L) {
        EXPECT_LE(std::fabs(static_cast<long double>(t) - exact), 0.5L);
      }
      // The realised F'st brackets the target within half a generation.
      const long double lower = 1.0L - std::pow(1.0L - 1.0L / (2.0L * n), t - 0.5L);
      const long double upper = 1.0L - std::pow(1.0L - 1.0L / (2.0L * n), t + 0.5L);
      if (t > 1) {
        EXPECT_LE(lower, target);
      }
      EXPECT_GE(upper, target);
    }
  }
}

TEST(SweepDrift, RoundTripFromGenerationsBackToGenerations) {
  for (int n : {2, 25, 100, 1000, 16383}) {
    for (int t = 1; t <= 400; t += (t < 20 ? 1 : 37)) {
      const long double fst = EXPECTED_FST(n, t);
      if (fst > 0.999999L) break;  // no longer tells neighbouring t apart
      EXPECT_EQ(GENERATIONS_FOR_TARGET(fst, n), t) << "N = " << n << ", t = " << t;
    }
  }
}

TEST(SweepDrift, TinyTargetsTakeOneGenerationAndImpossibleOnesAreRefused) {
  EXPECT_EQ(GENERATIONS_FOR_TARGET(1e-9L, 100), 1);
  EXPECT_EQ(GENERATIONS_FOR_TARGET(0.0L, 100), 0);  // no drift
  EXPECT_THROW(GENERATIONS_FOR_TARGET(1.0L, 100), UsageError);
  EXPECT_THROW(GENERATIONS_FOR_TARGET(-0.01L, 100), UsageError);
  EXPECT_THROW(GENERATIONS_FOR_TARGET(0.01L, 0), UsageError);
  EXPECT_THROW(GENERATIONS_FOR_TARGET(0.01L, 16384), UsageError);
  // 0.99 with N = 16383 needs about 150 900 generations.
  EXPECT_THROW(GENERATIONS_FOR_TARGET(0.99L, 16383), UsageError);
}

// ---- Template ----------------------------------------------------------

const std::string& TRICKY = korvel::testing::TRICKY_TEMPLATE;

TEST(SweepTemplate, FactsOfTheTemplate) {
  const auto tmpl = PARSE_TEMPLATE("T.IN", TRICKY);
  EXPECT_EQ(tmpl.facts.drift_size, 500);
  EXPECT_EQ(tmpl.facts.generations, 10);
  EXPECT_EQ(tmpl.facts.runs, 100);
  EXPECT_EQ(tmpl.facts.loci, 2);
  EXPECT_EQ(tmpl.facts.sample_sizes, (std::vector<int>{50, 50, 50}));
  EXPECT_TRUE(tmpl.facts.chi2_on && tmpl.facts.fisher_on);
  EXPECT_EQ(tmpl.facts.iter3, 500);
}

// Every byte but the changed tokens and the second comment is kept.
TEST(SweepTemplate, RewriteChangesOnlyThePointsValues) {
  const auto tmpl = PARSE_TEMPLATE("T.IN", TRICKY);
  std::string expected = TRICKY;
  expected.replace(expected.find("+10 generations"), 3, "7");
  expected.replace(expected.find("\f 0500"), 6, "\f 1234");
  expected.replace(expected.find("second comment 123 456"), 22, "point 7");
  EXPECT_EQ(REWRITE_TEMPLATE(tmpl, PointValues{1234, 7, std::nullopt, std::nullopt}, "point 7"), expected);
  EXPECT_EQ(tmpl.document.TEXT, TRICKY);

  // Sample sizes spread over two lines, and the first locus only: the
  // second locus's line goes, the lines before it stay.
  std::string smaller = TRICKY;
  smaller.replace(smaller.find("50 50\r\n  50 samples"), 19, "9 9\r\n  9 samples");
  smaller.replace(smaller.find("2   loci"), 1, "1");
  smaller.replace(smaller.find("second comment 123 456"), 22, "");
  smaller.erase(smaller.find("3 0.2 0.3 0.5"));
  smaller.replace(smaller.find("+10"), 3, "10");
  smaller.replace(smaller.find("\f 0500"), 6, "\f 500");
  EXPECT_EQ(REWRITE_TEMPLATE(tmpl, PointValues{500, 10, 9, 1}, ""), smaller);
  EXPECT_THROW(REWRITE_TEMPLATE(tmpl, PointValues{500, 10, 9, 3}, ""), UsageError);
}

// The library's reasons reach the user with the file and line.
TEST(SweepTemplate, AFaultyTemplateNamesTheLine) {
  std::string bad = TRICKY;
  bad.replace(bad.find("\f 0500") + 2, 4, "5OO ");
  try {
    PARSE_TEMPLATE("T.IN", bad);
    FAIL() << "accepted a malformed effective size";
  } catch (const SweepError& error) {
    EXPECT_NE(std::string(error.what()).find("T.IN line 10"), std::string::npos) << error.what();
    EXPECT_NE(std::string(error.what()).find("5OO"), std::string::npos) << error.what();
  }
}

TEST(SweepTemplate, LfOnlyAndNoFinalLineEnd) {
  const std::string plain = "c1\nc2\n1 2 3\n1 0\n1\n-\n1\n2\n100\n5\n10 10\n20\n-\n-\n2 0.5 0.5";
  const auto tmpl = PARSE_TEMPLATE("P.IN", plain);
  EXPECT_EQ(tmpl.facts.drift_size, 100);
  EXPECT_EQ(tmpl.facts.runs, 20);
  EXPECT_FALSE(tmpl.facts.fisher_on);
  EXPECT_EQ(REWRITE_TEMPLATE(tmpl, PointValues{100, 5, std::nullopt, 1}, "c2"), plain);
  EXPECT_EQ(REWRITE_TEMPLATE(tmpl, PointValues{100, 0, std::nullopt, std::nullopt}, "no drift"),
            "c1\nno drift\n1 2 3\n1 0\n1\n-\n1\n2\n100\n0\n10 10\n20\n-\n-\n2 0.5 0.5");
}

// ---- Point seeds ---------------------------------------------------------

TEST(SweepSeed, DependsOnTheSweepSeedAndEveryValue) {
  const PointValues base{500, 10, 30, 8};
  const std::uint32_t seed = POINT_SEED(42, base);
  EXPECT_EQ(POINT_SEED(42, base), seed);
  EXPECT_NE(POINT_SEED(43, base), seed);
  EXPECT_NE(POINT_SEED(42, PointValues{501, 10, 30, 8}), seed);
  EXPECT_NE(POINT_SEED(42, PointValues{500, 11, 30, 8}), seed);
  EXPECT_NE(POINT_SEED(42, PointValues{500, 10, 31, 8}), seed);
  EXPECT_NE(POINT_SEED(42, PointValues{500, 10, 30, 9}), seed);
  // The values are not interchangeable.
  EXPECT_NE(POINT_SEED(42, PointValues{10, 500, 30, 8}), seed);
}

// ---- Wilson intervals --------------------------------------------------

struct Known {
  long long k, n;
  double low, high;
};

TEST(SweepInterval, WilsonAgainstPublishedAndIndependentValues) {
  // The first four are the score-interval examples of Newcombe (1998),
  // given there to 4 decimals; the rest were computed separately in double
  // precision from z = 1.959963984540054.
  const Known published[] = {
      {81, 263, 0.2553, 0.3662}, {15, 148, 0.0624, 0.1605}, {0, 20, 0.0000, 0.1611}, {1, 29, 0.0061, 0.1718}};
  for (const Known& c : published) {
    const auto interval = WILSON_INTERVAL(c.k, c.n);
    EXPECT_NEAR(static_cast<double>(interval.low), c.low, 0.00005) << c.k << "/" << c.n;
    EXPECT_NEAR(static_cast<double>(interval.high), c.high, 0.00005) << c.k << "/" << c.n;
  }
  const Known computed[] = {
      {5, 100, 0.021543679154, 0.111750469232}, {50, 100, 0.403831530366, 0.596168469634},
      {100, 100, 0.963006501793, 1.0},          {0, 1000, 0.0, 0.003826758486},
      {17, 40, 0.285093925600, 0.578049314580}, {1, 1, 0.206549314377, 1.0}};
  for (const Known& c : computed) {
    const auto interval = WILSON_INTERVAL(c.k, c.n);
    EXPECT_NEAR(static_cast<double>(interval.low), c.low, 1e-10) << c.k << "/" << c.n;
    EXPECT_NEAR(static_cast<double>(interval.high), c.high, 1e-10) << c.k << "/" << c.n;
  }
}

TEST(SweepInterval, EndsAreExactAtZeroAndAllSignificant) {
  const long double z2 = 1.95996398454005423552L * 1.95996398454005423552L;
  for (long long n : {1LL, 7LL, 100LL, 10000LL}) {
    EXPECT_EQ(WILSON_INTERVAL(0, n).low, 0.0L);
    EXPECT_NEAR(static_cast<double>(WILSON_INTERVAL(0, n).high), static_cast<double>(z2 / (n + z2)), 1e-15);
    EXPECT_EQ(WILSON_INTERVAL(n, n).high, 1.0L);
    EXPECT_NEAR(static_cast<double>(WILSON_INTERVAL(n, n).low), static_cast<double>(n / (n + z2)), 1e-15);
  }
}

// ---- Calibration limit ---------------------------------------------------

// The largest count of rejections a test at the 5 % level exceeds in at
// most 0.5 % of sweeps: P(X <= limit) >= 0.995 > P(X <= limit - 1) for
// X ~ Binomial(runs, 0.05). Reference values from exact binomial sums done
// separately.
TEST(SweepCalibration, LimitIsTheUpperEndOfTheCentral99PercentRange) {
  EXPECT_EQ(NULL_REJECTION_LIMIT(1), 1);     // P(X = 0) = 0.95 < 0.995
  EXPECT_EQ(NULL_REJECTION_LIMIT(20), 4);    // P(X <= 3) = 0.98410, P(X <= 4) = 0.99742
  EXPECT_EQ(NULL_REJECTION_LIMIT(100), 11);  // P(X <= 10) = 0.98853, P(X <= 11) = 0.99573
  EXPECT_EQ(NULL_REJECTION_LIMIT(200), 19);
  EXPECT_EQ(NULL_REJECTION_LIMIT(1000), 69);
  // Far beyond where 0.95^n underflows a double.
  const long long big = NULL_REJECTION_LIMIT(1000000);
  EXPECT_GT(big, 50000 + 2.5 * 218);
  EXPECT_LT(big, 50000 + 2.7 * 218);
}

// The verdict grids and the search share, at each limit and one past it:
// the lower limit is the largest count with P(X <= limit) <= 0.005
// (200 runs: P(X <= 2) = 0.00234, P(X <= 3) = 0.00905; 1000 runs:
// P(X <= 32) = 0.00426, P(X <= 33) = 0.00592; 100 runs: P(X = 0) = 0.00592,
// so no count is too low).
TEST(SweepCalibration, OneVerdictAtEachLimitAndOnePastIt) {
  using korvel::sweep::Calibration;
  using korvel::sweep::CALIBRATION_VERDICT;
  EXPECT_EQ(korvel::sweep::NULL_CONSERVATIVE_LIMIT(200), 2);
  EXPECT_EQ(korvel::sweep::NULL_CONSERVATIVE_LIMIT(1000), 32);
  EXPECT_EQ(korvel::sweep::NULL_CONSERVATIVE_LIMIT(100), -1);
  EXPECT_EQ(CALIBRATION_VERDICT(19, 200), Calibration::OK);
  EXPECT_EQ(CALIBRATION_VERDICT(20, 200), Calibration::MISCALIBRATED);
  EXPECT_EQ(CALIBRATION_VERDICT(3, 200), Calibration::OK);
  EXPECT_EQ(CALIBRATION_VERDICT(2, 200), Calibration::CONSERVATIVE);
  EXPECT_EQ(CALIBRATION_VERDICT(0, 200), Calibration::CONSERVATIVE);
  EXPECT_EQ(CALIBRATION_VERDICT(33, 1000), Calibration::OK);
  EXPECT_EQ(CALIBRATION_VERDICT(32, 1000), Calibration::CONSERVATIVE);
  EXPECT_EQ(CALIBRATION_VERDICT(0, 100), Calibration::OK);
  EXPECT_EQ(CALIBRATION_VERDICT(12, 100), Calibration::MISCALIBRATED);
  EXPECT_STREQ(korvel::sweep::CALIBRATION_TEXT(Calibration::CONSERVATIVE), "conservative");
}

}  // namespace
