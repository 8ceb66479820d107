#include "control/input_file.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "common/capacity.h"
#include "common/tables.h"
#include "control/control_state.h"
#include "control/run_driver.h"
#include "support/console_capture.h"
#include "support/scratch_folder.h"

namespace korvel {
namespace {

using testing::ScratchFolder;
using testing::WRITE_FILE;

// A KORVEL.IN whose groups each stand on their own line.
struct InputSetup {
  std::string comment1 = "first comment";
  std::string comment2 = "second comment";
  std::string iterations = "1000 20 500";
  std::string switches = "1 1";
  std::string erase = "0";
  int loci = 2;
  int pops = 3;
  std::string drift_size = "100";
  std::string generations = "10";
  std::string sample_sizes;  // default: 20 per population
  std::string runs = "5";
  std::vector<std::string> locus_lines;  // default: "2 0.5 0.5"
  std::string line_end = "\r\n";

  std::string text() const {
    std::ostringstream s;
    const std::string& e = line_end;
    s << comment1 << e << comment2 << e << iterations << e << switches << e << erase << e << "--------" << e
      << loci << e << pops << e << drift_size << e << generations << e;
    if (sample_sizes.empty()) {
      for (int i = 0; i < pops; ++i) s << "20 ";
      s << e;
    } else {
      s << sample_sizes << e;
    }
    s << runs << e << "--------" << e << "alleles and frequencies" << e;
    if (locus_lines.empty()) {
      for (int l = 0; l < loci; ++l) s << "2 0.5 0.5" << e;
    } else {
      for (const auto& line : locus_lines) s << line << e;
    }
    return s.str();
  }
};

void READ(const InputSetup& setup) {
  WRITE_FILE("KORVEL.IN", setup.text());
  INITIALIZE_ARRAYS();
  READ_INFILE();
}

class InputFile : public ::testing::Test {
 protected:
  ScratchFolder folder_;
};

TEST_F(InputFile, ReadsEveryGroup) {
  InputSetup setup;
  setup.sample_sizes = "20 30 40";
  setup.locus_lines = {"3 0.2 0.3 0.5  comment after the values", "2 0.9 0.1"};
  READ(setup);
  EXPECT_EQ(COMMENT1, "first comment");
  EXPECT_EQ(COMMENT2, "second comment");
  EXPECT_EQ(ITER1, 1000);
  EXPECT_EQ(ITER2, 20);
  EXPECT_EQ(ITER3, 500);
  EXPECT_EQ(RUN_CHI2, 1);
  EXPECT_EQ(RUN_FISHER, 1);
  EXPECT_EQ(ERASE_DETAILED_OUTPUT, 0);
  EXPECT_EQ(NUMBLOCI, 2);
  EXPECT_EQ(NUMBPOPS, 3);
  EXPECT_EQ(DRIFT_SIZE, 100);
  EXPECT_EQ(STOP_T, 10);
  EXPECT_EQ(SAMPLESIZE[1], 20);
  EXPECT_EQ(SAMPLESIZE[2], 30);
  EXPECT_EQ(SAMPLESIZE[3], 40);
  EXPECT_EQ(STOP_RUNS, 5);
  EXPECT_EQ(ALLELES_PER_LOCUS[1], 3);
  EXPECT_EQ(ALLELES_PER_LOCUS[2], 2);
  EXPECT_EQ(BASEPOP[1][1], 0.2);
  EXPECT_EQ(BASEPOP[1][3], 0.5);
  EXPECT_EQ(BASEPOP[2][2], 0.1);
  EXPECT_EQ(STARTNUMBALLELES, 5);
}

TEST_F(InputFile, GroupsMaySpreadOverLinesAndCarryTrailingComments) {
  InputSetup setup;
  setup.iterations = "1000\n20\n500 the three factors";
  setup.sample_sizes = "20 30\n40 rest of the line is ignored";
  setup.locus_lines = {"3 0.2", "0.3 0.5 after", "2 0.9 0.1"};
  setup.line_end = "\n";
  READ(setup);
  EXPECT_EQ(ITER3, 500);
  EXPECT_EQ(SAMPLESIZE[3], 40);
  EXPECT_EQ(STOP_RUNS, 5);
  EXPECT_EQ(BASEPOP[1][3], 0.5);
  EXPECT_EQ(BASEPOP[2][1], 0.9);
}

TEST_F(InputFile, CommentsKeepTheirFirst80Characters) {
  InputSetup setup;
  // Appended rather than added: GCC 12's bounds warning misreads the move
  // inside operator+ on a temporary string (at -O1 with the thread sanitizer).
  setup.comment1.assign(80, 'a').append("BEYOND");
  setup.comment2 = "";
  READ(setup);
  EXPECT_EQ(COMMENT1, std::string(80, 'a'));
  EXPECT_EQ(COMMENT2, "");
  EXPECT_EQ(ITER1, 1000);
}

TEST_F(InputFile, FileNameIsFoundWhateverItsLetterCase) {
  WRITE_FILE("Korvel.In", InputSetup{}.text());
  INITIALIZE_ARRAYS();
  READ_INFILE();
  EXPECT_EQ(NUMBLOCI, 2);
}

TEST_F(InputFile, FrequencySumsWithinOneMillionthPass) {
  InputSetup setup;
  setup.loci = 1;
  setup.locus_lines = {"2 0.5 0.4999995"};
  READ(setup);
  EXPECT_EQ(BASEPOP[1][2], 0.4999995);
}

TEST_F(InputFile, AcceptsExactlyTheMaximaOfTheBuild) {
  InputSetup setup;
  setup.loci = MAX_LOCI;
  setup.pops = MAX_POPS;
  std::string alleles = std::to_string(MAX_ALLELES);
  for (int a = 0; a < MAX_ALLELES; ++a) alleles += a < 2 ? " 0.5" : " 0";
  setup.locus_lines.assign(MAX_LOCI, alleles);
  READ(setup);
  EXPECT_EQ(NUMBLOCI, MAX_LOCI);
  EXPECT_EQ(NUMBPOPS, MAX_POPS);
  EXPECT_EQ(ALLELES_PER_LOCUS[MAX_LOCI], MAX_ALLELES);
  EXPECT_EQ(STARTNUMBALLELES, MAX_LOCI * MAX_ALLELES);
}

using InputFileDeathTest = InputFile;

void EXPECT_STOP(const InputSetup& setup, const std::string& message) {
  WRITE_FILE("KORVEL.IN", setup.text());
  EXPECT_EXIT(
      {
        STDOUT_TO_STDERR();
        INITIALIZE_ARRAYS();
        READ_INFILE();
      },
      ::testing::ExitedWithCode(1), message);
}

TEST_F(InputFileDeathTest, OneBeyondEachMaximumStopsWithItsMessage) {
  InputSetup loci;
  loci.loci = MAX_LOCI + 1;
  EXPECT_STOP(loci,
              "\n\n  TOO MANY LOCI!\n  Maximum for this version is " + std::to_string(MAX_LOCI) + "\\.\n");
  InputSetup pops;
  pops.pops = MAX_POPS + 1;
  EXPECT_STOP(pops, "  TOO MANY POPULATIONS!\n  Maximum for this version is " + std::to_string(MAX_POPS));
  InputSetup alleles;
  alleles.loci = 1;
  std::string line = std::to_string(MAX_ALLELES + 1);
  for (int a = 0; a <= MAX_ALLELES; ++a) line += a == 0 ? " 1" : " 0";
  alleles.locus_lines = {line};
  EXPECT_STOP(alleles,
              "  TOO MANY ALLELES/LOCUS!\n  Maximum for this version is " + std::to_string(MAX_ALLELES));
}

TEST_F(InputFileDeathTest, AlleleCountStopComesBeforeFrequencyStop) {
  InputSetup setup;
  setup.loci = 2;
  std::string line = std::to_string(MAX_ALLELES + 1);
  for (int a = 0; a <= MAX_ALLELES; ++a) line += " 0.5";
  setup.locus_lines = {"2 0.3 0.3", line};
  EXPECT_STOP(setup, "TOO MANY ALLELES/LOCUS!");
}

TEST_F(InputFileDeathTest, FirstFailingLocusIsReported) {
  InputSetup setup;
  setup.loci = 3;
  setup.locus_lines = {"2 0.5 0.5", "2 0.5 0.49999", "2 0.2 0.2"};
  EXPECT_STOP(setup, "\n   PROGRAM HALTED\n   Allele frequencies do not sum to unity at Locus  2\n");
}

TEST_F(InputFileDeathTest, StopMessagesComeAfterTheRightNumberOfEmptyLines) {
  InputSetup setup;
  setup.loci = 1;
  setup.locus_lines = {"2 0.5 0.6"};
  EXPECT_STOP(setup, "^" + std::string(10, '\n') + "   PROGRAM HALTED\n");
  InputSetup loci;
  loci.loci = MAX_LOCI + 1;
  EXPECT_STOP(loci, "^" + std::string(17, '\n') + "  TOO MANY LOCI!\n");
}

}  // namespace
}  // namespace korvel
