// Contingency chi-square test of one locus.
#pragma once

#include "common/number_types.h"
#include "tests/test_state.h"

namespace korvel {

void DO_CHISQUARE();
// NN is taken by value: the caller's table is never changed.
void CNTAB1(CHI2_TABLE NN, INT32 NI, INT32 NJ, EXTENDED& CHISQ_OUT, EXTENDED& DF_OUT, EXTENDED& PROB_OUT);

}  // namespace korvel
