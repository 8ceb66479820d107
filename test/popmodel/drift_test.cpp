#include "popmodel/drift.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "common/random_generator.h"
#include "common/tables.h"

namespace korvel {
namespace {

// Populations ready for drift from the base population: the driver's
// contract puts DRIFT_SIZE into NUMB_DIPLOIDS_TO_SAMPLE before the call.
void SET_UP(int pops, int loci, int drift_size, int generations) {
  std::memset(&ALL_POPS_AFREQ, 0, sizeof ALL_POPS_AFREQ);
  std::memset(&BASEPOP, 0, sizeof BASEPOP);
  ALLELES_PER_LOCUS.fill(0);
  NUMBPOPS = static_cast<INT16>(pops);
  NUMBLOCI = static_cast<INT16>(loci);
  DRIFT_SIZE = static_cast<INT16>(drift_size);
  STOP_T = static_cast<INT16>(generations);
  T = 0;
  NUMB_DIPLOIDS_TO_SAMPLE.fill(0);
  for (int i = 1; i <= pops; ++i) NUMB_DIPLOIDS_TO_SAMPLE[i] = DRIFT_SIZE;
}

void SET_BASE_LOCUS(int j, const std::vector<double>& freqs) {
  ALLELES_PER_LOCUS[j] = static_cast<INT16>(freqs.size());
  for (std::size_t k = 0; k < freqs.size(); ++k) BASEPOP[j][k + 1] = freqs[k];
}

// Every frequency in use times 2N is a whole number.
bool ALL_MULTIPLES_OF_ONE_OVER_2N(int two_n) {
  for (int i = 1; i <= NUMBPOPS; ++i)
    for (int j = 1; j <= NUMBLOCI; ++j)
      for (int k = 1; k <= ALLELES_PER_LOCUS[j]; ++k) {
        const long double scaled = static_cast<long double>(ALL_POPS_AFREQ[i][j][k]) * two_n;
        if (std::fabs(scaled - std::round(scaled)) > 1.0E-9L) return false;
      }
  return true;
}

TEST(DriftApart, WithoutGenerationsThePopulationsAreTheBasePopulation) {
  SET_UP(3, 2, 10, 0);
  SET_BASE_LOCUS(1, {0.1, 0.2, 0.7});
  SET_BASE_LOCUS(2, {0.55, 0.45});
  ALL_POPS_AFREQ[1][1][4] = 0.125;  // beyond the locus: not touched
  SEED_RANDOM_GENERATOR(3);
  const std::mt19937 before = RANDOM_GENERATOR;
  DRIFT_APART();
  EXPECT_TRUE(before == RANDOM_GENERATOR);
  EXPECT_EQ(T, 0);
  for (int i = 1; i <= 3; ++i)
    for (int j = 1; j <= 2; ++j)
      for (int k = 1; k <= ALLELES_PER_LOCUS[j]; ++k) EXPECT_EQ(ALL_POPS_AFREQ[i][j][k], BASEPOP[j][k]);
  EXPECT_EQ(ALL_POPS_AFREQ[1][1][4], 0.125);
  EXPECT_EQ(ALL_POPS_AFREQ[4][1][1], 0.0);
  EXPECT_GE(FSTPRIME, 0.0L);
  EXPECT_LT(FSTPRIME, 1.0E-15L);

  // A negative number of generations is no drift either; T keeps its value.
  STOP_T = -4;
  T = 9;
  DRIFT_APART();
  EXPECT_EQ(T, 9);
  EXPECT_TRUE(before == RANDOM_GENERATOR);
}

TEST(DriftApart, OneGenerationDrawsTwoCopiesPerIndividualOnce) {
  SET_UP(4, 3, 13, 1);
  SET_BASE_LOCUS(1, {0.3, 0.3, 0.4});
  SET_BASE_LOCUS(2, {0.5, 0.5});
  SET_BASE_LOCUS(3, {0.0, 1.0, 0.0});
  SEED_RANDOM_GENERATOR(99);
  std::mt19937 expected = RANDOM_GENERATOR;
  DRIFT_APART();
  expected.discard(4 * 3 * 2 * 13);
  EXPECT_TRUE(expected == RANDOM_GENERATOR);
  EXPECT_EQ(T, 1);
  EXPECT_TRUE(ALL_MULTIPLES_OF_ONE_OVER_2N(26));
  // A fixed allele stays fixed, an absent one never appears.
  for (int i = 1; i <= 4; ++i) {
    EXPECT_EQ(ALL_POPS_AFREQ[i][3][1], 0.0);
    EXPECT_EQ(ALL_POPS_AFREQ[i][3][2], 1.0);
    EXPECT_EQ(ALL_POPS_AFREQ[i][3][3], 0.0);
  }
}

TEST(DriftApart, ManyGenerationsLeaveFrequenciesOnTheGridOfTwoN) {
  SET_UP(5, 4, 7, 12);
  SET_BASE_LOCUS(1, {0.25, 0.25, 0.25, 0.25});
  SET_BASE_LOCUS(2, {0.9, 0.1});
  SET_BASE_LOCUS(3, {0.2, 0.0, 0.8});
  SET_BASE_LOCUS(4, {1.0});
  SEED_RANDOM_GENERATOR(1234);
  DRIFT_APART();
  EXPECT_EQ(T, 12);
  EXPECT_TRUE(ALL_MULTIPLES_OF_ONE_OVER_2N(14));
  for (int i = 1; i <= 5; ++i) {
    EXPECT_EQ(ALL_POPS_AFREQ[i][3][2], 0.0);
    EXPECT_EQ(ALL_POPS_AFREQ[i][4][1], 1.0);
  }

  // One individual: two copies, so every frequency is 0, 0.5 or 1.
  SET_UP(5, 4, 1, 3);
  SET_BASE_LOCUS(1, {0.25, 0.25, 0.25, 0.25});
  SET_BASE_LOCUS(2, {0.9, 0.1});
  SET_BASE_LOCUS(3, {0.2, 0.0, 0.8});
  SET_BASE_LOCUS(4, {1.0});
  DRIFT_APART();
  EXPECT_EQ(T, 3);
  EXPECT_TRUE(ALL_MULTIPLES_OF_ONE_OVER_2N(2));
}

TEST(DriftApart, EveryRunStartsAgainFromTheBasePopulation) {
  SET_UP(3, 2, 5, 4);
  SET_BASE_LOCUS(1, {0.5, 0.5});
  SET_BASE_LOCUS(2, {0.1, 0.6, 0.3});
  const int draws_per_run = 4 * 3 * 2 * 2 * 5;
  static POP1 second_run;  // too large for the stack
  SEED_RANDOM_GENERATOR(42);
  DRIFT_APART();
  DRIFT_APART();
  second_run = ALL_POPS_AFREQ;
  const long double second_fst = FSTPRIME;
  // The same random numbers from a fresh base population give the same run.
  std::memset(&ALL_POPS_AFREQ, 0, sizeof ALL_POPS_AFREQ);
  SEED_RANDOM_GENERATOR(42);
  RANDOM_GENERATOR.discard(draws_per_run);
  DRIFT_APART();
  EXPECT_TRUE(second_run == ALL_POPS_AFREQ);
  EXPECT_EQ(FSTPRIME, second_fst);
}

// Wright-Fisher drift with 2N copies: the expected gene diversity within a
// population falls by the factor (1 - 1/(2N)) per generation, and the
// realised F'st approaches 1 - (1 - 1/(2N))^t. Fixed seed; four runs of
// all populations at 100 loci give 20000 (standard build) or 12000
// independent population-locus pairs, so the relative standard error of
// the mean diversity is about 1 % after 20 generations (0.3 % after 5) and
// the tolerance of 5 % is five of them or more.
TEST(DriftApart, HeterozygosityDecaysAsExpectedUnderDrift) {
  const int pops = MAX_POPS;
  const int loci = MAX_LOCI < 100 ? MAX_LOCI : 100;
  const int n = 10;
  const int runs = 4;
  for (int generations : {5, 20}) {
    SET_UP(pops, loci, n, generations);
    for (int j = 1; j <= loci; ++j) SET_BASE_LOCUS(j, {0.5, 0.5});
    SEED_RANDOM_GENERATOR(20261208u + generations);
    long double sum_hs = 0.0L, sum_fst = 0.0L;
    for (int run = 0; run < runs; ++run) {
      DRIFT_APART();
      sum_hs += HS;
      sum_fst += FSTPRIME;
    }
    const long double retained = std::pow(1.0L - 1.0L / (2.0L * n), static_cast<long double>(generations));
    EXPECT_NEAR(static_cast<double>(sum_hs / runs / (0.5L * retained)), 1.0, 0.05)
        << generations << " generations";
    EXPECT_NEAR(static_cast<double>(sum_fst / runs), static_cast<double>(1.0L - retained), 0.03)
        << generations << " generations";
  }
}

}  // namespace
}  // namespace korvel
