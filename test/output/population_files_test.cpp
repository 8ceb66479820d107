#include "output/population_files.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "common/tables.h"
#include "popmodel/fstatistics.h"
#include "support/scratch_folder.h"

namespace korvel {
namespace {

using testing::READ_FILE;
using testing::ScratchFolder;

// Lines joined with the CR LF line ends of the program's text files.
std::string LINES(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& line : lines) text += line + "\r\n";
  return text;
}

void CLEAR_TABLES() {
  std::memset(&BASEPOP, 0, sizeof BASEPOP);
  std::memset(&ALL_POPS_AFREQ, 0, sizeof ALL_POPS_AFREQ);
  std::memset(&ALL_POPS_ACOUNT, 0, sizeof ALL_POPS_ACOUNT);
  ALLELES_PER_LOCUS.fill(0);
}

// The example of one locus with two alleles and two subpopulations after
// ten generations of drift.
void SET_UP_EXAMPLE() {
  CLEAR_TABLES();
  NUMBLOCI = 1;
  NUMBPOPS = 2;
  ALLELES_PER_LOCUS[1] = 2;
  BASEPOP[1][1] = 0.5;
  BASEPOP[1][2] = 0.5;
  ALL_POPS_AFREQ[1][1][1] = 0.8;
  ALL_POPS_AFREQ[1][1][2] = 0.2;
  ALL_POPS_AFREQ[2][1][1] = 0.4;
  ALL_POPS_AFREQ[2][1][2] = 0.6;
  ALL_POPS_ACOUNT[1][1][1] = 31;
  ALL_POPS_ACOUNT[1][1][2] = 9;
  ALL_POPS_ACOUNT[2][1][1] = 17;
  ALL_POPS_ACOUNT[2][1][2] = 23;
  RUN = 1;
  T = 10;
  CALCULATE_FST();
}

void WRITE_BOTH_FILES(int runs) {
  INITIALIZE_SUBPOPS();
  INITIALIZE_SAMPLES();
  for (int r = 0; r < runs; ++r) {
    WRITE_TO_SUBPOPS();
    WRITE_TO_SAMPLES();
    ++RUN;
  }
  OUT6.CLOSE();
  OUT7.CLOSE();
}

TEST(PopulationFiles, WorkedExampleByteForByte) {
  ScratchFolder folder;
  SET_UP_EXAMPLE();
  WRITE_BOTH_FILES(1);
  const std::vector<std::string> base = {"Base population allele frequencies", "",
                                         "  Locus  1:  0.500  0.500",
                                         "----------------------------------------"};
  std::vector<std::string> subpops = base;
  subpops.insert(subpops.end(), {"Allele frequencies for each run, locus, and subpopulation after the",
                                 "\"drift-apart\" process is completed (cf. FST.OUT):", "",
                                 "Run =     1,   t =  10,  Fst = 0.2857", "Locus  1",
                                 "Pop  1    0.800  0.200", "Pop  2    0.400  0.600", ""});
  std::vector<std::string> samples = base;
  samples.insert(samples.end(), {"Alleles sampled from the final subpopulations (after drifting apart).",
                                 "Number of alleles of each type per run, locus, and subpopulation:", "",
                                 "Run =     1,   t =  10,  Fst = 0.2857", "Locus  1",
                                 "Pop  1       31      9", "Pop  2       17     23", ""});
  EXPECT_EQ(READ_FILE("SUBPOPS.OUT"), LINES(subpops));
  EXPECT_EQ(READ_FILE("SAMPLES.OUT"), LINES(samples));

  // A second run's block follows the first directly, and a new start
  // replaces the files.
  SET_UP_EXAMPLE();
  WRITE_BOTH_FILES(2);
  samples.insert(samples.end(), {"Run =     2,   t =  10,  Fst = 0.2857", "Locus  1",
                                 "Pop  1       31      9", "Pop  2       17     23", ""});
  EXPECT_EQ(READ_FILE("SAMPLES.OUT"), LINES(samples));
}

TEST(PopulationFiles, NoDriftLostAllelesAndWideNumbers) {
  ScratchFolder folder;
  CLEAR_TABLES();
  NUMBPOPS = 2;
  NUMBLOCI = 100;
  for (int j = 1; j <= NUMBLOCI; ++j) {
    ALLELES_PER_LOCUS[j] = 2;
    BASEPOP[j][1] = 1.0;
    for (int i = 1; i <= NUMBPOPS; ++i) {
      ALL_POPS_AFREQ[i][j][1] = 1.0;
      ALL_POPS_ACOUNT[i][j][1] = 40;
    }
  }
  // Locus 100: the locus number widens its lines.
  ALLELES_PER_LOCUS[100] = 3;
  BASEPOP[100][1] = 0.25;
  BASEPOP[100][3] = 0.75;
  ALL_POPS_AFREQ[1][100][1] = 0.25;
  ALL_POPS_AFREQ[1][100][3] = 0.75;
  ALL_POPS_ACOUNT[1][100][1] = 12345;
  ALL_POPS_AFREQ[2][100][1] = 0.0;  // every allele lost
  ALL_POPS_ACOUNT[2][100][1] = 0;
  FSTPRIME = 0.0L;
  T = 0;
  RUN = 123456;
  INITIALIZE_SUBPOPS();
  WRITE_TO_SUBPOPS();
  T = 1234;
  FSTPRIME = 1.0L;
  INITIALIZE_SAMPLES();
  WRITE_TO_SAMPLES();
  OUT6.CLOSE();
  OUT7.CLOSE();
  const std::string subpops = READ_FILE("SUBPOPS.OUT");
  const std::string samples = READ_FILE("SAMPLES.OUT");
  EXPECT_NE(subpops.find(LINES({"  Locus  1:  1.000  0.000"})), std::string::npos);
  EXPECT_NE(subpops.find(LINES({"  Locus 100:  0.250  0.000  0.750"})), std::string::npos);
  EXPECT_NE(
      subpops.find(LINES({"Run = 123456,   t =   0,  Fst = 0.0000", "Locus  1", "Pop  1    1.000  0.000"})),
      std::string::npos);
  EXPECT_NE(subpops.find(
                LINES({"Locus 100", "Pop  1    0.250  0.000  0.750", "Pop  2    0.000  0.000  0.000", ""})),
            std::string::npos);
  EXPECT_NE(
      samples.find(LINES({"Run = 123456,   t = 1234,  Fst = 1.0000", "Locus  1", "Pop  1       40      0"})),
      std::string::npos);
  EXPECT_NE(samples.find(
                LINES({"Locus 100", "Pop  1    12345      0      0", "Pop  2        0      0      0", ""})),
            std::string::npos);
  // 1 + 100 x (2 + 2) lines per run block after the header of 100 + 6 lines.
  std::size_t line_ends = 0;
  for (std::size_t at = subpops.find("\r\n"); at != std::string::npos; at = subpops.find("\r\n", at + 2))
    ++line_ends;
  EXPECT_EQ(line_ends, 106u + 401u);
}

}  // namespace
}  // namespace korvel
