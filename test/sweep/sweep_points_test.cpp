// korvel-sweep: generations for a target F'st, the template rewrite, and
// the binomial intervals.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "common/text_input.h"
#include "sweep.h"

namespace {

using korvel::sweep::EXPECTED_FST;
using korvel::sweep::GENERATIONS_FOR_FST;
using korvel::sweep::PARSE_TEMPLATE;
using korvel::sweep::REWRITE_TEMPLATE;
using korvel::sweep::SweepError;
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
        EXPECT_THROW(GENERATIONS_FOR_FST(target, n), SweepError);
        continue;
      }
      const int t = GENERATIONS_FOR_FST(target, n);
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
      EXPECT_EQ(GENERATIONS_FOR_FST(fst, n), t) << "N = " << n << ", t = " << t;
    }
  }
}

TEST(SweepDrift, TinyTargetsTakeOneGenerationAndImpossibleOnesAreRefused) {
  EXPECT_EQ(GENERATIONS_FOR_FST(1e-9L, 100), 1);
  EXPECT_THROW(GENERATIONS_FOR_FST(0.0L, 100), SweepError);
  EXPECT_THROW(GENERATIONS_FOR_FST(1.0L, 100), SweepError);
  EXPECT_THROW(GENERATIONS_FOR_FST(-0.01L, 100), SweepError);
  EXPECT_THROW(GENERATIONS_FOR_FST(0.01L, 0), SweepError);
  EXPECT_THROW(GENERATIONS_FOR_FST(0.01L, 16384), SweepError);
  // 0.99 with N = 16383 needs about 150 900 generations.
  EXPECT_THROW(GENERATIONS_FOR_FST(0.99L, 16383), SweepError);
}

// ---- Template ----------------------------------------------------------

// A template that defeats reading by line numbers: the iteration factors
// continue on the next line, a number stands in the comment after the
// number of subpopulations, the sample sizes take two lines, separators
// include tabs and a form feed, line ends are CR LF and the comments hold
// UTF-8 text.
const std::string TRICKY =
    "Sweep template \xE2\x80\x93 Ne 500, 10 generations\r\n"
    "second comment 123 456\r\n"
    "1000 20\r\n"
    "  500     iteration factors\r\n"
    "1\t1               tests\r\n"
    "0 erase\r\n"
    "777 888 ignored line\r\n"
    "2   loci\r\n"
    "3   pops (300 is not the effective size)\r\n"
    "\f 0500\tNe \xC3\xA9 999\r\n"
    "+10 generations 42\r\n"
    "50 50\r\n"
    "  50 samples\r\n"
    "100 runs\r\n"
    "----\r\n"
    "alleles\r\n"
    "2 0.5 0.5\r\n"
    "3 0.2 0.3 0.5";

TEST(SweepTemplate, FindsTheTokensTheProgramReads) {
  const auto tmpl = PARSE_TEMPLATE("T.IN", TRICKY);
  EXPECT_EQ(tmpl.drift_size.value, 500);
  EXPECT_EQ(TRICKY.substr(tmpl.drift_size.offset, tmpl.drift_size.length), "0500");
  EXPECT_EQ(tmpl.drift_size.line, 10);
  EXPECT_EQ(tmpl.stop_t.value, 10);
  EXPECT_EQ(TRICKY.substr(tmpl.stop_t.offset, tmpl.stop_t.length), "+10");
  EXPECT_EQ(tmpl.stop_runs, 100);
  EXPECT_EQ(tmpl.run_chi2, 1);
  EXPECT_EQ(tmpl.run_fisher, 1);
}

TEST(SweepTemplate, RewriteChangesOnlyTheTwoTokens) {
  const auto tmpl = PARSE_TEMPLATE("T.IN", TRICKY);
  const std::string out = REWRITE_TEMPLATE(tmpl, 1234, 7);
  const std::size_t a = tmpl.drift_size.offset, b = tmpl.stop_t.offset;
  EXPECT_EQ(out.substr(0, a), TRICKY.substr(0, a));
  EXPECT_EQ(out.substr(a, 4), "1234");
  EXPECT_EQ(out.substr(a + 4, b - a - 4), TRICKY.substr(a + 4, b - a - 4));
  EXPECT_EQ(out.substr(b, 1), "7");
  EXPECT_EQ(out.substr(b + 1), TRICKY.substr(b + 3));
  EXPECT_EQ(tmpl.text, TRICKY);
}

// The rewritten file read by the program's own reader gives the new values
// and the same everything else.
TEST(SweepTemplate, TheProgramsReaderSeesTheNewValues) {
  const auto tmpl = PARSE_TEMPLATE("T.IN", TRICKY);
  korvel::TextIn in;
  in.OPEN_TEXT("KORVEL.IN", REWRITE_TEMPLATE(tmpl, 16383, 32767));
  in.SKIP_LINE();
  in.SKIP_LINE();
  EXPECT_EQ(in.READ_INT32("i1"), 1000);
  EXPECT_EQ(in.READ_INT32("i2"), 20);
  EXPECT_EQ(in.READ_INT32("i3"), 500);
  in.SKIP_LINE();
  in.READ_INT16("c");
  in.READ_INT16("f");
  in.SKIP_LINE();
  in.READ_INT16("e");
  in.SKIP_LINE();
  in.SKIP_LINE();
  EXPECT_EQ(in.READ_INT16("loci"), 2);
  in.SKIP_LINE();
  EXPECT_EQ(in.READ_INT16("pops"), 3);
  in.SKIP_LINE();
  EXPECT_EQ(in.READ_INT16("N"), 16383);
  in.SKIP_LINE();
  EXPECT_EQ(in.READ_INT16("t"), 32767);
  in.SKIP_LINE();
  for (int i = 0; i < 3; ++i) EXPECT_EQ(in.READ_INT16("s"), 50);
  in.SKIP_LINE();
  EXPECT_EQ(in.READ_INT32("runs"), 100);
  in.SKIP_LINE();
  in.SKIP_LINE();
  in.SKIP_LINE();
  EXPECT_EQ(in.READ_INT16("alleles"), 2);
}

TEST(SweepTemplate, BadOrTruncatedTemplatesNameTheLine) {
  std::string bad = TRICKY;
  bad.replace(PARSE_TEMPLATE("T.IN", TRICKY).drift_size.offset, 4, "5OO ");
  try {
    PARSE_TEMPLATE("T.IN", bad);
    FAIL() << "accepted a malformed effective size";
  } catch (const SweepError& error) {
    EXPECT_NE(std::string(error.what()).find("T.IN line 10"), std::string::npos) << error.what();
    EXPECT_NE(std::string(error.what()).find("5OO"), std::string::npos) << error.what();
  }
  EXPECT_THROW(PARSE_TEMPLATE("T.IN", TRICKY.substr(0, TRICKY.find("50 50"))), SweepError);
  std::string wide = TRICKY;
  wide.replace(PARSE_TEMPLATE("T.IN", TRICKY).stop_t.offset, 3, "40000");
  EXPECT_THROW(PARSE_TEMPLATE("T.IN", wide), SweepError);
}

TEST(SweepTemplate, LfOnlyAndNoFinalLineEnd) {
  const std::string plain =
      "c1\nc2\n1 2 3\n1 0\n1\n-\n1\n2\n100\n5\n10 10\n20";
  const auto tmpl = PARSE_TEMPLATE("P.IN", plain);
  EXPECT_EQ(tmpl.drift_size.value, 100);
  EXPECT_EQ(tmpl.stop_t.value, 5);
  EXPECT_EQ(tmpl.stop_runs, 20);
  EXPECT_EQ(tmpl.run_fisher, 0);
  EXPECT_EQ(REWRITE_TEMPLATE(tmpl, 100, 5), plain);
  EXPECT_EQ(REWRITE_TEMPLATE(tmpl, 100, 0), "c1\nc2\n1 2 3\n1 0\n1\n-\n1\n2\n100\n0\n10 10\n20");
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
  const Known computed[] = {{5, 100, 0.021543679154, 0.111750469232},
                            {50, 100, 0.403831530366, 0.596168469634},
                            {100, 100, 0.963006501793, 1.0},
                            {0, 1000, 0.0, 0.003826758486},
                            {17, 40, 0.285093925600, 0.578049314580},
                            {1, 1, 0.206549314377, 1.0}};
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

}  // namespace
