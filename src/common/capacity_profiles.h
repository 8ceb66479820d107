// The two capacity profiles, defined once for the programs and their tools.
//
// The simulation is built twice from the same sources: the standard build
// (korvel) and the many-loci build (korvel-ml). They differ only in these
// maxima, which size every program-wide table of the build (capacity.h picks
// one) and which the input check enforces. Tools that write or read an
// input file name a profile explicitly; nothing here depends on the build.
#pragma once

namespace korvel {

struct CAPACITY_PROFILE {
  const char* BUILD_NAME;  // the program built with these maxima
  int MAX_LOCI;
  int MAX_ALLELES;  // per locus
  int MAX_POPS;
};

inline constexpr CAPACITY_PROFILE STANDARD_CAPACITY{"korvel", 100, 100, 50};
inline constexpr CAPACITY_PROFILE MANY_LOCI_CAPACITY{"korvel-ml", 5000, 5, 30};

// The build that is not `profile`.
constexpr const CAPACITY_PROFILE& OTHER_CAPACITY(const CAPACITY_PROFILE& profile) {
  return profile.MAX_LOCI == STANDARD_CAPACITY.MAX_LOCI ? MANY_LOCI_CAPACITY : STANDARD_CAPACITY;
}

// Largest diploid count that one population may contribute to a sampling:
// 2 x 16383 gene copies still fit the 16-bit allele counters. It bounds the
// effective size during drift and every sample size.
inline constexpr int MAX_DIPLOIDS = 16383;

// Largest number of generations of drift the input can hold (16 bits).
inline constexpr int MAX_GENERATIONS = 32767;

}  // namespace korvel
