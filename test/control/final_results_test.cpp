#include <gtest/gtest.h>

#include <string>
#include "support/scratch_folder.h"

#include "common/tables.h"
#include "control/summary_report.h"

namespace korvel {
namespace {

const std::string HEADER = " Loci Alleles  Runs #Chi2    Chi2 #Fisher  Fisher";

void SET_COUNTERS(INT32 r1, INT32 r1chi2, INT32 r1exact, INT32 r2, INT32 r2chi2, INT32 r2exact, INT32 r3,
                  INT32 r3chi2, INT32 r3exact) {
  NUMBR1 = r1, R1CHI2 = r1chi2, R1GEXACT = r1exact;
  NUMBR2 = r2, R2CHI2 = r2chi2, R2GEXACT = r2exact;
  NUMBR3 = r3, R3CHI2 = r3chi2, R3GEXACT = r3exact;
  NUMBTOT = r2 + r3, TOTCHI2 = r2chi2 + r3chi2, TOTGEXACT = r2exact + r3exact;
}

// Mean Ht and Hs over RUN runs.
void SET_RUNS(INT32 runs, EXTENDED sum_fst, EXTENDED mean_ht, EXTENDED mean_hs) {
  RUN = runs;
  SUM_FST = sum_fst;
  SUM_HT = mean_ht * runs;
  SUM_HS = mean_hs * runs;
}

// Writes the final results after a stand-in column header in a scratch
// folder and returns the whole report.
std::string FINAL_REPORT() {
  testing::ScratchFolder folder;
  OUT1.CREATE("KORVEL.OUT");
  OUT1.TEXT(HEADER);
  WRITE_FINAL_RESULTS();
  OUT1.CLOSE();
  return testing::READ_FILE("KORVEL.OUT");
}

TEST(FinalResults, AllClassesWithBothTests) {
  NUMBLOCI = 20;
  STARTNUMBALLELES = 200;
  NUMBPOPS = 2;
  DRIFT_SIZE = 100;
  STOP_T = 10;
  RUN_CHI2 = 1;
  RUN_FISHER = 1;
  SET_COUNTERS(3, 1, 3, 5, 2, 5, 4, 0, 3);
  SET_RUNS(9, 3.0L, 0.48L, 0.40L);
  EXPECT_EQ(FINAL_REPORT(), HEADER +
                                "\r\n"
                                "   20     200     3     1  0.3333       3  1.0000\r\n"
                                "   20   =<200     5     2  0.4000       5  1.0000\r\n"
                                " < 20     ***     4     0  0.0000       3  0.7500\r\n"
                                "  Tot     ***     9     2  0.2222       8  0.8889\r\n"
                                "\r\n"
                                "\r\n"
                                "-----\r\n"
                                "Average F'st over all the 9 runs =     0.3333\r\n"
                                "Expected Fst =     0.0489\r\n"
                                "F'st calculated from average Hs and Ht =     0.2857\r\n");
}

TEST(FinalResults, ChiSquareOffLeavesFourteenBlanksAndEmptyClassesNoRow) {
  NUMBLOCI = 3;
  STARTNUMBALLELES = 7;
  NUMBPOPS = 3;
  DRIFT_SIZE = 50;
  STOP_T = 0;
  RUN_CHI2 = 0;
  RUN_FISHER = 1;
  SET_COUNTERS(0, 0, 0, 3, 3, 1, 0, 0, 0);
  SET_RUNS(3, 0.0L, 0.5L, 0.5L);
  EXPECT_EQ(FINAL_REPORT(), HEADER +
                                "\r\n"
                                "    3   =<  7     3" +
                                std::string(14, ' ') +
                                "       1  0.3333\r\n"
                                "  Tot     ***     3" +
                                std::string(14, ' ') +
                                "       1  0.3333\r\n"
                                "\r\n"
                                "\r\n"
                                "-----\r\n"
                                "Average F'st over all the 3 runs =     0.0000\r\n"
                                "Expected Fst =     0.0000\r\n"
                                "F'st calculated from average Hs and Ht =     0.0000\r\n");
  EXPECT_EQ(EXPECTED_FST(50, 0), 0.0L);
}

TEST(FinalResults, ExactTestOffLeavesTheTotalRowToTheBlankLines) {
  NUMBLOCI = 4;
  STARTNUMBALLELES = 9;
  NUMBPOPS = 2;
  DRIFT_SIZE = 10;
  STOP_T = 5;
  RUN_CHI2 = 1;
  RUN_FISHER = 0;
  SET_COUNTERS(0, 0, 0, 0, 0, 0, 1, 1, 1);
  // Mean Hs above mean Ht: the F'st from them is negative, and stays so.
  SET_RUNS(1, 0.25L, 0.40L, 0.48L);
  const std::string off(16, ' ');
  EXPECT_EQ(FINAL_REPORT(), HEADER +
                                "\r\n"
                                " <  4     ***     1     1  1.0000" +
                                off +
                                "\r\n"
                                "  Tot     ***     1     1  1.0000" +
                                off +
                                "\r\n"
                                "\r\n"
                                "-----\r\n"
                                "Average F'st over all the 1 runs =     0.2500\r\n"
                                "Expected Fst =     0.2262\r\n"
                                "F'st calculated from average Hs and Ht =    -0.5000\r\n");
}

}  // namespace
}  // namespace korvel
