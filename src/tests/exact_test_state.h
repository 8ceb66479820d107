// The exact test's per-call state and its steps. FISHER creates one record
// on entry, runs READINFILE, MAKE_RANDOM and CHAINE on it, and discards it
// on return; nothing carries over from one locus to the next.
//
// The chain's uniform generator is the Marsaglia-Zaman universal generator
// (RANMAR), seeded from the four seeds of CONTTAB.XYZ. It is private to the
// record and never touches the program-wide generator. Every value it keeps
// or yields is an exact multiple of 2^-24 in [0, 1) (its arithmetic only
// subtracts such values and adds 1), so it is carried exactly as the
// integer number of units of 2^-24: U[k], DI, DD and DM below are in those
// units, and the draw UNI is UNI24 * 2^-24.
#pragma once

#include <array>
#include <atomic>

#include "common/capacity.h"
#include "common/number_types.h"

namespace korvel {

struct EXACT_TEST_STATE {
  using COUNT_TABLE = std::array<std::array<INT32, MAX_ALLELES + 1>, MAX_POPS + 1>;
  // 2^24: one, in the generator's units.
  static constexpr INT32 ONE24 = 1 << 24;

  INT16 N = 0;    // rows: population samples
  INT16 M = 0;    // columns: alleles present at the locus
  INT32 TOT = 0;  // grand total of the table
  INT32 MEM = 0;  // dememorization steps
  INT32 B = 0;    // batches
  INT32 C = 0;    // steps per batch
  COUNT_TABLE MM{};
  INT16 UU1 = 0, UU2 = 0, UU3 = 0, UU4 = 0;

  // Generator: lag table, arithmetic sequence, lag indices (units of 2^-24).
  std::array<INT32, 98> U{};
  INT32 DI = 0, DD = 0, DM = 0;
  INT16 DP = 0, DQ = 0;
  // The last draw, in units of 2^-24 and as a real.
  INT32 UNI24 = 0;
  EXTENDED UNI = 0.0L;

  // The current switch: rows OP1, OP2 and columns ALL1, ALL2.
  INT32 OP1 = 0, OP2 = 0, ALL1 = 0, ALL2 = 0;
  // ln(probability of the current table / probability of the observed one).
  EXTENDED RHO = 0.0L;
  // The results of CHAINE: the P value and its standard error. FISHER
  // hands them on in the program-wide HM and HECA.
  EXTENDED HM = 0.0L, HECA = 0.0L;

  // When set, CHAINE gives up (throwing CHAIN_CANCELLED) soon after the flag
  // is raised: a chain run on another thread is called off when the program
  // ends early.
  const std::atomic<bool>* CANCELLED = nullptr;

  // Loads and checks CONTTAB.XYZ; returns with a usable table or stops the
  // program with its messages.
  void READINFILE();
  // Seeds the generator; the seeds are in 1..168, as READINFILE ensures.
  void MAKE_RANDOM();
  // Dememorization, the B batches of C counted steps, and HM, HECA. RHO is
  // left within 1e-12 or so of the step-by-step sum (no result depends on
  // its last bits).
  void CHAINE();
  // The same chain with RHO summed step by step in extended, as CHAINE
  // walks it where its bounded sum cannot decide a step: the same HM and
  // HECA, and RHO to the bit.
  void CHAINE_WITH_EXACT_RHO();
};

struct CHAIN_CANCELLED {};

}  // namespace korvel
