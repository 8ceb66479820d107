// Per-locus test driver: fixed loci, the contingency-table file, and the
// start of the two tests for one locus.
#pragma once

#include <string>

namespace korvel {

inline constexpr const char* CONTTAB_FILE_NAME = "CONTTAB.XYZ";

void TEST_EACH_LOCUS_FOR_FIXED_SAMPLES();
void TEST_LOCUS_X();

// The first part of TEST_LOCUS_X for locus J: draws the four seeds and
// returns the text of CONTTAB.XYZ, not yet written. For a caller that runs
// the tests of several loci at once.
std::string MAKE_CONTTAB_TEXT();

}  // namespace korvel
