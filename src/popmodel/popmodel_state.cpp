#include "popmodel/popmodel_state.h"

namespace korvel {

std::array<EXTENDED, MAX_POPS + 1> HS_PER_POP;

}  // namespace korvel
