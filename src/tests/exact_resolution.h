// The resolution of the exact test's P estimate, and the warning when it is
// too coarse for Fisher's combination.
//
// A chain of B batches of C counted steps estimates P as a fraction of B x C
// steps, so an estimate of 0 only says P < 1/(B x C). SUM_FOR_TOTAL_P puts
// such a locus into Fisher's combination as SMALLEST_EXACT_P, which claims
// more evidence than the chain gathered whenever B x C < 1/SMALLEST_EXACT_P:
// the combined exact test then rejects too often, most visibly with many
// loci. The program keeps that method and its outputs; at the end of a run
// it says so on standard error.
#pragma once

#include <cstdint>
#include <string>

#include "common/number_types.h"
#include "input/exact_adequacy.h"

namespace korvel {

void CLEAR_EXACT_RESOLUTION_COUNTS();
// One tested locus's estimated P, before an estimate of 0 is replaced.
void COUNT_EXACT_P(EXTENDED p);

// The warning for these counts and chain settings; empty when the settings
// are adequate or no locus had an estimate of 0.
std::string EXACT_RESOLUTION_WARNING(std::int64_t zero_p_loci, std::int64_t tested_loci, INT32 batches,
                                     INT32 steps_per_batch);
// Writes the warning for this run's counts (exact test on) to standard error.
void WARN_ABOUT_EXACT_RESOLUTION();

}  // namespace korvel
