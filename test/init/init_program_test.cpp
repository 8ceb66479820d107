// korvel-init as a user runs it: every file it writes is read back with
// the program's own reader and must hold the frequencies counted here;
// the program it names must fit; bad input writes nothing.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <numeric>
#include <string>
#include <vector>

#include "init/support/panel.h"
#include "input/drift_arithmetic.h"
#include "input/input_document.h"
#include "support/run_program.h"
#include "support/scratch_folder.h"

namespace korvel::init {
namespace {

using korvel::testing::FOLDER_CONTENTS;
using korvel::testing::ProgramResult;
using korvel::testing::READ_FILE;
using korvel::testing::RUN_PROGRAM;
using korvel::testing::ScratchFolder;
using korvel::testing::WRITE_FILE;
using testing::EXPECTED_FREQUENCIES;
using testing::GENEPOP_TEXT;
using testing::Panel;
using testing::RANDOM_PANEL;
using testing::WRITE_VCF;

ProgramResult RUN_INIT(const ScratchFolder& folder, std::vector<std::string> arguments) {
  ::setenv("SOURCE_DATE_EPOCH", "1781049600", 1);  // 2026-06-10
  return RUN_PROGRAM(KORVEL_INIT_PROGRAM, arguments, folder.path());
}

// The file as the program reads it: any fault fails the test.
INPUT_DOCUMENT READ_BACK(const std::string& path, const CAPACITY_PROFILE& profile) {
  try {
    return READ_INPUT_FILE(path, profile);
  } catch (const INPUT_FAULT& fault) {
    ADD_FAILURE() << "the program's reader refuses " << path << ": " << fault.SUMMARY();
    return {};
  }
}

void EXPECT_FREQUENCIES(const INPUT_DOCUMENT& document, const std::vector<std::vector<double>>& expected) {
  ASSERT_EQ(document.LOCI.size(), expected.size());
  for (std::size_t l = 0; l < expected.size(); ++l) {
    ASSERT_EQ(document.LOCI[l].FREQUENCIES.size(), expected[l].size()) << "locus " << l + 1;
    for (std::size_t a = 0; a < expected[l].size(); ++a) {
      EXPECT_DOUBLE_EQ(document.LOCI[l].FREQUENCIES[a], expected[l][a])
          << "locus " << l + 1 << " allele " << a + 1;
    }
  }
}

// The folder's file names, to show when a run left something behind.
std::string NAMES(const std::filesystem::path& folder) {
  std::string names;
  for (const auto& [name, content] : FOLDER_CONTENTS(folder)) names += name + " ";
  return names;
}

bool SAYS(const ProgramResult& result, const std::string& text) {
  return result.errors.find(text) != std::string::npos;
}

// ---- Round trips ------------------------------------------------------------

TEST(InitProgram, GenepopRoundTripWithTheDefaultDesign) {
  ScratchFolder folder;
  const Panel panel = RANDOM_PANEL(21, 9, 12, {30, 24, 27}, 0.05);
  WRITE_FILE(folder.path() / "data.gen", GENEPOP_TEXT(panel, 2, 1, "\r\n"));
  const ProgramResult result = RUN_INIT(folder, {"data.gen"});
  ASSERT_EQ(result.exit_status, 0) << result.errors;
  EXPECT_TRUE(SAYS(result, "run korvel in its folder")) << result.errors;
  const INPUT_DOCUMENT document = READ_BACK("KORVEL.IN", STANDARD_CAPACITY);
  EXPECT_FREQUENCIES(document, EXPECTED_FREQUENCIES(panel));
  EXPECT_EQ(document.COMMENT1, "korvel-init 2026-06-10 from data.gen");
  EXPECT_EQ(document.COMMENT2, "Options: default design");
  EXPECT_EQ(document.NUMBPOPS, 3);
  // Mean genotyped individuals: (30 + 24 + 27) / 3 = 27 (nobody misses all 9 loci here).
  EXPECT_EQ(document.SAMPLESIZE, (std::vector<INT16>{27, 27, 27}));
  EXPECT_EQ(document.DRIFT_SIZE, 1000);
  EXPECT_EQ(document.STOP_T, GENERATIONS_FOR_FST(0.01L, 1000));
  EXPECT_EQ(document.STOP_RUNS, 1000);
  EXPECT_EQ(document.RUN_CHI2, 1);
  EXPECT_EQ(document.RUN_FISHER, 1);
  EXPECT_EQ(document.ERASE_DETAILED_OUTPUT, 0);
  // The default chain counts batches x steps >= 20000 steps per locus.
  EXPECT_EQ(std::vector<INT32>({document.ITER1, document.ITER2, document.ITER3}),
            std::vector<INT32>({1000, 100, 1000}));
  EXPECT_FALSE(SAYS(result, "warning"));
}

TEST(InitProgram, OnePopulationAndEveryDesignOption) {
  ScratchFolder folder;
  const Panel panel = RANDOM_PANEL(22, 6, 5, {20, 20, 20}, 0.0, 1);  // haploid
  WRITE_FILE(folder.path() / "data.gen", GENEPOP_TEXT(panel, 3));
  const ProgramResult result = RUN_INIT(
      folder, {"--pop", "P2_1", "--populations", "4", "--samples", "10,20,30,40", "--ne", "0250", "--fst",
               "0.05", "--runs=30", "--exact", "500,50,400", "--tests", "exact", "--erase", "-o", "design.in",
               "data.gen"});  // 0250 is decimal; --runs=30 as --runs 30
  ASSERT_EQ(result.exit_status, 0) << result.errors;
  const INPUT_DOCUMENT document = READ_BACK("design.in", STANDARD_CAPACITY);
  EXPECT_FREQUENCIES(document, EXPECTED_FREQUENCIES(panel, 1));
  EXPECT_EQ(document.SAMPLESIZE, (std::vector<INT16>{10, 20, 30, 40}));
  EXPECT_EQ(document.DRIFT_SIZE, 250);
  EXPECT_EQ(document.STOP_T, GENERATIONS_FOR_FST(0.05L, 250));
  EXPECT_EQ(document.STOP_RUNS, 30);
  EXPECT_EQ(std::vector<INT32>({document.ITER1, document.ITER2, document.ITER3}),
            std::vector<INT32>({500, 50, 400}));
  EXPECT_EQ(document.RUN_CHI2, 0);
  EXPECT_EQ(document.RUN_FISHER, 1);
  EXPECT_EQ(document.ERASE_DETAILED_OUTPUT, 1);
  EXPECT_EQ(document.COMMENT1, "korvel-init 2026-06-10 from data.gen (population P2_1)");
  EXPECT_EQ(document.COMMENT2.substr(0, 40), "Options: --pop P2_1 --populations 4 --sa");
  EXPECT_TRUE(
      SAYS(result, "expected F'st: " + std::to_string(EXPECTED_FST(250, document.STOP_T)).substr(0, 6)))
      << result.errors;
}

TEST(InitProgram, LabelledPopulationsChosenByNameAndPositionArePooled) {
  ScratchFolder folder;
  const Panel panel = RANDOM_PANEL(31, 12, 3, {10, 8, 9, 7}, 0.1);
  std::string text = GENEPOP_TEXT(panel);
  const std::vector<std::string> labels = {"Borgou", "Zebu", "Somba", "Lagune"};
  std::size_t at = 0;
  for (const std::string& label : labels) {
    at = text.find("Pop\n", at) + 3;
    text.insert(at, (label == "Zebu" ? ", " : " ") + label);
  }
  WRITE_FILE(folder.path() / "data.gen", text);
  const ProgramResult result = RUN_INIT(folder, {"--pop", "Zebu,4", "data.gen"});
  ASSERT_EQ(result.exit_status, 0) << result.errors;
  EXPECT_TRUE(SAYS(result, "populations: Borgou 10, Zebu 8, Somba 9, Lagune 7")) << result.errors;
  EXPECT_TRUE(SAYS(result, "(base population: populations 2 (Zebu) and 4 (Lagune) pooled)")) << result.errors;
  Panel chosen = panel;
  std::erase_if(chosen.individuals, [](const testing::Individual& i) { return i.population % 2 == 0; });
  const INPUT_DOCUMENT document = READ_BACK("KORVEL.IN", STANDARD_CAPACITY);
  EXPECT_FREQUENCIES(document, EXPECTED_FREQUENCIES(chosen));
  EXPECT_EQ(document.COMMENT1, "korvel-init 2026-06-10 from data.gen (populations Zebu,4)");
}

TEST(InitProgram, BgzippedVcfWithPopulationMapGoesToTheManyLociBuild) {
  ScratchFolder folder;
  Panel panel = RANDOM_PANEL(23, 150, 2, {15, 12, 18}, 0.08);
  for (std::size_t l = 0; l < panel.loci.size(); l += 10) panel.alleles[l] = 3;  // a few sites with two ALT
  for (testing::Individual& individual : panel.individuals) {
    for (std::size_t l = 0; l < panel.loci.size(); l += 10) {
      if (!individual.calls[l].empty() && individual.name.back() == '3') individual.calls[l][1] = 2;
    }
  }
  WRITE_VCF((folder.path() / "data.vcf.gz").string(), panel, {});
  std::string popmap = testing::POPMAP_TEXT(panel);
  popmap.erase(popmap.find("P3_2\t"), std::string("P3_2\tP3\n").size());  // left out of the map
  WRITE_FILE(folder.path() / "pops.txt", popmap);
  const ProgramResult result = RUN_INIT(folder, {"--popmap", "pops.txt", "data.vcf.gz"});
  ASSERT_EQ(result.exit_status, 0) << result.errors;
  EXPECT_TRUE(SAYS(result, "1 sample not in pops.txt left out: P3_2")) << result.errors;
  EXPECT_TRUE(SAYS(result, "run korvel-ml in its folder")) << result.errors;
  const INPUT_DOCUMENT document = READ_BACK("KORVEL.IN", MANY_LOCI_CAPACITY);
  Panel mapped = panel;
  mapped.individuals.erase(std::find_if(mapped.individuals.begin(), mapped.individuals.end(),
                                        [](const testing::Individual& i) { return i.name == "P3_2"; }));
  EXPECT_FREQUENCIES(document, EXPECTED_FREQUENCIES(mapped));
  EXPECT_EQ(document.NUMBPOPS, 3);
}

// A pilot panel with 30 % of its genotypes missing and half its loci rare
// (one copy of the minor allele): the summary says what that means, and
// the filters leave out what they name, each counted by reason.
TEST(InitProgram, FiltersAndWhatThePilotDataImply) {
  ScratchFolder folder;
  Panel panel = RANDOM_PANEL(21, 40, 2, {15, 15}, 0.3);
  for (std::size_t l = 0; l < panel.loci.size(); l += 2) {
    for (testing::Individual& individual : panel.individuals) {
      if (!individual.calls[l].empty()) individual.calls[l] = {0, 0};
    }
    panel.individuals[0].calls[l] = {0, 1};
  }
  WRITE_VCF((folder.path() / "data.vcf.gz").string(), panel, {});
  WRITE_FILE(folder.path() / "pops.txt", testing::POPMAP_TEXT(panel));
  ProgramResult result = RUN_INIT(folder, {"--popmap", "pops.txt", "data.vcf.gz"});
  ASSERT_EQ(result.exit_status, 0) << result.errors;
  EXPECT_TRUE(SAYS(result, "  missing by population: P1 ")) << result.errors;
  EXPECT_TRUE(SAYS(result, " of the genotypes are missing. The simulation samples complete genotypes"))
      << result.errors;
  EXPECT_TRUE(SAYS(result,
                   "  note: of 40 loci, 0 (0.0 %) have a minor allele frequency below 1 % and 20 (50.0 %) "
                   "below 5 %. The exact test combined over loci is conservative"))
      << result.errors;
  EXPECT_FALSE(SAYS(result, "filters:"));

  result = RUN_INIT(folder, {"--min-maf", "0.05", "--max-missing", "0.5", "--min-samples", "5", "--popmap",
                             "pops.txt", "-o", "filtered.in", "data.vcf.gz"});
  ASSERT_EQ(result.exit_status, 0) << result.errors;
  EXPECT_TRUE(SAYS(result,
                   "  filters: kept 20 of 40 polymorphic loci; left out 0 by --max-missing 0.5 (more "
                   "genotypes missing), 0 by --min-samples 5 (fewer genotyped in a population), 20 by "
                   "--min-maf 0.05 (rarer minor allele)"))
      << result.errors;
  EXPECT_FALSE(SAYS(result, "have a minor allele frequency below"));
  EXPECT_EQ(READ_BACK("filtered.in", STANDARD_CAPACITY).NUMBLOCI, 20);

  result = RUN_INIT(folder, {"--min-maf", "0.5", "-o", "none.in", "data.vcf.gz"});
  EXPECT_EQ(result.exit_status, 1);
  EXPECT_TRUE(SAYS(result, "the filters leave out all 40 polymorphic loci")) << result.errors;
}

// ---- Which program, and what to do when none fits ------------------------------

// 130 loci with 8 alleles: too many loci for korvel, too many alleles for
// korvel-ml.
Panel WIDE_PANEL() { return RANDOM_PANEL(24, 130, 8, {20, 20}); }

TEST(InitProgram, ADesignNoProgramHoldsIsRefusedWithWhatToDo) {
  ScratchFolder folder;
  WRITE_FILE(folder.path() / "data.gen", GENEPOP_TEXT(WIDE_PANEL()));
  const auto before = FOLDER_CONTENTS(folder.path());
  const ProgramResult result = RUN_INIT(folder, {"data.gen"});
  EXPECT_EQ(result.exit_status, 1);
  EXPECT_TRUE(SAYS(result,
                   "neither program can run this design:\n"
                   "  korvel holds at most 100 loci and the data keep 130 (--max-loci 100"))
      << result.errors;
  EXPECT_TRUE(SAYS(result, "  korvel-ml holds at most 5 alleles per locus and 130 loci have more"))
      << result.errors;
  EXPECT_TRUE(SAYS(result, "--max-alleles 5 merges the rarest")) << result.errors;
  EXPECT_TRUE(FOLDER_CONTENTS(folder.path()) == before) << NAMES(folder.path());

  const ProgramResult crowded = RUN_INIT(folder, {"--max-loci", "50", "--populations", "60", "data.gen"});
  EXPECT_EQ(crowded.exit_status, 1);
  EXPECT_TRUE(SAYS(crowded, "korvel holds at most 50 populations and the design has 60")) << crowded.errors;
  EXPECT_TRUE(FOLDER_CONTENTS(folder.path()) == before) << NAMES(folder.path());
}

TEST(InitProgram, FewerLociFitTheStandardBuild) {
  ScratchFolder folder;
  const Panel panel = WIDE_PANEL();
  WRITE_FILE(folder.path() / "data.gen", GENEPOP_TEXT(panel));
  const auto expected = EXPECTED_FREQUENCIES(panel);
  ProgramResult result = RUN_INIT(folder, {"--max-loci", "100", "data.gen"});
  ASSERT_EQ(result.exit_status, 0) << result.errors;
  EXPECT_TRUE(SAYS(result, "kept the first 100 of 130 loci")) << result.errors;
  EXPECT_FREQUENCIES(READ_BACK("KORVEL.IN", STANDARD_CAPACITY),
                     std::vector<std::vector<double>>(expected.begin(), expected.begin() + 100));

  result = RUN_INIT(folder, {"--max-loci", "100", "--seed", "7", "-o", "random.in", "data.gen"});
  ASSERT_EQ(result.exit_status, 0) << result.errors;
  EXPECT_TRUE(SAYS(result, "kept a random 100 (seed 7) of 130 loci")) << result.errors;
  const INPUT_DOCUMENT random = READ_BACK("random.in", STANDARD_CAPACITY);
  ASSERT_EQ(random.LOCI.size(), 100u);
  // Every locus written is one of the data's, in data order, and the choice
  // is not simply the first 100.
  std::size_t next = 0;
  bool skipped = false;
  for (const LOCUS_DOCUMENT& locus : random.LOCI) {
    const std::size_t start = next;
    while (next < expected.size() && expected[next] != locus.FREQUENCIES) ++next;
    ASSERT_LT(next, expected.size());
    skipped |= next > start;
    ++next;
  }
  EXPECT_TRUE(skipped);
}

TEST(InitProgram, MergedAllelesFitTheManyLociBuildAndTheSummarySaysTheDataChanged) {
  ScratchFolder folder;
  const Panel panel = WIDE_PANEL();
  WRITE_FILE(folder.path() / "data.gen", GENEPOP_TEXT(panel));
  const ProgramResult result = RUN_INIT(folder, {"--max-alleles", "5", "data.gen"});
  ASSERT_EQ(result.exit_status, 0) << result.errors;
  EXPECT_TRUE(SAYS(result, "THIS CHANGES THE DATA")) << result.errors;
  EXPECT_TRUE(SAYS(result, "run korvel-ml")) << result.errors;
  // Independently: the four commonest alleles (earlier allele on ties) keep
  // their frequency, the rest is summed into a fifth class at the end.
  std::vector<std::vector<double>> expected;
  for (const std::vector<double>& locus : EXPECTED_FREQUENCIES(panel)) {
    if (locus.size() <= 5) {
      expected.push_back(locus);
      continue;
    }
    std::vector<std::size_t> order(locus.size());
    std::iota(order.begin(), order.end(), std::size_t{0});
    std::stable_sort(order.begin(), order.end(),
                     [&](std::size_t a, std::size_t b) { return locus[a] > locus[b]; });
    std::vector<std::size_t> kept(order.begin(), order.begin() + 4);
    std::sort(kept.begin(), kept.end());
    std::vector<double> merged;
    double rest = 1.0;
    for (std::size_t a : kept) {
      merged.push_back(locus[a]);
      rest -= locus[a];
    }
    merged.push_back(rest);
    expected.push_back(merged);
  }
  EXPECT_FREQUENCIES(READ_BACK("KORVEL.IN", MANY_LOCI_CAPACITY), expected);
}

// ---- Bad input writes nothing -----------------------------------------------------

TEST(InitProgram, BadInputIsNamedAndLeavesNothingBehind) {
  ScratchFolder folder;
  const Panel panel = RANDOM_PANEL(25, 4, 3, {6, 6});
  std::string text = GENEPOP_TEXT(panel);
  text.insert(text.find("P2_3 ,") + 6, " 101101");  // one genotype too many
  WRITE_FILE(folder.path() / "data.gen", text);
  WRITE_VCF((folder.path() / "data.vcf.gz").string(), panel, {});
  WRITE_FILE(folder.path() / "pops.txt", testing::POPMAP_TEXT(panel) + "ghost P1\n");
  WRITE_FILE(folder.path() / "flat.gen", GENEPOP_TEXT(RANDOM_PANEL(26, 3, 1, {4})));
  const auto before = FOLDER_CONTENTS(folder.path());

  struct Case {
    std::vector<std::string> arguments;
    int status;
    std::string message;
  };
  const std::vector<Case> cases = {
      {{"data.gen"},
       1,
       "korvel-init: data.gen line 13: individual \"P2_3\" has 5 genotypes; the file names 4 loci"},
      {{"missing.gen"}, 1, "korvel-init: cannot read missing.gen: No such file or directory"},
      {{"--popmap", "pops.txt", "data.vcf.gz"},
       1,
       "pops.txt line 13: sample \"ghost\" is not in data.vcf.gz"},
      {{"--popmap", "pops.txt", "data.gen"}, 2, "--popmap is for VCF data"},
      {{"--pop", "Nowhere", "data.vcf.gz"},
       1,
       "--pop Nowhere: no such population in data.vcf.gz (populations: 1 (all samples)"},
      {{"flat.gen"}, 1, "no locus is polymorphic in the one population of flat.gen"},
      {{"--fst", "0.01", "--generations", "4", "data.vcf.gz"}, 2, "--fst excludes --generations"},
      {{"--seed", "3", "data.vcf.gz"}, 2, "--seed chooses the loci that --max-loci keeps"},
      {{"--samples", "5,6,7", "data.vcf.gz"}, 2, "--samples gives 3 sizes for 2 populations"},
      {{"--exact", "10,10", "data.vcf.gz"}, 2, "--exact takes three numbers"},
      {{"--ne", "20000", "data.vcf.gz"}, 2, "--ne takes a whole number from 1 to 16383, not \"20000\""},
      {{"--ne", "16383", "--fst", "0.9", "data.vcf.gz"}, 2, "more than the 32767 the input file can hold"},
      {{"--tests", "gtest", "data.vcf.gz"}, 2, "--tests takes chi2, exact or chi2,exact"},
      {{"--min-maf", "0.6", "data.vcf.gz"},
       2,
       "--min-maf takes a number above 0 and at most 0.5, not \"0.6\""},
      {{"--min-samples", "0", "data.vcf.gz"},
       2,
       "--min-samples takes a whole number from 1 to 16383, not \"0\""},
      {{"--allow-truncated", "data.gen"}, 2, "--allow-truncated is for VCF or BCF data"},
      {{"--bogus", "data.vcf.gz"}, 2, "unknown option --bogus"},
      {{"--ne", "50", "--ne=60", "data.vcf.gz"}, 2, "--ne is given twice"},
      {{"--sample", "5", "--samples", "5,6", "data.vcf.gz"}, 2, "--sample excludes --samples"},
      {{"--samples", "5,x", "data.vcf.gz"},
       2,
       "--samples takes a whole number from 1 to 16383, not \"x\" in \"5,x\""},
      {{"--force=yes", "data.vcf.gz"}, 2, "--force takes no value"},
      {{"data.vcf.gz", "-o"}, 2, "-o needs a value"},
      {{"data.gen", "data.vcf.gz"}, 2, "one data file only; data.gen and data.vcf.gz given"},
      {{"-o", "data.vcf.gz", "--force", "data.vcf.gz"}, 1, "-o data.vcf.gz is the input file data.vcf.gz"},
      {{"--format", "genepop", "data.vcf.gz"}, 1, "binary data where a Genepop text file was expected"},
  };
  for (const Case& c : cases) {
    const ProgramResult result = RUN_INIT(folder, c.arguments);
    EXPECT_EQ(result.exit_status, c.status) << c.message << "\n" << result.errors;
    EXPECT_TRUE(SAYS(result, c.message)) << result.errors;
    EXPECT_EQ(result.errors.rfind("korvel-init: ", 0), 0u) << result.errors;
    // A mistake on the command line is followed by the usage, a refusal not.
    EXPECT_EQ(result.errors.find("usage: korvel-init") != std::string::npos, c.status == 2) << result.errors;
    EXPECT_TRUE(FOLDER_CONTENTS(folder.path()) == before) << c.message << ": " << NAMES(folder.path());
  }
}

TEST(InitProgram, AnExistingFileIsReplacedOnlyWithForce) {
  ScratchFolder folder;
  const Panel panel = RANDOM_PANEL(27, 4, 3, {6, 6});
  WRITE_FILE(folder.path() / "data.gen", GENEPOP_TEXT(panel));
  WRITE_FILE(folder.path() / "KORVEL.IN", "the user's own set-up\n");
  ProgramResult result = RUN_INIT(folder, {"data.gen"});
  EXPECT_EQ(result.exit_status, 1);
  EXPECT_TRUE(SAYS(result, "KORVEL.IN already exists; add --force to replace it")) << result.errors;
  EXPECT_EQ(READ_FILE(folder.path() / "KORVEL.IN"), "the user's own set-up\n");
  result = RUN_INIT(folder, {"--force", "data.gen"});
  ASSERT_EQ(result.exit_status, 0) << result.errors;
  EXPECT_FREQUENCIES(READ_BACK("KORVEL.IN", STANDARD_CAPACITY), EXPECTED_FREQUENCIES(panel));
  EXPECT_EQ(FOLDER_CONTENTS(folder.path()).size(), 2u);  // no scratch file left
}

TEST(InitProgram, ShortChainsAreWarnedAbout) {
  ScratchFolder folder;
  WRITE_FILE(folder.path() / "data.gen", GENEPOP_TEXT(RANDOM_PANEL(28, 4, 3, {6, 6})));
  const ProgramResult result = RUN_INIT(folder, {"--exact", "100,10,100", "data.gen"});
  ASSERT_EQ(result.exit_status, 0) << result.errors;
  EXPECT_TRUE(SAYS(result, "warning: 10 batches x 100 steps are fewer than 20000 counted steps"))
      << result.errors;
}

// A frequency table: the frequencies reach KORVEL.IN bit for bit (the
// shortest texts that read back as the same doubles), a one-allele locus is
// left out, and what the table cannot say is refused with its line.
TEST(InitProgram, FrequencyTableGoesIntoTheFileAsGivenAndFaultsNameTheLine) {
  ScratchFolder folder;
  WRITE_FILE(folder.path() / "f.csv",
             "Locus,Allele,Frequency\r\nL1,a,0.5\r\nL1,b,0.3\r\nL1,c,0.2\r\n\"L2\",x,0.33333333333333331\r\n"
             "L2,y,0.66666666666666663\r\nL3,z,1\r\n");
  ProgramResult result = RUN_INIT(folder, {"--format", "frequencies", "--sample", "10", "f.csv"});
  ASSERT_EQ(result.exit_status, 0) << result.errors;
  const INPUT_DOCUMENT document = READ_BACK("KORVEL.IN", STANDARD_CAPACITY);
  ASSERT_EQ(document.LOCI.size(), 2u);
  EXPECT_EQ(document.LOCI[0].FREQUENCIES, (std::vector<double>{0.5, 0.3, 0.2}));
  EXPECT_EQ(document.LOCI[1].FREQUENCIES, (std::vector<double>{1.0 / 3, 2.0 / 3}));
  EXPECT_TRUE(SAYS(result, "f.csv (frequency table): 3 loci, 2 polymorphic")) << result.errors;
  EXPECT_TRUE(SAYS(result, "run korvel in its folder")) << result.errors;

  struct Case {
    std::string table, option, message;
    int status;
  };
  const std::vector<Case> cases = {
      {"locus\tallele\tfrequency\nL1\ta\t0.5\nL1\tb\t0.3\n", "--sample",
       "frequencies of locus L1 sum to 0.8; they must sum to 1 within 0.000001", 1},
      {"locus,allele,freq\n", "--sample", "line 1: the header has no column \"frequency\"", 1},
      {"locus,allele,frequency\nL1,a,0.5\nL1,a,0.5\n", "--sample",
       "line 3: allele a of locus L1 is listed twice", 1},
      {"locus,allele,frequency\nL1,a,half\n", "--sample", "line 2: the frequency \"half\" is not a number",
       1},
      {"locus,allele,frequency\nL1,a,0\nL1,b,1\n", "--sample", "line 2: the frequency 0 is not above 0", 1},
      {"locus,allele,frequency\nL1,a,0.5\nL1,b\n", "--sample", "line 3: 2 fields where the header has 3", 1},
      {"locus,allele,frequency\nL1,a,0.5\nL1,b,0.5\n", "--runs", "give --sample or --samples", 2},
  };
  for (const Case& c : cases) {
    ScratchFolder scratch;
    WRITE_FILE(scratch.path() / "t.csv", c.table);
    result = RUN_INIT(scratch, {"--format", "frequencies", c.option, "10", "t.csv"});
    EXPECT_EQ(result.exit_status, c.status) << c.message;
    EXPECT_TRUE(SAYS(result, c.message)) << result.errors;
    EXPECT_EQ(FOLDER_CONTENTS(scratch.path()).size(), 1u) << c.message;
  }
}

// ---- The programs run what korvel-init writes ----------------------------------------

TEST(InitProgram, TheNamedProgramRunsTheWrittenFile) {
  ScratchFolder folder;
  const std::string examples = std::string(KORVEL_SOURCE_DIR) + "/examples/";
  struct Run {
    std::vector<std::string> arguments;
    std::string named;
    std::string program;
  };
  const std::vector<Run> runs = {
      {{examples + "pilot.gen"}, "korvel", KORVEL_SEEDED},
      {{"--popmap", examples + "pilot.popmap", "--pass-only", examples + "pilot.vcf.gz"},
       "korvel-ml",
       KORVEL_ML_SEEDED},
  };
  for (const Run& run : runs) {
    std::filesystem::remove_all(folder.path() / "run");
    std::filesystem::create_directory(folder.path() / "run");
    std::vector<std::string> arguments = {"--runs", "3",       "--ne",        "200", "--generations",
                                          "4",      "--exact", "200,100,200", "-o",  "run/KORVEL.IN"};
    arguments.insert(arguments.end(), run.arguments.begin(), run.arguments.end());
    const ProgramResult made = RUN_INIT(folder, arguments);
    ASSERT_EQ(made.exit_status, 0) << made.errors;
    EXPECT_TRUE(SAYS(made, "; run " + run.named + " in its folder")) << made.errors;
    const ProgramResult ran = RUN_PROGRAM(run.program, {"1"}, folder.path() / "run");
    EXPECT_EQ(ran.exit_status, 0) << ran.console << ran.errors;
    EXPECT_EQ(ran.errors.find("warning"), std::string::npos) << ran.errors;
    const std::string report = READ_FILE(folder.path() / "run" / "KORVEL.OUT");
    EXPECT_NE(report.find("Average F'st over all the 3 runs"), std::string::npos) << report;
    EXPECT_NE(report.find("Expected Fst =     0.0100"), std::string::npos) << report;
  }
}

}  // namespace
}  // namespace korvel::init
