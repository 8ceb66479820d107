// The exact test of one locus: FISHER reads CONTTAB.XYZ and runs the
// Markov chain; its results are left in HM and HECA.
#pragma once

namespace korvel {

void FISHER();

}  // namespace korvel
