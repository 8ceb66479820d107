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

TEST(BasePopulation, MergingKeepsTheCommonestAllelesInOrderAndFoldsTheRest) {
  BasePopulation base;
  base.loci.push_back({"wide", {"a", "b", "c", "d", "e", "f"}, {5, 1, 9, 2, 2, 7}, 0});
  base.loci.push_back({"narrow", {"a", "b", "c"}, {1, 2, 3}, 0});
  EXPECT_EQ(MERGE_RARE_ALLELES(base, 4), 1);
  // Kept: c (9), f (7), a (5) in data order; d and e tie at 2, b has 1.
  EXPECT_EQ(base.loci[0].alleles, (std::vector<std::string>{"a", "c", "f", "rarest 3 merged"}));
  EXPECT_EQ(base.loci[0].counts, (std::vector<long long>{5, 9, 7, 5}));
  EXPECT_EQ(base.loci[0].merged_alleles, 3);
  EXPECT_EQ(base.loci[0].total(), 26);
  EXPECT_EQ(base.loci[1].counts, (std::vector<long long>{1, 2, 3}));
  // Ties go to the earlier allele: of d and e (2 each), d stays.
  base.loci[0] = {"tie", {"a", "b", "c", "d", "e", "f"}, {5, 1, 9, 2, 2, 7}, 0};
  MERGE_RARE_ALLELES(base, 5);
  EXPECT_EQ(base.loci[0].alleles, (std::vector<std::string>{"a", "c", "d", "f", "rarest 2 merged"}));
}

BasePopulation NUMBERED_LOCI(int count) {
  BasePopulation base;
  for (int l = 0; l < count; ++l) base.loci.push_back({std::to_string(l), {"a", "b"}, {1, 1}, 0});
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
