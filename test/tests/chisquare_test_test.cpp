// The contingency chi-square test: CNTAB1 on tables in memory, and
// DO_CHISQUARE reading CONTTAB.XYZ back.
#include <gtest/gtest.h>

#include <unistd.h>
#include "support/scratch_folder.h"

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <string>
#include <vector>

#include "tests/chi2prob/chi2prob.h"
#include "tests/chisquare_test.h"
#include "tests/test_state.h"

namespace korvel {
namespace {

CHI2_TABLE MAKE_TABLE(std::initializer_list<std::vector<INT32>> rows) {
  CHI2_TABLE table{};
  int i = 1;
  for (const auto& row : rows) {
    for (std::size_t j = 0; j < row.size(); ++j) table[i][j + 1] = row[j];
    ++i;
  }
  return table;
}

struct RESULT {
  EXTENDED CHISQ = 0.0L, DF = 0.0L, PROB = 0.0L;
};

RESULT TEST_TABLE(std::initializer_list<std::vector<INT32>> rows) {
  RESULT r;
  const INT32 NI = static_cast<INT32>(rows.size());
  const INT32 NJ = static_cast<INT32>(rows.begin()->size());
  CNTAB1(MAKE_TABLE(rows), NI, NJ, r.CHISQ, r.DF, r.PROB);
  return r;
}

// Pearson's statistic by the textbook formula, skipping empty margins.
double PEARSON(const std::vector<std::vector<double>>& t) {
  std::vector<double> row(t.size(), 0.0), column(t[0].size(), 0.0);
  double total = 0.0;
  for (std::size_t i = 0; i < t.size(); ++i)
    for (std::size_t j = 0; j < t[0].size(); ++j) {
      row[i] += t[i][j];
      column[j] += t[i][j];
      total += t[i][j];
    }
  double chi2 = 0.0;
  for (std::size_t i = 0; i < t.size(); ++i)
    for (std::size_t j = 0; j < t[0].size(); ++j) {
      const double e = row[i] * column[j] / total;
      if (e > 0) chi2 += (t[i][j] - e) * (t[i][j] - e) / e;
    }
  return chi2;
}

TEST(Cntab1Test, CompletelySeparatedTwoByTwo) {
  const RESULT r = TEST_TABLE({{10, 0}, {0, 10}});
  EXPECT_NEAR(static_cast<double>(r.CHISQ), 20.0, 1.0E-12);
  EXPECT_EQ(r.DF, 1.0L);
  EXPECT_EQ(r.PROB, GAMMQ(0.5L, 0.5L * r.CHISQ));
  EXPECT_NEAR(static_cast<double>(r.PROB), 7.744E-6, 1.0E-8);
}

TEST(Cntab1Test, IdenticalRowsGiveZeroAndProbabilityOne) {
  const RESULT r = TEST_TABLE({{5, 5}, {5, 5}});
  EXPECT_EQ(r.CHISQ, 0.0L);
  EXPECT_EQ(r.DF, 1.0L);
  EXPECT_EQ(r.PROB, 1.0L);
}

TEST(Cntab1Test, ThreeByFourHasSixDfAndPearsonsValue) {
  const RESULT r = TEST_TABLE({{12, 0, 8, 5}, {7, 9, 4, 1}, {10, 3, 7, 2}});
  EXPECT_EQ(r.DF, 6.0L);
  EXPECT_NEAR(static_cast<double>(r.CHISQ), PEARSON({{12, 0, 8, 5}, {7, 9, 4, 1}, {10, 3, 7, 2}}), 1.0E-9);
  EXPECT_EQ(r.PROB, GAMMQ(3.0L, 0.5L * r.CHISQ));
}

TEST(Cntab1Test, EmptyRowsAndColumnsLowerTheDfAndAddNothing) {
  const RESULT full = TEST_TABLE({{12, 8}, {7, 4}});
  const RESULT empty_row = TEST_TABLE({{12, 8}, {0, 0}, {7, 4}});
  EXPECT_EQ(empty_row.DF, 1.0L);
  EXPECT_NEAR(static_cast<double>(empty_row.CHISQ), static_cast<double>(full.CHISQ), 1.0E-15);
  const RESULT empty_column = TEST_TABLE({{12, 0, 8}, {7, 0, 4}});
  EXPECT_EQ(empty_column.DF, 1.0L);
  EXPECT_NEAR(static_cast<double>(empty_column.CHISQ), static_cast<double>(full.CHISQ), 1.0E-15);
  const RESULT both = TEST_TABLE({{12, 0, 8}, {0, 0, 0}, {7, 0, 4}, {1, 0, 9}});
  EXPECT_EQ(both.DF, 2.0L);
}

class DoChisquareTest : public ::testing::Test {
 protected:
  static void WRITE_CONTTAB(const std::string& text) {
    std::ofstream out("CONTTAB.XYZ", std::ios::binary);
    out << text;
  }
  testing::ScratchFolder folder_;
};

TEST_F(DoChisquareTest, ReadsTheTableBackAndIgnoresWhatFollowsOnALine) {
  for (auto& row : TABLE) row.fill(77);  // an earlier, larger table
  WRITE_CONTTAB(
      "    2    3   17    5  142   88  1000  20  500\r\n"
      "   10    0    5   99\r\n"
      "    0   10    5\r\n");
  DO_CHISQUARE();
  EXPECT_EQ(TABLE[1][1], 10);
  EXPECT_EQ(TABLE[1][3], 5);
  EXPECT_EQ(TABLE[2][2], 10);
  EXPECT_EQ(TABLE[1][4], 0);  // the 99 after the row's last count
  EXPECT_EQ(TABLE[3][1], 0);
  for (std::size_t i = 0; i < TABLE.size(); ++i) EXPECT_EQ(TABLE[i][0], 0) << "row " << i;
  const RESULT expected = TEST_TABLE({{10, 0, 5}, {0, 10, 5}});
  EXPECT_EQ(CHISQ, expected.CHISQ);
  EXPECT_EQ(DF, 2.0L);
  EXPECT_EQ(PROB, expected.PROB);
}

TEST_F(DoChisquareTest, TableLargerThanTheBuildStops) {
  WRITE_CONTTAB(std::to_string(MAX_POPS + 1) + " 2 1 1 1 1 1 2 1\n");
  EXPECT_EXIT(DO_CHISQUARE(), ::testing::ExitedWithCode(1), "");
  WRITE_CONTTAB("2 " + std::to_string(MAX_ALLELES + 1) + " 1 1 1 1 1 2 1\n");
  EXPECT_EXIT(DO_CHISQUARE(), ::testing::ExitedWithCode(1), "");
}

}  // namespace
}  // namespace korvel
