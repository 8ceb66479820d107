// Program-wide values of the population model that only it uses.
#pragma once

#include <array>

#include "common/capacity.h"
#include "common/number_types.h"

namespace korvel {

// Mean gene diversity within each population, averaged over loci.
extern std::array<EXTENDED, MAX_POPS + 1> HS_PER_POP;

}  // namespace korvel
