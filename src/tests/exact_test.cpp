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

// Seeding runs two sequences, one bit of the lag table per term:
// - the multiplicative lagged Fibonacci sequence mod 179,
//   R(t) = R(t - 3) * R(t - 2) * R(t - 1) mod 179, from the first three seeds;
// - the congruential sequence U4 := (53 * U4 + 1) mod 169 from the fourth.
// A bit is set where U4 * R mod 64 >= 32.
//
// Term by term, each R waits for the one before it: that serial chain of
// 2328 multiplications was the whole cost of a locus's seeding. It is cut
// into independent streams, one per lane of a vector:
// - 179 is prime and 2 generates its multiplicative group (2 is not a
//   square mod 179, as 179 = 3 mod 8, and 2^2 != 1; the group has order
//   178 = 2 * 89), so R(t) = 2^e(t) with e(t) = e(t - 3) + e(t - 2) +
//   e(t - 1) mod 178, a linear recurrence: e(t) is a fixed integer
//   combination of the three first exponents (the seeds' discrete
//   logarithms), so a stream's first three terms are read off a table of
//   those combinations, for every stream at once;
// - the congruential sequence has full period (1 is prime to 169, and
//   53 - 1 is a multiple of 13, the only prime factor of 169): it runs
//   through all of 0..168 in one cycle, so the term t places on is the
//   cycle read t places on, a table per stream.
// The first entry of the lag table is made term by term (it starts from
// the seeds themselves); every stream then makes SEED_STREAM_ENTRIES of
// the others, 12 bits at a time in 16-bit lanes.
constexpr int MZ_PRIME = 179;
constexpr int MZ_ORDER = MZ_PRIME - 1;
constexpr int MZ_CYCLE = 169;
constexpr int BITS_PER_ENTRY = 24;
constexpr int SEED_STREAMS = 32;
constexpr int SEED_STREAM_ENTRIES = 3;
constexpr int SEED_STREAM_TERMS = SEED_STREAM_ENTRIES * BITS_PER_ENTRY;
static_assert(1 + SEED_STREAMS * SEED_STREAM_ENTRIES == exact_chain::LAG_TABLE_SIZE);
// The first term of stream s.
constexpr int STREAM_START(int s) { return BITS_PER_ENTRY * (1 + SEED_STREAM_ENTRIES * s); }

struct SEEDING_TABLES {
  std::array<std::uint16_t, MZ_ORDER> POWER{};     // POWER[e] = 2^e mod 179
  std::array<std::uint8_t, MZ_PRIME> LOGARITHM{};  // LOGARITHM[2^e mod 179] = e
  std::array<std::uint8_t, MZ_CYCLE> CYCLE{};      // the congruential cycle from 0
  std::array<std::uint8_t, MZ_CYCLE> PLACE{};      // PLACE[CYCLE[t]] = t
  // e(STREAM_START(s) - 3 + k) as COMBINATION[s][k][0..2] times the first
  // three exponents, mod 178.
  std::array<std::array<std::array<std::uint8_t, 3>, 3>, SEED_STREAMS> COMBINATION{};
  // CYCLE_OF_STREAM[q][s] = CYCLE[(q + STREAM_START(s)) mod 169]: with the
  // fourth seed at place P of its cycle, stream s's term i reads row
  // P + 1 + i, all streams' terms in one row.
  std::array<std::array<std::uint16_t, SEED_STREAMS>, MZ_CYCLE + SEED_STREAM_TERMS> CYCLE_OF_STREAM{};
};

constexpr SEEDING_TABLES MAKE_SEEDING_TABLES() {
  SEEDING_TABLES t;
  int x = 1;
  for (int e = 0; e < MZ_ORDER; ++e) {
    t.POWER[static_cast<std::size_t>(e)] = static_cast<std::uint16_t>(x);
    t.LOGARITHM[static_cast<std::size_t>(x)] = static_cast<std::uint8_t>(e);
    x = 2 * x % MZ_PRIME;
  }
  int y = 0;
  for (int place = 0; place < MZ_CYCLE; ++place) {
    t.CYCLE[static_cast<std::size_t>(place)] = static_cast<std::uint8_t>(y);
    t.PLACE[static_cast<std::size_t>(y)] = static_cast<std::uint8_t>(place);
    y = (53 * y + 1) % MZ_CYCLE;
  }
  // The combinations of terms -3, -2, -1 (the three seeds) on, term by term.
  std::array<std::array<int, 3>, 3> last{{{1, 0, 0}, {0, 1, 0}, {0, 0, 1}}};
  int s = 0;
  for (int term = 0; s < SEED_STREAMS; ++term) {
    if (term == STREAM_START(s)) {
      for (std::size_t k = 0; k < 3; ++k)
        for (std::size_t c = 0; c < 3; ++c)
          t.COMBINATION[static_cast<std::size_t>(s)][k][c] = static_cast<std::uint8_t>(last[k][c]);
      ++s;
    }
    std::array<int, 3> next{};
    for (std::size_t c = 0; c < 3; ++c) next[c] = (last[0][c] + last[1][c] + last[2][c]) % MZ_ORDER;
    last = {last[1], last[2], next};
  }
  for (std::size_t q = 0; q < t.CYCLE_OF_STREAM.size(); ++q)
    for (int stream = 0; stream < SEED_STREAMS; ++stream)
      t.CYCLE_OF_STREAM[q][static_cast<std::size_t>(stream)] =
          t.CYCLE[(q + static_cast<std::size_t>(STREAM_START(stream))) % MZ_CYCLE];
  return t;
}
constexpr SEEDING_TABLES MZ_TABLES = MAKE_SEEDING_TABLES();

// a * b mod 179 for a, b in 0..178: the product fits 16 bits.
inline std::uint16_t TIMES_MOD_PRIME(std::uint16_t a, std::uint16_t b) {
  return static_cast<std::uint16_t>(static_cast<std::uint16_t>(a * b) % MZ_PRIME);
}

// Whether the term with R and U4 sets its bit.
inline std::uint16_t SEED_BIT(std::uint16_t u4, std::uint16_t r) {
  return static_cast<std::uint16_t>(static_cast<std::uint16_t>(u4 * r) >> 5 & 1);
}

// The streams' state: the last three terms of R in each lane.
struct SEED_STREAM_LANES {
  alignas(64) std::array<std::uint16_t, SEED_STREAMS> R1, R2, R3;
};

// The next `terms` bits of every stream, first bit highest; the congruential
// sequence from row `row` of CYCLE_OF_STREAM on.
inline void STREAM_BITS(SEED_STREAM_LANES& lanes, std::size_t row, int terms,
                        std::array<std::uint16_t, SEED_STREAMS>& bits) {
  bits.fill(0);
  for (int i = 0; i < terms; ++i) {
    const std::uint16_t* u4 = MZ_TABLES.CYCLE_OF_STREAM[row + static_cast<std::size_t>(i)].data();
    for (std::size_t s = 0; s < SEED_STREAMS; ++s) {
      const std::uint16_t r = TIMES_MOD_PRIME(TIMES_MOD_PRIME(lanes.R1[s], lanes.R2[s]), lanes.R3[s]);
      lanes.R1[s] = lanes.R2[s];
      lanes.R2[s] = lanes.R3[s];
      lanes.R3[s] = r;
      bits[s] = static_cast<std::uint16_t>(bits[s] * 2 + SEED_BIT(u4[s], r));
    }
  }
}

}  // namespace

// Marsaglia-Zaman universal generator (RANMAR): the lag table is filled bit
// by bit from a lagged Fibonacci multiplicative sequence mod 179 combined
// with a congruential sequence mod 169. Bit JJ of an entry weighs 2^-JJ,
// which is 2^(24 - JJ) units of 2^-24.
void EXACT_TEST_STATE::MAKE_RANDOM() {
  U.fill(0);
  // The first entry term by term, from the seeds (in 1..168, so already
  // reduced mod 179 and 169).
  auto R1 = static_cast<std::uint16_t>(UU1), R2 = static_cast<std::uint16_t>(UU2),
       R3 = static_cast<std::uint16_t>(UU3);
  const std::size_t PLACE4 = MZ_TABLES.PLACE[static_cast<std::size_t>(UU4)];
  INT32 RI = 0;
  for (std::size_t JJ = 1; JJ <= BITS_PER_ENTRY; ++JJ) {
    const std::uint16_t R = TIMES_MOD_PRIME(TIMES_MOD_PRIME(R1, R2), R3);
    R1 = R2;
    R2 = R3;
    R3 = R;
    RI = 2 * RI + SEED_BIT(MZ_TABLES.CYCLE[(PLACE4 + JJ) % MZ_CYCLE], R);
  }
  U[1] = RI;
  // The other entries by stream.
  const int E[3] = {MZ_TABLES.LOGARITHM[static_cast<std::size_t>(UU1)],
                    MZ_TABLES.LOGARITHM[static_cast<std::size_t>(UU2)],
                    MZ_TABLES.LOGARITHM[static_cast<std::size_t>(UU3)]};
  SEED_STREAM_LANES lanes;
  for (std::size_t s = 0; s < SEED_STREAMS; ++s) {
    std::uint16_t* start[3] = {&lanes.R1[s], &lanes.R2[s], &lanes.R3[s]};
    for (std::size_t k = 0; k < 3; ++k) {
      const auto& c = MZ_TABLES.COMBINATION[s][k];
      *start[k] =
          MZ_TABLES.POWER[static_cast<std::size_t>((c[0] * E[0] + c[1] * E[1] + c[2] * E[2]) % MZ_ORDER)];
    }
  }
  std::array<std::uint16_t, SEED_STREAMS> high, low;
  for (std::size_t entry = 0; entry < SEED_STREAM_ENTRIES; ++entry) {
    const std::size_t row = PLACE4 + 1 + entry * BITS_PER_ENTRY;
    STREAM_BITS(lanes, row, BITS_PER_ENTRY / 2, high);
    STREAM_BITS(lanes, row + BITS_PER_ENTRY / 2, BITS_PER_ENTRY / 2, low);
    for (std::size_t s = 0; s < SEED_STREAMS; ++s)
      U[2 + SEED_STREAM_ENTRIES * s + entry] = INT32{high[s]} << (BITS_PER_ENTRY / 2) | low[s];
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
