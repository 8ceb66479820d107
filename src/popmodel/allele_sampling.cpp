#include "popmodel/allele_sampling.h"

#include <array>
#include <cstring>

#include "common/random_generator.h"
#include "common/tables.h"

namespace korvel {

namespace {

// Running cumulative frequencies of one locus, alleles 1..A, each the sum
// from 0 in allele order in extended precision. Every gene copy of a locus
// scans the same sums, so they are formed once per population and locus;
// the values are exactly those of a running sum formed anew for each draw.
using CUMULATIVE = std::array<EXTENDED, MAX_ALLELES + 1>;

// Fills the cumulative sums of the locus's alleles and returns the allele
// that a draw above the locus's total goes to: the last allele of non-zero
// frequency (allele 1 when every frequency is 0). The scan never passes it,
// and past it every cumulative sum equals its own, so stopping there gives
// the same allele as a scan over all the locus's alleles.
INT16 PREPARE_LOCUS(const AFREQS& freqs, INT16 alleles, CUMULATIVE& cumulative) {
  EXTENDED pr = 0.0L;
  INT16 last_nonzero = 1;
  for (INT16 k = 1; k <= alleles; ++k) {
    pr += static_cast<EXTENDED>(freqs[k]);
    cumulative[k] = pr;
    if (freqs[k] != 0.0) last_nonzero = k;
  }
  return last_nonzero;
}

// The allele of one draw: the smallest K whose cumulative frequency is
// >= the draw (a draw equal to a cumulative sum goes to the lower allele,
// a draw of 0 to allele 1), or `last` when the draw exceeds them all.
// Plain linear scan; a faster search must return the same allele.
inline INT16 ALLELE_OF_DRAW(const CUMULATIVE& cumulative, INT16 last, EXTENDED x) {
  INT16 k = 1;
  while (k < last && x > cumulative[k]) ++k;
  return k;
}

// Draws `copies` gene copies of one locus, one real draw per copy.
void SAMPLE_LOCUS(const AFREQS& freqs, INT16 alleles, INT32 copies, AFREQS2& counts) {
  CUMULATIVE cumulative;
  const INT16 last = PREPARE_LOCUS(freqs, alleles, cumulative);
  for (INT32 n = 0; n < copies; ++n) {
    const EXTENDED x = REAL_DRAW();
    ++counts[ALLELE_OF_DRAW(cumulative, last, x)];
  }
}

}  // namespace

void SAMPLE_ALLELES() {
  // The whole table, not only the part in use: callers read the counts of
  // populations and loci beyond those in use as zero.
  std::memset(&ALL_POPS_ACOUNT, 0, sizeof ALL_POPS_ACOUNT);
  for (INT16 i = 1; i <= NUMBPOPS; ++i) {
    const INT32 copies = 2 * static_cast<INT32>(NUMB_DIPLOIDS_TO_SAMPLE[i]);
    for (INT16 j = 1; j <= NUMBLOCI; ++j)
      SAMPLE_LOCUS(ALL_POPS_AFREQ[i][j], ALLELES_PER_LOCUS[j], copies, ALL_POPS_ACOUNT[i][j]);
  }
}

}  // namespace korvel
