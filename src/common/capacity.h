// Capacity profile of the build. The same sources are compiled twice: the
// standard build (korvel) and, with KORVEL_MANY_LOCI defined, the many-loci
// build (korvel-ml). Every program-wide table is sized from these maxima at
// compile time, and the input check rejects anything larger.
#pragma once

namespace korvel {

#if defined(KORVEL_MANY_LOCI)
inline constexpr int MAX_LOCI = 5000;
inline constexpr int MAX_ALLELES = 5;
inline constexpr int MAX_POPS = 30;
inline constexpr const char* BUILD_NAME = "korvel-ml";
#else
inline constexpr int MAX_LOCI = 100;
inline constexpr int MAX_ALLELES = 100;
inline constexpr int MAX_POPS = 50;
inline constexpr const char* BUILD_NAME = "korvel";
#endif

// Largest diploid count that one population may contribute to a sampling:
// 2 x 16383 gene copies still fit the 16-bit allele counters.
inline constexpr int MAX_DIPLOIDS = 16383;

}  // namespace korvel
