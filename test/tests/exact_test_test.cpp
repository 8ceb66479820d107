// The exact test: the chain's generator, its steps, the reader's checks and
// stops, and the estimate against full enumeration of small tables.
#include <gtest/gtest.h>

#include <unistd.h>
#include "support/scratch_folder.h"

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "tests/exact_chain.h"
#include "tests/exact_test.h"
#include "tests/exact_test_state.h"
#include "tests/test_state.h"

namespace korvel {
namespace {

using TABLE_ROWS = std::vector<std::vector<int>>;

class ExactTestTest : public ::testing::Test {
 protected:
  static void WRITE_CONTTAB(const std::string& text) {
    std::ofstream out("CONTTAB.XYZ", std::ios::binary);
    out << text;
  }
  // A table file as the per-locus driver writes it.
  static void WRITE_TABLE(const TABLE_ROWS& rows, const std::string& seeds_and_iterations) {
    std::string text = std::to_string(rows.size()) + " " + std::to_string(rows[0].size()) + " " +
                       seeds_and_iterations + "\r\n";
    for (const auto& row : rows) {
      for (int count : row) text += " " + std::to_string(count);
      text += "\r\n";
    }
    WRITE_CONTTAB(text);
  }
  // Runs FISHER with its console lines captured.
  static std::string RUN_FISHER_QUIETLY() {
    ::testing::internal::CaptureStdout();
    FISHER();
    return ::testing::internal::GetCapturedStdout();
  }

  testing::ScratchFolder folder_;
};

EXACT_TEST_STATE SEEDED_STATE(INT16 u1, INT16 u2, INT16 u3, INT16 u4) {
  EXACT_TEST_STATE state;
  state.UU1 = u1;
  state.UU2 = u2;
  state.UU3 = u3;
  state.UU4 = u4;
  state.MAKE_RANDOM();
  return state;
}

EXACT_TEST_STATE STATE_WITH_TABLE(const TABLE_ROWS& rows) {
  EXACT_TEST_STATE state = SEEDED_STATE(17, 5, 142, 88);
  state.N = static_cast<INT16>(rows.size());
  state.M = static_cast<INT16>(rows[0].size());
  for (std::size_t i = 0; i < rows.size(); ++i)
    for (std::size_t j = 0; j < rows[i].size(); ++j) state.MM[i + 1][j + 1] = rows[i][j];
  return state;
}

bool SAME_GENERATOR(const EXACT_TEST_STATE& a, const EXACT_TEST_STATE& b) {
  return a.U == b.U && a.DI == b.DI && a.DP == b.DP && a.DQ == b.DQ;
}

// One step of the chain (choice, acceptance, switch, tolerance).
void ONE_STEP(EXACT_TEST_STATE& state) {
  exact_chain::WALKER walk(state);
  walk.RUN(1);
  walk.STORE();
}

// The switch the next step chooses (rows, then columns, each second one
// drawn again until it differs), with the generator moved past its draws.
exact_chain::SWITCH CHOOSE(EXACT_TEST_STATE& state) {
  exact_chain::SWITCH s{};
  s.OP1 = exact_chain::PICK(state.N, exact_chain::NEXT_UNIFORM(state));
  s.ALL1 = exact_chain::PICK(state.M, exact_chain::NEXT_UNIFORM(state));
  do s.OP2 = exact_chain::PICK(state.N, exact_chain::NEXT_UNIFORM(state));
  while (s.OP2 == s.OP1);
  do s.ALL2 = exact_chain::PICK(state.M, exact_chain::NEXT_UNIFORM(state));
  while (s.ALL2 == s.ALL1);
  return s;
}

// The exact P value: the probability, given the margins, of the tables no
// more probable than the observed one, by enumerating every table.
double EXACT_P_BY_ENUMERATION(const TABLE_ROWS& observed) {
  const std::size_t n = observed.size(), m = observed[0].size();
  std::vector<int> row_sums(n, 0), column_sums(m, 0);
  for (std::size_t i = 0; i < n; ++i)
    for (std::size_t j = 0; j < m; ++j) {
      row_sums[i] += observed[i][j];
      column_sums[j] += observed[i][j];
    }
  auto log_weight = [](const TABLE_ROWS& t) {
    double w = 0.0;
    for (const auto& row : t)
      for (int c : row) w -= std::lgamma(c + 1.0);
    return w;
  };
  const double observed_weight = log_weight(observed);
  double total = 0.0, tail = 0.0;
  TABLE_ROWS t(n, std::vector<int>(m, 0));
  std::vector<int> left = column_sums;
  std::function<void(std::size_t, std::size_t, int)> fill = [&](std::size_t i, std::size_t j, int row_left) {
    if (i == n - 1) {
      t[i] = left;
      const double w = log_weight(t);
      total += std::exp(w);
      if (w <= observed_weight + 1.0E-8) tail += std::exp(w);
      return;
    }
    if (j == m - 1) {
      if (row_left > left[j]) return;
      t[i][j] = row_left;
      left[j] -= row_left;
      fill(i + 1, 0, row_sums[i + 1]);
      left[j] += row_left;
      return;
    }
    for (int c = 0; c <= std::min(row_left, left[j]); ++c) {
      t[i][j] = c;
      left[j] -= c;
      fill(i, j + 1, row_left - c);
      left[j] += c;
    }
  };
  fill(0, 0, row_sums[0]);
  return tail / total;
}

TEST_F(ExactTestTest, GeneratorReproducesTheReferenceSequence) {
  EXACT_TEST_STATE state = SEEDED_STATE(12, 34, 56, 78);
  for (int i = 0; i < 20000; ++i) exact_chain::NEXT_UNIFORM(state);
  for (INT32 expected : {6533892, 14220222, 7275067, 6172232, 8354498, 10633180})
    EXPECT_EQ(exact_chain::NEXT_UNIFORM(state), expected);
}

TEST_F(ExactTestTest, RatioOfOneIsAcceptedWithoutADrawAndKeepsRho) {
  // Every switch of this table is either impossible or has ratio exactly 1.
  EXACT_TEST_STATE state = STATE_WITH_TABLE({{1, 0}, {0, 1}});
  state.RHO = 0.0L;
  int switches = 0;
  for (int i = 0; i < 40; ++i) {
    EXACT_TEST_STATE choice_only = state;
    const auto s = CHOOSE(choice_only);
    const bool possible = state.MM[s.OP1][s.ALL1] * state.MM[s.OP2][s.ALL2] != 0;
    const INT32 before = state.MM[1][1];
    ONE_STEP(state);
    EXPECT_TRUE(SAME_GENERATOR(state, choice_only)) << "step " << i;
    EXPECT_EQ(state.MM[1][1], possible ? 1 - before : before);
    EXPECT_EQ(state.RHO, 0.0L);
    if (possible) ++switches;
  }
  EXPECT_GT(switches, 0);
}

TEST_F(ExactTestTest, RatioBelowOneTakesOneMoreDraw) {
  EXACT_TEST_STATE state = STATE_WITH_TABLE({{3, 1}, {1, 1}});
  for (int i = 0; i < 40; ++i) {
    EXACT_TEST_STATE expected = state;
    const auto s = CHOOSE(expected);
    const INT32 taken = state.MM[s.OP1][s.ALL1] * state.MM[s.OP2][s.ALL2];
    const INT32 given = (state.MM[s.OP2][s.ALL1] + 1) * (state.MM[s.OP1][s.ALL2] + 1);
    if (taken != 0 && taken < given) exact_chain::NEXT_UNIFORM(expected);
    ONE_STEP(state);
    ASSERT_TRUE(SAME_GENERATOR(state, expected)) << "step " << i;
    // Margins are kept.
    ASSERT_EQ(state.MM[1][1] + state.MM[1][2], 4);
    ASSERT_EQ(state.MM[1][1] + state.MM[2][1], 4);
    ASSERT_EQ(state.MM[2][2] + state.MM[1][2], 2);
  }
}

TEST_F(ExactTestTest, TableWithoutPossibleSwitchCountsEveryStep) {
  WRITE_TABLE({{5, 3}, {0, 0}}, "17 5 142 88 100 10 50");
  HM = -1.0L;
  HECA = -1.0L;
  EXPECT_EQ(RUN_FISHER_QUIETLY(), "Warning: Line 2 is empty!\n");
  EXPECT_EQ(HM, 1.0L);
  EXPECT_EQ(HECA, 0.0L);
}

TEST_F(ExactTestTest, SingleBatchGivesZeroStandardErrorNotNaN) {
  WRITE_TABLE({{5, 3}, {2, 6}}, "17 5 142 88 100 1 500");
  EXPECT_EQ(RUN_FISHER_QUIETLY(), "");
  EXPECT_GT(HM, 0.0L);
  EXPECT_EQ(HECA, 0.0L);
}

TEST_F(ExactTestTest, SameFileGivesTheSameResultInEitherBuild) {
  WRITE_TABLE({{12, 0, 8}, {7, 9, 4}, {10, 3, 7}}, "17 5 142 88 1000 20 500");
  EXPECT_EQ(RUN_FISHER_QUIETLY(), "");
  const EXTENDED first_hm = HM, first_heca = HECA;
  EXPECT_EQ(RUN_FISHER_QUIETLY(), "");
  EXPECT_EQ(HM, first_hm);
  EXPECT_EQ(HECA, first_heca);
  // The same value in both capacity profiles.
  EXPECT_EQ(HM, 0x8.ce703afb7e90ffap-11L);  // 43 of 10000 counted steps
  EXPECT_EQ(HECA, 0xa.95436df1c3311afp-13L);
}

TEST_F(ExactTestTest, EstimateAgreesWithFullEnumeration) {
  const std::vector<TABLE_ROWS> tables = {
      {{6, 1}, {2, 7}},
      {{3, 1, 4}, {0, 5, 2}},
      {{2, 0, 3}, {1, 4, 0}, {0, 2, 3}},
      {{4, 4, 2}, {3, 5, 2}, {5, 3, 2}},
  };
  for (const auto& table : tables) {
    WRITE_TABLE(table, "101 7 33 150 2000 20 5000");
    EXPECT_EQ(RUN_FISHER_QUIETLY(), "");
    const double exact = EXACT_P_BY_ENUMERATION(table);
    EXPECT_GT(HECA, 0.0L);
    EXPECT_LE(std::fabs(static_cast<double>(HM) - exact), 4.0 * static_cast<double>(HECA))
        << "table of " << table.size() << " rows: exact " << exact << ", chain " << static_cast<double>(HM)
        << " +- " << static_cast<double>(HECA);
  }
}

TEST_F(ExactTestTest, EmptyRowIsOnlyAWarning) {
  WRITE_TABLE({{0, 0}, {5, 3}, {2, 6}}, "17 5 142 88 10 2 10");
  EXPECT_EQ(RUN_FISHER_QUIETLY(), "Warning: Line 1 is empty!\n");
  WRITE_TABLE({{5, 0, 3}, {2, 0, 6}}, "17 5 142 88 10 2 10");
  EXPECT_EQ(RUN_FISHER_QUIETLY(), "Warning: Column 2 is empty!\n");
}

TEST_F(ExactTestTest, ExtraNumbersOnALineAreIgnored) {
  WRITE_CONTTAB("2 2 17 5 142 88 10 2 10 999 -5\r\n 5 3 77\r\n 2 6\r\n");
  EXACT_TEST_STATE state;
  ::testing::internal::CaptureStdout();
  state.READINFILE();
  EXPECT_EQ(::testing::internal::GetCapturedStdout(), "");
  EXPECT_EQ(state.MM[1][1], 5);
  EXPECT_EQ(state.MM[1][2], 3);
  EXPECT_EQ(state.MM[2][1], 2);
  EXPECT_EQ(state.MM[2][2], 6);
  EXPECT_EQ(state.TOT, 16);
  EXPECT_EQ(state.MEM, 10);
  EXPECT_EQ(state.B, 2);
  EXPECT_EQ(state.C, 10);
}

// The stops write to standard output; the child sends it to standard error
// so that the death test can match the messages and their order.
void FISHER_WITH_CONSOLE_ON_STDERR() {
  std::fflush(stdout);
  ::dup2(STDERR_FILENO, STDOUT_FILENO);
  FISHER();
  std::fflush(stdout);
  std::exit(0);  // not reached when the reader stops
}

TEST_F(ExactTestTest, ReaderStopsOnADegenerateTableWithItsMessages) {
  WRITE_CONTTAB("1 2 17 5 142 88 10 2 10\n3 4\n");
  EXPECT_EXIT(FISHER_WITH_CONSOLE_ON_STDERR(), ::testing::ExitedWithCode(1),
              "^Table only contains one row!!\n$");

  WRITE_CONTTAB("0 2 17 5 142 88 10 2 10\n");
  EXPECT_EXIT(FISHER_WITH_CONSOLE_ON_STDERR(), ::testing::ExitedWithCode(1),
              "^Table only contains one row!!\n"
              "Something is wrong. The table is empty!!\n"
              "Warning: Column 1 is empty!\n"
              "Warning: Column 2 is empty!\n$");

  WRITE_CONTTAB("2 1 17 5 142 88 10 2 10\n3\n4\n");
  EXPECT_EXIT(FISHER_WITH_CONSOLE_ON_STDERR(), ::testing::ExitedWithCode(1),
              "^Table only contains one column!!\n$");

  WRITE_CONTTAB("2 2 0 5 169 88 10 2 10\n3 4\n5 6\n");
  EXPECT_EXIT(FISHER_WITH_CONSOLE_ON_STDERR(), ::testing::ExitedWithCode(1),
              "^Seed number must be in the range 1-168!!\n$");

  WRITE_CONTTAB("2 3 17 5 142 88 10 2 10\n0 0 0\n0 0 0\n");
  EXPECT_EXIT(FISHER_WITH_CONSOLE_ON_STDERR(), ::testing::ExitedWithCode(1),
              "^Warning: Line 1 is empty!\n"
              "Warning: Line 2 is empty!\n"
              "Something is wrong. The table is empty!!\n"
              "Warning: Column 1 is empty!\n"
              "Warning: Column 2 is empty!\n"
              "Warning: Column 3 is empty!\n$");

  WRITE_CONTTAB("1 1 0 5 142 88 10 2 10\n7\n");
  EXPECT_EXIT(FISHER_WITH_CONSOLE_ON_STDERR(), ::testing::ExitedWithCode(1),
              "^Table only contains one row!!\n"
              "Table only contains one column!!\n"
              "Seed number must be in the range 1-168!!\n$");
}

TEST_F(ExactTestTest, ReaderRefusesATableLargerThanTheBuild) {
  WRITE_CONTTAB(std::to_string(MAX_POPS + 1) + " 2 17 5 142 88 10 2 10\n");
  EXPECT_EXIT(FISHER_WITH_CONSOLE_ON_STDERR(), ::testing::ExitedWithCode(1), "at most");
}

}  // namespace
}  // namespace korvel
