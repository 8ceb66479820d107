// SUBPOPS.OUT and SAMPLES.OUT: per-run subpopulation frequencies and sample
// counts.
#pragma once

namespace korvel {

void INITIALIZE_SUBPOPS();
void INITIALIZE_SAMPLES();
void WRITE_TO_SUBPOPS();
void WRITE_TO_SAMPLES();

}  // namespace korvel
