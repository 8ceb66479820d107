#include "popmodel/fstatistics.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "common/tables.h"
#include "popmodel/popmodel_state.h"

namespace korvel {
namespace {

// The inputs are the doubles nearest to decimal fractions, so the results
// may differ from the decimal values in about the 16th digit.
constexpr long double TOLERANCE = 1.0E-15L;

// EXPECT_NEAR would compare in double; this keeps the extended values.
#define EXPECT_CLOSE(actual, expected)                                                                   \
  EXPECT_LE(std::fabs(static_cast<long double>(actual) - static_cast<long double>(expected)), TOLERANCE) \
      << #actual << " = " << static_cast<double>(actual)

void SET_UP_TABLES(int pops, int loci) {
  std::memset(&ALL_POPS_AFREQ, 0, sizeof ALL_POPS_AFREQ);
  std::memset(&ALL_POPS_ACOUNT, 0, sizeof ALL_POPS_ACOUNT);
  ALLELES_PER_LOCUS.fill(0);
  NUMBPOPS = static_cast<INT16>(pops);
  NUMBLOCI = static_cast<INT16>(loci);
}

// Frequencies of locus j in population i; the locus's allele count follows.
void SET_FREQS(int i, int j, const std::vector<double>& freqs) {
  ALLELES_PER_LOCUS[j] = static_cast<INT16>(freqs.size());
  for (std::size_t k = 0; k < freqs.size(); ++k) ALL_POPS_AFREQ[i][j][k + 1] = freqs[k];
}

TEST(CalculateFst, WorkedExampleOfTwoPopulations) {
  SET_UP_TABLES(2, 1);
  SET_FREQS(1, 1, {0.8, 0.2});
  SET_FREQS(2, 1, {0.4, 0.6});
  CALCULATE_FST();
  EXPECT_CLOSE(HS_PER_POP[1], 0.32L);
  EXPECT_CLOSE(HS_PER_POP[2], 0.48L);
  EXPECT_CLOSE(HS, 0.40L);
  EXPECT_CLOSE(HT, 0.48L);
  EXPECT_CLOSE(FSTPRIME, 0.16L / 0.56L);
}

TEST(CalculateFst, LocusFixedEverywhereStillCountsAsALocus) {
  SET_UP_TABLES(2, 2);
  SET_FREQS(1, 1, {0.8, 0.2});
  SET_FREQS(2, 1, {0.4, 0.6});
  SET_FREQS(1, 2, {0.0, 1.0, 0.0});
  SET_FREQS(2, 2, {0.0, 1.0, 0.0});
  CALCULATE_FST();
  EXPECT_CLOSE(HS_PER_POP[1], 0.16L);
  EXPECT_CLOSE(HS, 0.20L);
  EXPECT_CLOSE(HT, 0.24L);
  // D' = 0.08 and F'st = 0.08 / 0.28: the same ratio as with the one locus.
  EXPECT_CLOSE(FSTPRIME, 0.08L / 0.28L);
}

TEST(CalculateFst, PopulationsFixedForDifferentAllelesAreFullyDifferentiated) {
  SET_UP_TABLES(3, 2);
  SET_FREQS(1, 1, {1.0, 0.0});
  SET_FREQS(2, 1, {0.0, 1.0});
  SET_FREQS(3, 1, {1.0, 0.0});
  for (int i = 1; i <= 3; ++i) SET_FREQS(i, 2, {0.0, 0.0, 1.0});
  CALCULATE_FST();
  EXPECT_EQ(HS, 0.0L);
  EXPECT_GT(HT, 0.0L);
  EXPECT_EQ(FSTPRIME, 1.0L);
}

TEST(CalculateFst, MonomorphicEverywhereGivesZero) {
  SET_UP_TABLES(4, 3);
  for (int i = 1; i <= 4; ++i) {
    SET_FREQS(i, 1, {1.0});
    SET_FREQS(i, 2, {0.0, 1.0});
    SET_FREQS(i, 3, {1.0, 0.0, 0.0});
  }
  FSTPRIME = 0.5L;
  CALCULATE_FST();
  EXPECT_EQ(HS, 0.0L);
  EXPECT_EQ(HT, 0.0L);
  EXPECT_EQ(FSTPRIME, 0.0L);
}

TEST(CalculateFst, EqualPopulationsNeverGiveANegativeFst) {
  // Three equal populations at (0.364, 0.636): rounding makes Ht fall just
  // below Hs, and the negative F'st must be floored to 0.
  SET_UP_TABLES(3, 1);
  for (int i = 1; i <= 3; ++i) SET_FREQS(i, 1, {0.364, 1.0 - 0.364});
  CALCULATE_FST();
  ASSERT_LT(HT, HS);
  EXPECT_EQ(FSTPRIME, 0.0L);

  // Equal populations over many loci: zero or a value that prints as zero.
  const int loci = MAX_LOCI < 60 ? MAX_LOCI : 60;
  const int pops = MAX_POPS;
  SET_UP_TABLES(pops, loci);
  for (int j = 1; j <= loci; ++j) {
    const double p = 0.01 * j - 0.005;
    for (int i = 1; i <= pops; ++i) SET_FREQS(i, j, {p, 0.25, 0.75 - p});
  }
  CALCULATE_FST();
  EXPECT_LE(std::fabs(HT - HS), 1.0E-17L);
  EXPECT_GE(FSTPRIME, 0.0L);
  EXPECT_LT(FSTPRIME, 1.0E-15L);
}

TEST(CalculateFst, DegenerateInputGivesZeroInsteadOfNotANumber) {
  SET_UP_TABLES(1, 1);
  SET_FREQS(1, 1, {0.5, 0.5});
  CALCULATE_FST();
  EXPECT_CLOSE(HS, 0.5L);
  EXPECT_EQ(FSTPRIME, 0.0L);

  SET_UP_TABLES(3, 0);
  CALCULATE_FST();
  EXPECT_EQ(HS, 0.0L);
  EXPECT_EQ(HT, 0.0L);
  EXPECT_EQ(FSTPRIME, 0.0L);
}

TEST(CalculateAfreqs, CountsBecomeFrequenciesOfTheLociInUse) {
  SET_UP_TABLES(2, 2);
  ALLELES_PER_LOCUS[1] = 2;
  ALLELES_PER_LOCUS[2] = 3;
  ALL_POPS_ACOUNT[1][1][1] = 3;
  ALL_POPS_ACOUNT[1][1][2] = 1;
  ALL_POPS_ACOUNT[2][1][2] = 4;
  ALL_POPS_ACOUNT[1][2][1] = 1;
  ALL_POPS_ACOUNT[1][2][2] = 1;
  ALL_POPS_ACOUNT[1][2][3] = 1;
  ALL_POPS_ACOUNT[2][2][1] = 32765;
  ALL_POPS_ACOUNT[2][2][3] = 1;
  // Sentinels outside the part in use must survive.
  ALL_POPS_AFREQ[1][1][3] = 9.0;
  ALL_POPS_AFREQ[1][3][1] = 9.0;
  ALL_POPS_AFREQ[3][1][1] = 9.0;
  ALL_POPS_ACOUNT[1][1][3] = 5;
  CALCULATE_AFREQS();
  EXPECT_EQ(ALL_POPS_AFREQ[1][1][1], 0.75);
  EXPECT_EQ(ALL_POPS_AFREQ[1][1][2], 0.25);
  EXPECT_EQ(ALL_POPS_AFREQ[2][1][1], 0.0);
  EXPECT_EQ(ALL_POPS_AFREQ[2][1][2], 1.0);
  EXPECT_EQ(ALL_POPS_AFREQ[1][2][1], static_cast<double>(1.0L / 3.0L));
  EXPECT_EQ(ALL_POPS_AFREQ[2][2][1], static_cast<double>(32765.0L / 32766.0L));
  EXPECT_EQ(ALL_POPS_AFREQ[2][2][2], 0.0);
  EXPECT_EQ(ALL_POPS_AFREQ[2][2][3], static_cast<double>(1.0L / 32766.0L));
  EXPECT_EQ(ALL_POPS_AFREQ[1][1][3], 9.0);
  EXPECT_EQ(ALL_POPS_AFREQ[1][3][1], 9.0);
  EXPECT_EQ(ALL_POPS_AFREQ[3][1][1], 9.0);
}

}  // namespace
}  // namespace korvel
