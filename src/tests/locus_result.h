// What the tests of one locus of one run found, as the steps that consume
// it (WRITE_TO_LOCUSTST, SUM_FOR_TOTAL_P) see it. The record carries
// everything they need, so they can run after the main sequence has moved
// on to later loci and runs.
#pragma once

#include "common/number_types.h"

namespace korvel {

struct LOCUS_RESULT {
  INT32 RUN = 0;
  INT16 LOCUS = 0;
  // Monomorphic in the pooled samples: not tested.
  bool FIXED = false;
  // The contingency chi-square test; left at 0 while the test is off.
  EXTENDED CHI2 = 0.0L;
  INT32 CHI2_DF = 0;
  EXTENDED CHI2_P = 0.0L;
  // The exact test's estimated P value and its standard error; left at 0
  // while the test is off.
  EXTENDED GEXACT_P = 0.0L;
  EXTENDED SE = 0.0L;
};

}  // namespace korvel
