// CHI2PROB: the chi-square tail probability Q(A, X).
#pragma once

#include "common/number_types.h"

namespace korvel {

EXTENDED GAMMQ(EXTENDED A, EXTENDED X);
void GSER(EXTENDED A, EXTENDED X, EXTENDED& GAMSER, EXTENDED& GLN);
void GCF(EXTENDED A, EXTENDED X, EXTENDED& GAMMCF, EXTENDED& GLN);
EXTENDED GAMMLN(EXTENDED XX);

}  // namespace korvel
