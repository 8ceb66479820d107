// The summary report KORVEL.OUT: its first part (WRITE_OUTFILE) and the
// power table with the F'st lines (WRITE_FINAL_RESULTS).
#pragma once

#include "common/number_types.h"

namespace korvel {

void WRITE_OUTFILE();
void WRITE_FINAL_RESULTS();

// 1 - (1 - 1/(2N))^t in the described order of operations.
EXTENDED EXPECTED_FST(INT16 drift_size, INT16 generations);

}  // namespace korvel
