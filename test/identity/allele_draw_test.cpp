// SAMPLE_ALLELES (integer thresholds, block-read generator) against the
// plain draw: for every gene copy one real draw
// X = g / 2^32 from MT19937, scanned against the running extended sum of the
// frequencies; the smallest allele whose sum reaches X, or, for a draw
// above the locus's total, the last allele of non-zero frequency.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <limits>
#include <random>
#include <sstream>
#include <vector>

#include "common/random_generator.h"
#include "common/tables.h"
#include "popmodel/allele_sampling.h"
#include "support/generator_priming.h"
#include "support/straightforward.h"

namespace korvel {
namespace {

using reference::SAMPLE_ALLELES_REFERENCE;

// Frequencies of one locus of the given kind.
std::vector<double> FREQUENCIES(std::mt19937& pick, int alleles, int kind) {
  std::vector<double> f(static_cast<std::size_t>(alleles), 0.0);
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  switch (kind) {
    case 0:  // equal
      for (double& x : f) x = 1.0 / alleles;
      break;
    case 1: {  // random, some zero, summing to 1 as doubles allow
      double sum = 0.0;
      for (double& x : f) {
        x = pick() % 4 == 0 ? 0.0 : unit(pick);
        sum += x;
      }
      if (sum == 0.0) f[0] = sum = 1.0;
      for (double& x : f) x /= sum;
      break;
    }
    case 2: {  // on a coarse binary grid, so that cumulative sums are exact
      int left = 256;
      for (std::size_t k = 0; k + 1 < f.size() && left > 0; ++k) {
        const int take = static_cast<int>(pick() % static_cast<unsigned>(left + 1));
        f[k] = take / 256.0;
        left -= take;
      }
      f.back() += left / 256.0;
      break;
    }
    case 3:  // summing to a little less than 1: draws above the total
      for (double& x : f) x = (1.0 - 1.0E-3 * unit(pick)) / alleles;
      break;
    case 4:  // a little more than 1, trailing zeros
      for (std::size_t k = 0; k < f.size(); ++k) f[k] = k + 1 < f.size() ? 1.0001 / (alleles - 1) : 0.0;
      if (alleles == 1) f[0] = 1.0001;
      break;
    case 5:  // drifted: multiples of 1 / (2N)
    default: {
      const int copies = 2 * (1 + static_cast<int>(pick() % 50));
      int left = copies;
      for (std::size_t k = 0; k + 1 < f.size(); ++k) {
        const int take = static_cast<int>(pick() % static_cast<unsigned>(left + 1));
        f[k] = static_cast<double>(static_cast<EXTENDED>(take) / copies);
        left -= take;
      }
      f.back() = static_cast<double>(static_cast<EXTENDED>(left) / copies);
      break;
    }
  }
  if (kind == 6) f[pick() % f.size()] = -0.01;  // fall-back path: a falling sum
  return f;
}

void SET_UP(std::mt19937& pick) {
  std::memset(&ALL_POPS_AFREQ, 0, sizeof ALL_POPS_AFREQ);
  ALLELES_PER_LOCUS.fill(0);
  NUMB_DIPLOIDS_TO_SAMPLE.fill(0);
  NUMBPOPS = static_cast<INT16>(1 + pick() % 4);
  NUMBLOCI = static_cast<INT16>(1 + pick() % 6);
  for (int i = 1; i <= NUMBPOPS; ++i) NUMB_DIPLOIDS_TO_SAMPLE[i] = static_cast<INT16>(1 + pick() % 700);
  for (int j = 1; j <= NUMBLOCI; ++j) {
    const int alleles = 1 + static_cast<int>(pick() % MAX_ALLELES);
    ALLELES_PER_LOCUS[j] = static_cast<INT16>(alleles);
    for (int i = 1; i <= NUMBPOPS; ++i) {
      const std::vector<double> f = FREQUENCIES(pick, alleles, static_cast<int>(pick() % 7));
      for (int k = 1; k <= alleles; ++k) ALL_POPS_AFREQ[i][j][k] = f[static_cast<std::size_t>(k - 1)];
    }
  }
}

// Runs both on the program-wide generator's current state.
void EXPECT_SAME_COUNTS(const std::string& what) {
  std::mt19937 engine = RANDOM_GENERATOR;
  static POP2 expected;
  SAMPLE_ALLELES_REFERENCE(engine, expected);
  SAMPLE_ALLELES();
  ASSERT_EQ(std::memcmp(&expected, &ALL_POPS_ACOUNT, sizeof expected), 0) << what;
  ASSERT_TRUE(engine == RANDOM_GENERATOR) << what << ": a different number of draws";
}

TEST(AlleleDrawIdentity, ManyRandomSetUps) {
  std::mt19937 pick(424242);
  for (int round = 0; round < 400; ++round) {
    SET_UP(pick);
    SEED_RANDOM_GENERATOR(static_cast<std::uint32_t>(pick()));
    EXPECT_SAME_COUNTS("round " + std::to_string(round));
  }
}

// Loci with many alleles and few draws each (the small guide table), with
// frequencies of every kind above and some that only the general path
// takes: one above 1, one not a number, and nearly all the mass on the last
// allele, so that most thresholds share the lowest buckets.
TEST(AlleleDrawIdentity, ManyAllelesFewDraws) {
  std::mt19937 pick(9090);
  for (int round = 0; round < 300; ++round) {
    std::memset(&ALL_POPS_AFREQ, 0, sizeof ALL_POPS_AFREQ);
    ALLELES_PER_LOCUS.fill(0);
    NUMB_DIPLOIDS_TO_SAMPLE.fill(0);
    NUMBPOPS = static_cast<INT16>(1 + pick() % 3);
    NUMBLOCI = static_cast<INT16>(1 + pick() % 4);
    for (int i = 1; i <= NUMBPOPS; ++i) NUMB_DIPLOIDS_TO_SAMPLE[i] = static_cast<INT16>(1 + pick() % 60);
    for (int j = 1; j <= NUMBLOCI; ++j) {
      const int alleles = MAX_ALLELES / 2 + 1 + static_cast<int>(pick() % (MAX_ALLELES - MAX_ALLELES / 2));
      ALLELES_PER_LOCUS[j] = static_cast<INT16>(alleles);
      for (int i = 1; i <= NUMBPOPS; ++i) {
        const int kind = static_cast<int>(pick() % 10);
        std::vector<double> f = FREQUENCIES(pick, alleles, kind < 7 ? kind : 0);
        const std::size_t at = pick() % f.size();
        if (kind == 7) f[at] = 1.5;
        if (kind == 8) f[at] = std::numeric_limits<double>::quiet_NaN();
        if (kind == 9) {
          for (double& x : f) x = 1.0E-12;
          f.back() = 1.0;
        }
        for (int k = 1; k <= alleles; ++k) ALL_POPS_AFREQ[i][j][k] = f[static_cast<std::size_t>(k - 1)];
      }
    }
    SEED_RANDOM_GENERATOR(static_cast<std::uint32_t>(pick()));
    EXPECT_SAME_COUNTS("round " + std::to_string(round));
  }
}

using testing::PRIME_OUTPUTS;

TEST(AlleleDrawIdentity, DrawsOnAndBesideEveryCumulativeSum) {
  // Draws of exactly 0, the largest output, and the outputs on, just below
  // and just above each cumulative sum: ties go to the lower allele, 0 to
  // allele 1 even at frequency 0.
  std::mt19937 pick(77);
  for (int round = 0; round < 300; ++round) {
    std::memset(&ALL_POPS_AFREQ, 0, sizeof ALL_POPS_AFREQ);
    ALLELES_PER_LOCUS.fill(0);
    NUMBPOPS = 1;
    NUMBLOCI = 1;
    const int alleles = 1 + static_cast<int>(pick() % MAX_ALLELES);
    ALLELES_PER_LOCUS[1] = static_cast<INT16>(alleles);
    const std::vector<double> f = FREQUENCIES(pick, alleles, static_cast<int>(pick() % 6));
    std::vector<std::uint32_t> outputs = {0u, 0xFFFFFFFFu, 1u};
    EXTENDED sum = 0.0L;
    for (int k = 1; k <= alleles; ++k) {
      ALL_POPS_AFREQ[1][1][k] = f[static_cast<std::size_t>(k - 1)];
      sum += f[static_cast<std::size_t>(k - 1)];
      const EXTENDED scaled = sum * 4294967296.0L;
      if (scaled < 1.0L || scaled >= 4294967295.0L) continue;
      const auto on = static_cast<std::uint32_t>(scaled);
      for (std::uint32_t g : {on - 1, on, on + 1}) outputs.push_back(g);
    }
    if (outputs.size() > 226) outputs.resize(226);
    NUMB_DIPLOIDS_TO_SAMPLE[1] = static_cast<INT16>((outputs.size() + 1) / 2);
    PRIME_OUTPUTS(outputs);
    EXPECT_SAME_COUNTS("round " + std::to_string(round));
  }
}

}  // namespace
}  // namespace korvel
