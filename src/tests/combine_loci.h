// Combining the tested loci of a run: summed chi-square, Fisher's
// combination of exact-test P values, and the significance counters.
#pragma once

namespace korvel {

void CLEAR_SUM_P_CHI2_DF();
void SUM_FOR_TOTAL_P();
void WRITE_TO_SUMTEST();

}  // namespace korvel
