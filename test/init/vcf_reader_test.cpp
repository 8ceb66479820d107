// The VCF/BCF reader: files made through htslib in each container htslib
// writes, multi-allelic sites, missing, haploid and phased calls, FILTER,
// and population maps that do not match the samples.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <string>

#include <htslib/bgzf.h>

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
    EXPECT_EQ(data.loci[0].called[0], 3);  // "1/." is a call
    EXPECT_EQ(data.loci[2].called[0], 0);
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
            "wrong.bcf record 2 (chr1:201), line 8 \"chr1\t201\tL2\tA\tC\t.\tPASS\t.\tGT\t0/0\t0/7\t0/1\", "
            "sample P1_2: the genotype names allele 7 but the record has only 2 (REF and ALT)");
}

// ---- Files as callers and hand editing leave them ----------------------------

// A header with no ##contig, FILTER, INFO or FORMAT lines, as hand-made
// files and older callers write them; three samples.
const char* const BARE_HEADER =
    "##fileformat=VCFv4.2\n#CHROM\tPOS\tID\tREF\tALT\tQUAL\tFILTER\tINFO\tFORMAT\ta\tb\tc\n";

// bcftools reads the file (skip when it is not installed): the test's
// shape is one bcftools accepts.
void EXPECT_BCFTOOLS_READS(const std::string& path) {
  if (std::system("command -v bcftools >/dev/null 2>&1") != 0) GTEST_SKIP() << "bcftools is not installed";
  EXPECT_EQ(std::system(("bcftools view -Ov -o /dev/null " + path + " 2>/dev/null").c_str()), 0) << path;
}

TEST(VcfReader, UndeclaredContigsTagsAndGtAreReadWithNotes) {
  ScratchFolder scratch;
  WRITE_FILE("bare.vcf", std::string(BARE_HEADER) +
                             "1\t10\t.\tA\tC\t.\tPASS\tDP=3\tGT\t0/1\t1/1\t0/0\n"
                             "1\t20\t.\tA\tG\t.\tq10\t.\tGT:DP\t0/1:2\t0/0:4\t./.:0\n"
                             "2\t30\tx\tA\tT,G\t.\t.\tXX=1\tGT\t0/2\t0/0\t1/1");  // no final line end
  const GenotypeData data = READ_VCF("bare.vcf", {});
  ASSERT_EQ(data.loci.size(), 3u);
  EXPECT_EQ(data.loci[0].counts[0], (std::vector<long long>{3, 3}));
  EXPECT_EQ(data.loci[1].counts[0], (std::vector<long long>{3, 1}));
  EXPECT_EQ(data.loci[1].missing[0], 1);
  EXPECT_EQ(data.loci[2].name, "x");
  EXPECT_EQ(data.loci[2].counts[0], (std::vector<long long>{3, 2, 1}));
  const auto noted = [&](const std::string& text) {
    return std::any_of(data.notes.begin(), data.notes.end(),
                       [&](const std::string& note) { return note.find(text) != std::string::npos; });
  };
  EXPECT_TRUE(noted("2 contigs not declared in the header, read all the same: 1, 2 (3 records)"));
  EXPECT_TRUE(
      noted("4 tags not declared in the header, read all the same: FILTER/q10, FORMAT/DP, INFO/DP, "
            "INFO/XX (3 records)"));
  EXPECT_TRUE(noted("the header does not declare the GT field; GT read as genotypes in 3 records"));
  EXPECT_TRUE(noted("htslib: FILTER 'q10' is not defined in the header"));
  EXPECT_BCFTOOLS_READS("bare.vcf");
}

TEST(VcfReader, PassOnlyKeepsPassAloneAndCountsTheOthersByReason) {
  ScratchFolder scratch;
  const std::string header =
      "##fileformat=VCFv4.2\n##contig=<ID=1>\n##FILTER=<ID=q10,Description=\"q\">\n"
      "##FORMAT=<ID=GT,Number=1,Type=String,Description=\"g\">\n" +
      std::string(BARE_HEADER).substr(std::string("##fileformat=VCFv4.2\n").size());
  const std::string unfiltered = "1\t10\t.\tA\tC\t.\t.\t.\tGT\t0/1\t1/1\t0/0\n";
  const std::string failed = "1\t20\t.\tA\tG\t.\tq10\t.\tGT\t0/1\t0/0\t0/0\n";
  const std::string passed = "1\t30\t.\tA\tT\t.\tPASS\t.\tGT\t0/1\t0/0\t0/0\n";
  WRITE_FILE("mixed.vcf", header + unfiltered + failed + passed);
  WRITE_FILE("none.vcf", header + unfiltered + failed + unfiltered);
  VcfOptions options;
  options.pass_only = true;
  const GenotypeData data = READ_VCF("mixed.vcf", options);
  ASSERT_EQ(data.loci.size(), 1u);
  EXPECT_EQ(data.loci[0].name, "1:30");
  ASSERT_EQ(data.notes.size(), 1u);
  EXPECT_EQ(data.notes[0],
            "--pass-only: 1 record with FILTER PASS kept, 2 records left out (1 failed a "
            "filter, 1 had no filter applied (.))");
  EXPECT_EQ(FAULT("none.vcf", options),
            "none.vcf: no record has FILTER PASS (of 3 records, 1 failed a filter and 2 had no filter "
            "applied, \".\"), so --pass-only leaves no loci");
  EXPECT_EQ(READ_VCF("none.vcf", {}).loci.size(), 3u);
}

// ---- Malformed records and cut files -------------------------------------------

// `text` compressed as BGZF ("w") or as one plain gzip stream ("wg").
void WRITE_COMPRESSED(const std::string& path, const std::string& text, const char* mode) {
  BGZF* file = bgzf_open(path.c_str(), mode);
  ASSERT_NE(file, nullptr);
  ASSERT_EQ(bgzf_write(file, text.data(), text.size()), static_cast<ssize_t>(text.size()));
  ASSERT_EQ(bgzf_close(file), 0);
}

// A complete file of four records whose third is `third`, as the fuzz
// corpus holds it too.
std::string FOUR_RECORDS(const std::string& third) {
  return std::string(BARE_HEADER) + "1\t10\tr1\tA\tC\t.\tPASS\tDP=3;AF=0.5\tGT\t0/1\t1/1\t0/0\n" +
         "1\t20\tr2\tA\tG\t.\tPASS\tDP=3;AF=0.5\tGT\t0/1\t0/0\t1/1\n" + third + "\n" +
         "1\t40\tr4\tA\tT\t.\tPASS\tDP=3;AF=0.5\tGT\t0/1\t0/0\t0/0\n";
}

// What htslib reads without complaint (a POS that is not a number, an
// extra sample column, a line of four columns) and what it flags: each is
// refused with the record's number, CHROM:POS and its line as the file
// holds it (INFO's '=' and ';' included), also with --allow-truncated,
// also in a compressed file that lacks its end-of-file marker.
TEST(VcfReader, AMalformedRecordIsRefusedWithItsOwnLineWhetherOrNotTruncationIsAllowed) {
  ScratchFolder scratch;
  const std::string place = "data.vcf record 3 (1:";
  const std::vector<std::pair<std::string, std::string>> faults = {
      {"1\tabc\tr3\tA\tC\t.\tPASS\tDP=3;AF=0.5\tGT\t0/1\t1/1\t0/0",
       "abc), line 5 \"1\tabc\tr3\tA\tC\t.\tPASS\tDP=3;AF=0.5\tGT\t0/1\t1/1\t0/0\": its POS \"abc\" is not a "
       "whole number"},
      {"1\t30\tr3\tA\tC\t.\tPASS\tDP=3;AF=0.5\tGT\t0/1\t1/1\t0/0\t0/1",
       "30), line 5 \"1\t30\tr3\tA\tC\t.\tPASS\tDP=3;AF=0.5\tGT\t0/1\t1/1\t0/0\t0/1\": it has 13 columns where "
       "the header's #CHROM line has 12 (9 and 3 samples)"},
      {"1\t30\tr3\tA",
       "30), line 5 \"1\t30\tr3\tA\": it has 4 columns where the header's #CHROM line has 12 (9 and 3 "
       "samples)"},
      {"1\t30\tr3\tA\tC\t.\tPASS\tDP=3;AF=0.5\tGT\t0/1\t1/x\t0/0",
       "30), line 5 \"1\t30\tr3\tA\tC\t.\tPASS\tDP=3;AF=0.5\tGT\t0/1\t1/x\t0/0\": htslib cannot parse it"}};
  VcfOptions allow;
  allow.allow_truncated = true;
  for (const auto& [third, refusal] : faults) {
    SCOPED_TRACE(third);
    WRITE_FILE("data.vcf", FOUR_RECORDS(third));
    EXPECT_EQ(FAULT("data.vcf").substr(0, place.size() + refusal.size()), place + refusal);
    EXPECT_EQ(FAULT("data.vcf", allow), FAULT("data.vcf"));
    // The same file bgzipped without its end-of-file marker (28 bytes):
    // the records after the malformed one show it is no cut end.
    WRITE_COMPRESSED("whole.vcf.gz", FOUR_RECORDS(third), "w");
    const std::string whole = korvel::testing::READ_FILE("whole.vcf.gz");
    WRITE_FILE("unmarked.vcf.gz", whole.substr(0, whole.size() - 28));
    EXPECT_NE(FAULT("unmarked.vcf.gz", allow).find("unmarked.vcf.gz record 3 (1:"), std::string::npos)
        << FAULT("unmarked.vcf.gz", allow);
  }
  // A blank line between records is refused; blank lines after the last
  // one, as hand editing leaves them, end the data.
  WRITE_FILE("data.vcf", FOUR_RECORDS(""));
  EXPECT_EQ(FAULT("data.vcf", allow), "data.vcf record 3 (after r2): the line is empty");
  WRITE_FILE("data.vcf", FOUR_RECORDS("1\t30\tr3\tA\tC\t.\t.\t.\tGT\t0/1\t1/1\t0/0") + "\n\r\n");
  EXPECT_EQ(READ_VCF("data.vcf", {}).loci.size(), 4u);
}

// Where a file stops early (a plain VCF whose last line breaks off, a
// plain gzip stream cut short) the last record is refused as the cut end,
// and --allow-truncated reads the records before it and says so.
TEST(VcfReader, AFileCutInsideARecordIsRefusedAsCutAndReadWhenAllowed) {
  ScratchFolder scratch;
  const Panel panel = RANDOM_PANEL(5, 3000, 2, {20});
  VcfLayout plain;
  plain.mode = "w";
  WRITE_VCF("whole.vcf", panel, plain);
  const std::string whole = korvel::testing::READ_FILE("whole.vcf");
  WRITE_FILE("cut.vcf", whole.substr(0, whole.size() / 2));
  WRITE_COMPRESSED("whole.vcf.gz", whole, "wg");
  const std::string gzipped = korvel::testing::READ_FILE("whole.vcf.gz");
  WRITE_FILE("cut.vcf.gz", gzipped.substr(0, gzipped.size() / 2));
  VcfOptions allow;
  allow.allow_truncated = true;
  for (const auto& [file, how] :
       {std::pair<std::string, std::string>{"cut.vcf", "whose last line has no line end"},
        {"cut.vcf.gz", "whose compressed data breaks off"}}) {
    SCOPED_TRACE(file);
    const std::string refusal = FAULT(file);
    EXPECT_NE(refusal.find("; it is the last record of a file " + how +
                           " (a writer stopped half-way?); --allow-truncated reads the "),
              std::string::npos)
        << refusal;
    const GenotypeData data = READ_VCF(file, allow);
    ASSERT_GT(data.loci.size(), 100u);
    ASSERT_LT(data.loci.size(), 3000u);
    EXPECT_NE(refusal.find(file + " record " + std::to_string(data.loci.size() + 1) + " (chr1:"),
              std::string::npos)
        << refusal;
    EXPECT_EQ(data.notes.at(0), "--allow-truncated: " + std::to_string(data.loci.size()) +
                                    " records read from a file " + how + "; whatever followed is lost");
    for (std::size_t l = 0; l < data.loci.size(); ++l) ASSERT_EQ(data.loci[l].name, panel.loci[l]);
  }
  EXPECT_EQ(READ_VCF("whole.vcf.gz", {}).loci.size(), 3000u);
}

// The file up to the start of its BGZF block `block` (counted from 0),
// as a writer killed between two blocks leaves it.
std::string CUT_AT_BLOCK(const std::string& file, std::size_t block) {
  std::size_t offset = 0;
  for (std::size_t b = 0; b < block && offset + 18 <= file.size(); ++b) {
    offset += static_cast<unsigned char>(file[offset + 16]) +
              256u * static_cast<unsigned char>(file[offset + 17]) + 1;
  }
  return file.substr(0, offset);
}

TEST(VcfReader, ACompressedFileCutBetweenBlocksIsRefusedUnlessAllowed) {
  ScratchFolder scratch;
  const Panel panel = RANDOM_PANEL(8, 3000, 2, {40});
  for (const char* mode : {"wz", "wb"}) {
    SCOPED_TRACE(mode);
    VcfLayout layout;
    layout.mode = mode;
    WRITE_VCF("whole", panel, layout);
    WRITE_FILE("cut", CUT_AT_BLOCK(korvel::testing::READ_FILE("whole"), 4));
    EXPECT_NE(FAULT("cut").find("cut looks truncated: it is " +
                                std::string(mode[1] == 'b' ? "BCF" : "bgzipped VCF") +
                                " without the end-of-file marker"),
              std::string::npos)
        << FAULT("cut");
    VcfOptions allow;
    allow.allow_truncated = true;
    const GenotypeData data = READ_VCF("cut", allow);
    EXPECT_GT(data.loci.size(), 0u);
    EXPECT_LT(data.loci.size(), 3000u);
    EXPECT_EQ(data.notes.at(0), "--allow-truncated: " + std::to_string(data.loci.size()) +
                                    " records read from a file without its end-of-file marker; whatever "
                                    "followed is lost");
    for (std::size_t l = 0; l < data.loci.size(); ++l) ASSERT_EQ(data.loci[l].name, panel.loci[l]);
  }
}

// Choosing loci while reading keeps only the chosen loci and picks the
// very loci that reading all, leaving out the uninformative and then
// choosing pick with the same seed.
TEST(VcfReader, ChoosingWhileReadingEqualsChoosingAfterReadingAll) {
  ScratchFolder scratch;
  Panel panel = RANDOM_PANEL(12, 60, 2, {6, 5});
  for (std::size_t l = 0; l < panel.loci.size(); l += 4) {
    for (testing::Individual& individual : panel.individuals) individual.calls[l] = {0, 0};  // monomorphic
  }
  VcfLayout bcf;
  bcf.mode = "wb";
  WRITE_VCF("data.bcf", panel, bcf);
  const PopulationMap popmap = READ_POPMAP_TEXT("pops.txt", testing::POPMAP_TEXT(panel));
  VcfOptions mapped;
  mapped.popmap = &popmap;
  const GenotypeData all = READ_VCF("data.bcf", mapped);
  for (const std::vector<std::size_t>& populations :
       {std::vector<std::size_t>{}, std::vector<std::size_t>{1}}) {
    for (std::uint32_t seed : {1u, 2u, 77u}) {
      BasePopulation straight = BASE_POPULATION(all, populations);
      SELECT_LOCI(straight, 9, seed);
      BaseBuilder builder(VCF_POPULATIONS(&popmap), {populations, 9, seed});
      VcfOptions options = mapped;
      options.base = &builder;
      EXPECT_TRUE(READ_VCF("data.bcf", options).loci.empty());
      const BasePopulation streamed = builder.finish();
      ASSERT_EQ(streamed.loci.size(), 9u);
      EXPECT_EQ(streamed.loci_read, 60);
      EXPECT_GE(streamed.left_out_count, 15);
      for (std::size_t l = 0; l < 9; ++l) {
        EXPECT_EQ(streamed.loci[l].name, straight.loci[l].name) << "seed " << seed;
        EXPECT_EQ(streamed.loci[l].counts, straight.loci[l].counts) << "seed " << seed;
      }
    }
  }
}

}  // namespace
}  // namespace korvel::init
