// Program-wide values of the differentiation tests: the chi-square table
// and results, the exact test's results, the per-locus values handed on by
// WRITE_TO_LOCUSTST, and the per-run sums of the loci combination.
#pragma once

#include <array>

#include "common/capacity.h"
#include "common/number_types.h"

namespace korvel {

// Rows 1..MAX_POPS, columns 0..MAX_ALLELES (column 0 is only ever cleared).
using CHI2_TABLE = std::array<std::array<INT32, MAX_ALLELES + 1>, MAX_POPS + 1>;
extern CHI2_TABLE TABLE;
extern EXTENDED CHISQ, DF, PROB;  // contingency chi-square results
extern EXTENDED HM, HECA;         // exact test: P value and its SE

// Per-locus values (set by WRITE_TO_LOCUSTST from the tests' results).
extern EXTENDED CHI2;
extern INT32 CHI2_DF;
extern EXTENDED CHI2_P;
extern EXTENDED GEXACT_P;
extern EXTENDED SE;

// Per-run sums over the tested loci.
extern EXTENDED SUM_CHI2;
extern INT32 SUM_CHI2_DF;
extern EXTENDED SUM_LN_GEXACT_P;
extern double NUMB_ALLELES;
extern double MEAN_ALLELES_PER_LOCUS;

}  // namespace korvel
