// Combining the tested loci of a run: summed chi-square, Fisher's
// combination of exact-test P values, and the significance counters.
#pragma once

#include "common/number_types.h"
#include "tests/locus_result.h"

namespace korvel {

// The sums over the tested loci of one run; a new run starts from {}.
struct RUN_SUMS {
  EXTENDED SUM_CHI2 = 0.0L;
  INT32 SUM_CHI2_DF = 0;
  EXTENDED SUM_LN_GEXACT_P = 0.0L;
  INT16 NUMB_NONFIXED_LOCI = 0;
  double NUMB_ALLELES = 0.0;
  double MEAN_ALLELES_PER_LOCUS = 0.0;
};

void SUM_FOR_TOTAL_P(RUN_SUMS& sums, const LOCUS_RESULT& locus);
// The run's line of SUMTEST.OUT and its significance counts.
void WRITE_TO_SUMTEST(INT32 run, const RUN_SUMS& sums);

}  // namespace korvel
