// Broken KORVEL.IN files: each gets one clear message naming what and
// where, a non-zero exit status, and leaves the folder exactly as it was.
#include <gtest/gtest.h>

#include <cctype>
#include <map>
#include <string>
#include <vector>

#include "common/capacity.h"
#include "support/golden_cases.h"
#include "support/programs.h"
#include "support/run_program.h"
#include "support/scratch_folder.h"

namespace korvel {
namespace {

using testing::ALLELES_LINE;

using testing::FOLDER_CONTENTS;
using testing::RUN_PROGRAM;
using testing::ScratchFolder;
using testing::WRITE_FILE;

const std::string PROGRAM = testing::SEEDED_PROGRAM;

const std::vector<std::string> VALID_LINES = {"broken-input case",
                                              "second comment",
                                              "100 10 100",
                                              "1 1",
                                              "0",
                                              "----",
                                              "2",
                                              "3",
                                              "50",
                                              "5",
                                              "10 10 10",
                                              "2",
                                              "----",
                                              "----",
                                              "2 0.5 0.5",
                                              "3 0.2 0.3 0.5"};

struct BrokenCase {
  std::string name;
  std::map<int, std::string> changed_lines;  // line number -> new text
  int exit_status;
  std::string message;  // must appear in the console text
  int keep_lines = 0;   // when > 0, the file is cut after this many lines
};

std::string INPUT_TEXT(const BrokenCase& c) {
  std::string text;
  const int last = c.keep_lines > 0 ? c.keep_lines : static_cast<int>(VALID_LINES.size());
  for (int line = 1; line <= last; ++line) {
    auto changed = c.changed_lines.find(line);
    text += changed != c.changed_lines.end() ? changed->second : VALID_LINES[line - 1];
    text += "\r\n";
  }
  return text;
}

std::vector<BrokenCase> BROKEN_CASES() {
  const std::string more_loci = std::to_string(MAX_LOCI + 1);
  const std::string more_pops = std::to_string(MAX_POPS + 1);
  return {
      {"no loci", {{7, "0"}}, 1, "KORVEL.IN line 7: number of loci is 0; at least 1 is needed"},
      {"negative loci", {{7, "-3"}}, 1, "KORVEL.IN line 7: number of loci is -3; at least 1 is needed"},
      {"too many loci",
       {{7, more_loci}},
       1,
       "  TOO MANY LOCI!\n  Maximum for this version is " + std::to_string(MAX_LOCI) + ".\n"},
      {"one population",
       {{8, "1"}, {11, "10"}},
       1,
       "KORVEL.IN line 8: number of populations is 1; at least 2 are needed"},
      {"too many populations",
       {{8, more_pops}},
       1,
       "  TOO MANY POPULATIONS!\n  Maximum for this version is " + std::to_string(MAX_POPS) + ".\n"},
      {"drift size 0",
       {{9, "0"}},
       1,
       "KORVEL.IN line 9: effective size during drift is 0; it must lie in 1..16383"},
      {"drift size 16384",
       {{9, "16384"}},
       1,
       "KORVEL.IN line 9: effective size during drift is 16384; it must lie in 1..16383"},
      {"drift size beyond 16 bits",
       {{9, "70000"}},
       1,
       "KORVEL.IN line 9: the effective size during drift is 70000, outside the range -32768..32767 of its type"},
      {"sample size 0",
       {{11, "10 0 10"}},
       1,
       "KORVEL.IN line 11: sample size of population 2 is 0; it must lie in 1..16383"},
      {"sample size 16384",
       {{11, "10 10 16384"}},
       1,
       "KORVEL.IN line 11: sample size of population 3 is 16384; it must lie in 1..16383"},
      {"negative sample size",
       {{11, "-5 10 10"}},
       1,
       "KORVEL.IN line 11: sample size of population 1 is -5; it must lie in 1..16383"},
      {"no runs", {{12, "0"}}, 1, "KORVEL.IN line 12: number of replicate runs is 0; at least 1 is needed"},
      {"negative runs",
       {{12, "-1"}},
       1,
       "KORVEL.IN line 12: number of replicate runs is -1; at least 1 is needed"},
      {"runs beyond 32 bits",
       {{12, "3000000000"}},
       1,
       "KORVEL.IN line 12: the number of replicate runs is 3000000000, outside the range -2147483648..2147483647 of its type"},
      {"locus without alleles",
       {{15, "0 0.5 0.5"}},
       1,
       "KORVEL.IN line 15: number of alleles at locus 1 is 0; at least 1 is needed"},
      {"too many alleles",
       {{16, ALLELES_LINE(MAX_ALLELES + 1)}},
       1,
       "  TOO MANY ALLELES/LOCUS!\n  Maximum for this version is " + std::to_string(MAX_ALLELES) + ".\n"},
      {"frequency above 1",
       {{15, "2 1.2 -0.2"}},
       1,
       "KORVEL.IN line 15: frequency of allele 1 at locus 1 is 1.2; it must lie in 0..1"},
      {"negative frequency",
       {{16, "3 -0.1 0.6 0.5"}},
       1,
       "KORVEL.IN line 16: frequency of allele 1 at locus 2 is -0.1; it must lie in 0..1"},
      {"frequencies not summing to 1",
       {{16, "3 0.2 0.3 0.4"}},
       1,
       "   PROGRAM HALTED\n   Allele frequencies do not sum to unity at Locus  2\n"},
      {"frequency nan",
       {{15, "2 nan 0.5"}},
       106,
       "Runtime error 106: invalid numeric format in KORVEL.IN line 15: \"nan\""},
      {"frequency inf",
       {{15, "2 0.5 inf"}},
       106,
       "Runtime error 106: invalid numeric format in KORVEL.IN line 15: \"inf\""},
      {"hexadecimal frequency", {{15, "2 0x1p-1 0.5"}}, 106, "KORVEL.IN line 15: \"0x1p-1\""},
      {"word for number of loci",
       {{7, "two"}},
       106,
       "Runtime error 106: invalid numeric format in KORVEL.IN line 7: \"two\" where the number of loci was expected"},
      {"real for number of populations",
       {{8, "3.0"}},
       106,
       "KORVEL.IN line 8: \"3.0\" where the number of populations was expected"},
      {"exponent for iteration factor", {{3, "1e3 10 100"}}, 106, "KORVEL.IN line 3: \"1e3\""},
      {"number glued to text", {{12, "2runs"}}, 106, "KORVEL.IN line 12: \"2runs\""},
      {"one batch with exact test",
       {{3, "100 1 100"}},
       1,
       "KORVEL.IN line 3: number of batches of the exact test is 1; at least 2 are needed when the exact test is on"},
      {"no steps per batch",
       {{3, "100 10 0"}},
       1,
       "KORVEL.IN line 3: number of steps per batch of the exact test is 0; at least 1 is needed when the exact test is on"},
      {"switch beyond 16 bits",
       {{4, "1 70000"}},
       1,
       "KORVEL.IN line 4: the exact test switch is 70000, outside the range -32768..32767 of its type"},
      {"no polymorphic locus",
       {{15, "1 1.0"}, {16, "3 0 1 0"}},
       1,
       "no locus has two or more alleles of non-zero frequency"},
      {"empty file",
       {},
       1,
       "KORVEL.IN line 1: the file ends before the first iteration factor (dememorization steps) was read",
       0},
      {"file ends in a locus",
       {{16, "3 0.2 0.3"}},
       1,
       "the file ends before the frequency of allele 3 at locus 2 was read"},
      {"file ends before the sample sizes",
       {},
       1,
       "the file ends before the sample size of population 1 was read",
       10},
      {"file ends before the loci",
       {},
       1,
       "the file ends before the number of alleles at locus 1 was read",
       14},
  };
}

class BrokenInput : public ::testing::TestWithParam<BrokenCase> {};

TEST_P(BrokenInput, IsRejectedWithAClearMessageAndTouchesNothing) {
  const BrokenCase& c = GetParam();
  ScratchFolder folder;
  std::string text = INPUT_TEXT(c);
  if (c.name == "empty file") text.clear();
  WRITE_FILE(folder.path() / "KORVEL.IN", text);
  const auto before = FOLDER_CONTENTS(folder.path());
  const auto result = RUN_PROGRAM(PROGRAM, {"7"}, folder.path());
  EXPECT_EQ(result.signal, 0);
  EXPECT_EQ(result.exit_status, c.exit_status) << result.console;
  EXPECT_NE(result.console.find(c.message), std::string::npos) << "expected: " << c.message << "\nconsole:\n"
                                                               << result.console;
  EXPECT_EQ(FOLDER_CONTENTS(folder.path()), before) << "the folder was changed";
}

std::string CASE_NAME(const ::testing::TestParamInfo<BrokenCase>& info) {
  std::string name;
  for (char ch : info.param.name) name += std::isalnum(static_cast<unsigned char>(ch)) ? ch : '_';
  return name;
}

INSTANTIATE_TEST_SUITE_P(Files, BrokenInput, ::testing::ValuesIn(BROKEN_CASES()), CASE_NAME);

TEST(MissingInput, IsRuntimeError2AndCreatesNothing) {
  ScratchFolder folder;
  const auto result = RUN_PROGRAM(PROGRAM, {"7"}, folder.path());
  EXPECT_EQ(result.exit_status, 2);
  EXPECT_NE(result.console.find("Runtime error 2: cannot open KORVEL.IN: No such file or directory"),
            std::string::npos)
      << result.console;
  // Only a hint on standard error is added: where an input file comes from.
  EXPECT_EQ(result.console.find("korvel-init"), std::string::npos) << result.console;
  EXPECT_NE(result.errors.find("there is no KORVEL.IN in this folder. Make one from your genotypes with "
                               "korvel-init (korvel-init --help says how), or copy examples/KORVEL.IN"),
            std::string::npos)
      << result.errors;
  EXPECT_TRUE(FOLDER_CONTENTS(folder.path()).empty());
}

// Values on the edge of what the checks allow run to the end.
TEST(EdgeInput, IsAccepted) {
  const std::vector<BrokenCase> accepted = {
      {"exact test off ignores its iteration factors", {{3, "0 0 0"}, {4, "1 0"}, {12, "1"}}, 0, ""},
      {"largest drift and sample sizes",
       {{4, "1 0"}, {9, "16383"}, {10, "1"}, {11, "16383 16383 16383"}, {12, "1"}},
       0,
       ""},
  };
  for (const BrokenCase& c : accepted) {
    ScratchFolder folder;
    WRITE_FILE(folder.path() / "KORVEL.IN", INPUT_TEXT(c));
    const auto result = RUN_PROGRAM(PROGRAM, {"7"}, folder.path());
    EXPECT_EQ(result.exit_status, 0) << c.name << "\n" << result.console;
  }
}

}  // namespace
}  // namespace korvel
