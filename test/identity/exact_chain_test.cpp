// The exact test's chain (generator on integer units of 2^-24, integer
// acceptance, cached logarithms, draws made ahead, seeding through discrete
// logarithms) against the plain chain in extended reals, step by step: the
// same HM and HECA bit for bit, the same final table, generator and RHO.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <string_view>
#include <utility>

#include "support/chain_form_environment.h"
#include "support/straightforward.h"
#include "tests/exact_chain.h"
#include "tests/exact_test_state.h"
#include "tests/test_state.h"

namespace korvel {
namespace {

using reference::REFERENCE_CHAIN;

bool SAME_BITS(EXTENDED a, EXTENDED b) { return std::memcmp(&a, &b, 10) == 0; }

// One step of the program's walk (the tolerance applied, as after the
// first step of any walk), with the generator and the switch left in the
// state.
void ONE_STEP(EXACT_TEST_STATE& s) {
  exact_chain::WALKER walk(s);
  walk.RUN(1);
  walk.STORE();
}

void EXPECT_SAME_GENERATOR(const REFERENCE_CHAIN& r, const EXACT_TEST_STATE& s, const std::string& what) {
  for (int k = 1; k <= 97; ++k)
    ASSERT_EQ(r.U[static_cast<std::size_t>(k)] * 16777216.0L,
              static_cast<EXTENDED>(s.U[static_cast<std::size_t>(k)]))
        << what << " U[" << k << "]";
  ASSERT_EQ(r.DI * 16777216.0L, static_cast<EXTENDED>(s.DI)) << what;
  ASSERT_EQ(r.DP, s.DP) << what;
  ASSERT_EQ(r.DQ, s.DQ) << what;
}

// A random table: rows x columns, counts of the given scale, with empty
// cells, rows and columns now and then.
void RANDOM_TABLE(std::mt19937& pick, REFERENCE_CHAIN& r, EXACT_TEST_STATE& s, INT32 scale) {
  const int rows = 2 + static_cast<int>(pick() % static_cast<unsigned>(std::min(MAX_POPS, 8) - 1));
  const int columns = 2 + static_cast<int>(pick() % static_cast<unsigned>(MAX_ALLELES - 1));
  r.N = s.N = static_cast<INT16>(rows);
  r.M = s.M = static_cast<INT16>(columns);
  const int empty_row = pick() % 5 == 0 ? 1 + static_cast<int>(pick() % static_cast<unsigned>(rows)) : 0;
  const int empty_column = pick() % 5 == 0 ? 1 + static_cast<int>(pick() % static_cast<unsigned>(columns))
                                           : 0;
  for (int i = 1; i <= rows; ++i) {
    for (int j = 1; j <= columns; ++j) {
      INT32 count = static_cast<INT32>(pick() % static_cast<unsigned>(scale + 1));
      if (i == empty_row || j == empty_column || pick() % 6 == 0) count = 0;
      r.MM[static_cast<std::size_t>(i)][static_cast<std::size_t>(j)] = count;
      s.MM[static_cast<std::size_t>(i)][static_cast<std::size_t>(j)] = count;
    }
  }
}

void RANDOM_SEEDS(std::mt19937& pick, REFERENCE_CHAIN& r, EXACT_TEST_STATE& s) {
  r.UU1 = s.UU1 = static_cast<INT16>(1 + pick() % 168);
  r.UU2 = s.UU2 = static_cast<INT16>(1 + pick() % 168);
  r.UU3 = s.UU3 = static_cast<INT16>(1 + pick() % 168);
  r.UU4 = s.UU4 = static_cast<INT16>(1 + pick() % 168);
}

// The chain as CHAINE walks it (RHO bounded, falling back on the exact sum)
// and as it walks it exactly: the same HM, HECA, final table, generator and
// last switch as the reference. The exact walk also ends on RHO's very
// bits; the bounded one within its bound.
void EXPECT_SAME_CHAIN(REFERENCE_CHAIN& r, EXACT_TEST_STATE& s, const std::string& what) {
  r.MAKE_RANDOM();
  s.MAKE_RANDOM();
  EXACT_TEST_STATE exact = s;
  r.CHAINE();
  s.CHAINE();
  exact.CHAINE_WITH_EXACT_RHO();
  for (const EXACT_TEST_STATE* walked : {&s, &exact}) {
    const std::string how = what + (walked == &s ? " (CHAINE)" : " (exact RHO)");
    ASSERT_TRUE(SAME_BITS(r.HM, walked->HM))
        << how << ": HM " << static_cast<double>(r.HM) << " vs " << static_cast<double>(walked->HM);
    ASSERT_TRUE(SAME_BITS(r.HECA, walked->HECA)) << how << ": HECA";
    ASSERT_EQ(r.MM, walked->MM) << how << ": table";
    EXPECT_SAME_GENERATOR(r, *walked, how);
    ASSERT_EQ(r.UNI, walked->UNI) << how;
    ASSERT_EQ(r.OP1, walked->OP1) << how;
    ASSERT_EQ(r.ALL2, walked->ALL2) << how;
  }
  ASSERT_TRUE(SAME_BITS(r.RHO, exact.RHO)) << what << ": RHO";
  ASSERT_NEAR(static_cast<double>(r.RHO), static_cast<double>(s.RHO), 1e-12) << what << ": bounded RHO";
}

TEST(ExactChainIdentity, SeedingForEverySeedOfEachPosition) {
  std::mt19937 pick(5);
  for (int position = 0; position < 4; ++position) {
    for (INT16 seed = 1; seed <= 168; ++seed) {
      REFERENCE_CHAIN r;
      EXACT_TEST_STATE s;
      RANDOM_SEEDS(pick, r, s);
      INT16* reference_seeds[] = {&r.UU1, &r.UU2, &r.UU3, &r.UU4};
      INT16* fast_seeds[] = {&s.UU1, &s.UU2, &s.UU3, &s.UU4};
      *reference_seeds[position] = *fast_seeds[position] = seed;
      r.MAKE_RANDOM();
      s.MAKE_RANDOM();
      EXPECT_SAME_GENERATOR(r, s, "seed " + std::to_string(seed) + " at " + std::to_string(position));
      for (int k = 0; k < 3000; ++k) {
        r.GOSUB100();
        ASSERT_EQ(r.UNI * 16777216.0L, static_cast<EXTENDED>(exact_chain::NEXT_UNIFORM(s))) << "draw " << k;
      }
    }
  }
}

TEST(ExactChainIdentity, ManyRandomTablesAndSeeds) {
  std::mt19937 pick(31337);
  for (int round = 0; round < 300; ++round) {
    REFERENCE_CHAIN r;
    EXACT_TEST_STATE s;
    const INT32 scale = round % 3 == 0 ? 3 : round % 3 == 1 ? 30 : 400;
    RANDOM_TABLE(pick, r, s, scale);
    RANDOM_SEEDS(pick, r, s);
    // A quarter without dememorization: the first counted step starts from
    // the observed table.
    r.MEM = s.MEM = round % 4 == 0 ? 0 : static_cast<INT32>(pick() % 400);
    r.B = s.B = 2 + static_cast<INT32>(pick() % 8);
    r.C = s.C = 1 + static_cast<INT32>(pick() % 700);
    EXPECT_SAME_CHAIN(r, s, "round " + std::to_string(round));
  }
}

// A walk's first block has its switches chosen in two chunks as the walk
// reaches them: chains that end on either side of the first chunk's end,
// on tables with two rows or columns, where long redraw loops (steps drawn
// one by one) can carry the walk past the places chosen so far.
TEST(ExactChainIdentity, ShortChainsAroundTheFirstChunkOfSwitches) {
  std::mt19937 pick(512);
  const std::pair<INT32, INT32> shapes[] = {{2, 2}, {2, 5}, {5, 2}, {3, 3}};
  for (const auto& [rows, columns] : shapes) {
    for (INT32 steps = 60; steps <= 160; steps += 4) {
      REFERENCE_CHAIN r;
      EXACT_TEST_STATE s;
      r.N = s.N = static_cast<INT16>(rows);
      r.M = s.M = static_cast<INT16>(columns);
      for (std::size_t i = 1; i <= static_cast<std::size_t>(rows); ++i)
        for (std::size_t j = 1; j <= static_cast<std::size_t>(columns); ++j)
          r.MM[i][j] = s.MM[i][j] = static_cast<INT32>(1 + pick() % 40);
      RANDOM_SEEDS(pick, r, s);
      r.MEM = s.MEM = steps % 8;
      r.B = s.B = 2;
      r.C = s.C = steps / 2;
      EXPECT_SAME_CHAIN(
          r, s,
          std::to_string(rows) + "x" + std::to_string(columns) + ", " + std::to_string(steps) + " steps");
    }
  }
}

TEST(ExactChainIdentity, TableWithoutPossibleSwitch) {
  // All counts in one row: no switch is ever made, every step counts.
  REFERENCE_CHAIN r;
  EXACT_TEST_STATE s;
  r.N = s.N = 3;
  r.M = s.M = 2;
  r.MM[2][1] = s.MM[2][1] = 7;
  r.MM[2][2] = s.MM[2][2] = 4;
  r.UU1 = s.UU1 = 1;
  r.UU2 = s.UU2 = 168;
  r.UU3 = s.UU3 = 2;
  r.UU4 = s.UU4 = 167;
  for (INT32 mem : {0, 1, 10}) {
    r.MEM = s.MEM = mem;
    r.B = s.B = 4;
    r.C = s.C = 25;
    EXPECT_SAME_CHAIN(r, s, "dememorization " + std::to_string(mem));
    EXPECT_EQ(s.HM, 1.0L);
    EXPECT_EQ(s.HECA, 0.0L);
  }
}

TEST(ExactChainIdentity, LongWalkOfAWorkloadSizedTable) {
  std::mt19937 pick(8);
  REFERENCE_CHAIN r;
  EXACT_TEST_STATE s;
  r.N = s.N = static_cast<INT16>(std::min(MAX_POPS, 6));
  r.M = s.M = static_cast<INT16>(std::min(MAX_ALLELES, 10));
  for (int i = 1; i <= r.N; ++i)
    for (int copy = 0; copy < 100; ++copy) {
      const auto j = 1 + pick() % static_cast<unsigned>(r.M);
      ++r.MM[static_cast<std::size_t>(i)][j];
      ++s.MM[static_cast<std::size_t>(i)][j];
    }
  r.UU1 = s.UU1 = 17;
  r.UU2 = s.UU2 = 5;
  r.UU3 = s.UU3 = 142;
  r.UU4 = s.UU4 = 88;
  r.MEM = s.MEM = 1000;
  r.B = s.B = 20;
  r.C = s.C = 5000;
  EXPECT_SAME_CHAIN(r, s, "workload table");
}

TEST(ExactChainIdentity, LargeCountsAndWrappedProducts) {
  // Counts near 46340 bring the products near 2^31, where the integer
  // acceptance must still agree; above it the 32-bit products wrap and the
  // plain comparison of reals decides.
  std::mt19937 pick(99);
  for (INT32 scale : {20000, 46000, 46341, 70000}) {
    for (int round = 0; round < 10; ++round) {
      REFERENCE_CHAIN r;
      EXACT_TEST_STATE s;
      RANDOM_TABLE(pick, r, s, scale);
      RANDOM_SEEDS(pick, r, s);
      r.MEM = s.MEM = 50;
      r.B = s.B = 3;
      r.C = s.C = 200;
      EXPECT_SAME_CHAIN(r, s, "scale " + std::to_string(scale) + " round " + std::to_string(round));
    }
  }
}

TEST(ExactChainIdentity, SingleStepsMatchStepByStep) {
  std::mt19937 pick(4);
  for (int round = 0; round < 50; ++round) {
    REFERENCE_CHAIN r;
    EXACT_TEST_STATE s;
    RANDOM_TABLE(pick, r, s, 12);
    RANDOM_SEEDS(pick, r, s);
    r.MAKE_RANDOM();
    s.MAKE_RANDOM();
    // A RHO just inside the tolerance, as a caller may leave it.
    r.RHO = s.RHO = round % 2 == 0 ? 0.0L : 5.0E-9L;
    for (int k = 0; k < 500; ++k) {
      r.STEP();
      ONE_STEP(s);
      ASSERT_TRUE(SAME_BITS(r.RHO, s.RHO)) << "round " << round << " step " << k;
      ASSERT_EQ(r.MM, s.MM);
      ASSERT_EQ(r.OP1, s.OP1);
      ASSERT_EQ(r.OP2, s.OP2);
      ASSERT_EQ(r.ALL1, s.ALL1);
      ASSERT_EQ(r.ALL2, s.ALL2);
    }
    EXPECT_SAME_GENERATOR(r, s, "round " + std::to_string(round));
  }
}

TEST(ExactChainIdentity, BoundedWalkCountsAsTheStepByStepSum) {
  // Small counts bring the walk back to the observed table (RHO exactly 0
  // again) often; larger ones keep it away. Step by step the bounded walk
  // counts what the extended sum counts, and its A stays near that sum.
  std::mt19937 pick(606);
  for (int round = 0; round < 40; ++round) {
    REFERENCE_CHAIN r;
    EXACT_TEST_STATE s;
    RANDOM_TABLE(pick, r, s, round % 2 == 0 ? 2 : 40);
    RANDOM_SEEDS(pick, r, s);
    r.MAKE_RANDOM();
    s.MAKE_RANDOM();
    // A RHO just inside the tolerance, as a caller may leave it.
    r.RHO = s.RHO = round % 4 == 1 ? 5.0E-9L : 0.0L;
    exact_chain::WALKER walk(s, exact_chain::RHO_KEPT::BOUNDED);
    ASSERT_TRUE(walk.BOUNDED());
    for (int k = 0; k < 3000; ++k) {
      r.STEP();
      ASSERT_EQ(walk.RUN(1), r.RHO <= 0.0L ? 1 : 0) << "round " << round << " step " << k;
      if (k % 500 == 499) {
        walk.STORE();
        ASSERT_EQ(r.MM, s.MM) << "round " << round << " step " << k;
        ASSERT_NEAR(static_cast<double>(r.RHO), static_cast<double>(s.RHO), 1e-12) << "round " << round;
      }
    }
    ASSERT_FALSE(walk.LOST());
  }
}

TEST(ExactChainIdentity, BoundedWalkThatCannotTellStops) {
  // No switch is possible, so RHO stays where the caller left it: exactly
  // on the tolerance the bound cannot tell which side it is, twice the
  // tolerance it can.
  EXACT_TEST_STATE s;
  s.N = 2;
  s.M = 2;
  s.MM[1][1] = 5;
  s.MM[1][2] = 3;
  s.UU1 = s.UU2 = s.UU3 = s.UU4 = 7;
  s.MAKE_RANDOM();
  s.RHO = exact_chain::RHO_TOLERANCE;
  {
    exact_chain::WALKER walk(s, exact_chain::RHO_KEPT::BOUNDED);
    walk.RUN(1);
    EXPECT_TRUE(walk.LOST());
    EXPECT_EQ(walk.RUN(10), 0) << "a lost walk goes no further";
  }
  s.RHO = -2 * exact_chain::RHO_TOLERANCE;
  exact_chain::WALKER walk(s, exact_chain::RHO_KEPT::BOUNDED);
  EXPECT_EQ(walk.RUN(100), 100);
  EXPECT_FALSE(walk.LOST());
  // The exact walk is what CHAINE falls back on; large totals take it.
  // A step reads ln(count + 1), and no count exceeds the total.
  s.MM[1][1] = exact_chain::LN_COUNTS - 2 - 3;  // a total of LN_COUNTS - 2
  EXPECT_TRUE(exact_chain::WALKER(s, exact_chain::RHO_KEPT::BOUNDED).BOUNDED());
  ++s.MM[1][1];
  EXPECT_FALSE(exact_chain::WALKER(s, exact_chain::RHO_KEPT::BOUNDED).BOUNDED());
}

TEST(ExactChainIdentity, AcceptanceDrawExactlyOnTheBoundaryIsAccepted) {
  // From the table of ones every switch has PROB1 = 1 and PROB2 = 4; with
  // these seeds the ninth step's acceptance draw is exactly 1/4 (u = 2^22),
  // so PROB1 * 2^24 = u * PROB2: PSWITCH >= UNI holds with equality and the
  // switch is made.
  REFERENCE_CHAIN r;
  EXACT_TEST_STATE s;
  r.N = s.N = 2;
  r.M = s.M = 2;
  for (std::size_t i = 1; i <= 2; ++i)
    for (std::size_t j = 1; j <= 2; ++j) r.MM[i][j] = s.MM[i][j] = 1;
  r.UU1 = s.UU1 = 1;
  r.UU2 = s.UU2 = 56;
  r.UU3 = s.UU3 = 36;
  r.UU4 = s.UU4 = 141;
  r.MAKE_RANDOM();
  s.MAKE_RANDOM();
  constexpr int BOUNDARY_STEP = 8;
  for (int k = 0; k <= BOUNDARY_STEP; ++k) {
    if (k == BOUNDARY_STEP) {
      REFERENCE_CHAIN look = r;
      look.GOSUB20();
      ASSERT_EQ(look.MM[look.OP1][look.ALL1] * look.MM[look.OP2][look.ALL2], 1);
      ASSERT_EQ((look.MM[look.OP2][look.ALL1] + 1) * (look.MM[look.OP1][look.ALL2] + 1), 4);
      look.GOSUB100();
      ASSERT_EQ(look.UNI, 0.25L) << "the draw no longer lands on the boundary";
    }
    const auto before = r.MM;
    r.STEP();
    ONE_STEP(s);
    ASSERT_EQ(r.MM, s.MM) << "step " << k;
    ASSERT_TRUE(SAME_BITS(r.RHO, s.RHO)) << "step " << k;
    if (k == BOUNDARY_STEP) {
      EXPECT_NE(r.MM, before) << "the switch on the boundary was not made";
    }
  }
  EXPECT_SAME_GENERATOR(r, s, "after the boundary");

  // The same steps in one walk: the first draws the block, the others,
  // the boundary among them, are read off it.
  EXACT_TEST_STATE walked;
  walked.N = walked.M = 2;
  for (std::size_t i = 1; i <= 2; ++i)
    for (std::size_t j = 1; j <= 2; ++j) walked.MM[i][j] = 1;
  walked.UU1 = 1;
  walked.UU2 = 56;
  walked.UU3 = 36;
  walked.UU4 = 141;
  walked.MAKE_RANDOM();
  exact_chain::WALKER walk(walked);
  walk.RUN(BOUNDARY_STEP + 1);
  walk.STORE();
  EXPECT_EQ(walked.MM, s.MM);
  EXPECT_TRUE(SAME_BITS(walked.RHO, s.RHO));
  EXPECT_SAME_GENERATOR(r, walked, "one walk through the boundary");
}

// GOSUB20 from the draw at `first` on, drawn one by one; false when its
// draws run past `end`.
bool SWITCH_DRAWN_ONE_BY_ONE(const INT32* first, const INT32* end, INT32 rows, INT32 columns,
                             exact_chain::SWITCH& s, int& draws) {
  const INT32* next = first;
  const auto pick = [&](INT32 count, INT32& value) {
    if (next == end) return false;
    value = exact_chain::PICK(count, *next++);
    return true;
  };
  if (!pick(rows, s.OP1) || !pick(columns, s.ALL1)) return false;
  do
    if (!pick(rows, s.OP2)) return false;
  while (s.OP2 == s.OP1);
  do
    if (!pick(columns, s.ALL2)) return false;
  while (s.ALL2 == s.ALL1);
  draws = static_cast<int>(next - first);
  return true;
}

TEST(ExactChainIdentity, ChoicesReadOffABlockAreTheSwitchesDrawnOneByOne) {
  // Two rows or two columns make long redraw loops common; four rows or
  // columns or more take the short lookahead; two and three rows or
  // columns are chosen with their count compiled in.
  std::mt19937 pick(2027);
  const std::pair<INT32, INT32> shapes[] = {{2, 2}, {3, 2}, {4, 2}, {5, 2}, {2, 5},
                                            {2, 3}, {3, 3}, {3, 6}, {6, 3}, {MAX_POPS, MAX_ALLELES}};
  auto draws = std::make_unique<std::array<INT32, exact_chain::DRAW_BLOCK>>();
  auto choices = std::make_unique<exact_chain::SWITCH_CHOICES>();
  // The form in use: ctest runs every form this processor runs.
  const exact_chain::CHAIN_FORM& form = exact_chain::THE_CHAIN_FORM();
  const char* const name = form.NAME;
  constexpr int BLOCKS = 8;
  for (const auto& [rows, columns] : shapes) {
    int drawn_one_by_one = 0;
    for (int block = 0; block < BLOCKS; ++block) {
      for (INT32& u : *draws) u = static_cast<INT32>(pick() >> 8);
      // Chosen in chunks of random lengths, as a walk reaches them, over
      // what a previous block left (here, bytes no choice makes).
      for (auto* places : {&choices->TAKE1, &choices->TAKE2, &choices->GIVE1, &choices->GIVE2})
        std::fill(places->begin(), places->end() - 1, static_cast<exact_chain::CELL_PLACE>(0xA5));
      std::fill(choices->ADVANCE.begin(), choices->ADVANCE.end() - 1, std::uint8_t{0xA5});
      for (int from = 0; from < exact_chain::DRAW_BLOCK;) {
        const int to = std::min(exact_chain::DRAW_BLOCK, from + 64 * static_cast<int>(1 + pick() % 24));
        form.CHOOSE_SWITCHES(draws->data(), rows, columns, from, to, *choices);
        from = to;
      }
      for (int k = 0; k <= exact_chain::DRAW_BLOCK; ++k) {
        const auto at = static_cast<std::size_t>(k);
        const std::string where = std::string(name) + " " + std::to_string(rows) + "x" +
                                  std::to_string(columns) + " place " + std::to_string(k);
        if (choices->ADVANCE[at] == 0) {
          ++drawn_one_by_one;
          continue;
        }
        exact_chain::SWITCH expected{};
        int advance = 0;
        ASSERT_TRUE(SWITCH_DRAWN_ONE_BY_ONE(draws->data() + k, draws->data() + draws->size(), rows, columns,
                                            expected, advance))
            << where;
        const exact_chain::SWITCH chosen = choices->SWITCH_AT(at);
        ASSERT_EQ(chosen.OP1, expected.OP1) << where;
        ASSERT_EQ(chosen.ALL1, expected.ALL1) << where;
        ASSERT_EQ(chosen.OP2, expected.OP2) << where;
        ASSERT_EQ(chosen.ALL2, expected.ALL2) << where;
        ASSERT_EQ(choices->GIVE1[at], exact_chain::PLACE_OF(expected.OP1, expected.ALL2)) << where;
        ASSERT_EQ(choices->GIVE2[at], exact_chain::PLACE_OF(expected.OP2, expected.ALL1)) << where;
        ASSERT_EQ(choices->ADVANCE[at], advance) << where;
        // The acceptance draw lies in the block too.
        ASSERT_LT(k + advance, exact_chain::DRAW_BLOCK) << where;
      }
    }
    // Only the blocks' ends and the rare long loops are left to the general
    // step: a loop over two values goes past its lookahead once in
    // 2^(lookahead + 1), and a step has two loops, so on average a block
    // leaves 2 * DRAW_BLOCK / 2^(lookahead + 1) places; allowed twice that
    // (long loops come in clusters). The bit-selects form looks further
    // ahead, and so does every form on 2 x 2 tables.
    const bool on_bits = std::string_view(name) == "bit-selects" || (rows == 2 && columns == 2);
    const int lookahead = on_bits ? exact_chain::BIT_LOOKAHEAD : exact_chain::LOOKAHEAD;
    EXPECT_LT(drawn_one_by_one,
              BLOCKS * (exact_chain::CHOICE_MARGIN + 1 + 4 * exact_chain::DRAW_BLOCK / (2 << lookahead)))
        << name << " " << rows << "x" << columns;
  }
}

// A state whose chain generator is seeded from random seeds (on a 2 x 2
// table, which the generator does not look at).
EXACT_TEST_STATE SEEDED_GENERATOR(std::mt19937& pick) {
  REFERENCE_CHAIN unused;
  EXACT_TEST_STATE s;
  s.N = s.M = 2;
  RANDOM_SEEDS(pick, unused, s);
  s.MAKE_RANDOM();
  return s;
}

TEST(ExactChainIdentity, BlocksOfDrawsFollowTheGeneratorAndHandItBack) {
  std::mt19937 pick(77);
  for (int round = 0; round < 3; ++round) {
    EXACT_TEST_STATE s = SEEDED_GENERATOR(pick);
    const EXACT_TEST_STATE seeded = s;
    exact_chain::LOCAL_GENERATOR g{seeded.U, seeded.DI, seeded.DD, seeded.DM, seeded.DP, seeded.DQ, 0};
    auto draws = std::make_unique<exact_chain::DRAWS_AHEAD>(seeded);
    // Nothing drawn: the generator is handed back as it was.
    draws->STORE(s, draws->END());
    EXPECT_EQ(s.U, seeded.U);
    EXPECT_EQ(s.DI, seeded.DI);
    EXPECT_EQ(s.DP, seeded.DP);
    for (int block = 0; block < 3; ++block) {
      const INT32* first = draws->REFILL();
      for (int k = 0; k < exact_chain::DRAW_BLOCK; ++k)
        ASSERT_EQ(first[k], exact_chain::NEXT_UNIFORM(g)) << "block " << block << " draw " << k;
    }
    // Handed back after the 100th draw of the third block.
    draws->STORE(s, draws->BEGIN() + 100);
    exact_chain::LOCAL_GENERATOR expected{seeded.U, seeded.DI, seeded.DD, seeded.DM, seeded.DP, seeded.DQ, 0};
    for (int k = 0; k < 2 * exact_chain::DRAW_BLOCK + 100; ++k) exact_chain::NEXT_UNIFORM(expected);
    EXPECT_EQ(s.U, expected.U);
    EXPECT_EQ(s.DI, expected.DI);
    EXPECT_EQ(s.DP, expected.DP);
    EXPECT_EQ(s.DQ, expected.DQ);
    EXPECT_EQ(s.UNI24, expected.UNI24);
  }
}

TEST(ExactChainIdentity, ABlockOfDrawsFollowsTheGenerator) {
  // The form in use: ctest runs every form this processor runs.
  const char* name = exact_chain::THE_CHAIN_FORM().NAME;
  std::mt19937 pick(4242);
  auto x = std::make_unique<std::array<INT32, exact_chain::LAG_VALUES>>();
  auto draws = std::make_unique<std::array<INT32, exact_chain::DRAW_BLOCK>>();
  for (int round = 0; round < 4; ++round) {
    EXACT_TEST_STATE s = SEEDED_GENERATOR(pick);
    // Any point of the arithmetic sequence, the first round at its start.
    s.DI = round == 0 ? s.DI : static_cast<INT32>(pick() % static_cast<std::uint32_t>(s.DM));
    exact_chain::LOCAL_GENERATOR g{s.U, s.DI, s.DD, s.DM, s.DP, s.DQ, 0};
    int place = s.DP;
    for (std::size_t k = 0; k < exact_chain::LAG_TABLE_SIZE; ++k) {
      (*x)[k] = s.U[static_cast<std::size_t>(place)];
      place = place == 1 ? exact_chain::LAG_TABLE_SIZE : place - 1;
    }
    exact_chain::THE_CHAIN_FORM().MAKE_DRAWS(x->data(), s.DI, draws->data());
    for (std::size_t k = 0; k < exact_chain::DRAW_BLOCK; ++k) {
      ASSERT_EQ((*draws)[k], exact_chain::NEXT_UNIFORM(g)) << name << " round " << round << " draw " << k;
      // The lagged value is the one the generator just left in its table.
      ASSERT_EQ((*x)[exact_chain::LAG_TABLE_SIZE + k],
                g.U[static_cast<std::size_t>(g.DP == 97 ? 1 : g.DP + 1)])
          << name << " round " << round << " value " << k;
    }
  }
}

}  // namespace
}  // namespace korvel
