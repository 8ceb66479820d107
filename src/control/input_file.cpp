#include "control/input_file.h"

#include <string>
#include "common/capacity.h"

#include "common/console.h"
#include "common/failure.h"
#include "common/tables.h"
#include "control/control_state.h"

namespace korvel {

namespace {

// The document passed every check, so every count fits the tables.
void STORE_IN_TABLES(const INPUT_DOCUMENT& d) {
  COMMENT1 = d.COMMENT1;
  COMMENT2 = d.COMMENT2;
  ITER1 = d.ITER1;
  ITER2 = d.ITER2;
  ITER3 = d.ITER3;
  RUN_CHI2 = d.RUN_CHI2;
  RUN_FISHER = d.RUN_FISHER;
  ERASE_DETAILED_OUTPUT = d.ERASE_DETAILED_OUTPUT;
  NUMBLOCI = d.NUMBLOCI;
  NUMBPOPS = d.NUMBPOPS;
  DRIFT_SIZE = d.DRIFT_SIZE;
  STOP_T = d.STOP_T;
  for (int i = 1; i <= NUMBPOPS; ++i) SAMPLESIZE[i] = d.SAMPLESIZE[static_cast<std::size_t>(i - 1)];
  STOP_RUNS = d.STOP_RUNS;
  for (int l = 1; l <= NUMBLOCI; ++l) {
    const LOCUS_DOCUMENT& locus = d.LOCI[static_cast<std::size_t>(l - 1)];
    ALLELES_PER_LOCUS[l] = locus.ALLELES;
    for (int a = 1; a <= locus.ALLELES; ++a)
      BASEPOP[l][a] = locus.FREQUENCIES[static_cast<std::size_t>(a - 1)];
  }
}

void COUNT_START_ALLELES() {
  STARTNUMBALLELES = 0;
  for (int l = 1; l <= MAX_LOCI; ++l)
    STARTNUMBALLELES = static_cast<INT16>(STARTNUMBALLELES + ALLELES_PER_LOCUS[l]);
}

void SHOW_BANNER() {
  CLEAR_SCREEN();
  CONSOLE_EMPTY_LINES(3);
  CONSOLE_LINE(BANNER);
  CONSOLE_EMPTY_LINES(1);
}

// Started in a folder without an input file (a new user's first run):
// after the usual message, a hint on standard error where one comes from.
void HINT_WHEN_MISSING(INPUT_FAULT& fault) {
  if (fault.FAULT_KIND != INPUT_FAULT::FILE_FAULT || fault.EXIT_STATUS != FILE_NOT_FOUND) return;
  fault.NOTES.push_back(std::string(BUILD_CAPACITY.BUILD_NAME) + ": there is no " + INPUT_FILE_NAME +
                        " in this folder. Make one from your genotypes with korvel-init (korvel-init --help "
                        "says how), or copy examples/KORVEL.IN from the KORVEL sources and edit it.");
}

}  // namespace

void READ_INFILE() {
  try {
    STORE_IN_TABLES(READ_INPUT_FILE(INPUT_FILE_NAME, BUILD_CAPACITY, /*any_letter_case=*/true));
  } catch (INPUT_FAULT& fault) {
    HINT_WHEN_MISSING(fault);
    END_WITH_FAULT(fault);
  }
  COUNT_START_ALLELES();
  SHOW_BANNER();
}

}  // namespace korvel
