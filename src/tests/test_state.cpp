#include "tests/test_state.h"

namespace korvel {

CHI2_TABLE TABLE;
EXTENDED CHISQ, DF, PROB;
EXTENDED HM, HECA;

}  // namespace korvel
