// Program-wide values of the differentiation tests of the locus in hand:
// the chi-square table and results, and the exact test's results when it
// is run through FISHER.
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

}  // namespace korvel
