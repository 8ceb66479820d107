// The contingency-table hand-off: CONTTAB.XYZ holds, after every tested
// locus, exactly the bytes that the file written anew with the program's
// text-file rules would hold; the two tests, reading the lent text, get
// exactly the results they get from the file itself.
#include <gtest/gtest.h>

#include <unistd.h>
#include "support/scratch_folder.h"
#include "support/whole_locus_test.h"

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>

#include "common/random_generator.h"
#include "common/tables.h"
#include "common/text_file.h"
#include "tests/chisquare_test.h"
#include "tests/exact_test.h"
#include "tests/locus_tests.h"
#include "tests/test_state.h"

namespace korvel {
namespace {

using testing::READ_FILE;

class ConttabHandoffTest : public ::testing::Test {
 protected:
  void SetUp() override {
    RUN_CHI2 = 1;
    RUN_FISHER = 1;
    NUMBLOCI = 1;
    J = 1;
  }

  // The file as written straight through a text-file variable: the seeds
  // are the next four integer draws, which the reference takes from a copy
  // of the program-wide generator.
  static std::string REFERENCE_FILE() {
    std::mt19937 engine = RANDOM_GENERATOR;
    TextOut out;
    out.CREATE("EXPECTED.XYZ");
    auto field = [&out](long long value) {
      if (std::to_string(value).size() >= 5) {
        out.BLANKS(1).INT(value);
      } else {
        out.INT(value, 5);
      }
    };
    int columns = 0;
    std::array<int, MAX_ALLELES + 1> sum{};
    for (int k = 1; k <= ALLELES_PER_LOCUS[J]; ++k) {
      for (int i = 1; i <= NUMBPOPS; ++i) sum[static_cast<std::size_t>(k)] += ALL_POPS_ACOUNT[i][J][k];
      if (sum[static_cast<std::size_t>(k)] > 0) ++columns;
    }
    field(NUMBPOPS);
    field(columns);
    for (int s = 0; s < 4; ++s) field(1 + INTEGER_FROM_OUTPUT(165, static_cast<std::uint32_t>(engine())));
    out.BLANKS(2).INT(ITER1);
    out.BLANKS(2).INT(ITER2);
    out.BLANKS(2).INT(ITER3);
    out.END_LINE();
    for (int i = 1; i <= NUMBPOPS; ++i) {
      for (int k = 1; k <= ALLELES_PER_LOCUS[J]; ++k)
        if (sum[static_cast<std::size_t>(k)] > 0) field(ALL_POPS_ACOUNT[i][J][k]);
      out.END_LINE();
    }
    out.CLOSE();
    return READ_FILE("EXPECTED.XYZ");
  }

  // A locus with at least two rows and two non-empty columns.
  static void RANDOM_LOCUS(std::mt19937& pick) {
    std::memset(&ALL_POPS_ACOUNT, 0, sizeof ALL_POPS_ACOUNT);
    ALLELES_PER_LOCUS.fill(0);
    NUMBPOPS = static_cast<INT16>(2 + pick() % static_cast<unsigned>(std::min(MAX_POPS, 12) - 1));
    const int alleles = 2 + static_cast<int>(pick() % static_cast<unsigned>(MAX_ALLELES - 1));
    ALLELES_PER_LOCUS[J] = static_cast<INT16>(alleles);
    const int large = pick() % 4 == 0 ? 30000 : 60;
    for (int i = 1; i <= NUMBPOPS; ++i)
      for (int k = 1; k <= alleles; ++k)
        ALL_POPS_ACOUNT[i][J][k] = static_cast<INT16>(
            pick() % 3 == 0 ? 0 : pick() % static_cast<unsigned>(large));
    // Two columns that are surely not empty, in two different rows.
    ALL_POPS_ACOUNT[1][J][1] = static_cast<INT16>(1 + ALL_POPS_ACOUNT[1][J][1]);
    ALL_POPS_ACOUNT[2][J][alleles] = static_cast<INT16>(1 + ALL_POPS_ACOUNT[2][J][alleles]);
    ITER1 = static_cast<INT32>(pick() % 60);
    ITER2 = 2 + static_cast<INT32>(pick() % 4);
    // Now and then a long number of steps, for the widths of line 1.
    ITER3 = pick() % 5 == 0 ? 100000 + static_cast<INT32>(pick() % 900000)
                            : 1 + static_cast<INT32>(pick() % 60);
  }

  testing::ScratchFolder folder_;
};

TEST_F(ConttabHandoffTest, FileBytesAndTestResultsAsThroughTheFile) {
  std::mt19937 pick(2718);
  SEED_RANDOM_GENERATOR(1234);
  for (int round = 0; round < 60; ++round) {
    RANDOM_LOCUS(pick);
    if (ITER3 > 1000) ITER3 = 1000;  // keeps the chain short
    const std::string expected = REFERENCE_FILE();
    const LOCUS_RESULT result = testing::TEST_LOCUS_J_WHOLLY();
    ASSERT_EQ(READ_FILE("CONTTAB.XYZ"), expected) << "round " << round;
    const EXTENDED chisq = result.CHI2, prob = result.CHI2_P, hm = result.GEXACT_P, heca = result.SE;
    // Outside a loan the tests read the file itself.
    DO_CHISQUARE();
    FISHER();
    ASSERT_EQ(std::memcmp(&chisq, &CHISQ, 10), 0) << "round " << round;
    ASSERT_EQ(result.CHI2_DF, static_cast<INT32>(DF));
    ASSERT_EQ(std::memcmp(&prob, &PROB, 10), 0);
    ASSERT_EQ(std::memcmp(&hm, &HM, 10), 0);
    ASSERT_EQ(std::memcmp(&heca, &HECA, 10), 0);
  }
}

TEST_F(ConttabHandoffTest, ShorterTablesLeaveNothingOfLongerOnes) {
  std::mt19937 pick(11);
  RUN_CHI2 = 0;
  RUN_FISHER = 0;
  SEED_RANDOM_GENERATOR(99);
  for (int round = 0; round < 200; ++round) {
    RANDOM_LOCUS(pick);
    const std::string expected = REFERENCE_FILE();
    testing::TEST_LOCUS_J_WHOLLY();
    ASSERT_EQ(READ_FILE("CONTTAB.XYZ"), expected) << "round " << round;
  }
}

TEST_F(ConttabHandoffTest, FileDeletedReplacedOrInAnotherFolderIsWrittenAnew) {
  std::mt19937 pick(5);
  RUN_CHI2 = 0;
  RUN_FISHER = 0;
  SEED_RANDOM_GENERATOR(7);
  RANDOM_LOCUS(pick);
  testing::TEST_LOCUS_J_WHOLLY();

  // Deleted (as the program does at its end, or a user in between).
  DELETE_FILE(CONTTAB_FILE_NAME);
  RANDOM_LOCUS(pick);
  std::string expected = REFERENCE_FILE();
  testing::TEST_LOCUS_J_WHOLLY();
  EXPECT_EQ(READ_FILE("CONTTAB.XYZ"), expected);

  // Replaced by another file of the same name.
  { std::ofstream("OTHER.XYZ") << "something else entirely, and longer than a table\n"; }
  std::filesystem::rename("OTHER.XYZ", "CONTTAB.XYZ");
  RANDOM_LOCUS(pick);
  expected = REFERENCE_FILE();
  testing::TEST_LOCUS_J_WHOLLY();
  EXPECT_EQ(READ_FILE("CONTTAB.XYZ"), expected);

  // Another working folder: the file is made there, the old one is kept.
  const std::string old_text = READ_FILE("CONTTAB.XYZ");
  {
    testing::ScratchFolder other;  // entered now, left at the end of the block
    RANDOM_LOCUS(pick);
    expected = REFERENCE_FILE();
    testing::TEST_LOCUS_J_WHOLLY();
    EXPECT_EQ(READ_FILE("CONTTAB.XYZ"), expected);
  }
  EXPECT_EQ(std::filesystem::current_path(), folder_.path());
  EXPECT_EQ(READ_FILE("CONTTAB.XYZ"), old_text);

  // The program's end leaves no file behind.
  DELETE_FILE(CONTTAB_FILE_NAME);
  EXPECT_FALSE(std::filesystem::exists("CONTTAB.XYZ"));
}

}  // namespace
}  // namespace korvel
