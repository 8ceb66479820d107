#include "popmodel/drift.h"

#include "common/tables.h"
#include "popmodel/allele_sampling.h"
#include "popmodel/fstatistics.h"

namespace korvel {

void COPY_BASEPOP_TO_ALL_POPS_AFREQ() {
  for (INT16 i = 1; i <= NUMBPOPS; ++i)
    for (INT16 j = 1; j <= NUMBLOCI; ++j)
      for (INT16 k = 1; k <= ALLELES_PER_LOCUS[j]; ++k) ALL_POPS_AFREQ[i][j][k] = BASEPOP[j][k];
}

// Every run starts afresh from the base population; each generation draws
// 2 x DRIFT_SIZE gene copies per population and locus (the caller has put
// DRIFT_SIZE into NUMB_DIPLOIDS_TO_SAMPLE) and makes their counts the new
// frequencies. Without drift T keeps its value and the statistics are
// those of the base population.
void DRIFT_APART() {
  COPY_BASEPOP_TO_ALL_POPS_AFREQ();
  CALCULATE_FST();
  if (STOP_T <= 0) return;
  T = 0;
  do {
    SAMPLE_ALLELES();
    CALCULATE_AFREQS();
    CALCULATE_FST();
    ++T;
  } while (T != STOP_T);
}

}  // namespace korvel
