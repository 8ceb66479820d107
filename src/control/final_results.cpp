#include <cmath>
#include <string>

#include "common/tables.h"
#include "common/text_format.h"
#include "control/summary_report.h"
#include "input/report_layout.h"

namespace korvel {

namespace {

// A mark in front of a number made a text of at least 3 characters:
// "<" and 20 give "< 20", "=<" and 200 give "=<200".
std::string MARKED(std::string_view mark, INT16 number) { return std::string(mark) + INT_TEXT(number, 3); }

EXTENDED PROPORTION(INT32 hits, INT32 runs) {
  return static_cast<EXTENDED>(hits) / static_cast<EXTENDED>(runs);
}

// One row of the power table. The exact-test fields end the line; the
// total row leaves its line open when the exact test is off, and the
// blank lines after the table close it.
void WRITE_TABLE_ROW(const std::string& loci, const std::string& alleles, INT32 runs, INT32 chi2_hits,
                     INT32 exact_hits, bool total_row) {
  using namespace report_layout;
  OUT1.TEXT(loci, W_LOCI).TEXT(alleles, W_ALLELES).INT(runs, W_RUNS);
  if (TEST_IS_ON(RUN_CHI2))
    OUT1.INT(chi2_hits, W_CHI2_COUNT).REAL(PROPORTION(chi2_hits, runs), W_PROPORTION, PROPORTION_DECIMALS);
  else OUT1.BLANKS(W_CHI2_COUNT + W_PROPORTION);
  if (TEST_IS_ON(RUN_FISHER)) {
    OUT1.INT(exact_hits, W_FISHER_COUNT)
        .REAL(PROPORTION(exact_hits, runs), W_PROPORTION, PROPORTION_DECIMALS);
    OUT1.END_LINE();
  } else {
    OUT1.BLANKS(W_FISHER_COUNT + W_PROPORTION);
    if (!total_row) OUT1.END_LINE();
  }
}

void WRITE_POWER_TABLE() {
  using namespace report_layout;
  const std::string loci = INT_TEXT(NUMBLOCI);
  const std::string alleles = INT_TEXT(STARTNUMBALLELES);
  if (NUMBR1 > 0) WRITE_TABLE_ROW(loci, alleles, NUMBR1, R1CHI2, R1GEXACT, false);
  if (NUMBR2 > 0) WRITE_TABLE_ROW(loci, MARKED("=<", STARTNUMBALLELES), NUMBR2, R2CHI2, R2GEXACT, false);
  if (NUMBR3 > 0) WRITE_TABLE_ROW(MARKED("<", NUMBLOCI), "***", NUMBR3, R3CHI2, R3GEXACT, false);
  WRITE_TABLE_ROW(std::string(TOTAL_ROW_LOCI), std::string(TOTAL_ROW_ALLELES), NUMBTOT, TOTCHI2, TOTGEXACT,
                  true);
}

// The same correction for the number of subpopulations as within a run,
// applied to the heterozygosities averaged over all runs. Not clamped.
EXTENDED FST_FROM_MEAN_HETEROZYGOSITIES() {
  const EXTENDED MEAN_HT = SUM_HT / static_cast<EXTENDED>(RUN);
  const EXTENDED MEAN_HS = SUM_HS / static_cast<EXTENDED>(RUN);
  EXTENDED Y = MEAN_HT - MEAN_HS;
  Y = (Y * static_cast<EXTENDED>(NUMBPOPS)) / static_cast<EXTENDED>(NUMBPOPS - 1);
  Y = Y / (MEAN_HS + Y);
  return Y;
}

}  // namespace

void WRITE_FINAL_RESULTS() {
  using namespace report_layout;
  OUT1.END_LINE();  // completes the column header of WRITE_OUTFILE
  WRITE_POWER_TABLE();
  OUT1.END_LINE().END_LINE();
  OUT1.TEXT(TABLE_END).END_LINE();
  OUT1.TEXT(AVERAGE_FST_LABEL)
      .INT(RUN)
      .TEXT(AVERAGE_FST_RUNS)
      .REAL(SUM_FST / static_cast<EXTENDED>(RUN), W_FST, FST_DECIMALS)
      .END_LINE();
  OUT1.TEXT(EXPECTED_FST_LABEL).REAL(EXPECTED_FST(DRIFT_SIZE, STOP_T), W_FST, FST_DECIMALS).END_LINE();
  OUT1.TEXT(FST_FROM_MEANS_LABEL).REAL(FST_FROM_MEAN_HETEROZYGOSITIES(), W_FST, FST_DECIMALS).END_LINE();
}

}  // namespace korvel
