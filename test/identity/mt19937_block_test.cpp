// The block-generated MT19937 against the standard library's engine: the
// same outputs for every seed, however they are taken (one at a time, lent
// a block at a time, skipped), and states that convert and compare both ways.
#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <sstream>
#include <vector>

#include "common/random_generator.h"

namespace korvel {
namespace {

std::vector<std::uint32_t> SOME_SEEDS() {
  std::vector<std::uint32_t> seeds = {0u, 1u, 5489u, 19650218u, 0x7FFFFFFFu, 0x80000000u, 0xFFFFFFFFu};
  std::mt19937 pick(2026);
  for (int k = 0; k < 60; ++k) seeds.push_back(static_cast<std::uint32_t>(pick()));
  return seeds;
}

TEST(Mt19937Block, SameOutputsAsTheStandardEngineForManySeeds) {
  for (std::uint32_t seed : SOME_SEEDS()) {
    MT19937 fast(seed);
    std::mt19937 plain(seed);
    for (int k = 0; k < 50000; ++k) {
      const std::uint32_t expected = static_cast<std::uint32_t>(plain());
      const std::uint32_t got = fast();
      ASSERT_EQ(got, expected) << "seed " << seed << " output " << k;
    }
  }
}

TEST(Mt19937Block, MillionsOfOutputsOfTheProgramWideGenerator) {
  for (std::uint32_t seed : {20261208u, 4357u}) {
    SEED_RANDOM_GENERATOR(seed);
    std::mt19937 plain(seed);
    std::uint64_t mismatches = 0;
    for (int k = 0; k < 5000000; ++k)
      mismatches += NEXT_OUTPUT() != static_cast<std::uint32_t>(plain()) ? 1 : 0;
    EXPECT_EQ(mismatches, 0u) << "seed " << seed;
    EXPECT_TRUE(RANDOM_GENERATOR == plain);
  }
}

TEST(Mt19937Block, LentBlocksAndSkipsFollowTheSameSequence) {
  std::mt19937 choose(7);
  for (std::uint32_t seed : SOME_SEEDS()) {
    MT19937 fast(seed);
    std::mt19937 plain(seed);
    for (int round = 0; round < 300; ++round) {
      const unsigned how = static_cast<unsigned>(choose() % 3);
      const int count = 1 + static_cast<int>(choose() % 1500);
      if (how == 0) {
        for (int k = 0; k < count; ++k) ASSERT_EQ(fast(), static_cast<std::uint32_t>(plain()));
      } else if (how == 1) {
        int left = count;
        while (left > 0) {
          const std::uint32_t* first = nullptr;
          const int taken = fast.TAKE_OUTPUTS(first, left);
          ASSERT_GE(taken, 1);
          ASSERT_LE(taken, left);
          for (int k = 0; k < taken; ++k) ASSERT_EQ(first[k], static_cast<std::uint32_t>(plain()));
          left -= taken;
        }
      } else {
        fast.discard(static_cast<unsigned long long>(count));
        plain.discard(static_cast<unsigned long long>(count));
      }
      ASSERT_TRUE(plain == fast) << "seed " << seed << " round " << round;
    }
  }
}

TEST(Mt19937Block, StatesConvertBothWays) {
  std::mt19937 plain(99);
  plain.discard(1000);
  std::stringstream text;
  text << plain;
  MT19937 fast;
  text >> fast;
  ASSERT_TRUE(text);
  EXPECT_TRUE(plain == fast);
  const std::mt19937 back = fast;
  EXPECT_TRUE(back == plain);
  for (int k = 0; k < 2000; ++k) ASSERT_EQ(fast(), static_cast<std::uint32_t>(plain()));

  std::stringstream again;
  again << fast;
  std::mt19937 read;
  again >> read;
  EXPECT_TRUE(read == plain);

  // A position beyond the state is not a state: the engine is left alone.
  std::stringstream bad;
  for (int k = 0; k < MT19937::STATE_WORDS; ++k) bad << 1 << ' ';
  bad << 625;
  const MT19937 before = fast;
  bad >> fast;
  EXPECT_FALSE(bad);
  EXPECT_TRUE(fast == before);
}

}  // namespace
}  // namespace korvel
