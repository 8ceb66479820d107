// Per-locus test driver: fixed loci, the contingency-table file, and the
// start of the two tests for one locus.
#pragma once

namespace korvel {

inline constexpr const char* CONTTAB_FILE_NAME = "CONTTAB.XYZ";

void TEST_EACH_LOCUS_FOR_FIXED_SAMPLES();
void TEST_LOCUS_X();

}  // namespace korvel
