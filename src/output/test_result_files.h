// LOCUSTST.OUT and SUMTEST.OUT: per-locus and per-run test results.
#pragma once

#include "common/number_types.h"
#include "tests/combine_loci.h"
#include "tests/locus_result.h"

namespace korvel {

void INITIALIZE_LOCUSTST();
void INITIALIZE_SUMTEST();
void WRITE_TO_LOCUSTST(const LOCUS_RESULT& locus);
// The run's line of SUMTEST.OUT, from the run's sums and the combined
// P values of WRITE_TO_SUMTEST.
void WRITE_SUMTEST_LINE(INT32 run, const RUN_SUMS& sums, EXTENDED XCHI2, INT16 DF_EXACT, EXTENDED XGEXACT);

}  // namespace korvel
