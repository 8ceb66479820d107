// Fixed loci, the contingency-table file CONTTAB.XYZ and the start of the
// two tests for one locus.
#include <gtest/gtest.h>

#include "support/generator_priming.h"
#include "support/scratch_folder.h"
#include "support/whole_locus_test.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <sstream>
#include <string>
#include <vector>

#include "common/random_generator.h"
#include "common/tables.h"
#include "tests/locus_tests.h"
#include "tests/test_state.h"

namespace korvel {
namespace {

class LocusTestsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (auto& pop : ALL_POPS_ACOUNT)
      for (auto& locus : pop) locus.fill(0);
    ALLELES_PER_LOCUS.fill(0);
    FIXED_LOCUS.fill(0);
    NUMBLOCI = 1;
    NUMBPOPS = 2;
    J = 1;
    TOTALSAMPLESIZE = 0;
    ITER1 = 1000;
    ITER2 = 20;
    ITER3 = 500;
    RUN_CHI2 = 0;
    RUN_FISHER = 0;
    SEED_RANDOM_GENERATOR(2024);
  }

  // One population's sample at one locus: its allele counts from allele 1.
  static void SAMPLE(int pop, int locus, std::initializer_list<int> counts) {
    int k = 1;
    for (int c : counts) ALL_POPS_ACOUNT[pop][locus][k++] = static_cast<INT16>(c);
    ALLELES_PER_LOCUS[locus] = static_cast<INT16>(counts.size());
  }

  testing::ScratchFolder folder_;
};

// Sets the program-wide generator so that its next four integer draws with
// range 165 give the seeds asked for.
void GENERATOR_GIVING_SEEDS(std::initializer_list<int> seeds) {
  std::vector<std::uint32_t> outputs;
  for (int seed : seeds)
    outputs.push_back(static_cast<std::uint32_t>(((static_cast<std::uint64_t>(seed - 1) << 32) / 165) + 1));
  testing::PRIME_OUTPUTS(outputs);
  std::mt19937 probe = RANDOM_GENERATOR;
  for (int seed : seeds)
    ASSERT_EQ(1 + INTEGER_FROM_OUTPUT(165, static_cast<std::uint32_t>(probe())),
              static_cast<std::uint32_t>(seed));
}

TEST_F(LocusTestsTest, FixedLociAreThoseWithOneAlleleInThePooledSample) {
  NUMBLOCI = 4;
  NUMBPOPS = 2;
  TOTALSAMPLESIZE = 10;      // two samples of 5 diploids: 20 copies per locus
  SAMPLE(1, 1, {0, 10, 0});  // only allele 2 anywhere
  SAMPLE(2, 1, {0, 10, 0});
  SAMPLE(1, 2, {10});  // a single allele in the input
  SAMPLE(2, 2, {10});
  SAMPLE(1, 3, {10, 0});  // each sample fixed, on different alleles
  SAMPLE(2, 3, {0, 10});
  SAMPLE(1, 4, {3, 7});
  SAMPLE(2, 4, {10, 0});
  FIXED_LOCUS[3] = 1;  // left over from an earlier run
  TEST_EACH_LOCUS_FOR_FIXED_SAMPLES();
  EXPECT_EQ(FIXED_LOCUS[1], 1);
  EXPECT_EQ(FIXED_LOCUS[2], 1);
  EXPECT_EQ(FIXED_LOCUS[3], 0);
  EXPECT_EQ(FIXED_LOCUS[4], 0);
  EXPECT_EQ(NUMB_NONFIXED_LOCI, 2);
}

TEST_F(LocusTestsTest, EveryLocusFixedLeavesNothingToTest) {
  NUMBLOCI = 2;
  TOTALSAMPLESIZE = 4;
  SAMPLE(1, 1, {4, 0});
  SAMPLE(2, 1, {4, 0});
  SAMPLE(1, 2, {0, 0, 4});
  SAMPLE(2, 2, {0, 0, 4});
  TEST_EACH_LOCUS_FOR_FIXED_SAMPLES();
  EXPECT_EQ(NUMB_NONFIXED_LOCI, 0);
}

TEST_F(LocusTestsTest, PooledCountsBeyond32767AreSummedIn32Bits) {
  NUMBLOCI = 2;
  NUMBPOPS = 3;
  TOTALSAMPLESIZE = 3 * 6000;  // 36000 gene copies per locus
  for (int pop = 1; pop <= 3; ++pop) SAMPLE(pop, 1, {12000, 0});
  SAMPLE(1, 2, {12000, 0});
  SAMPLE(2, 2, {12000, 0});
  SAMPLE(3, 2, {11999, 1});
  TEST_EACH_LOCUS_FOR_FIXED_SAMPLES();
  EXPECT_EQ(FIXED_LOCUS[1], 1);
  EXPECT_EQ(FIXED_LOCUS[2], 0);
  EXPECT_EQ(NUMB_NONFIXED_LOCI, 1);
}

TEST_F(LocusTestsTest, ContingencyTableFileMatchesTheWorkedExample) {
  NUMBPOPS = 3;
  J = 1;
  SAMPLE(1, 1, {12, 0, 0, 8});
  SAMPLE(2, 1, {7, 9, 0, 4});
  SAMPLE(3, 1, {10, 3, 0, 7});
  GENERATOR_GIVING_SEEDS({17, 5, 142, 88});
  testing::TEST_LOCUS_J_WHOLLY();
  EXPECT_EQ(testing::READ_FILE("CONTTAB.XYZ"),
            "    3    3   17    5  142   88  1000  20  500\r\n"
            "   12    0    8\r\n"
            "    7    9    4\r\n"
            "   10    3    7\r\n");
}

TEST_F(LocusTestsTest, AbsentAllelesAreLeftOutAndEveryRowIsKept) {
  NUMBLOCI = 2;
  J = 2;
  SAMPLE(1, 2, {6, 0, 0, 4, 0});
  SAMPLE(2, 2, {0, 0, 7, 3, 0});
  GENERATOR_GIVING_SEEDS({1, 165, 2, 164});
  testing::TEST_LOCUS_J_WHOLLY();
  EXPECT_EQ(testing::READ_FILE("CONTTAB.XYZ"),
            "    2    3    1  165    2  164  1000  20  500\r\n"
            "    6    0    4\r\n"
            "    0    7    3\r\n");
}

TEST_F(LocusTestsTest, LargeCountsKeepABlankAndReadBack) {
  // Two population samples of 6000 diploids.
  SAMPLE(1, 1, {12000, 0});
  SAMPLE(2, 1, {11000, 1000});
  ITER1 = 123456;
  RUN_CHI2 = 1;
  GENERATOR_GIVING_SEEDS({9, 99, 10, 100});
  const LOCUS_RESULT result = testing::TEST_LOCUS_J_WHOLLY();
  EXPECT_EQ(testing::READ_FILE("CONTTAB.XYZ"),
            "    2    2    9   99   10  100  123456  20  500\r\n"
            " 12000    0\r\n"
            " 11000 1000\r\n");
  EXPECT_EQ(TABLE[1][1], 12000);
  EXPECT_EQ(TABLE[1][2], 0);
  EXPECT_EQ(TABLE[2][1], 11000);
  EXPECT_EQ(TABLE[2][2], 1000);
  EXPECT_EQ(result.CHI2_DF, 1);
}

TEST_F(LocusTestsTest, FourSeedDrawsPerLocusWhateverTheSwitches) {
  SAMPLE(1, 1, {5, 3});
  SAMPLE(2, 1, {1, 7});
  for (INT16 chi2 : std::initializer_list<INT16>{0, 1}) {
    for (INT16 fisher : std::initializer_list<INT16>{0, 1, 2}) {
      RUN_CHI2 = chi2;
      RUN_FISHER = fisher;
      std::mt19937 expected = RANDOM_GENERATOR;
      std::vector<std::uint32_t> seeds;
      for (int i = 0; i < 4; ++i)
        seeds.push_back(1 + INTEGER_FROM_OUTPUT(165, static_cast<std::uint32_t>(expected())));
      std::filesystem::remove("CONTTAB.XYZ");
      const LOCUS_RESULT result = testing::TEST_LOCUS_J_WHOLLY();
      EXPECT_EQ(result.CHI2_DF == 1, chi2 == 1);
      EXPECT_EQ(result.GEXACT_P > 0.0L, fisher == 1);
      // The exact test's chain never draws from the program-wide generator.
      EXPECT_TRUE(RANDOM_GENERATOR == expected) << "chi2 " << chi2 << " fisher " << fisher;
      std::istringstream line(testing::READ_FILE("CONTTAB.XYZ"));
      int rows, columns;
      line >> rows >> columns;
      for (std::uint32_t seed : seeds) {
        std::uint32_t written;
        line >> written;
        EXPECT_EQ(written, seed);
        EXPECT_GE(written, 1u);
        EXPECT_LE(written, 165u);
      }
    }
  }
}

}  // namespace
}  // namespace korvel
