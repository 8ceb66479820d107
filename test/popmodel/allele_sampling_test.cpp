#include "popmodel/allele_sampling.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <sstream>
#include <vector>

#include "common/random_generator.h"
#include "common/tables.h"
#include "support/generator_priming.h"

namespace korvel {
namespace {

// Primes the generator and checks that it now yields exactly `outputs`.
void PRIME_AND_CHECK(const std::vector<std::uint32_t>& outputs) {
  testing::PRIME_OUTPUTS(outputs);
  std::mt19937 check = RANDOM_GENERATOR;
  for (std::uint32_t expected : outputs) ASSERT_EQ(static_cast<std::uint32_t>(check()), expected);
}

// The generator output whose real draw is exactly `x` (x on the 2^-32 grid).
std::uint32_t OUTPUT_FOR(long double x) { return static_cast<std::uint32_t>(x * 4294967296.0L); }

void SET_UP_TABLES(int pops, int loci, int individuals) {
  std::memset(&ALL_POPS_AFREQ, 0, sizeof ALL_POPS_AFREQ);
  ALLELES_PER_LOCUS.fill(0);
  NUMBPOPS = static_cast<INT16>(pops);
  NUMBLOCI = static_cast<INT16>(loci);
  NUMB_DIPLOIDS_TO_SAMPLE.fill(0);
  for (int i = 1; i <= pops; ++i) NUMB_DIPLOIDS_TO_SAMPLE[i] = static_cast<INT16>(individuals);
}

void SET_LOCUS(int j, const std::vector<double>& freqs) {
  ALLELES_PER_LOCUS[j] = static_cast<INT16>(freqs.size());
  for (int i = 1; i <= NUMBPOPS; ++i)
    for (std::size_t k = 0; k < freqs.size(); ++k) ALL_POPS_AFREQ[i][j][k + 1] = freqs[k];
}

std::vector<int> COUNTS(int i, int j) {
  std::vector<int> counts;
  for (int k = 1; k <= ALLELES_PER_LOCUS[j]; ++k) counts.push_back(ALL_POPS_ACOUNT[i][j][k]);
  return counts;
}

TEST(SampleAlleles, AlleleOfFrequencyOneGetsEveryCopy) {
  SET_UP_TABLES(2, 1, 50);
  SET_LOCUS(1, {1.0, 0.0, 0.0});
  SEED_RANDOM_GENERATOR(11);
  SAMPLE_ALLELES();
  EXPECT_EQ(COUNTS(1, 1), (std::vector<int>{100, 0, 0}));
  EXPECT_EQ(COUNTS(2, 1), (std::vector<int>{100, 0, 0}));
}

TEST(SampleAlleles, DrawsOnTheBoundariesOfTheCumulativeSums) {
  SET_UP_TABLES(1, 1, 3);
  SET_LOCUS(1, {0.0, 0.25, 0.25, 0.5});
  // 0 goes to allele 1 although its frequency is 0 (0 <= 0); a draw equal
  // to a cumulative sum goes to the allele whose sum it equals.
  PRIME_AND_CHECK(
      {0u, OUTPUT_FOR(0.25L), OUTPUT_FOR(0.25L) + 1u, OUTPUT_FOR(0.5L), OUTPUT_FOR(0.5L) + 1u, 0xFFFFFFFFu});
  SAMPLE_ALLELES();
  EXPECT_EQ(COUNTS(1, 1), (std::vector<int>{1, 1, 2, 2}));
}

TEST(SampleAlleles, DrawAboveTheLocusTotalStaysWithinTheLocus) {
  // Frequencies summing to 1 - 1e-6 (accepted by the input check), a zero
  // allele at the end, and a stray value beyond the locus's alleles.
  SET_UP_TABLES(1, 2, 1);
  SET_LOCUS(1, {0.3, 0.699999, 0.0});
  SET_LOCUS(2, {0.5, 0.5});
  ALL_POPS_AFREQ[1][1][4] = 0.75;
  PRIME_AND_CHECK({0xFFFFFFFFu, OUTPUT_FOR(0.3L) + 1u, 0u, 0xFFFFFFFFu});
  SAMPLE_ALLELES();
  EXPECT_EQ(COUNTS(1, 1), (std::vector<int>{0, 2, 0}));
  EXPECT_EQ(ALL_POPS_ACOUNT[1][1][4], 0);
  EXPECT_EQ(COUNTS(1, 2), (std::vector<int>{1, 1}));
}

TEST(SampleAlleles, DrawOrderIsPopulationsThenLociThenCopies) {
  SET_UP_TABLES(2, 2, 1);
  SET_LOCUS(1, {0.5, 0.5});
  SET_LOCUS(2, {0.5, 0.5});
  const std::uint32_t low = OUTPUT_FOR(0.25L), high = OUTPUT_FOR(0.75L);
  PRIME_AND_CHECK({low, low, low, high, high, high, high, low, 12345u});
  SAMPLE_ALLELES();
  EXPECT_EQ(COUNTS(1, 1), (std::vector<int>{2, 0}));
  EXPECT_EQ(COUNTS(1, 2), (std::vector<int>{1, 1}));
  EXPECT_EQ(COUNTS(2, 1), (std::vector<int>{0, 2}));
  EXPECT_EQ(COUNTS(2, 2), (std::vector<int>{1, 1}));
  // Exactly one output per gene copy: the next one is still unused.
  EXPECT_EQ(static_cast<std::uint32_t>(RANDOM_GENERATOR()), 12345u);
}

TEST(SampleAlleles, CountsSumToTwiceTheIndividualsAndZeroAllelesStayEmpty) {
  const int pops = 3;
  SET_UP_TABLES(pops, 2, 1);
  NUMB_DIPLOIDS_TO_SAMPLE[2] = 16383;
  NUMB_DIPLOIDS_TO_SAMPLE[3] = 7;
  SET_LOCUS(1, {0.0, 0.5, 0.0, 0.5, 0.0});
  SET_LOCUS(2, {0.2, 0.3, 0.5});
  SEED_RANDOM_GENERATOR(2024);
  std::mt19937 expected_state = RANDOM_GENERATOR;
  SAMPLE_ALLELES();
  expected_state.discard(2 * (2 + 16383 * 2 + 7 * 2));
  EXPECT_TRUE(expected_state == RANDOM_GENERATOR);
  for (int i = 1; i <= pops; ++i) {
    for (int j = 1; j <= 2; ++j) {
      int sum = 0;
      for (int c : COUNTS(i, j)) sum += c;
      EXPECT_EQ(sum, 2 * NUMB_DIPLOIDS_TO_SAMPLE[i]) << "pop " << i << " locus " << j;
    }
    // Alleles of frequency 0 behind other alleles are never drawn.
    EXPECT_EQ(ALL_POPS_ACOUNT[i][1][3], 0);
    EXPECT_EQ(ALL_POPS_ACOUNT[i][1][5], 0);
  }
  // 32766 copies follow the frequencies (well within five standard errors).
  const double n = 32766.0;
  const std::vector<double> p = {0.2, 0.3, 0.5};
  for (int k = 1; k <= 3; ++k) {
    const double sd = std::sqrt(n * p[k - 1] * (1.0 - p[k - 1]));
    EXPECT_NEAR(ALL_POPS_ACOUNT[2][2][k], n * p[k - 1], 5.0 * sd) << "allele " << k;
  }
}

TEST(SampleAlleles, EntriesOutsideThePartInUseAreClearedOnEveryCall) {
  SET_UP_TABLES(2, 3, 2);
  for (int j = 1; j <= 3; ++j) SET_LOCUS(j, {0.4, 0.6});
  for (auto& pop : ALL_POPS_ACOUNT)
    for (auto& locus : pop) locus.fill(7);
  SEED_RANDOM_GENERATOR(5);
  SAMPLE_ALLELES();
  long long outside = 0;
  for (int i = 0; i <= MAX_POPS; ++i)
    for (int j = 0; j <= MAX_LOCI; ++j)
      for (int k = 0; k <= MAX_ALLELES; ++k) {
        const bool in_use = i >= 1 && i <= 2 && j >= 1 && j <= 3 && k >= 1 && k <= 2;
        if (!in_use) outside += ALL_POPS_ACOUNT[i][j][k] != 0;
      }
  EXPECT_EQ(outside, 0);
}

TEST(SampleAlleles, SameGeneratorStateGivesSameCounts) {
  SET_UP_TABLES(4, 3, 25);
  SET_LOCUS(1, {0.1, 0.2, 0.3, 0.4});
  SET_LOCUS(2, {0.5, 0.5});
  SET_LOCUS(3, {0.9, 0.05, 0.05});
  SEED_RANDOM_GENERATOR(77);
  SAMPLE_ALLELES();
  static POP2 first;  // too large for the stack
  first = ALL_POPS_ACOUNT;
  SAMPLE_ALLELES();
  EXPECT_FALSE(first == ALL_POPS_ACOUNT);  // a fresh draw differs
  SEED_RANDOM_GENERATOR(77);
  SAMPLE_ALLELES();
  EXPECT_TRUE(first == ALL_POPS_ACOUNT);
}

}  // namespace
}  // namespace korvel
