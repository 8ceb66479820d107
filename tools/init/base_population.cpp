// The base population of the design: allele frequencies from the counted
// gene copies, with the loci that carry no information left out, and the
// two ways of fitting a program's limits (fewer alleles, fewer loci).
#include <algorithm>
#include <cstdio>
#include <numeric>
#include <random>
#include <string>
#include <vector>

#include "init.h"
#include "text_lines.h"

namespace korvel::init {

long long BaseLocus::total() const { return std::accumulate(counts.begin(), counts.end(), 0LL); }

// count / total for every allele: each is the double nearest its true
// frequency, so the sum of a locus stays within a few units in the last
// place of 1, far inside the program's tolerance. Frequencies read from a
// table are kept as given.
std::vector<double> BaseLocus::frequencies() const {
  if (!given.empty()) return given;
  const long long sum = total();
  std::vector<double> result;
  result.reserve(counts.size());
  for (long long count : counts) result.push_back(static_cast<double>(count) / static_cast<double>(sum));
  return result;
}

namespace {

std::string DRAWN_FROM(const std::vector<std::string>& names, const std::vector<std::size_t>& chosen) {
  if (chosen.empty()) {
    return names.size() == 1 ? "the one population"
                             : "pooled over " + std::to_string(names.size()) + " populations";
  }
  std::string each;
  for (std::size_t i = 0; i < chosen.size(); ++i) {
    each += (i == 0                   ? ""
             : i + 1 == chosen.size() ? " and "
                                      : ", ") +
            std::to_string(chosen[i] + 1) + " (" + names[chosen[i]] + ")";
  }
  return chosen.size() == 1 ? "population " + each : "populations " + each + " pooled";
}

}  // namespace

LociDraw::LociDraw(std::optional<int> wanted, std::optional<std::uint32_t> seed)
    : random_(seed.has_value()), generator_(seed.value_or(0)) {
  if (wanted) wanted_ = static_cast<std::size_t>(*wanted);
}

// An index in 0..range-1 is the upper bits of range times one generator
// output, so the same seed picks the same loci on every system (the
// standard distributions leave their algorithm to the library).
std::uint64_t LociDraw::uniform_below(std::uint64_t range) {
  if (range <= (std::uint64_t{1} << 32)) return (range * static_cast<std::uint64_t>(generator_())) >> 32;
  const std::uint64_t wide = (static_cast<std::uint64_t>(generator_()) << 32) | generator_();
  return static_cast<std::uint64_t>((static_cast<unsigned __int128>(range) * wide) >> 64);
}

std::size_t LociDraw::offer() {
  const std::uint64_t index = offered_++;
  if (!wanted_ || index < *wanted_) return static_cast<std::size_t>(index);
  if (!random_) return NOT_KEPT;
  const std::uint64_t slot = uniform_below(index + 1);
  return slot < *wanted_ ? static_cast<std::size_t>(slot) : NOT_KEPT;
}

BaseBuilder::BaseBuilder(const std::vector<std::string>& population_names, BaseChoice choice)
    : choice_(std::move(choice)), draw_(choice_.max_loci, choice_.seed), names_(population_names) {
  base_.drawn_from = DRAWN_FROM(population_names, choice_.populations);
  base_.missing_by_population.assign(population_names.size(), 0);
  base_.least_missing = 1;
}

double MINOR_ALLELE_SHARE(const std::vector<long long>& counts) {
  long long total = 0;
  long long commonest = 0;
  for (long long count : counts) {
    total += count;
    commonest = std::max(commonest, count);
  }
  return total > 0 ? static_cast<double>(total - commonest) / static_cast<double>(total) : 0.0;
}

void BaseBuilder::tally_missing(const LocusCounts& locus) {
  long long missing = 0;
  long long called = 0;
  for (std::size_t p = 0; p < locus.missing.size(); ++p) {
    missing += locus.missing[p];
    if (p < base_.missing_by_population.size()) base_.missing_by_population[p] += locus.missing[p];
    if (p < locus.called.size()) called += locus.called[p];
  }
  base_.missing += missing;
  if (missing + called == 0) return;
  const double share = static_cast<double>(missing) / static_cast<double>(missing + called);
  base_.least_missing = std::min(base_.least_missing, share);
  base_.most_missing = std::max(base_.most_missing, share);
}

void BaseBuilder::leave_out(const std::string& name, const std::string& why) {
  ++base_.left_out_count;
  if (base_.left_out.size() < LEFT_OUT_SHOWN) base_.left_out.push_back({name, why});
}

// The filters look at the base population's populations only: missing
// genotypes pooled over them, every one of them for --min-samples, and the
// pooled counts for the minor allele. A share exactly at a limit is kept:
// 12 of 40 is not below 0.3, though neither is exact in binary, so shares
// are compared with a margin far below the step between two shares of any
// real count (1 in 10^12).
std::string BaseBuilder::filtered_out(const LocusCounts& locus) {
  const LocusFilter& filter = choice_.filter;
  std::vector<std::size_t> chosen = choice_.populations;
  if (chosen.empty()) {
    for (std::size_t p = 0; p < locus.missing.size(); ++p) chosen.push_back(p);
  }
  long long missing = 0;
  long long called = 0;
  for (std::size_t p : chosen) {
    missing += locus.missing[p];
    called += p < locus.called.size() ? locus.called[p] : 0;
  }
  constexpr long double MARGIN = 1e-12L;
  const long double missing_share = static_cast<long double>(missing) /
                                    static_cast<long double>(missing + called);
  if (filter.max_missing && missing_share > *filter.max_missing + MARGIN) {
    ++base_.filtered.missing;
    return PERCENT(missing_share) + " missing";
  }
  for (std::size_t p : chosen) {
    const long long genotyped = p < locus.called.size() ? locus.called[p] : 0;
    if (filter.min_samples && genotyped < *filter.min_samples) {
      ++base_.filtered.samples;
      return std::to_string(genotyped) + " genotyped in " + names_[p];
    }
  }
  const double minor = MINOR_ALLELE_SHARE(candidate_.counts);
  if (filter.min_maf && minor < *filter.min_maf - MARGIN) {
    ++base_.filtered.rare;
    return "minor allele " + PERCENT(minor);
  }
  return "";
}

void BaseBuilder::add(const LocusCounts& locus) {
  ++base_.loci_read;
  tally_missing(locus);
  candidate_.name = locus.name;
  candidate_.alleles.clear();
  candidate_.counts.clear();
  for (std::size_t a = 0; a < locus.alleles.size(); ++a) {
    long long copies = 0;
    if (choice_.populations.empty()) {
      for (const std::vector<long long>& population : locus.counts) copies += population[a];
    } else {
      for (std::size_t p : choice_.populations) copies += locus.counts[p][a];
    }
    if (copies == 0) continue;  // never seen here: not written
    candidate_.alleles.push_back(locus.alleles[a]);
    candidate_.counts.push_back(copies);
  }
  if (candidate_.counts.size() < 2) {
    leave_out(locus.name, candidate_.counts.empty() ? "no genotypes"
                                                    : "monomorphic (allele " + candidate_.alleles[0] + ")");
    return;
  }
  ++base_.polymorphic;
  if (choice_.filter.any()) {
    if (const std::string why = filtered_out(locus); !why.empty()) {
      leave_out(locus.name, why);
      return;
    }
  }
  const std::size_t slot = draw_.offer();
  const long long place = base_.informative++;
  if (slot == LociDraw::NOT_KEPT) return;
  if (slot == kept_.size()) {
    kept_.emplace_back(place, candidate_);
  } else {
    kept_[slot].first = place;
    kept_[slot].second = candidate_;  // reuses the slot's storage
  }
}

BasePopulation BaseBuilder::finish() {
  if (base_.least_missing > base_.most_missing) base_.least_missing = base_.most_missing;
  std::sort(kept_.begin(), kept_.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
  base_.loci.clear();
  base_.loci.reserve(kept_.size());
  for (auto& [place, locus] : kept_) base_.loci.push_back(std::move(locus));
  kept_.clear();
  return std::move(base_);
}

BasePopulation BASE_POPULATION(const GenotypeData& data, const std::vector<std::size_t>& populations) {
  BaseBuilder builder(data.populations, {populations, {}, {}, {}});
  for (const LocusCounts& locus : data.loci) builder.add(locus);
  return builder.finish();
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
  LociDraw draw(max_loci, seed);
  std::vector<std::size_t> index;
  for (std::size_t i = 0; i < base.loci.size(); ++i) {
    const std::size_t slot = draw.offer();
    if (slot == LociDraw::NOT_KEPT) continue;
    if (slot == index.size()) index.push_back(i);
    else index[slot] = i;
  }
  std::sort(index.begin(), index.end());
  std::vector<BaseLocus> chosen;
  chosen.reserve(index.size());
  for (std::size_t i : index) chosen.push_back(std::move(base.loci[i]));
  base.loci = std::move(chosen);
}

namespace {

std::string POSITION_AND_NAME(const std::vector<std::string>& populations, std::size_t p) {
  return std::to_string(p + 1) + " (" + populations[p] + ")";
}

bool IS_NUMBER(const std::string& text) {
  return !text.empty() && std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

std::size_t FIND_ONE(const std::vector<std::string>& populations, const std::string& source,
                     const std::string& item) {
  std::vector<std::size_t> named;
  for (std::size_t p = 0; p < populations.size(); ++p) {
    if (populations[p] == item) named.push_back(p);
  }
  std::string candidates;
  for (std::size_t p : named)
    candidates += (candidates.empty() ? "" : ", ") + POSITION_AND_NAME(populations, p);
  const std::string count = std::to_string(populations.size());
  if (IS_NUMBER(item)) {
    // A number is a position even where a population bears it as a name:
    // numbered individuals name populations with numbers.
    const std::size_t digits = item.find_first_not_of('0') == std::string::npos
                                   ? 0
                                   : item.size() - item.find_first_not_of('0');
    if (digits > 0 && digits < 10) {
      const auto number = static_cast<std::size_t>(std::stoull(item));
      if (number <= populations.size()) return number - 1;
    }
    throw InitError(
        "--pop " + item + ": a number is a position in " + source + ", which has " +
        PLURAL(static_cast<long long>(populations.size()), "population", "populations") + " (1 to " + count +
        ")" + (named.empty() ? "" : "; the population named \"" + item + "\" is at position " + candidates));
  }
  if (named.size() == 1) return named[0];
  if (named.size() > 1) {
    throw InitError("--pop " + item + ": " + std::to_string(named.size()) +
                    " populations have this name: " + candidates + "; give the position of the one meant");
  }
  std::string known;
  for (std::size_t p = 0; p < populations.size() && p < 10; ++p)
    known += (p ? ", " : "") + POSITION_AND_NAME(populations, p);
  if (populations.size() > 10) known += ", ...";
  throw InitError("--pop " + item + ": no such population in " + source + " (populations: " + known +
                  "; give a name or a position from 1 to " + count + ")");
}

}  // namespace

std::vector<std::size_t> FIND_POPULATIONS(const std::vector<std::string>& populations,
                                          const std::string& source, const std::vector<std::string>& items) {
  std::vector<std::size_t> chosen;
  for (const std::string& item : items) {
    const std::size_t p = FIND_ONE(populations, source, item);
    if (std::find(chosen.begin(), chosen.end(), p) != chosen.end()) {
      throw InitError("--pop " + item + ": population " + POSITION_AND_NAME(populations, p) +
                      " is already chosen");
    }
    chosen.push_back(p);
  }
  return chosen;
}

}  // namespace korvel::init
