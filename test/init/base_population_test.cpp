// The base population: pooling, one population, loci left out, rare
// alleles merged and loci chosen.
#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>

#include "init.h"
#include "init/support/panel.h"

namespace korvel::init {
namespace {

GenotypeData TWO_POPULATIONS() {
  // Locus "mixed": population A 3 x allele a1, 1 x a2; population B 6 x a3
  // and 2 x a2. "fixedA": only a1 in A, a2 in B. "empty": nothing called.
  GenotypeData data;
  data.source = "data";
  data.populations = {"A", "B"};
  data.individuals = {2, 4};
  data.genotyped = {2, 4};
  data.loci.push_back({"mixed", {"a1", "a2", "a3"}, {{3, 1, 0}, {0, 2, 6}}, {0, 0}});
  data.loci.push_back({"fixedA", {"a1", "a2"}, {{4, 0}, {0, 8}}, {0, 0}});
  data.loci.push_back({"empty", {"a1", "a2"}, {{0, 0}, {0, 0}}, {2, 4}});
  return data;
}

TEST(BasePopulation, PooledCountsWeighPopulationsByTheirGeneCopies) {
  const BasePopulation base = BASE_POPULATION(TWO_POPULATIONS(), {});
  EXPECT_EQ(base.drawn_from, "pooled over 2 populations");
  ASSERT_EQ(base.loci.size(), 2u);
  EXPECT_EQ(base.loci[0].counts, (std::vector<long long>{3, 3, 6}));
  EXPECT_EQ(base.loci[0].frequencies(), (std::vector<double>{0.25, 0.25, 0.5}));
  EXPECT_EQ(base.loci[1].frequencies(), (std::vector<double>{4.0 / 12.0, 8.0 / 12.0}));
  ASSERT_EQ(base.left_out.size(), 1u);
  EXPECT_EQ(base.left_out[0].name, "empty");
  EXPECT_EQ(base.left_out[0].why, "no genotypes");
}

// Populations A and B of 10 individuals each; `called` per population,
// the rest missing.
LocusCounts LOCUS(const std::string& name, std::vector<std::vector<long long>> counts,
                  std::vector<long long> called) {
  LocusCounts locus{name, {}, std::move(counts), {}, std::move(called)};
  for (std::size_t a = 0; a < locus.counts[0].size(); ++a)
    locus.alleles.push_back("a" + std::to_string(a + 1));
  for (long long c : locus.called) locus.missing.push_back(10 - c);
  return locus;
}

std::vector<std::string> KEPT(const GenotypeData& data, const LocusFilter& filter,
                              std::vector<std::size_t> populations = {}, BasePopulation* out = nullptr) {
  BaseBuilder builder(data.populations, {std::move(populations), {}, {}, filter});
  for (const LocusCounts& locus : data.loci) builder.add(locus);
  BasePopulation base = builder.finish();
  std::vector<std::string> names;
  for (const BaseLocus& locus : base.loci) names.push_back(locus.name);
  if (out != nullptr) *out = std::move(base);
  return names;
}

// The filters at their boundaries (a locus at exactly the limit is kept),
// on the pooled base population or on the populations --pop names; a
// multi-allelic locus counts all its alleles but the commonest together.
TEST(BasePopulation, FiltersKeepLociAtTheirLimitsAndCountTheOthersByFirstReason) {
  GenotypeData data;
  data.populations = {"A", "B"};
  data.loci = {LOCUS("common", {{10, 10}, {12, 8}}, {10, 10}),
               LOCUS("rare", {{19, 1}, {20, 0}}, {10, 10}),          // minor 1/40 pooled, 1/20 in A
               LOCUS("gappy", {{6, 4}, {10, 10}}, {5, 10}),          // 5 of 20 missing
               LOCUS("thinB", {{10, 10}, {2, 2}}, {10, 2}),          // 8 of 20 missing, 2 typed in B
               LOCUS("multi", {{18, 1, 1}, {20, 0, 0}}, {10, 10})};  // 2/40 besides the commonest
  BasePopulation base;
  EXPECT_EQ(KEPT(data, {0.05L, 0.2L, 3}, {}, &base), (std::vector<std::string>{"common", "multi"}));
  EXPECT_EQ(base.polymorphic, 5);
  EXPECT_EQ(base.informative, 2);
  EXPECT_EQ(base.filtered.missing, 2);
  EXPECT_EQ(base.filtered.samples, 0);
  EXPECT_EQ(base.filtered.rare, 1);
  ASSERT_EQ(base.left_out.size(), 3u);
  EXPECT_EQ(base.left_out[0].why, "minor allele 2.5 %");
  EXPECT_EQ(base.left_out[1].why, "25.0 % missing");
  EXPECT_EQ(KEPT(data, {0.025L, 0.25L, {}}),
            (std::vector<std::string>{"common", "rare", "gappy", "multi"}));  // thinB: 40 %
  EXPECT_EQ(KEPT(data, {0.051L, {}, {}}), (std::vector<std::string>{"common", "gappy", "thinB"}));
  // 12 of 40 is not below 0.3, nor 6 of 20 missing above it, though none
  // of these is exact in binary.
  GenotypeData edge = data;
  edge.loci = {LOCUS("edge", {{14, 6}, {14, 6}}, {10, 10}), LOCUS("gaps", {{7, 7}, {7, 7}}, {7, 7})};
  EXPECT_EQ(KEPT(edge, {0.3L, 0.3L, {}}), (std::vector<std::string>{"edge", "gaps"}));
  EXPECT_EQ(KEPT(data, {{}, {}, 3}, {}, &base),
            (std::vector<std::string>{"common", "rare", "gappy", "multi"}));
  EXPECT_EQ(base.left_out.at(0).why, "2 genotyped in B");
  // Population A alone: "rare" has 1 in 20, "thinB" is fully typed there.
  EXPECT_EQ(KEPT(data, {0.05L, 0.0L, 10}, {0}),
            (std::vector<std::string>{"common", "rare", "thinB", "multi"}));
}

TEST(BasePopulation, OnePopulationDropsAllelesItNeverShows) {
  const GenotypeData data = TWO_POPULATIONS();
  const BasePopulation base = BASE_POPULATION(data, FIND_POPULATIONS(data.populations, "data", {"A"}));
  EXPECT_EQ(base.drawn_from, "population 1 (A)");
  ASSERT_EQ(base.loci.size(), 1u);
  EXPECT_EQ(base.loci[0].alleles, (std::vector<std::string>{"a1", "a2"}));
  EXPECT_EQ(base.loci[0].frequencies(), (std::vector<double>{0.75, 0.25}));
  ASSERT_EQ(base.left_out.size(), 2u);
  EXPECT_EQ(base.left_out[0].why, "monomorphic (allele a1)");
}

TEST(BasePopulation, ChosenPopulationsArePooledAndNamedByPositionAndName) {
  GenotypeData data = TWO_POPULATIONS();
  data.populations.push_back("A");
  data.individuals.push_back(1);
  data.genotyped.push_back(1);
  for (LocusCounts& locus : data.loci) {
    locus.counts.push_back(std::vector<long long>(locus.alleles.size(), 0));
    locus.counts.back()[1] = 2;
    locus.missing.push_back(0);
  }
  const BasePopulation base = BASE_POPULATION(data, FIND_POPULATIONS(data.populations, "data", {"B", "1"}));
  EXPECT_EQ(base.drawn_from, "populations 2 (B) and 1 (A) pooled");
  EXPECT_EQ(base.loci[0].counts, (std::vector<long long>{3, 3, 6}));  // the third population left out
  EXPECT_EQ(base.loci_read, 3);
  EXPECT_EQ(base.left_out_count, 1);
}

std::string FIND_FAULT(const std::vector<std::string>& populations, const std::vector<std::string>& items) {
  try {
    FIND_POPULATIONS(populations, "data", items);
  } catch (const InitError& error) {
    return error.what();
  }
  return "no fault";
}

TEST(BasePopulation, ANumberIsAPositionAndANameMustFitOnePopulation) {
  // Populations named after numbered first individuals.
  const std::vector<std::string> numbered = {"1", "11", "21", "31"};
  EXPECT_EQ(FIND_POPULATIONS(numbered, "data", {"1", "2", "04"}), (std::vector<std::size_t>{0, 1, 3}));
  EXPECT_EQ(FIND_FAULT(numbered, {"11"}),
            "--pop 11: a number is a position in data, which has 4 populations (1 to 4); the population "
            "named \"11\" is at position 2 (11)");
  EXPECT_EQ(FIND_FAULT(numbered, {"0"}),
            "--pop 0: a number is a position in data, which has 4 populations (1 to 4)");
  EXPECT_EQ(FIND_FAULT(numbered, {"2", "11x", "1"}).substr(0, 52),
            "--pop 11x: no such population in data (populations: ");
  EXPECT_EQ(FIND_FAULT({"X", "Y", "X"}, {"X"}),
            "--pop X: 2 populations have this name: 1 (X), 3 (X); give the position of the one meant");
  EXPECT_EQ(FIND_FAULT({"X", "Y"}, {"Y", "2"}), "--pop 2: population 2 (Y) is already chosen");
}

TEST(BasePopulation, MergingKeepsTheCommonestAllelesInOrderAndFoldsTheRest) {
  BasePopulation base;
  base.loci.push_back({"wide", {"a", "b", "c", "d", "e", "f"}, {5, 1, 9, 2, 2, 7}, 0, {}});
  base.loci.push_back({"narrow", {"a", "b", "c"}, {1, 2, 3}, 0, {}});
  EXPECT_EQ(MERGE_RARE_ALLELES(base, 4), 1);
  // Kept: c (9), f (7), a (5) in data order; d and e tie at 2, b has 1.
  EXPECT_EQ(base.loci[0].alleles, (std::vector<std::string>{"a", "c", "f", "rarest 3 merged"}));
  EXPECT_EQ(base.loci[0].counts, (std::vector<long long>{5, 9, 7, 5}));
  EXPECT_EQ(base.loci[0].merged_alleles, 3);
  EXPECT_EQ(base.loci[0].total(), 26);
  EXPECT_EQ(base.loci[1].counts, (std::vector<long long>{1, 2, 3}));
  // Ties go to the earlier allele: of d and e (2 each), d stays.
  base.loci[0] = {"tie", {"a", "b", "c", "d", "e", "f"}, {5, 1, 9, 2, 2, 7}, 0, {}};
  MERGE_RARE_ALLELES(base, 5);
  EXPECT_EQ(base.loci[0].alleles, (std::vector<std::string>{"a", "c", "d", "f", "rarest 2 merged"}));
}

BasePopulation NUMBERED_LOCI(int count) {
  BasePopulation base;
  for (int l = 0; l < count; ++l) base.loci.push_back({std::to_string(l), {"a", "b"}, {1, 1}, 0, {}});
  return base;
}

std::vector<std::string> NAMES(const BasePopulation& base) {
  std::vector<std::string> names;
  for (const BaseLocus& locus : base.loci) names.push_back(locus.name);
  return names;
}

TEST(BasePopulation, LociChosenFirstOrAtRandomInDataOrder) {
  BasePopulation first = NUMBERED_LOCI(10);
  SELECT_LOCI(first, 3, {});
  EXPECT_EQ(NAMES(first), (std::vector<std::string>{"0", "1", "2"}));
  BasePopulation all = NUMBERED_LOCI(4);
  SELECT_LOCI(all, 10, 1u);
  EXPECT_EQ(all.loci.size(), 4u);

  // The same seed picks the same loci; over many seeds every locus is
  // picked about equally often (3 of 10: 30 % of the seeds each).
  std::map<std::string, int> picked;
  std::set<std::vector<std::string>> subsets;
  for (std::uint32_t seed = 0; seed < 3000; ++seed) {
    BasePopulation a = NUMBERED_LOCI(10);
    BasePopulation b = NUMBERED_LOCI(10);
    SELECT_LOCI(a, 3, seed);
    SELECT_LOCI(b, 3, seed);
    ASSERT_EQ(NAMES(a), NAMES(b));
    ASSERT_TRUE(std::is_sorted(a.loci.begin(), a.loci.end(), [](const BaseLocus& x, const BaseLocus& y) {
      return std::stoi(x.name) < std::stoi(y.name);
    }));
    for (const std::string& name : NAMES(a)) ++picked[name];
    subsets.insert(NAMES(a));
  }
  EXPECT_EQ(subsets.size(), 120u);  // every one of the C(10,3) subsets occurs
  for (const auto& [name, count] : picked) EXPECT_NEAR(count, 900, 120) << "locus " << name;
}

}  // namespace
}  // namespace korvel::init
