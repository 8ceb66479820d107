// The tests of locus J as one thread carries them out: the table written
// to CONTTAB.XYZ, the tests on its text, the chain run at once.
#pragma once

#include <string>

#include "tests/conttab_handoff.h"
#include "tests/locus_tests.h"

namespace korvel::testing {

inline LOCUS_RESULT TEST_LOCUS_J_WHOLLY() {
  const std::string text = MAKE_CONTTAB_TEXT();
  WRITE_CONTTAB(text);
  LOCUS_TEST tested = TEST_LOCUS_X(text);
  if (!tested.CHAIN) return tested.RESULT;
  tested.CHAIN->STATE.MAKE_RANDOM();
  tested.CHAIN->STATE.CHAINE();
  tested.RESULT.GEXACT_P = tested.CHAIN->STATE.HM;
  tested.RESULT.SE = tested.CHAIN->STATE.HECA;
  return tested.RESULT;
}

}  // namespace korvel::testing
