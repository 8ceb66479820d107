// Per-locus test driver: fixed loci, the contingency-table file, and the
// two tests of one locus.
#pragma once

#include <memory>
#include <string>

#include "input/shared_names.h"
#include "tests/chain_pool.h"
#include "tests/locus_result.h"

namespace korvel {

void TEST_EACH_LOCUS_FOR_FIXED_SAMPLES();

// Draws the four seeds of locus J's chain and returns the text of
// CONTTAB.XYZ for it. The caller writes it to the file in its place among
// the program's outputs.
std::string MAKE_CONTTAB_TEXT();

// One tested locus of the run in hand.
struct LOCUS_TEST {
  // RUN, LOCUS and, with the chi-square test on, its values.
  LOCUS_RESULT RESULT;
  // With the exact test on: the chain, loaded and not yet run. It depends
  // on nothing else, so it may run anywhere, any time.
  std::unique_ptr<CHAIN_TASK> CHAIN;
};

// The tests of locus J of run RUN on the text of its CONTTAB.XYZ: the
// chi-square test, and the exact test's table reader.
LOCUS_TEST TEST_LOCUS_X(const std::string& CONTTAB_TEXT);

}  // namespace korvel
