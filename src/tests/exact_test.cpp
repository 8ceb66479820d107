// The exact test of allele-frequency homogeneity for one locus. A Metropolis
// walk over the tables with the observed margins, whose target is the
// conditional distribution P(table) ~ 1 / prod MM[i][j]!, estimates the
// probability of a table no more probable than the observed one. Only ratios
// of table probabilities are ever formed: RHO carries ln(P(current) /
// P(observed)) from switch to switch.
#include "tests/exact_test.h"

#include <array>
#include <cmath>
#include <cstdint>
#include <string>

#include "common/console.h"
#include "common/failure.h"
#include "common/text_input.h"
#include "tests/conttab_handoff.h"
#include "tests/exact_chain.h"
#include "tests/exact_test_state.h"
#include "tests/locus_tests.h"
#include "tests/test_state.h"

namespace korvel {

namespace {

constexpr INT16 LOWEST_SEED = 1;
constexpr INT16 HIGHEST_SEED = 168;

bool SEED_OUT_OF_RANGE(INT16 seed) { return seed > HIGHEST_SEED || seed < LOWEST_SEED; }

}  // namespace

void EXACT_TEST_STATE::READINFILE() {
  bool CHECK = false;
  TextIn INFILE;
  OPEN_CONTTAB(INFILE);
  N = INFILE.READ_INT16("the number of rows");
  M = INFILE.READ_INT16("the number of columns");
  UU1 = INFILE.READ_INT16("the first seed");
  UU2 = INFILE.READ_INT16("the second seed");
  UU3 = INFILE.READ_INT16("the third seed");
  UU4 = INFILE.READ_INT16("the fourth seed");
  MEM = INFILE.READ_INT32("the number of dememorization steps");
  B = INFILE.READ_INT32("the number of batches");
  C = INFILE.READ_INT32("the number of steps per batch");
  INFILE.SKIP_LINE();

  if (N < 2) {
    CONSOLE_LINE("Table only contains one row!!");
    CHECK = true;
  }
  if (M < 2) {
    CONSOLE_LINE("Table only contains one column!!");
    CHECK = true;
  }
  if (SEED_OUT_OF_RANGE(UU1) || SEED_OUT_OF_RANGE(UU2) || SEED_OUT_OF_RANGE(UU3) || SEED_OUT_OF_RANGE(UU4)) {
    CONSOLE_LINE("Seed number must be in the range 1-168!!");
    CHECK = true;
  }
  // MM has room for the capacity profile only; the rows would be read
  // outside it.
  if (N > MAX_POPS || M > MAX_ALLELES) {
    CONSOLE_LINE(INFILE.NAME() + " line 1: the table has " + std::to_string(N) + " rows and " +
                 std::to_string(M) + " columns; at most " + std::to_string(MAX_POPS) + " rows and " +
                 std::to_string(MAX_ALLELES) + " columns fit");
    PROGRAM_STOP();
  }

  TOT = 0;
  for (INT32 i = 1; i <= N; ++i) {
    INT32 LIGNE = 0;
    for (INT32 j = 1; j <= M; ++j) {
      MM[i][j] = INFILE.READ_INT32("a count of the table");
      TOT += MM[i][j];
      LIGNE += MM[i][j];
    }
    if (LIGNE == 0) CONSOLE_LINE("Warning: Line " + std::to_string(i) + " is empty!");
    INFILE.SKIP_LINE();
  }
  if (TOT == 0) {
    CONSOLE_LINE("Something is wrong. The table is empty!!");
    CHECK = true;
  }
  for (INT32 j = 1; j <= M; ++j) {
    INT32 COLON = 0;
    for (INT32 i = 1; i <= N; ++i) COLON += MM[i][j];
    if (COLON == 0) CONSOLE_LINE("Warning: Column " + std::to_string(j) + " is empty!");
  }
  INFILE.CLOSE();

  if (CHECK) PROGRAM_STOP();
}

namespace {

// Seeding works with the multiplicative sequence mod 179 through discrete
// logarithms: 179 is prime and 2 generates its multiplicative group (2 is
// not a square mod 179, as 179 = 3 mod 8, and 2^2 != 1; the group has order
// 178 = 2 * 89), so every x in 1..178 is 2^LOG(x) and
// U1 * U2 * U3 mod 179 = 2^((LOG(U1) + LOG(U2) + LOG(U3)) mod 178).
// The product of three seeds, each taken mod 179 twice, becomes a sum of
// three small integers.
//
// The congruential sequence U4 := (53 * U4 + 1) mod 169 has full period
// (1 is prime to 169, and 53 - 1 is a multiple of 13, the only prime factor
// of 169): it runs through all of 0..168 in one cycle, so it is read off a
// table of that cycle.
//
// Both take the divisions off the seeding's serial chain.
constexpr int MZ_PRIME = 179;
constexpr int MZ_ORDER = MZ_PRIME - 1;
constexpr int MZ_CYCLE = 169;

struct SEEDING_TABLES {
  std::array<INT16, MZ_ORDER> POWER{};      // POWER[e] = 2^e mod 179
  std::array<INT16, MZ_PRIME> LOGARITHM{};  // LOGARITHM[2^e mod 179] = e
  std::array<INT16, MZ_CYCLE> CYCLE{};      // the congruential cycle from 0
  std::array<INT16, MZ_CYCLE> PLACE{};      // PLACE[CYCLE[t]] = t
};

constexpr SEEDING_TABLES MAKE_SEEDING_TABLES() {
  SEEDING_TABLES t;
  int x = 1;
  for (int e = 0; e < MZ_ORDER; ++e) {
    t.POWER[static_cast<std::size_t>(e)] = static_cast<INT16>(x);
    t.LOGARITHM[static_cast<std::size_t>(x)] = static_cast<INT16>(e);
    x = 2 * x % MZ_PRIME;
  }
  int y = 0;
  for (int place = 0; place < MZ_CYCLE; ++place) {
    t.CYCLE[static_cast<std::size_t>(place)] = static_cast<INT16>(y);
    t.PLACE[static_cast<std::size_t>(y)] = static_cast<INT16>(place);
    y = (53 * y + 1) % MZ_CYCLE;
  }
  return t;
}
constexpr SEEDING_TABLES MZ_TABLES = MAKE_SEEDING_TABLES();

}  // namespace

// Marsaglia-Zaman universal generator (RANMAR): the lag table is filled bit
// by bit from a lagged Fibonacci multiplicative sequence mod 179 combined
// with a congruential sequence mod 169. Bit JJ of an entry weighs 2^-JJ,
// which is 2^(24 - JJ) units of 2^-24.
void EXACT_TEST_STATE::MAKE_RANDOM() {
  U.fill(0);
  // Exponents of U1, U2, U3 and the place of U4 in its cycle; the seeds,
  // in 1..168, lie in both groups.
  int E1 = MZ_TABLES.LOGARITHM[static_cast<std::size_t>(UU1)];
  int E2 = MZ_TABLES.LOGARITHM[static_cast<std::size_t>(UU2)];
  int E3 = MZ_TABLES.LOGARITHM[static_cast<std::size_t>(UU3)];
  int PLACE4 = MZ_TABLES.PLACE[static_cast<std::size_t>(UU4)];
  for (INT16 II = 1; II <= exact_chain::LAG_TABLE_SIZE; ++II) {
    INT32 RI = 0;
    for (INT16 JJ = 1; JJ <= 24; ++JJ) {
      int E = E1 + E2 + E3;  // below 3 * 178
      if (E >= MZ_ORDER) E -= MZ_ORDER;
      if (E >= MZ_ORDER) E -= MZ_ORDER;
      E1 = E2;
      E2 = E3;
      E3 = E;
      const INT32 R1 = MZ_TABLES.POWER[static_cast<std::size_t>(E)];
      PLACE4 = PLACE4 == MZ_CYCLE - 1 ? 0 : PLACE4 + 1;
      const INT32 U4 = MZ_TABLES.CYCLE[static_cast<std::size_t>(PLACE4)];
      if ((U4 * R1) % 64 >= 32) RI += INT32{1} << (24 - JJ);
    }
    U[II] = RI;
  }
  DI = exact_chain::SEQUENCE_START;
  DD = exact_chain::SEQUENCE_STEP;
  DM = exact_chain::SEQUENCE_MODULUS;
  DP = 97;
  DQ = 33;
}

namespace {

// The dememorization and the batches as one walk: MEM steps that are not
// counted, then the counted steps, on one set of draws. Leaves the sums of
// the batch fractions and of their squares in HM and HECA. False, with the
// state as it was, when a bounded walk lost track of RHO.
bool WALK_THE_CHAIN(EXACT_TEST_STATE& S, exact_chain::RHO_KEPT kept) {
  S.RHO = 0.0L;
  exact_chain::WALKER WALK(S, kept);
  WALK.RUN(S.MEM);
  EXTENDED HM = 0.0L;
  EXTENDED HECA = 0.0L;
  for (INT32 K = 1; K <= S.B; ++K) {
    const INT32 CNMOY = WALK.RUN(S.C);
    // A batch without steps (C < 1) has no fraction to count.
    const EXTENDED P = S.C > 0 ? static_cast<EXTENDED>(CNMOY) / static_cast<EXTENDED>(S.C) : 0.0L;
    HM = HM + P;
    HECA = HECA + P * P;
  }
  if (WALK.LOST()) return false;
  WALK.STORE();
  S.HM = HM;
  S.HECA = HECA;
  return true;
}

// HM, the mean of the batch fractions, and HECA, their standard error, from
// the sums the walk left in them.
void FINISH_CHAIN_RESULTS(EXACT_TEST_STATE& S) {
  if (S.B < 1) return;
  const EXTENDED BATCHES = static_cast<EXTENDED>(S.B);
  // The spread needs two batches, and rounding can leave the sum of
  // squared deviations slightly below 0 when all fractions are equal: in
  // both cases the standard error is 0, never a NaN.
  const EXTENDED VARIANCE = S.B < 2
                                ? 0.0L
                                : (S.HECA - S.HM * S.HM / BATCHES) / BATCHES / static_cast<EXTENDED>(S.B - 1);
  S.HECA = VARIANCE > 0.0L ? std::sqrt(VARIANCE) : 0.0L;
  S.HM = S.HM / BATCHES;
}

}  // namespace

// The walk carries RHO bounded, which takes no logarithm; in the rare
// chain where that cannot decide a step, it walks again exactly.
void EXACT_TEST_STATE::CHAINE() {
  if (!WALK_THE_CHAIN(*this, exact_chain::RHO_KEPT::BOUNDED))
    WALK_THE_CHAIN(*this, exact_chain::RHO_KEPT::EXACT);
  FINISH_CHAIN_RESULTS(*this);
}

void EXACT_TEST_STATE::CHAINE_WITH_EXACT_RHO() {
  WALK_THE_CHAIN(*this, exact_chain::RHO_KEPT::EXACT);
  FINISH_CHAIN_RESULTS(*this);
}

void FISHER() {
  EXACT_TEST_STATE STATE;
  STATE.READINFILE();
  STATE.MAKE_RANDOM();
  STATE.CHAINE();
  HM = STATE.HM;
  HECA = STATE.HECA;
}

}  // namespace korvel
