#include "tests/combine_loci.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <string>
#include "support/scratch_folder.h"

#include "common/tables.h"
#include "common/text_format.h"
#include "output/test_result_files.h"
#include "tests/chi2prob/chi2prob.h"

namespace korvel {
namespace {

struct Counters {
  INT32 r1, r1chi2, r1exact, r2, r2chi2, r2exact, r3, r3chi2, r3exact, tot, totchi2, totexact;
  bool operator==(const Counters&) const = default;
};

Counters READ_COUNTERS() {
  return {NUMBR1, R1CHI2, R1GEXACT, NUMBR2,  R2CHI2,  R2GEXACT,
          NUMBR3, R3CHI2, R3GEXACT, NUMBTOT, TOTCHI2, TOTGEXACT};
}

void CLEAR_COUNTERS() {
  NUMBR1 = R1CHI2 = R1GEXACT = NUMBR2 = R2CHI2 = R2GEXACT = 0;
  NUMBR3 = R3CHI2 = R3GEXACT = NUMBTOT = TOTCHI2 = TOTGEXACT = 0;
}

// Half a chi-square x on df degrees of freedom, near the 5 % point, for
// which GAMMQ(df / 2, x) is exactly 0.05: searched around the crossing of
// each df in turn, since not every df reaches that value exactly.
bool FIND_P_OF_EXACTLY_005(INT32& df, EXTENDED& x) {
  for (df = 1; df <= 100; ++df) {
    const EXTENDED a = static_cast<EXTENDED>(df) / 2.0L;
    EXTENDED lo = a, hi = a + 200.0L;  // Q(lo) > 0.05 > Q(hi)
    for (int i = 0; i < 200; ++i) {
      const EXTENDED mid = lo + (hi - lo) / 2.0L;
      (GAMMQ(a, mid) > 0.05L ? lo : hi) = mid;
    }
    x = lo;
    for (int i = 0; i < 100; ++i) x = std::nextafter(x, 0.0L);
    for (int i = 0; i < 200; ++i, x = std::nextafter(x, hi))
      if (GAMMQ(a, x) == 0.05L) return true;
  }
  return false;
}

// Every test starts with fresh result files in a scratch folder, a run of
// NUMBLOCI loci and NUMBPOPS populations, cleared sums and counters.
class CombineLoci : public ::testing::Test {
 protected:
  void SetUp() override {
    INITIALIZE_LOCUSTST();
    INITIALIZE_SUMTEST();
    RUN = 1;
    NUMBLOCI = 2;
    NUMBPOPS = 3;
    STARTNUMBALLELES = 5;
    RUN_CHI2 = 1;
    RUN_FISHER = 1;
    CLEAR_COUNTERS();
  }
  void TearDown() override {
    OUT8.CLOSE();
    OUT10.CLOSE();
  }
  // The file so far, read while it stays open.
  static std::string FILE_TEXT(TextOut& out) {
    out.FLUSH();
    return testing::READ_FILE(out.NAME());
  }
  static std::string LAST_LINE(const std::string& text) {
    const std::size_t end = text.rfind("\r\n");
    const std::size_t start = text.rfind("\r\n", end - 1);
    return text.substr(start + 2, end - start - 2);
  }
  void ADD_LOCUS(EXTENDED chi2, INT32 df, EXTENDED exact_p) {
    SUM_FOR_TOTAL_P(sums_, {.CHI2 = chi2, .CHI2_DF = df, .GEXACT_P = exact_p});
  }
  void WRITE_RUN_1() { WRITE_TO_SUMTEST(1, sums_); }

  RUN_SUMS sums_;

 private:
  testing::ScratchFolder folder_;
};

TEST_F(CombineLoci, ChiSquaresAndDfAreSummedAndReferredToTheirSum) {
  RUN_FISHER = 0;
  ADD_LOCUS(3.0L, 2, 0.0L);  // 2 alleles in 3 populations
  ADD_LOCUS(5.0L, 4, 0.0L);  // 3 alleles
  EXPECT_EQ(sums_.SUM_CHI2, 8.0L);
  EXPECT_EQ(sums_.SUM_CHI2_DF, 6);
  EXPECT_EQ(sums_.NUMB_ALLELES, 5.0);
  EXPECT_EQ(sums_.MEAN_ALLELES_PER_LOCUS, 2.5);
  WRITE_RUN_1();
  // Q(3, 4) = 13 exp(-4) = 0.23810...
  EXPECT_EQ(LAST_LINE(FILE_TEXT(OUT10)),
            "      1     2       5   2.50     8.000           6      0.2381" + std::string(41, ' '));
  EXPECT_EQ(READ_COUNTERS(), (Counters{1, 0, 1, 1, 0, 1, 0, 0, 0, 1, 0, 1}));
}

TEST_F(CombineLoci, ExactPOfZeroIsReplacedAfterTheLocusLineShowsIt) {
  NUMBLOCI = 3;
  RUN_CHI2 = 0;
  const EXTENDED p_values[] = {0.5L, 0.2L, 0.0L};
  for (INT16 j = 1; j <= 3; ++j) {
    const LOCUS_RESULT locus{.RUN = 1, .LOCUS = j, .GEXACT_P = p_values[j - 1]};
    WRITE_TO_LOCUSTST(locus);
    SUM_FOR_TOTAL_P(sums_, locus);
  }
  EXPECT_EQ(sums_.SUM_LN_GEXACT_P,
            -2.0L * std::log(0.5L) + -2.0L * std::log(0.2L) + -2.0L * std::log(0.00005L));
  EXPECT_EQ(LAST_LINE(FILE_TEXT(OUT8)), "      1      3" + std::string(27, ' ') + "        0.0000    0.0000");
  WRITE_RUN_1();
  const EXTENDED combined = GAMMQ(3.0L, sums_.SUM_LN_GEXACT_P / 2.0L);
  EXPECT_LT(combined, 0.05L);
  // With the chi-square test off every locus counts one allele.
  EXPECT_EQ(LAST_LINE(FILE_TEXT(OUT10)), "      1     3       3   1.00" + std::string(34, ' ') +
                                             "          6" + REAL_TEXT(sums_.SUM_LN_GEXACT_P, 17, 4) +
                                             REAL_TEXT(combined, 12, 4));
}

TEST_F(CombineLoci, AllelesOfALocusComeFromItsDegreesOfFreedom) {
  NUMBPOPS = 4;
  RUN_FISHER = 0;
  ADD_LOCUS(1.0L, 6, 0.0L);  // (4 - 1) * (3 - 1)
  EXPECT_EQ(sums_.NUMB_ALLELES, 3.0);
  ADD_LOCUS(1.0L, 3, 0.0L);
  EXPECT_EQ(sums_.NUMB_ALLELES, 5.0);
  EXPECT_EQ(sums_.MEAN_ALLELES_PER_LOCUS, 2.5);
}

TEST_F(CombineLoci, RunsFallIntoTheirClasses) {
  // Ten loci of which two are fixed: class 3 only. Fisher's combination
  // has 2 df per tested locus: 16, where 20 would make P = 0.064.
  NUMBLOCI = 10;
  STARTNUMBALLELES = 16;
  for (int locus = 0; locus < 8; ++locus) ADD_LOCUS(1.0L, 2, 0.15L);
  EXPECT_EQ(sums_.NUMB_NONFIXED_LOCI, 8);
  WRITE_RUN_1();
  EXPECT_EQ(LAST_LINE(FILE_TEXT(OUT10)), "      1     8      16   2.00     8.000          16" +
                                             REAL_TEXT(GAMMQ(8.0L, 4.0L), 12, 4) + "         16" +
                                             REAL_TEXT(sums_.SUM_LN_GEXACT_P, 17, 4) +
                                             REAL_TEXT(GAMMQ(8.0L, sums_.SUM_LN_GEXACT_P / 2.0L), 12, 4));
  EXPECT_EQ(READ_COUNTERS(), (Counters{0, 0, 0, 0, 0, 0, 1, 0, 1, 1, 0, 1}));

  // No locus fixed, but one input allele missing: class 2, not class 1.
  CLEAR_COUNTERS();
  sums_ = {};
  NUMBLOCI = 2;
  STARTNUMBALLELES = 5;
  ADD_LOCUS(30.0L, 2, 0.001L);
  ADD_LOCUS(30.0L, 2, 0.001L);
  WRITE_RUN_1();
  EXPECT_EQ(READ_COUNTERS(), (Counters{0, 0, 0, 1, 1, 1, 0, 0, 0, 1, 1, 1}));

  // Every allele present: classes 1 and 2.
  sums_ = {};
  ADD_LOCUS(30.0L, 2, 0.001L);
  ADD_LOCUS(30.0L, 4, 0.001L);
  WRITE_RUN_1();
  EXPECT_EQ(READ_COUNTERS(), (Counters{1, 1, 1, 2, 2, 2, 0, 0, 0, 2, 2, 2}));
}

TEST_F(CombineLoci, ACombinedPOfExactlyFivePercentIsNotSignificant) {
  INT32 df = 0;
  EXTENDED x = 0.0L;
  ASSERT_TRUE(FIND_P_OF_EXACTLY_005(df, x));
  NUMBLOCI = 1;
  RUN_FISHER = 0;
  sums_.NUMB_NONFIXED_LOCI = 1;
  sums_.SUM_CHI2_DF = df;
  sums_.SUM_CHI2 = 2.0L * x;
  WRITE_RUN_1();
  EXPECT_EQ(TOTCHI2, 0);
  EXPECT_EQ(R2CHI2, 0);

  // The next larger chi-square whose P falls below 0.05 counts.
  do x = std::nextafter(x, 1000.0L);
  while (GAMMQ(static_cast<EXTENDED>(df) / 2.0L, x) >= 0.05L);
  sums_.SUM_CHI2 = 2.0L * x;
  WRITE_RUN_1();
  EXPECT_EQ(TOTCHI2, 1);
  EXPECT_EQ(R2CHI2, 1);
}

}  // namespace
}  // namespace korvel
