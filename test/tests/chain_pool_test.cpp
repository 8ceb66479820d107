// The pool that runs exact-test chains on worker threads: every result is
// the one the chain gives on the calling thread, whichever thread ran it
// and in whatever order they finish; and stopping calls off chains that
// are still running instead of waiting for them.
#include "tests/chain_pool.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <memory>
#include <random>
#include <vector>

namespace korvel {
namespace {

void RANDOM_CHAIN(std::mt19937& pick, EXACT_TEST_STATE& s) {
  s.N = static_cast<INT16>(2 + pick() % 4);
  s.M = 2;
  for (int i = 1; i <= s.N; ++i)
    for (int j = 1; j <= s.M; ++j)
      s.MM[static_cast<std::size_t>(i)][static_cast<std::size_t>(j)] = static_cast<INT32>(1 + pick() % 30);
  s.UU1 = static_cast<INT16>(1 + pick() % 168);
  s.UU2 = static_cast<INT16>(1 + pick() % 168);
  s.UU3 = static_cast<INT16>(1 + pick() % 168);
  s.UU4 = static_cast<INT16>(1 + pick() % 168);
  s.MEM = static_cast<INT32>(pick() % 500);
  s.B = 2 + static_cast<INT32>(pick() % 5);
  s.C = 1 + static_cast<INT32>(pick() % 3000);
}

bool SAME_BITS(EXTENDED a, EXTENDED b) { return std::memcmp(&a, &b, 10) == 0; }

TEST(ChainPool, ResultsAreThoseOfTheChainRunHereWhateverThreadRanIt) {
  for (int threads : {1, 2, 5}) {
    CHAIN_POOL pool(threads);
    std::mt19937 pick(static_cast<unsigned>(threads));
    std::vector<std::unique_ptr<CHAIN_TASK>> tasks;
    std::vector<EXACT_TEST_STATE> expected;
    for (int k = 0; k < 40; ++k) {
      tasks.push_back(std::make_unique<CHAIN_TASK>());
      RANDOM_CHAIN(pick, tasks.back()->STATE);
      expected.push_back(tasks.back()->STATE);
      expected.back().MAKE_RANDOM();
      expected.back().CHAINE();
      pool.SUBMIT(*tasks.back());
    }
    // Waited for newest first: the waiting thread runs the others itself.
    for (int k = 39; k >= 0; --k) {
      pool.WAIT_FOR(*tasks[static_cast<std::size_t>(k)]);
      ASSERT_TRUE(pool.DONE(*tasks[static_cast<std::size_t>(k)]));
      const EXACT_TEST_STATE& got = tasks[static_cast<std::size_t>(k)]->STATE;
      EXPECT_TRUE(SAME_BITS(got.HM, expected[static_cast<std::size_t>(k)].HM))
          << threads << " threads, task " << k;
      EXPECT_TRUE(SAME_BITS(got.HECA, expected[static_cast<std::size_t>(k)].HECA))
          << threads << " threads, task " << k;
      EXPECT_EQ(got.MM, expected[static_cast<std::size_t>(k)].MM);
    }
  }
}

TEST(ChainPool, StopCallsOffRunningChainsInsteadOfWaitingForThem) {
  CHAIN_POOL pool(3);
  std::vector<std::unique_ptr<CHAIN_TASK>> tasks;
  for (int k = 0; k < 4; ++k) {
    tasks.push_back(std::make_unique<CHAIN_TASK>());
    EXACT_TEST_STATE& s = tasks.back()->STATE;
    s.N = 3;
    s.M = 3;
    for (std::size_t i = 1; i <= 3; ++i)
      for (std::size_t j = 1; j <= 3; ++j) s.MM[i][j] = 20;
    s.UU1 = 17;
    s.UU2 = 5;
    s.UU3 = 142;
    s.UU4 = static_cast<INT16>(88 + k);
    // Far more steps than a test could wait for.
    s.MEM = 2000000000;
    s.B = 2;
    s.C = 1;
    pool.SUBMIT(*tasks.back());
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  const auto start = std::chrono::steady_clock::now();
  pool.STOP();
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(20));
  for (const auto& task : tasks) EXPECT_FALSE(pool.DONE(*task));
}

}  // namespace
}  // namespace korvel
