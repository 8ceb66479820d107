// The VCF/BCF reader: files made through htslib in each container htslib
// writes, multi-allelic sites, missing, haploid and phased calls, FILTER,
// and population maps that do not match the samples.
#include <gtest/gtest.h>

#include <string>

#include "init.h"
#include "init/support/panel.h"
#include "support/scratch_folder.h"

namespace korvel::init {
namespace {

using korvel::testing::ScratchFolder;
using korvel::testing::WRITE_FILE;
using testing::MISSING;
using testing::Panel;
using testing::RANDOM_PANEL;
using testing::VcfLayout;
using testing::WRITE_VCF;

std::vector<std::vector<double>> POOLED_FREQUENCIES(const GenotypeData& data) {
  BasePopulation base = BASE_POPULATION(data, {});
  std::vector<std::vector<double>> frequencies;
  for (const BaseLocus& locus : base.loci) frequencies.push_back(locus.frequencies());
  return frequencies;
}

std::string FAULT(const std::string& path, const VcfOptions& options = {}) {
  try {
    READ_VCF(path, options);
  } catch (const InitError& error) {
    return error.what();
  }
  return "no fault";
}

TEST(VcfReader, EveryContainerGivesTheIndependentCounts) {
  ScratchFolder scratch;
  const Panel panel = RANDOM_PANEL(11, 40, 3, {25}, 0.15);
  for (const char* mode : {"w", "wz", "wb"}) {
    SCOPED_TRACE(mode);
    VcfLayout layout;
    layout.mode = mode;
    WRITE_VCF("data", panel, layout);
    EXPECT_EQ(DETECT_FORMAT("data"), DataFormat::VCF);
    const GenotypeData data = READ_VCF("data", {});
    EXPECT_EQ(data.format, std::string(mode) == "wb"  ? "BCF"
                           : std::string(mode) == "w" ? "VCF"
                                                      : "bgzipped VCF");
    EXPECT_EQ(data.populations, (std::vector<std::string>{"all samples"}));
    EXPECT_EQ(data.individuals[0], 25);
    EXPECT_EQ(POOLED_FREQUENCIES(data), testing::EXPECTED_FREQUENCIES(panel));
  }
  WRITE_FILE("data.gen", "title\nA\nPop\na , 0101\n");
  EXPECT_EQ(DETECT_FORMAT("data.gen"), DataFormat::GENEPOP);
}

TEST(VcfReader, MultiAllelicMissingHalfMissingHaploidAndPhasedCalls) {
  ScratchFolder scratch;
  Panel panel;
  panel.loci = {"multi", "haploid", "gone"};
  panel.alleles = {4, 2, 2};
  panel.populations = {"all"};
  // multi: 0/3, 2/2, ./., 1/. ; haploid: 1, 0, ., 1 ; gone: all missing.
  const std::vector<std::vector<std::vector<int>>> calls = {
      {{0, 3}, {1}, {}}, {{2, 2}, {0}, {}}, {{}, {}, {MISSING, MISSING}}, {{1, MISSING}, {1}, {}}};
  for (std::size_t s = 0; s < calls.size(); ++s)
    panel.individuals.push_back({"s" + std::to_string(s), 0, calls[s]});
  for (bool phased : {false, true}) {
    VcfLayout layout;
    layout.phased = phased;
    WRITE_VCF("data.vcf.gz", panel, layout);
    const GenotypeData data = READ_VCF("data.vcf.gz", {});
    ASSERT_EQ(data.loci.size(), 3u);
    EXPECT_EQ(data.loci[0].alleles, (std::vector<std::string>{"A", "C", "G", "T"}));
    EXPECT_EQ(data.loci[0].counts[0], (std::vector<long long>{1, 1, 2, 1}));
    EXPECT_EQ(data.loci[0].missing[0], 1);
    EXPECT_EQ(data.loci[1].counts[0], (std::vector<long long>{1, 2}));
    EXPECT_EQ(data.loci[1].missing[0], 1);
    EXPECT_EQ(data.loci[2].missing[0], 4);
    EXPECT_EQ(data.ploidy, "mixed ploidy");
    EXPECT_EQ(data.genotyped[0], 3);
  }
}

TEST(VcfReader, PassOnlyAndLocusNamesFromIdOrPosition) {
  ScratchFolder scratch;
  const Panel panel = RANDOM_PANEL(3, 4, 2, {10});
  VcfLayout layout;
  layout.pass = {true, false, true, false};
  layout.ids = false;
  WRITE_VCF("data.bcf", panel, layout);
  VcfOptions options;
  EXPECT_EQ(READ_VCF("data.bcf", options).loci.size(), 4u);
  options.pass_only = true;
  const GenotypeData data = READ_VCF("data.bcf", options);
  ASSERT_EQ(data.loci.size(), 2u);
  EXPECT_EQ(data.loci[0].name, "chr1:101");
  EXPECT_EQ(data.loci[1].name, "chr1:301");
  ASSERT_EQ(data.notes.size(), 1u);
  EXPECT_EQ(data.notes[0],
            "--pass-only: 2 records with FILTER PASS kept, 2 records left out (2 failed a filter)");
  layout.pass = {false, false, false, false};
  WRITE_VCF("none.bcf", panel, layout);
  EXPECT_EQ(FAULT("none.bcf", options),
            "none.bcf: no record has FILTER PASS (of 4 records, 4 failed a filter and 0 had no filter "
            "applied, \".\"), so --pass-only leaves no loci");
}

TEST(VcfReader, PopulationMapAssignsLeavesOutAndRefusesUnknownSamples) {
  ScratchFolder scratch;
  const Panel panel = RANDOM_PANEL(5, 6, 3, {8, 12}, 0.05);
  WRITE_VCF("data.vcf.gz", panel, {});
  // Map order decides population order: P2 first here.
  std::string map = "# sample population\n";
  for (auto it = panel.individuals.rbegin(); it != panel.individuals.rend(); ++it) {
    if (it->name != "P1_3") map += it->name + " \t " + panel.populations[it->population] + "\r\n";
  }
  const PopulationMap popmap = READ_POPMAP_TEXT("pops.txt", map);
  VcfOptions options;
  options.popmap = &popmap;
  options.popmap_name = "pops.txt";
  const GenotypeData data = READ_VCF("data.vcf.gz", options);
  EXPECT_EQ(data.populations, (std::vector<std::string>{"P2", "P1"}));
  EXPECT_EQ(data.individuals, (std::vector<long long>{12, 7}));
  ASSERT_EQ(data.notes.size(), 1u);
  EXPECT_EQ(data.notes[0], "1 sample not in pops.txt left out: P1_3");
  Panel without = panel;
  without.individuals.erase(without.individuals.begin() + 2);
  EXPECT_EQ(POOLED_FREQUENCIES(data), testing::EXPECTED_FREQUENCIES(without));
  EXPECT_EQ(BASE_POPULATION(data, {1}).loci.size(), testing::EXPECTED_FREQUENCIES(without, 0).size());

  const PopulationMap unknown = READ_POPMAP_TEXT("pops.txt", "P1_1 P1\nnobody P2\n");
  options.popmap = &unknown;
  EXPECT_EQ(FAULT("data.vcf.gz", options), "pops.txt line 2: sample \"nobody\" is not in data.vcf.gz");
}

TEST(VcfReader, PopulationMapFaults) {
  const auto fault = [](const std::string& text) {
    try {
      READ_POPMAP_TEXT("pops.txt", text);
    } catch (const InitError& error) {
      return std::string(error.what());
    }
    return std::string("no fault");
  };
  EXPECT_EQ(fault("a P1\nb\n"),
            "pops.txt line 2: expected two columns, sample and population, found 1: \"b\"");
  EXPECT_EQ(fault("a P1\na P2\n"), "pops.txt line 2: sample \"a\" is already mapped at line 1");
  EXPECT_EQ(fault("# nothing\n\n"), "pops.txt: no samples in the population map");
}

TEST(VcfReader, FilesWithoutGenotypesOrUnreadable) {
  ScratchFolder scratch;
  const Panel panel = RANDOM_PANEL(5, 2, 2, {3});
  VcfLayout layout;
  layout.gt_header = false;
  WRITE_VCF("nogt.vcf", panel, layout);
  EXPECT_EQ(FAULT("nogt.vcf"),
            "nogt.vcf: no record carries a GT (genotype) field, so there are no genotypes to count");
  Panel nobody = panel;
  nobody.individuals.clear();
  WRITE_VCF("nosamples.vcf", nobody, {});
  EXPECT_EQ(FAULT("nosamples.vcf"),
            "nosamples.vcf: the file has no samples, so there are no genotypes to count");
  EXPECT_NE(FAULT("absent.vcf").find("cannot read absent.vcf"), std::string::npos);
  // A genotype naming an allele the record lacks, written through htslib's
  // API, which does not check it.
  Panel wrong = panel;
  wrong.individuals[1].calls[1] = {0, 7};
  WRITE_VCF("wrong.bcf", wrong, {});
  EXPECT_EQ(FAULT("wrong.bcf"),
            "wrong.bcf record 2 (chr1:201 L2), sample P1_2: the genotype names allele 7 but the record "
            "has only 2 (REF and ALT)");
  // A VCF cut short inside its last record.
  const Panel many = RANDOM_PANEL(5, 300, 2, {20});
  VcfLayout plain;
  plain.mode = "w";
  WRITE_VCF("whole.vcf", many, plain);
  const std::string whole = korvel::testing::READ_FILE("whole.vcf");
  WRITE_FILE("cut.vcf", whole.substr(0, whole.size() - 7));
  EXPECT_NE(FAULT("cut.vcf").find("cut.vcf record 300 (after L299), line 306 \"chr1\t30001\tL300\t"),
            std::string::npos)
      << FAULT("cut.vcf");
  EXPECT_NE(FAULT("cut.vcf").find("it does not parse"), std::string::npos);
}

}  // namespace
}  // namespace korvel::init
