#include "input/capacity_fit.h"

namespace korvel {

namespace {

std::vector<CAPACITY_SHORTFALL> SHORTFALLS(const CAPACITY_PROFILE& profile, const DESIGN_SHAPE& design) {
  std::vector<CAPACITY_SHORTFALL> shortfalls;
  const int loci = static_cast<int>(design.ALLELES.size());
  if (loci > profile.MAX_LOCI)
    shortfalls.push_back({CAPACITY_SHORTFALL::LOCI, profile.MAX_LOCI, loci, 0, -1});
  int over = 0, widest = -1;
  for (int l = 0; l < loci; ++l) {
    if (design.ALLELES[l] <= profile.MAX_ALLELES) continue;
    ++over;
    if (widest < 0 || design.ALLELES[l] > design.ALLELES[widest]) widest = l;
  }
  if (widest >= 0)
    shortfalls.push_back(
        {CAPACITY_SHORTFALL::ALLELES, profile.MAX_ALLELES, design.ALLELES[widest], over, widest});
  if (design.POPULATIONS > profile.MAX_POPS)
    shortfalls.push_back({CAPACITY_SHORTFALL::POPULATIONS, profile.MAX_POPS, design.POPULATIONS, 0, -1});
  return shortfalls;
}

}  // namespace

CAPACITY_FIT FIT_CAPACITY(const DESIGN_SHAPE& design) {
  CAPACITY_FIT fit;
  for (const CAPACITY_PROFILE* profile : CAPACITY_PROFILES) {
    std::vector<CAPACITY_SHORTFALL> shortfalls = SHORTFALLS(*profile, design);
    if (shortfalls.empty()) {
      fit.PROFILE = profile;
      break;
    }
    fit.WHY_NOT.emplace_back(profile, std::move(shortfalls));
  }
  return fit;
}

}  // namespace korvel
