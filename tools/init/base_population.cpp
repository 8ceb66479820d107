// The base population of the design: allele frequencies from the counted
// gene copies, with the loci that carry no information left out, and the
// two ways of fitting a program's limits (fewer alleles, fewer loci).
#include <algorithm>
#include <numeric>
#include <random>
#include <string>
#include <vector>

#include "init.h"

namespace korvel::init {

long long BaseLocus::total() const { return std::accumulate(counts.begin(), counts.end(), 0LL); }

// count / total for every allele: each is the double nearest its true
// frequency, so the sum of a locus stays within a few units in the last
// place of 1, far inside the program's tolerance.
std::vector<double> BaseLocus::frequencies() const {
  const long long sum = total();
  std::vector<double> result;
  result.reserve(counts.size());
  for (long long count : counts) result.push_back(static_cast<double>(count) / static_cast<double>(sum));
  return result;
}

BasePopulation BASE_POPULATION(const GenotypeData& data, std::optional<std::size_t> population) {
  BasePopulation base;
  base.drawn_from = population ? "population " + data.populations[*population]
                    : data.populations.size() == 1
                        ? "the one population"
                        : "pooled over " + std::to_string(data.populations.size()) + " populations";
  for (const LocusCounts& locus : data.loci) {
    BaseLocus kept;
    kept.name = locus.name;
    for (std::size_t a = 0; a < locus.alleles.size(); ++a) {
      long long copies = 0;
      for (std::size_t p = 0; p < locus.counts.size(); ++p) {
        if (!population || p == *population) copies += locus.counts[p][a];
      }
      if (copies == 0) continue;  // never seen here: not written
      kept.alleles.push_back(locus.alleles[a]);
      kept.counts.push_back(copies);
    }
    if (kept.counts.empty()) {
      base.left_out.push_back({locus.name, "no genotypes"});
    } else if (kept.counts.size() == 1) {
      base.left_out.push_back({locus.name, "monomorphic (allele " + kept.alleles[0] + ")"});
    } else {
      base.loci.push_back(std::move(kept));
    }
  }
  return base;
}

int MERGE_RARE_ALLELES(BasePopulation& base, int max_alleles) {
  const auto keep = static_cast<std::size_t>(max_alleles - 1);
  int changed = 0;
  for (BaseLocus& locus : base.loci) {
    if (locus.counts.size() <= static_cast<std::size_t>(max_alleles)) continue;
    std::vector<std::size_t> order(locus.counts.size());
    std::iota(order.begin(), order.end(), std::size_t{0});
    std::stable_sort(order.begin(), order.end(),
                     [&](std::size_t a, std::size_t b) { return locus.counts[a] > locus.counts[b]; });
    std::vector<std::size_t> kept(order.begin(), order.begin() + static_cast<std::ptrdiff_t>(keep));
    std::sort(kept.begin(), kept.end());
    BaseLocus merged;
    merged.name = locus.name;
    for (std::size_t a : kept) {
      merged.alleles.push_back(locus.alleles[a]);
      merged.counts.push_back(locus.counts[a]);
    }
    long long rest = 0;
    for (auto it = order.begin() + static_cast<std::ptrdiff_t>(keep); it != order.end(); ++it)
      rest += locus.counts[*it];
    merged.merged_alleles = static_cast<int>(order.size() - keep);
    merged.alleles.push_back("rarest " + std::to_string(merged.merged_alleles) + " merged");
    merged.counts.push_back(rest);
    locus = std::move(merged);
    ++changed;
  }
  return changed;
}

void SELECT_LOCI(BasePopulation& base, int max_loci, std::optional<std::uint32_t> seed) {
  const auto wanted = static_cast<std::size_t>(max_loci);
  if (base.loci.size() <= wanted) return;
  if (!seed) {
    base.loci.resize(wanted);
    return;
  }
  // Partial Fisher-Yates shuffle of the locus indices. MT19937 is the same
  // sequence everywhere; an index in 0..n-1 is the upper 32 bits of n times
  // one 32-bit output, so the same seed picks the same loci on every system
  // (the standard distributions leave their algorithm to the library).
  std::mt19937 generator(*seed);
  std::vector<std::size_t> index(base.loci.size());
  std::iota(index.begin(), index.end(), std::size_t{0});
  for (std::size_t i = 0; i < wanted; ++i) {
    const std::uint64_t range = index.size() - i;
    const std::size_t pick = i + static_cast<std::size_t>((range * static_cast<std::uint64_t>(generator())) >>
                                                          32);
    std::swap(index[i], index[pick]);
  }
  index.resize(wanted);
  std::sort(index.begin(), index.end());
  std::vector<BaseLocus> chosen;
  chosen.reserve(wanted);
  for (std::size_t i : index) chosen.push_back(std::move(base.loci[i]));
  base.loci = std::move(chosen);
}

std::size_t FIND_POPULATION(const GenotypeData& data, const std::string& name) {
  std::vector<std::size_t> matches;
  for (std::size_t p = 0; p < data.populations.size(); ++p) {
    if (data.populations[p] == name) matches.push_back(p);
  }
  if (matches.size() == 1) return matches[0];
  if (matches.size() > 1) {
    throw InitError("--pop " + name + ": " + std::to_string(matches.size()) +
                    " populations have this name; give its number (1 to " +
                    std::to_string(data.populations.size()) + ") instead");
  }
  if (!name.empty() && std::all_of(name.begin(), name.end(), [](char c) { return c >= '0' && c <= '9'; }) &&
      name.size() < 9) {
    const std::size_t number = std::stoul(name);
    if (number >= 1 && number <= data.populations.size()) return number - 1;
  }
  std::string known;
  for (std::size_t p = 0; p < data.populations.size() && p < 10; ++p)
    known += (p ? ", " : "") + data.populations[p];
  if (data.populations.size() > 10) known += ", ...";
  throw InitError("--pop " + name + ": no such population in " + data.source + " (populations: " + known +
                  "; or give a number from 1 to " + std::to_string(data.populations.size()) + ")");
}

}  // namespace korvel::init
