// The summary korvel-init gives of the data it read and of the base
// population formed from it, with what the data imply for the design said
// plainly: the simulation samples complete genotypes, and loci with rare
// alleles make the exact test combined over loci conservative.
#include <algorithm>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "init.h"
#include "text_lines.h"

namespace korvel::init {

namespace {

// Missing genotypes by population and their range over the loci, when
// any are missing; with many missing, what that means for the sample size.
void MISSING_SUMMARY(const GenotypeData& data, const BasePopulation& base, long long genotypes,
                     const InitOptions& options, const SummarySink& say) {
  if (base.missing == 0 || genotypes == 0) return;
  std::vector<std::string> each;
  for (std::size_t p = 0; p < data.populations.size() && p < base.missing_by_population.size(); ++p) {
    const long long typed = data.individuals[p] * base.loci_read;
    if (typed > 0) {
      each.push_back(data.populations[p] + " " +
                     PERCENT(static_cast<long double>(base.missing_by_population[p]) / typed));
    }
  }
  say("  missing by population: " + LIST(each, 12) + "; per locus " + PERCENT(base.least_missing) + " to " +
      PERCENT(base.most_missing));
  const long double share = static_cast<long double>(base.missing) / genotypes;
  if (share <= HIGH_MISSING_SHARE) return;
  const long double typed = static_cast<long double>(genotypes / base.loci_read) / data.populations.size();
  say("  note: " + PERCENT(share) +
      " of the genotypes are missing. The simulation samples complete genotypes, so the sample size to "
      "plan on is the number of individuals genotyped successfully at a locus, not the number typed (here "
      "about " +
      PERCENT(1 - share) + " of them: " + FIXED(typed * (1 - share), 0) + " of the " + FIXED(typed, 0) +
      " typed per population)" +
      (options.filter.max_missing ? "" : "; --max-missing F leaves out the loci with more than F missing"));
}

// A filter's value as the user would type it: 0.05, not 0.050.
std::string VALUE(long double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%Lg", value);
  return text;
}

// How many loci each filter given left out.
void FILTER_SUMMARY(const BasePopulation& base, const LocusFilter& filter, const SummarySink& say) {
  if (!filter.any()) return;
  std::vector<std::string> each;
  if (filter.max_missing) {
    each.push_back(std::to_string(base.filtered.missing) + " by --max-missing " + VALUE(*filter.max_missing) +
                   " (more genotypes missing)");
  }
  if (filter.min_samples) {
    each.push_back(std::to_string(base.filtered.samples) + " by --min-samples " +
                   std::to_string(*filter.min_samples) + " (fewer genotyped in a population)");
  }
  if (filter.min_maf) {
    each.push_back(std::to_string(base.filtered.rare) + " by --min-maf " + VALUE(*filter.min_maf) +
                   " (rarer minor allele)");
  }
  say("  filters: kept " + std::to_string(base.informative) + " of " + std::to_string(base.polymorphic) +
      " polymorphic loci; left out " + LIST(each, 3));
}

double MINOR_SHARE(const BaseLocus& locus) {
  const std::vector<double> frequencies = locus.frequencies();
  return 1.0 - *std::max_element(frequencies.begin(), frequencies.end());
}

// Loci whose alleles but the commonest are rare give the exact test little
// to reject with; combined over loci it then rejects less often than its
// level, and the power shown understates what common loci would give.
void RARE_SUMMARY(const BasePopulation& base, const SummarySink& say) {
  long long below_1 = 0;
  long long below_5 = 0;
  for (const BaseLocus& locus : base.loci) {
    const double minor = MINOR_SHARE(locus);
    below_1 += minor < 0.01 ? 1 : 0;
    below_5 += minor < 0.05 ? 1 : 0;
  }
  const auto loci = static_cast<long double>(base.loci.size());
  if (below_5 == 0 || below_5 < MANY_RARE_LOCI_SHARE * loci) return;
  say("  note: of " + PLURAL(static_cast<long long>(base.loci.size()), "locus", "loci") + ", " +
      std::to_string(below_1) + " (" + PERCENT(below_1 / loci) +
      ") have a minor allele frequency below 1 % and " + std::to_string(below_5) + " (" +
      PERCENT(below_5 / loci) +
      ") below 5 %. The exact test combined over loci is conservative on such loci (it rejects less "
      "often than its level even without drift), so the power it shows for this panel is low; "
      "--min-maf 0.05 leaves them out");
}

}  // namespace

void DATA_SUMMARY(const GenotypeData& data, const BasePopulation& base, const InitOptions& options,
                  const SummarySink& say) {
  if (data.format == FREQUENCY_TABLE) return say(FREQUENCY_TABLE_SUMMARY(data, base));
  long long individuals = 0;
  for (long long count : data.individuals) individuals += count;
  say("korvel-init: " + data.source + " (" + data.format + ", " + data.ploidy +
      "): " + PLURAL(individuals, "individual", "individuals") + " in " +
      PLURAL(static_cast<long long>(data.populations.size()), "population", "populations"));
  std::vector<std::string> populations;
  for (std::size_t p = 0; p < data.populations.size(); ++p) {
    populations.push_back(data.populations[p] + " " + std::to_string(data.individuals[p]) +
                          (data.genotyped[p] != data.individuals[p]
                               ? " (" + std::to_string(data.genotyped[p]) + " genotyped)"
                               : ""));
  }
  say("  populations: " + LIST(populations, 12));
  for (const std::string& note : data.notes) say("  note: " + note);
  const long long genotypes = individuals * base.loci_read;
  say("  missing genotypes: " + std::to_string(base.missing) + " of " + std::to_string(genotypes) +
      (genotypes > 0 ? " (" + FIXED(100.0L * base.missing / genotypes, 1) + " %)" : ""));
  MISSING_SUMMARY(data, base, genotypes, options, say);
  say("  loci: " + std::to_string(base.loci_read) + " read, " + std::to_string(base.polymorphic) +
      " polymorphic (base population: " + base.drawn_from + ")");
  if (base.left_out_count > 0) {
    std::string left;
    for (const LeftOutLocus& locus : base.left_out)
      left += (left.empty() ? "" : ", ") + locus.name + " " + locus.why;
    const long long more = base.left_out_count - static_cast<long long>(base.left_out.size());
    if (more > 0) left += ", ... (" + std::to_string(more) + " more)";
    say("  left out: " + PLURAL(base.left_out_count, "locus", "loci") + ": " + left);
  }
  FILTER_SUMMARY(base, options.filter, say);
}

void BASE_SUMMARY(const BasePopulation& base, int merged, const InitOptions& options,
                  const SummarySink& say) {
  const long long before_selection = base.informative;
  if (static_cast<long long>(base.loci.size()) < before_selection) {
    say("  --max-loci " + std::to_string(*options.max_loci) + ": kept " +
        (options.seed ? "a random " + std::to_string(base.loci.size()) + " (seed " +
                            std::to_string(*options.seed) + ")"
                      : "the first " + std::to_string(base.loci.size())) +
        " of " + std::to_string(before_selection) + " loci");
  }
  if (merged > 0) {
    say("  --max-alleles " + std::to_string(*options.max_alleles) +
        ": THIS CHANGES THE DATA: the rarest alleles of " + PLURAL(merged, "locus", "loci") +
        " are merged into one class");
  }
  // Each locus by name for a panel of a few, else how many loci have how
  // many alleles.
  std::vector<std::string> each;
  std::map<std::size_t, long long> loci_with;
  std::size_t sum = 0;
  for (const BaseLocus& locus : base.loci) {
    each.push_back(locus.name + " " + std::to_string(locus.counts.size()));
    ++loci_with[locus.counts.size()];
    sum += locus.counts.size();
  }
  if (base.loci.size() > 20) {
    each.clear();
    for (const auto& [alleles, loci] : loci_with) {
      each.push_back(PLURAL(loci, "locus", "loci") + " with " + std::to_string(alleles));
    }
  }
  say("  alleles per locus: " + std::to_string(loci_with.begin()->first) + " to " +
      std::to_string(loci_with.rbegin()->first) + ", mean " +
      FIXED(static_cast<long double>(sum) / static_cast<long double>(base.loci.size()), 1) + " (" +
      LIST(each, 20) + ")");
  RARE_SUMMARY(base, say);
}

}  // namespace korvel::init
