// Which build can run a design, and why the others cannot: the one rule the
// programs' messages, korvel-init's choice of program and korvel-sweep
// follow. The builds are tried smallest first (korvel before korvel-ml).
#pragma once

#include <algorithm>
#include <vector>

#include "common/capacity_profiles.h"

namespace korvel {

inline constexpr const CAPACITY_PROFILE* CAPACITY_PROFILES[] = {&STANDARD_CAPACITY, &MANY_LOCI_CAPACITY};

// The largest value of each maximum over both builds: what a file that some
// build may run can hold (a tool reading files it wrote for either build).
inline constexpr CAPACITY_PROFILE ANY_BUILD_CAPACITY{
    "korvel or korvel-ml", std::max(STANDARD_CAPACITY.MAX_LOCI, MANY_LOCI_CAPACITY.MAX_LOCI),
    std::max(STANDARD_CAPACITY.MAX_ALLELES, MANY_LOCI_CAPACITY.MAX_ALLELES),
    std::max(STANDARD_CAPACITY.MAX_POPS, MANY_LOCI_CAPACITY.MAX_POPS)};

// What decides the build: the alleles of each locus and the populations.
struct DESIGN_SHAPE {
  std::vector<int> ALLELES;  // one per locus
  int POPULATIONS = 0;
};

// One maximum of a build that the design exceeds.
struct CAPACITY_SHORTFALL {
  enum QUANTITY { LOCI, ALLELES, POPULATIONS } WHAT;
  int MAXIMUM;    // the build's
  int VALUE;      // the design's loci, most alleles at a locus, or populations
  int LOCI_OVER;  // ALLELES: loci with more than MAXIMUM alleles
  int WIDEST;     // ALLELES: 0-based index of the first locus with VALUE alleles
};

struct CAPACITY_FIT {
  const CAPACITY_PROFILE* PROFILE = nullptr;  // the first build that holds it; nullptr: none
  // For each build tried before PROFILE (both when none fits), why not.
  std::vector<std::pair<const CAPACITY_PROFILE*, std::vector<CAPACITY_SHORTFALL>>> WHY_NOT;
};

CAPACITY_FIT FIT_CAPACITY(const DESIGN_SHAPE& design);

}  // namespace korvel
