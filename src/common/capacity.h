// Capacity profile of this build. The same sources are compiled twice: the
// standard build (korvel) and, with KORVEL_MANY_LOCI defined, the many-loci
// build (korvel-ml). Every program-wide table is sized from these maxima at
// compile time, and the input check rejects anything larger. The profiles
// themselves are defined once, in capacity_profiles.h.
#pragma once

#include "common/capacity_profiles.h"

namespace korvel {

#if defined(KORVEL_MANY_LOCI)
inline constexpr const CAPACITY_PROFILE& BUILD_CAPACITY = MANY_LOCI_CAPACITY;
#else
inline constexpr const CAPACITY_PROFILE& BUILD_CAPACITY = STANDARD_CAPACITY;
#endif

inline constexpr int MAX_LOCI = BUILD_CAPACITY.MAX_LOCI;
inline constexpr int MAX_ALLELES = BUILD_CAPACITY.MAX_ALLELES;
inline constexpr int MAX_POPS = BUILD_CAPACITY.MAX_POPS;
inline constexpr const char* BUILD_NAME = BUILD_CAPACITY.BUILD_NAME;

}  // namespace korvel
