// Drift of the subpopulations away from the base population.
#pragma once

namespace korvel {

void COPY_BASEPOP_TO_ALL_POPS_AFREQ();
void DRIFT_APART();

}  // namespace korvel
