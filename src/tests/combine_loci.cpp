#include "tests/combine_loci.h"

#include <cmath>

#include "common/tables.h"
#include "output/test_result_files.h"
#include "tests/chi2prob/chi2prob.h"
#include "tests/exact_resolution.h"

namespace korvel {

namespace {

constexpr EXTENDED SIGNIFICANCE_LEVEL = 0.05L;

bool IS_SIGNIFICANT(EXTENDED p) { return p < SIGNIFICANCE_LEVEL; }

void COUNT_RUN(INT32& runs, INT32& chi2_hits, INT32& exact_hits, EXTENDED XCHI2, EXTENDED XGEXACT) {
  ++runs;
  if (IS_SIGNIFICANT(XCHI2)) ++chi2_hits;
  if (IS_SIGNIFICANT(XGEXACT)) ++exact_hits;
}

}  // namespace

void SUM_FOR_TOTAL_P(RUN_SUMS& sums, const LOCUS_RESULT& locus) {
  if (TEST_IS_ON(RUN_CHI2)) {
    sums.SUM_CHI2 = sums.SUM_CHI2 + locus.CHI2;
    sums.SUM_CHI2_DF = sums.SUM_CHI2_DF + locus.CHI2_DF;
  }
  if (TEST_IS_ON(RUN_FISHER)) {
    // The locus line already shows the P of 0; only the sums see the
    // replacement.
    EXTENDED GEXACT_P = locus.GEXACT_P;
    COUNT_EXACT_P(GEXACT_P);
    if (GEXACT_P == 0.0L) GEXACT_P = SMALLEST_EXACT_P;
    sums.SUM_LN_GEXACT_P = sums.SUM_LN_GEXACT_P + (-2.0L) * std::log(GEXACT_P);
  }
  sums.NUMB_NONFIXED_LOCI = static_cast<INT16>(sums.NUMB_NONFIXED_LOCI + 1);
  // The table of a tested locus has (NUMBPOPS - 1) * (alleles - 1) degrees
  // of freedom, so this adds the alleles present in the pooled sample. With
  // the chi-square test off CHI2_DF is 0 and every locus adds 1.
  const EXTENDED alleles_of_locus = static_cast<EXTENDED>(locus.CHI2_DF) /
                                    static_cast<EXTENDED>(NUMBPOPS - 1);
  sums.NUMB_ALLELES = static_cast<double>(static_cast<EXTENDED>(sums.NUMB_ALLELES) + alleles_of_locus + 1.0L);
  sums.MEAN_ALLELES_PER_LOCUS = static_cast<double>(static_cast<EXTENDED>(sums.NUMB_ALLELES) /
                                                    static_cast<EXTENDED>(sums.NUMB_NONFIXED_LOCI));
}

void WRITE_TO_SUMTEST(INT32 run, const RUN_SUMS& sums) {
  // A test that is off keeps its P at 0 and so counts as significant in
  // every run; the final report leaves its columns out.
  EXTENDED XCHI2 = 0.0L;
  EXTENDED XGEXACT = 0.0L;
  if (TEST_IS_ON(RUN_CHI2))
    XCHI2 = GAMMQ(static_cast<EXTENDED>(sums.SUM_CHI2_DF) / 2.0L, sums.SUM_CHI2 / 2.0L);
  const INT16 DF_EXACT = static_cast<INT16>(2 * sums.NUMB_NONFIXED_LOCI);
  // Fisher's method: -2 sum ln P is chi-square with 2k df for k loci.
  if (TEST_IS_ON(RUN_FISHER))
    XGEXACT = GAMMQ(static_cast<EXTENDED>(DF_EXACT) / 2.0L, sums.SUM_LN_GEXACT_P / 2.0L);

  WRITE_SUMTEST_LINE(run, sums, XCHI2, DF_EXACT, XGEXACT);

  COUNT_RUN(NUMBTOT, TOTCHI2, TOTGEXACT, XCHI2, XGEXACT);
  const bool no_locus_fixed = sums.NUMB_NONFIXED_LOCI == NUMBLOCI;
  // An exact comparison of the summed allele count with the input's.
  if (no_locus_fixed && sums.NUMB_ALLELES == static_cast<double>(STARTNUMBALLELES))
    COUNT_RUN(NUMBR1, R1CHI2, R1GEXACT, XCHI2, XGEXACT);
  if (no_locus_fixed) COUNT_RUN(NUMBR2, R2CHI2, R2GEXACT, XCHI2, XGEXACT);
  if (sums.NUMB_NONFIXED_LOCI < NUMBLOCI) COUNT_RUN(NUMBR3, R3CHI2, R3GEXACT, XCHI2, XGEXACT);
}

}  // namespace korvel
