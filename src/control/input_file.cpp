#include "control/input_file.h"

#include <array>
#include <cmath>
#include <cstdio>
#include <string>

#include "common/capacity.h"
#include "common/console.h"
#include "common/failure.h"
#include "common/tables.h"
#include "common/text_format.h"
#include "common/text_input.h"
#include "control/control_state.h"

namespace korvel {

namespace {

constexpr std::size_t COMMENT_LENGTH = 80;
constexpr EXTENDED FREQUENCY_SUM_TOLERANCE = 0.000001L;

// Where each value stood in the file, for the messages of the checks that
// come after the whole file has been read.
struct InputLines {
  int ITER = 0;
  int NUMBLOCI = 0;
  int NUMBPOPS = 0;
  int DRIFT_SIZE = 0;
  int STOP_RUNS = 0;
  std::array<int, MAX_POPS + 1> SAMPLESIZE{};
  std::array<int, MAX_LOCI + 1> ALLELES{};
  std::array<int, MAX_LOCI + 1> LOCUS_LAST{};
};

InputLines LINES;
TextIn INFILE;

[[noreturn]] void CAPACITY_STOP(const char* quantity, int maximum) {
  CONSOLE_EMPTY_LINES(17);
  CONSOLE_LINE(quantity);
  CONSOLE_LINE("  Maximum for this version is " + INT_TEXT(maximum) + ".");
  PROGRAM_STOP();
}

[[noreturn]] void FREQUENCY_STOP(int locus) {
  ALERT_TONE();
  CONSOLE_EMPTY_LINES(10);
  CONSOLE_LINE("   PROGRAM HALTED");
  CONSOLE_LINE("   Allele frequencies do not sum to unity at Locus " + INT_TEXT(locus, 2));
  INFILE.CLOSE();
  PROGRAM_STOP();
}

[[noreturn]] void REJECT(int line, const std::string& what) {
  INPUT_REJECTED(INFILE.NAME() + " line " + std::to_string(line) + ": " + what);
}

std::string REAL_VALUE_TEXT(double value) {
  char buffer[40];
  std::snprintf(buffer, sizeof buffer, "%.10g", value);
  return buffer;
}

void READ_RUN_SETTINGS() {
  COMMENT1 = INFILE.READ_LINE_TEXT(COMMENT_LENGTH);
  COMMENT2 = INFILE.READ_LINE_TEXT(COMMENT_LENGTH);
  ITER1 = INFILE.READ_INT32("the first iteration factor (dememorization steps)");
  ITER2 = INFILE.READ_INT32("the second iteration factor (batches)");
  ITER3 = INFILE.READ_INT32("the third iteration factor (steps per batch)");
  LINES.ITER = INFILE.LAST_LINE();
  INFILE.SKIP_LINE();
  RUN_CHI2 = INFILE.READ_INT16("the chi-square test switch");
  RUN_FISHER = INFILE.READ_INT16("the exact test switch");
  INFILE.SKIP_LINE();
  ERASE_DETAILED_OUTPUT = INFILE.READ_INT16("the erase switch");
  INFILE.SKIP_LINE();
  INFILE.SKIP_LINE();
}

void READ_POPULATION_SETTINGS() {
  NUMBLOCI = INFILE.READ_INT16("the number of loci");
  LINES.NUMBLOCI = INFILE.LAST_LINE();
  INFILE.SKIP_LINE();
  if (NUMBLOCI > MAX_LOCI) CAPACITY_STOP("  TOO MANY LOCI!", MAX_LOCI);
  NUMBPOPS = INFILE.READ_INT16("the number of populations");
  LINES.NUMBPOPS = INFILE.LAST_LINE();
  INFILE.SKIP_LINE();
  if (NUMBPOPS > MAX_POPS) CAPACITY_STOP("  TOO MANY POPULATIONS!", MAX_POPS);
  DRIFT_SIZE = INFILE.READ_INT16("the effective size during drift");
  LINES.DRIFT_SIZE = INFILE.LAST_LINE();
  INFILE.SKIP_LINE();
  STOP_T = INFILE.READ_INT16("the number of generations of drift");
  INFILE.SKIP_LINE();
  for (int i = 1; i <= NUMBPOPS; ++i) {
    SAMPLESIZE[i] = INFILE.READ_INT16("the sample size of population " + std::to_string(i));
    LINES.SAMPLESIZE[i] = INFILE.LAST_LINE();
  }
  INFILE.SKIP_LINE();
  STOP_RUNS = INFILE.READ_INT32("the number of replicate runs");
  LINES.STOP_RUNS = INFILE.LAST_LINE();
  INFILE.SKIP_LINE();
  INFILE.SKIP_LINE();
  INFILE.SKIP_LINE();
}

// A locus that declares more alleles than the build holds is read to its
// end, but only the frequencies that fit are stored; the allele-count
// check stops the program afterwards.
void READ_BASE_POPULATION() {
  for (int l = 1; l <= NUMBLOCI; ++l) {
    ALLELES_PER_LOCUS[l] = INFILE.READ_INT16("the number of alleles at locus " + std::to_string(l));
    LINES.ALLELES[l] = INFILE.LAST_LINE();
    LINES.LOCUS_LAST[l] = LINES.ALLELES[l];
    for (int a = 1; a <= ALLELES_PER_LOCUS[l]; ++a) {
      const double frequency = INFILE.READ_REAL("the frequency of allele " + std::to_string(a) +
                                                " at locus " + std::to_string(l));
      if (a <= MAX_ALLELES) BASEPOP[l][a] = frequency;
      LINES.LOCUS_LAST[l] = INFILE.LAST_LINE();
    }
    INFILE.SKIP_LINE();
  }
}

void CHECK_ALLELE_COUNTS() {
  INT16 TESTVAR = 0;
  for (int l = 1; l <= MAX_LOCI; ++l)
    if (ALLELES_PER_LOCUS[l] > MAX_ALLELES) TESTVAR = 1;
  if (TESTVAR > 0) CAPACITY_STOP("  TOO MANY ALLELES/LOCUS!", MAX_ALLELES);
  for (int l = 1; l <= NUMBLOCI; ++l) {
    if (ALLELES_PER_LOCUS[l] < 1)
      REJECT(LINES.ALLELES[l], "number of alleles at locus " + std::to_string(l) + " is " +
                                   std::to_string(ALLELES_PER_LOCUS[l]) + "; at least 1 is needed");
  }
}

void COUNT_START_ALLELES() {
  STARTNUMBALLELES = 0;
  for (int l = 1; l <= MAX_LOCI; ++l) STARTNUMBALLELES = static_cast<INT16>(STARTNUMBALLELES + ALLELES_PER_LOCUS[l]);
}

void CHECK_FREQUENCY_SUMS() {
  for (int l = 1; l <= NUMBLOCI; ++l) {
    double X = 0;
    for (int a = 1; a <= ALLELES_PER_LOCUS[l]; ++a)
      X = static_cast<double>(static_cast<EXTENDED>(X) + static_cast<EXTENDED>(BASEPOP[l][a]));
    if (std::fabs(static_cast<EXTENDED>(X) - 1.0L) > FREQUENCY_SUM_TOLERANCE) FREQUENCY_STOP(l);
  }
}

void CHECK_SIZE(int line, const std::string& quantity, long long value) {
  if (value < 1 || value > MAX_DIPLOIDS)
    REJECT(line, quantity + " is " + std::to_string(value) + "; it must lie in 1.." +
                     std::to_string(MAX_DIPLOIDS));
}

// Values that the later steps cannot use: each would otherwise divide by
// zero, overflow a 16-bit counter or never end.
void CHECK_USABLE_VALUES() {
  if (TEST_IS_ON(RUN_FISHER)) {
    if (ITER2 < 2)
      REJECT(LINES.ITER, "number of batches of the exact test is " + std::to_string(ITER2) +
                             "; at least 2 are needed when the exact test is on");
    if (ITER3 < 1)
      REJECT(LINES.ITER, "number of steps per batch of the exact test is " + std::to_string(ITER3) +
                             "; at least 1 is needed when the exact test is on");
  }
  if (NUMBLOCI < 1)
    REJECT(LINES.NUMBLOCI, "number of loci is " + std::to_string(NUMBLOCI) + "; at least 1 is needed");
  if (NUMBPOPS < 2)
    REJECT(LINES.NUMBPOPS,
           "number of populations is " + std::to_string(NUMBPOPS) + "; at least 2 are needed");
  CHECK_SIZE(LINES.DRIFT_SIZE, "effective size during drift", DRIFT_SIZE);
  for (int i = 1; i <= NUMBPOPS; ++i)
    CHECK_SIZE(LINES.SAMPLESIZE[i], "sample size of population " + std::to_string(i), SAMPLESIZE[i]);
  if (STOP_RUNS < 1)
    REJECT(LINES.STOP_RUNS,
           "number of replicate runs is " + std::to_string(STOP_RUNS) + "; at least 1 is needed");
  for (int l = 1; l <= NUMBLOCI; ++l) {
    for (int a = 1; a <= ALLELES_PER_LOCUS[l]; ++a) {
      const double frequency = BASEPOP[l][a];
      if (!(frequency >= 0.0 && frequency <= 1.0))
        REJECT(LINES.LOCUS_LAST[l], "frequency of allele " + std::to_string(a) + " at locus " +
                                        std::to_string(l) + " is " + REAL_VALUE_TEXT(frequency) +
                                        "; it must lie in 0..1");
    }
  }
  for (int l = 1; l <= NUMBLOCI; ++l) {
    int present = 0;
    for (int a = 1; a <= ALLELES_PER_LOCUS[l]; ++a)
      if (BASEPOP[l][a] > 0.0) ++present;
    if (present >= 2) return;
  }
  REJECT(LINES.ALLELES[1],
         "no locus has two or more alleles of non-zero frequency; every sample would be "
         "monomorphic and no run could be completed");
}

void SHOW_BANNER() {
  CLEAR_SCREEN();
  CONSOLE_EMPTY_LINES(3);
  CONSOLE_LINE(BANNER);
  CONSOLE_EMPTY_LINES(1);
}

}  // namespace

void READ_INFILE() {
  LINES = InputLines{};
  INFILE.OPEN(INPUT_FILE_NAME, /*any_letter_case=*/true);
  READ_RUN_SETTINGS();
  READ_POPULATION_SETTINGS();
  READ_BASE_POPULATION();
  CHECK_ALLELE_COUNTS();
  COUNT_START_ALLELES();
  CHECK_FREQUENCY_SUMS();
  CHECK_USABLE_VALUES();
  INFILE.CLOSE();
  SHOW_BANNER();
}

}  // namespace korvel
