#include "popmodel/fstatistics.h"

#include "common/tables.h"
#include "popmodel/popmodel_state.h"

namespace korvel {

void CALCULATE_AFREQS() {
  for (INT16 i = 1; i <= NUMBPOPS; ++i) {
    for (INT16 j = 1; j <= NUMBLOCI; ++j) {
      const AFREQS2& counts = ALL_POPS_ACOUNT[i][j];
      AFREQS& freqs = ALL_POPS_AFREQ[i][j];
      const INT16 alleles = ALLELES_PER_LOCUS[j];
      INT32 sumn = 0;
      for (INT16 k = 1; k <= alleles; ++k) sumn += counts[k];
      for (INT16 k = 1; k <= alleles; ++k) {
        // Divided in extended precision and rounded to double only once,
        // when stored: a double division could round differently.
        const EXTENDED x = static_cast<EXTENDED>(counts[k]) / static_cast<EXTENDED>(sumn);
        freqs[k] = static_cast<double>(x);
      }
    }
  }
}

namespace {

// Sum of the squared frequencies of population i over all loci and alleles.
EXTENDED SUM_OF_SQUARES(INT16 i) {
  EXTENDED x = 0.0L;
  for (INT16 j = 1; j <= NUMBLOCI; ++j) {
    const AFREQS& freqs = ALL_POPS_AFREQ[i][j];
    for (INT16 k = 1; k <= ALLELES_PER_LOCUS[j]; ++k) {
      const EXTENDED p = freqs[k];
      x += p * p;
    }
  }
  return x;
}

// Sum over all loci and alleles of the squared mean frequency over the
// populations (equal weights).
EXTENDED SUM_OF_SQUARED_MEANS() {
  const EXTENDED s = NUMBPOPS;
  EXTENDED x = 0.0L;
  for (INT16 j = 1; j <= NUMBLOCI; ++j) {
    for (INT16 k = 1; k <= ALLELES_PER_LOCUS[j]; ++k) {
      EXTENDED sum = 0.0L;
      for (INT16 i = 1; i <= NUMBPOPS; ++i) sum += static_cast<EXTENDED>(ALL_POPS_AFREQ[i][j][k]);
      const EXTENDED y = sum / s;
      x += y * y;
    }
  }
  return x;
}

}  // namespace

void CALCULATE_FST() {
  // No locus, or no population, leaves nothing to average: every statistic
  // is 0 rather than the 0/0 of the formulas.
  if (NUMBLOCI < 1 || NUMBPOPS < 1) {
    for (INT16 i = 1; i <= NUMBPOPS; ++i) HS_PER_POP[i] = 0.0L;
    HS = 0.0L;
    HT = 0.0L;
    FSTPRIME = 0.0L;
    return;
  }
  const EXTENDED l = NUMBLOCI;
  const EXTENDED s = NUMBPOPS;

  EXTENDED sum_hs = 0.0L;
  for (INT16 i = 1; i <= NUMBPOPS; ++i) {
    HS_PER_POP[i] = (l - SUM_OF_SQUARES(i)) / l;
    sum_hs += HS_PER_POP[i];
  }
  HS = sum_hs / s;
  HT = (l - SUM_OF_SQUARED_MEANS()) / l;

  // A single population cannot differ from the others (and D' would divide
  // by s - 1 = 0): its differentiation is 0.
  if (HT > 0.0L && NUMBPOPS >= 2) {
    const EXTENDED dprime = ((HT - HS) * s) / (s - 1.0L);
    FSTPRIME = dprime / (HS + dprime);
  } else {
    FSTPRIME = 0.0L;
  }
  if (FSTPRIME < 0.0L) FSTPRIME = 0.0L;
}

}  // namespace korvel
