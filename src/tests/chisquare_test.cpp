// Contingency chi-square test of allele-frequency homogeneity for one locus:
// Pearson's statistic over the populations x alleles table read back from
// CONTTAB.XYZ, its degrees of freedom from the non-empty rows and columns,
// and its upper-tail probability.
#include "tests/chisquare_test.h"

#include <array>
#include <string>

#include "common/capacity.h"
#include "common/failure.h"
#include "common/text_input.h"
#include "tests/chi2prob/chi2prob.h"
#include "tests/conttab_handoff.h"
#include "tests/locus_tests.h"

namespace korvel {

namespace {

// Keeps every expected count away from zero before it divides.
constexpr EXTENDED TINY = 1.0E-30L;

// TABLE has room for the capacity profile only; a larger table in the file
// would be written outside it.
void CHECK_TABLE_FITS(const TextIn& INFILE, INT16 ROWS, INT16 COLS) {
  if (ROWS > MAX_POPS) {
    INPUT_REJECTED(INFILE.NAME() + " line 1: number of rows is " + std::to_string(ROWS) + "; at most " +
                   std::to_string(MAX_POPS) + " fit the table");
  }
  if (COLS > MAX_ALLELES) {
    INPUT_REJECTED(INFILE.NAME() + " line 1: number of columns is " + std::to_string(COLS) + "; at most " +
                   std::to_string(MAX_ALLELES) + " fit the table");
  }
}

}  // namespace

void DO_CHISQUARE() {
  for (auto& row : TABLE) row.fill(0);

  TextIn INFILE;
  OPEN_CONTTAB(INFILE);
  const INT16 ROWS = INFILE.READ_INT16("the number of rows");
  const INT16 COLS = INFILE.READ_INT16("the number of columns");
  CHECK_TABLE_FITS(INFILE, ROWS, COLS);
  INFILE.SKIP_LINE();
  for (INT16 II = 1; II <= ROWS; ++II) {
    for (INT16 JJ = 1; JJ <= COLS; ++JJ) {
      TABLE[II][JJ] = INFILE.READ_INT32("a count of the table");
    }
    INFILE.SKIP_LINE();
  }
  INFILE.CLOSE();

  CNTAB1(TABLE, ROWS, COLS, CHISQ, DF, PROB);
}

void CNTAB1(CHI2_TABLE NN, INT32 NI, INT32 NJ, EXTENDED& CHISQ_OUT, EXTENDED& DF_OUT, EXTENDED& PROB_OUT) {
  std::array<EXTENDED, MAX_POPS + 1> SUMI{};
  std::array<EXTENDED, MAX_ALLELES + 1> SUMJ{};
  EXTENDED SUM = 0.0L;
  INT32 NNI = NI;
  INT32 NNJ = NJ;

  for (INT32 I = 1; I <= NI; ++I) {
    SUMI[I] = 0.0L;
    for (INT32 J = 1; J <= NJ; ++J) {
      SUMI[I] = SUMI[I] + NN[I][J];
      SUM = SUM + NN[I][J];
    }
    if (SUMI[I] == 0.0L) --NNI;
  }
  for (INT32 J = 1; J <= NJ; ++J) {
    SUMJ[J] = 0.0L;
    for (INT32 I = 1; I <= NI; ++I) SUMJ[J] = SUMJ[J] + NN[I][J];
    if (SUMJ[J] == 0.0L) --NNJ;
  }
  DF_OUT = static_cast<EXTENDED>(NNI * NNJ - NNI - NNJ + 1);

  CHISQ_OUT = 0.0L;
  for (INT32 I = 1; I <= NI; ++I) {
    for (INT32 J = 1; J <= NJ; ++J) {
      const EXTENDED EXPCTD = (SUMJ[J] * SUMI[I]) / SUM;
      const EXTENDED DEVIATION = NN[I][J] - EXPCTD;
      CHISQ_OUT = CHISQ_OUT + DEVIATION * DEVIATION / (EXPCTD + TINY);
    }
  }
  PROB_OUT = GAMMQ(0.5L * DF_OUT, 0.5L * CHISQ_OUT);
}

}  // namespace korvel
