#include "common/random_generator.h"

#include <gtest/gtest.h>

#include <set>

namespace korvel {
namespace {

TEST(RandomGenerator, IsThePublishedMt19937) {
  // The 10000th output of MT19937 seeded with 5489 is 4123659995.
  SEED_RANDOM_GENERATOR(5489);
  std::uint32_t g = 0;
  for (int i = 0; i < 10000; ++i) g = NEXT_OUTPUT();
  EXPECT_EQ(g, 4123659995u);
}

TEST(RandomGenerator, RealDrawIsTheOutputOver2To32) {
  EXPECT_EQ(REAL_FROM_OUTPUT(0), 0.0L);
  EXPECT_EQ(REAL_FROM_OUTPUT(1u << 31), 0.5L);
  EXPECT_EQ(REAL_FROM_OUTPUT(0xFFFFFFFFu), 1.0L - 1.0L / 4294967296.0L);
  SEED_RANDOM_GENERATOR(77);
  const std::uint32_t g = NEXT_OUTPUT();
  SEED_RANDOM_GENERATOR(77);
  EXPECT_EQ(REAL_DRAW(), static_cast<long double>(g) / 4294967296.0L);
}

TEST(RandomGenerator, IntegerDrawIsTheUpperHalfOfTheProduct) {
  EXPECT_EQ(INTEGER_FROM_OUTPUT(165, 0), 0u);
  EXPECT_EQ(INTEGER_FROM_OUTPUT(165, 0xFFFFFFFFu), 164u);
  EXPECT_EQ(INTEGER_FROM_OUTPUT(165, 0x80000000u), 82u);
  SEED_RANDOM_GENERATOR(12345);
  for (int i = 0; i < 10000; ++i) EXPECT_LT(INTEGER_DRAW(165), 165u);
}

TEST(RandomGenerator, ClockSeedsDifferBetweenCalls) {
  // Mixed from the tick count, a high-resolution clock, the process id and
  // the system's entropy source: calls in the same millisecond differ.
  std::set<std::uint32_t> seeds;
  for (int i = 0; i < 50; ++i) seeds.insert(SEED_FROM_CLOCK());
  EXPECT_EQ(seeds.size(), 50u);
}

}  // namespace
}  // namespace korvel
