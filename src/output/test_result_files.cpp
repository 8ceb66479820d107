#include "output/test_result_files.h"

#include "common/tables.h"
#include "input/shared_names.h"

namespace korvel {

namespace {

// Field widths of LOCUSTST.OUT, shared by the header and the locus lines.
constexpr int W_RUN = 7;
constexpr int W_LOCUS = 7;
constexpr int W_CHI2 = 10;
constexpr int W_CHI2_DF = 8;
constexpr int W_CHI2_P = 9;
constexpr int W_FISHER_P = 14;
constexpr int W_SE = 10;
// A test that is off leaves blanks in place of its columns; for the exact
// test these are fewer than its two fields take.
constexpr int LOCUS_CHI2_OFF_BLANKS = W_CHI2 + W_CHI2_DF + W_CHI2_P;  // 27
constexpr int LOCUS_FISHER_OFF_BLANKS = 9;

// Field widths of SUMTEST.OUT.
constexpr int W_LOCI = 6;
constexpr int W_ALLELES = 8;
constexpr int W_MEAN = 7;
constexpr int W_SUMCHI2 = 10;
constexpr int W_SUMCHI2_DF = 12;
constexpr int W_SUMCHI2_P = 12;
constexpr int W_DF_FISHER = 11;
constexpr int W_SUM_LN = 17;
constexpr int W_TOTFISHER_P = 12;
// The blank run that stands for df_Fisher is one wider than its column.
constexpr int SUM_DF_FISHER_OFF_BLANKS = W_DF_FISHER + 1;

void WRITE_TESTED_LOCUS_LINE(const LOCUS_RESULT& locus) {
  OUT8.INT(locus.RUN, W_RUN).INT(locus.LOCUS, W_LOCUS);
  if (TEST_IS_ON(RUN_CHI2))
    OUT8.REAL(locus.CHI2, W_CHI2, 3).INT(locus.CHI2_DF, W_CHI2_DF).REAL(locus.CHI2_P, W_CHI2_P, 4);
  else OUT8.BLANKS(LOCUS_CHI2_OFF_BLANKS);
  if (TEST_IS_ON(RUN_FISHER)) OUT8.REAL(locus.GEXACT_P, W_FISHER_P, 4).REAL(locus.SE, W_SE, 4);
  else OUT8.BLANKS(LOCUS_FISHER_OFF_BLANKS);
  OUT8.END_LINE();
}

// The same line whatever tests are on; nothing under "SE".
void WRITE_FIXED_LOCUS_LINE(const LOCUS_RESULT& locus) {
  OUT8.INT(locus.RUN, W_RUN).INT(locus.LOCUS, W_LOCUS);
  OUT8.TEXT("**", W_CHI2).TEXT("**", W_CHI2_DF).TEXT("**", W_CHI2_P).TEXT("**", W_FISHER_P);
  OUT8.END_LINE();
}

}  // namespace

void INITIALIZE_LOCUSTST() {
  OUT8.CREATE(LOCUSTST_FILE_NAME);
  OUT8.END_LINE();
  OUT8.TEXT("Run", W_RUN)
      .TEXT("Locus", W_LOCUS)
      .TEXT("Chi2", W_CHI2)
      .TEXT("Chi2_df", W_CHI2_DF)
      .TEXT("Chi2_P", W_CHI2_P)
      .TEXT("Fisher_P", W_FISHER_P)
      .TEXT("SE", W_SE)
      .END_LINE();
}

void INITIALIZE_SUMTEST() {
  OUT10.CREATE(SUMTEST_FILE_NAME);
  OUT10.END_LINE();
  OUT10.TEXT("Run", W_RUN)
      .TEXT("Loci", W_LOCI)
      .TEXT("Alleles", W_ALLELES)
      .TEXT("A/L", W_MEAN)
      .TEXT("SumChi2", W_SUMCHI2)
      .TEXT("SumChi2_df", W_SUMCHI2_DF)
      .TEXT("SumChi2_P", W_SUMCHI2_P)
      .TEXT("df_Fisher", W_DF_FISHER)
      .TEXT("Sum-2lnFisher_P", W_SUM_LN)
      .TEXT("TotFisher_P", W_TOTFISHER_P)
      .END_LINE();
}

void WRITE_TO_LOCUSTST(const LOCUS_RESULT& locus) {
  if (locus.FIXED) WRITE_FIXED_LOCUS_LINE(locus);
  else WRITE_TESTED_LOCUS_LINE(locus);
}

void WRITE_SUMTEST_LINE(INT32 run, const RUN_SUMS& sums, EXTENDED XCHI2, INT16 DF_EXACT, EXTENDED XGEXACT) {
  OUT10.INT(run, W_RUN)
      .INT(sums.NUMB_NONFIXED_LOCI, W_LOCI)
      .REAL(sums.NUMB_ALLELES, W_ALLELES, 0)
      .REAL(sums.MEAN_ALLELES_PER_LOCUS, W_MEAN, 2);
  if (TEST_IS_ON(RUN_CHI2))
    OUT10.REAL(sums.SUM_CHI2, W_SUMCHI2, 3).INT(sums.SUM_CHI2_DF, W_SUMCHI2_DF).REAL(XCHI2, W_SUMCHI2_P, 4);
  else OUT10.BLANKS(W_SUMCHI2).BLANKS(W_SUMCHI2_DF).BLANKS(W_SUMCHI2_P);
  if (TEST_IS_ON(RUN_FISHER))
    OUT10.INT(DF_EXACT, W_DF_FISHER).REAL(sums.SUM_LN_GEXACT_P, W_SUM_LN, 4).REAL(XGEXACT, W_TOTFISHER_P, 4);
  else OUT10.BLANKS(SUM_DF_FISHER_OFF_BLANKS).BLANKS(W_SUM_LN).BLANKS(W_TOTFISHER_P);
  OUT10.END_LINE();
}

}  // namespace korvel
