// What the program adds on standard error, leaving its described output
// alone: the seed of every run (and KORVEL_SEED to repeat it), the warning
// when the exact test's chain is too short for Fisher's combination, and
// notes that name the likely cause of a stop on a broken KORVEL.IN.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>

#include "common/capacity.h"
#include "control/seed_setting.h"
#include "support/golden_cases.h"
#include "support/programs.h"
#include "support/run_program.h"
#include "support/scratch_folder.h"
#include "tests/exact_resolution.h"

namespace korvel {
namespace {

namespace fs = std::filesystem;
using testing::ALLELES_LINE;
using testing::FOLDER_CONTENTS;
using testing::READ_FILE;
using testing::RUN_PROGRAM;
using testing::ScratchFolder;
using testing::WITHOUT_ELAPSED_TIME;
using testing::WRITE_FILE;

const std::string SEEDED = testing::SEEDED_PROGRAM;
const std::string DELIVERABLE = testing::DELIVERABLE_PROGRAM;

// KORVEL_SEED for the programs started while it lives.
class SeedVariable {
 public:
  explicit SeedVariable(const std::optional<std::string>& value) {
    if (value) ::setenv(SEED_VARIABLE, value->c_str(), 1);
    else ::unsetenv(SEED_VARIABLE);
  }
  ~SeedVariable() { ::unsetenv(SEED_VARIABLE); }
};

struct Finished {
  testing::ProgramResult result;
  std::vector<std::pair<std::string, std::string>> files;
};

Finished RUN_IN_FOLDER(const std::string& input, const std::string& program,
                       const std::vector<std::string>& args) {
  ScratchFolder folder;
  WRITE_FILE(folder.path() / "KORVEL.IN", input);
  Finished run{RUN_PROGRAM(program, args, folder.path()), {}};
  run.files = FOLDER_CONTENTS(folder.path());
  run.result.console = WITHOUT_ELAPSED_TIME(run.result.console);
  return run;
}

// 50 biallelic loci, 6 populations, samples of 30, no drift.
std::string SNP_PANEL(const std::string& iterations, const std::string& switches = "1 1") {
  std::string text = "SNP panel, no drift\r\nguard rails\r\n" + iterations + "\r\n" + switches +
                     "\r\n0\r\n--\r\n50\r\n6\r\n100\r\n0\r\n30 30 30 30 30 30\r\n4\r\n--\r\n--\r\n";
  for (int l = 0; l < 50; ++l) {
    const int p = 10 + (l * 7) % 41;  // minor-allele frequencies 0.10..0.50
    text += "2 0." + std::to_string(p) + " 0." + std::to_string(100 - p) + "\r\n";
  }
  return text;
}

TEST(Seed, EveryRunSaysItsSeedAndKorvelSeedRepeatsTheRun) {
  const std::string input = SNP_PANEL("10 2 10");
  Finished first;
  {
    SeedVariable unset(std::nullopt);
    first = RUN_IN_FOLDER(input, DELIVERABLE, {});
  }
  ASSERT_EQ(first.result.exit_status, 0) << first.result.errors;
  const std::string line = first.result.errors.substr(0, first.result.errors.find('\n'));
  const std::string seed = line.substr(5, line.find(';') - 5);
  ASSERT_TRUE(PARSE_SEED_TEXT(seed).has_value()) << line;
  EXPECT_EQ(line, SEED_LINE(*PARSE_SEED_TEXT(seed)));

  SeedVariable set(seed);
  const Finished again = RUN_IN_FOLDER(input, DELIVERABLE, {});
  const Finished seeded = RUN_IN_FOLDER(input, SEEDED, {seed});
  EXPECT_EQ(again.result.errors.substr(0, line.size() + 1), line + "\n");
  EXPECT_EQ(again.files, first.files);
  EXPECT_EQ(again.result.console, first.result.console);
  EXPECT_EQ(seeded.files, first.files);
  EXPECT_EQ(seeded.result.errors.find("seed "), std::string::npos)
      << "the test program's seed is its argument";
}

TEST(Seed, OnlyAWholeNumberOf32BitsIsTaken) {
  EXPECT_EQ(PARSE_SEED_TEXT("0"), 0u);
  EXPECT_EQ(PARSE_SEED_TEXT("4294967295"), 4294967295u);
  EXPECT_EQ(PARSE_SEED_TEXT("007"), 7u);
  for (const char* bad : {"", "4294967296", "99999999999", "-1", "+1", " 1", "1 ", "1e3", "0x10", "seed"})
    EXPECT_FALSE(PARSE_SEED_TEXT(bad).has_value()) << '"' << bad << '"';

  for (const char* bad : {"4294967296", "abc", ""}) {
    SeedVariable set(std::string{bad});
    ScratchFolder folder;
    WRITE_FILE(folder.path() / "KORVEL.IN", SNP_PANEL("10 2 10"));
    const auto before = FOLDER_CONTENTS(folder.path());
    const auto result = RUN_PROGRAM(DELIVERABLE, {}, folder.path());
    EXPECT_EQ(result.exit_status, 2) << bad;
    EXPECT_EQ(result.console, "") << bad;
    EXPECT_NE(result.errors.find("KORVEL_SEED is \"" + std::string(bad) +
                                 "\"; it must be a whole number from 0 to 4294967295"),
              std::string::npos)
        << result.errors;
    EXPECT_EQ(FOLDER_CONTENTS(folder.path()), before);
  }
}

TEST(ResolutionWarning, NeedsAnEstimateOfZeroAndFewerThan20000CountedSteps) {
  EXPECT_NE(EXACT_RESOLUTION_WARNING(1, 300, 10, 1999), "");
  EXPECT_EQ(EXACT_RESOLUTION_WARNING(1, 300, 100, 200), "");
  EXPECT_EQ(EXACT_RESOLUTION_WARNING(0, 300, 10, 100), "");
  const std::string warning = EXACT_RESOLUTION_WARNING(3, 200, 10, 100);
  EXPECT_EQ(warning.substr(0, warning.find('\n')),
            std::string(BUILD_NAME) +
                ": warning: 3 of 200 tested loci (1.5 %) had an estimated exact-test P of 0.");
  EXPECT_NE(warning.find("only says P < 1/1000"), std::string::npos);
  EXPECT_NE(warning.find("as P = 0.00005"), std::string::npos);
  EXPECT_NE(warning.find("anti-conservative"), std::string::npos);
  EXPECT_NE(warning.find("1000 100 200"), std::string::npos);
}

TEST(ResolutionWarning, AppearsExactlyForShortChainsWithTheExactTestOn) {
  const Finished short_chain = RUN_IN_FOLDER(SNP_PANEL("100 10 100"), SEEDED, {"3"});
  ASSERT_EQ(short_chain.result.exit_status, 0);
  EXPECT_NE(short_chain.result.errors.find(
                ": warning: 7 of 200 tested loci (3.5 %) had an estimated exact-test P of 0."),
            std::string::npos)
      << short_chain.result.errors;
  for (const std::string& quiet : {SNP_PANEL("1000 100 200"), SNP_PANEL("100 10 100", "1 0")}) {
    const Finished run = RUN_IN_FOLDER(quiet, SEEDED, {"3"});
    ASSERT_EQ(run.result.exit_status, 0);
    EXPECT_EQ(run.result.errors, "");
  }
}

// A golden case whose chain is short and which has estimates of 0: it warns,
// and everything it writes is still the recorded output.
TEST(ResolutionWarning, LeavesTheDescribedOutputAsRecorded) {
  const fs::path golden = fs::path(KORVEL_SOURCE_DIR) / "test/e2e/golden/drift-both-tests";
  const Finished run = RUN_IN_FOLDER(READ_FILE(golden / "KORVEL.IN"), KORVEL_SEEDED, {"20261208"});
  EXPECT_NE(run.result.errors.find("korvel: warning: 3 of 12 tested loci (25 %)"), std::string::npos)
      << run.result.errors;
  EXPECT_EQ(run.result.console, READ_FILE(golden / "expected/console.txt"));
  for (const auto& [name, content] : run.files)
    if (name != "KORVEL.IN") {
      EXPECT_TRUE(content == READ_FILE(golden / "expected" / name)) << name;
    }
}

// ---- Notes on broken files ----------------------------------------------

std::string BROKEN(const std::string& loci, const std::string& locus_lines) {
  return "broken\r\nfile\r\n100 10 100\r\n1 1\r\n0\r\n--\r\n" + loci +
         "\r\n3\r\n50\r\n5\r\n10 10 10\r\n2\r\n--\r\n--\r\n" + locus_lines;
}

TEST(BrokenFileNotes, NameTheSumTheCauseTheLocusAndTheOtherBuild) {
  struct Case {
    std::string input;
    std::string console_ends;  // the described text, unchanged
    std::string note;
  };
  const std::string other = OTHER_CAPACITY(BUILD_CAPACITY).BUILD_NAME;
  const bool other_holds_more_alleles = OTHER_CAPACITY(BUILD_CAPACITY).MAX_ALLELES > MAX_ALLELES;
  const Case cases[] = {
      {BROKEN("2", "2 0.5 0.5\r\n3 0.2 0.3 0.4\r\n"),
       std::string(10, '\n') + "   PROGRAM HALTED\n   Allele frequencies do not sum to unity at Locus  2\n",
       "KORVEL.IN line 16: the frequencies of locus 2 sum to 0.9; they must sum to 1 within 0.000001\n"},
      {BROKEN("3", "2 0.5\r\n3 0.2 0.3 0.5\r\n2 0.4 0.6\r\n"),
       "KORVEL.IN line 18: the file ends before the number of alleles at locus 3 was read\n",
       "KORVEL.IN: locus 1 declares 2 alleles but line 15 holds only 1 frequency, so the frequencies were taken "
       "on from line 16\n"},
      {BROKEN(std::to_string(MAX_LOCI + 1), ""),
       "  TOO MANY LOCI!\n  Maximum for this version is " + std::to_string(MAX_LOCI) + ".\n",
       "KORVEL.IN line 7: number of loci is " + std::to_string(MAX_LOCI + 1) + "; " + BUILD_NAME +
           " holds at most " + std::to_string(MAX_LOCI) + " loci" +
           (other_holds_more_alleles ? ", and korvel at most 100: no build holds this file\n"
                                     : "; korvel-ml holds up to 5000: run korvel-ml\n")},
      {BROKEN("2", "2 0.5 0.5\r\n" + ALLELES_LINE(MAX_ALLELES + 1) + "\r\n"),
       "  TOO MANY ALLELES/LOCUS!\n  Maximum for this version is " + std::to_string(MAX_ALLELES) + ".\n",
       "KORVEL.IN line 16: locus 2 declares " + std::to_string(MAX_ALLELES + 1) + " alleles; " + BUILD_NAME +
           " holds at most " + std::to_string(MAX_ALLELES) + " alleles per locus" +
           (other_holds_more_alleles ? "; korvel holds up to 100: run korvel\n"
                                     : ", and korvel-ml at most 5: no build holds this file\n")},
      {BROKEN("2", "2 0.5 0.5\r\n-1 0.5 0.5\r\n"),
       "KORVEL.IN line 16: number of alleles at locus 2 is -1; at least 1 is needed\n", ""},
  };
  for (const Case& c : cases) {
    const Finished run = RUN_IN_FOLDER(c.input, SEEDED, {"1"});
    EXPECT_EQ(run.result.exit_status, 1);
    EXPECT_TRUE(run.result.console.ends_with(c.console_ends)) << run.result.console;
    EXPECT_EQ(run.result.errors, c.note) << "(" << other << ")";
  }
}

}  // namespace
}  // namespace korvel
