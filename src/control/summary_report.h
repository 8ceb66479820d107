// The summary report KORVEL.OUT: its first part (WRITE_OUTFILE) and the
// power table with the F'st lines (WRITE_FINAL_RESULTS).
#pragma once

#include "common/number_types.h"
#include "input/drift_arithmetic.h"

namespace korvel {

void WRITE_OUTFILE();
void WRITE_FINAL_RESULTS();

}  // namespace korvel
