// The exact test of allele-frequency homogeneity for one locus. A Metropolis
// walk over the tables with the observed margins, whose target is the
// conditional distribution P(table) ~ 1 / prod MM[i][j]!, estimates the
// probability of a table no more probable than the observed one. Only ratios
// of table probabilities are ever formed: RHO carries ln(P(current) /
// P(observed)) from switch to switch.
#include "tests/exact_test.h"

#include <cmath>
#include <cstdint>
#include <string>

#include "common/console.h"
#include "common/failure.h"
#include "common/text_input.h"
#include "tests/exact_test_state.h"
#include "tests/locus_tests.h"
#include "tests/test_state.h"

namespace korvel {

namespace {

constexpr INT16 LOWEST_SEED = 1;
constexpr INT16 HIGHEST_SEED = 168;
constexpr int LAG_TABLE_SIZE = 97;
// Below this, RHO is rounding noise of a walk back to the observed table.
constexpr EXTENDED RHO_TOLERANCE = 1.0E-8L;

bool SEED_OUT_OF_RANGE(INT16 seed) { return seed > HIGHEST_SEED || seed < LOWEST_SEED; }

// A 32-bit signed product, as the chain forms it; wraps (never undefined)
// on counts no table of this program reaches.
INT32 PRODUCT32(INT32 a, INT32 b) {
  return static_cast<INT32>(static_cast<std::int64_t>(a) * static_cast<std::int64_t>(b));
}

}  // namespace

void EXACT_TEST_STATE::READINFILE() {
  bool CHECK = false;
  TextIn INFILE;
  INFILE.OPEN(CONTTAB_FILE_NAME);
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
  if (SEED_OUT_OF_RANGE(UU1) || SEED_OUT_OF_RANGE(UU2) || SEED_OUT_OF_RANGE(UU3) ||
      SEED_OUT_OF_RANGE(UU4)) {
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
    LIGNE = 0;
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
    COLON = 0;
    for (INT32 i = 1; i <= N; ++i) COLON += MM[i][j];
    if (COLON == 0) CONSOLE_LINE("Warning: Column " + std::to_string(j) + " is empty!");
  }
  INFILE.CLOSE();

  if (CHECK) PROGRAM_STOP();
}

// Marsaglia-Zaman universal generator (RANMAR): the lag table is filled bit
// by bit from a lagged Fibonacci multiplicative sequence mod 179 combined
// with a congruential sequence mod 169.
void EXACT_TEST_STATE::MAKE_RANDOM() {
  INT16 U1 = UU1, U2 = UU2, U3 = UU3, U4 = UU4;
  for (auto& value : U) value = 0.0L;
  for (INT16 II = 1; II <= LAG_TABLE_SIZE; ++II) {
    EXTENDED RI = 0.0L;
    EXTENDED RJ = 0.5L;
    for (INT16 JJ = 1; JJ <= 24; ++JJ) {
      const INT16 R1 = static_cast<INT16>(((INT32{U1} * U2) % 179 * U3) % 179);
      U1 = U2;
      U2 = U3;
      U3 = R1;
      U4 = static_cast<INT16>((53 * INT32{U4} + 1) % 169);
      if ((INT32{U4} * R1) % 64 >= 32) RI = RI + RJ;
      RJ = 0.5L * RJ;
    }
    U[II] = RI;
  }
  DI = 362436.0L / 16777216.0L;
  DD = 7654321.0L / 16777216.0L;
  DM = 16777213.0L / 16777216.0L;
  DP = 97;
  DQ = 33;
}

void EXACT_TEST_STATE::GOSUB100() {
  UNI = U[DP] - U[DQ];
  if (UNI < 0.0L) UNI = UNI + 1.0L;
  U[DP] = UNI;
  DP = static_cast<INT16>(DP - 1);
  if (DP == 0) DP = LAG_TABLE_SIZE;
  DQ = static_cast<INT16>(DQ - 1);
  if (DQ == 0) DQ = LAG_TABLE_SIZE;
  DI = DI - DD;
  if (DI < 0.0L) DI = DI + DM;
  UNI = UNI - DI;
  if (UNI < 0.0L) UNI = UNI + 1.0L;
}

void EXACT_TEST_STATE::GOSUB20() {
  GOSUB100();
  OP1 = static_cast<INT32>(N * UNI + 1.0L);
  GOSUB100();
  ALL1 = static_cast<INT32>(M * UNI + 1.0L);
  do {
    GOSUB100();
    OP2 = static_cast<INT32>(N * UNI + 1.0L);
  } while (OP2 == OP1);
  do {
    GOSUB100();
    ALL2 = static_cast<INT32>(M * UNI + 1.0L);
  } while (ALL2 == ALL1);
}

void EXACT_TEST_STATE::GOSUB110() {
  --MM[OP1][ALL1];
  --MM[OP2][ALL2];
  ++MM[OP1][ALL2];
  ++MM[OP2][ALL1];
  RHO = RHO + std::log(PROB);
}

void EXACT_TEST_STATE::STEP() {
  GOSUB20();
  const INT32 NUMERATOR = PRODUCT32(MM[OP1][ALL1], MM[OP2][ALL2]);
  PROB1 = NUMERATOR;
  // A switch that would take a unit from an empty cell is never made.
  if (NUMERATOR != 0) {
    PROB2 = PRODUCT32(MM[OP2][ALL1] + 1, MM[OP1][ALL2] + 1);
    PROB = PROB1 / PROB2;
    if (PROB < 1.0L) {
      PSWITCH = PROB;
      GOSUB100();
      if (PSWITCH >= UNI) GOSUB110();
    } else {
      GOSUB110();
    }
  }
  if (std::fabs(RHO) < RHO_TOLERANCE) RHO = 0.0L;
}

void EXACT_TEST_STATE::DEMEMORIZATION() {
  RHO = 0.0L;
  for (INT32 KK = 1; KK <= MEM; ++KK) STEP();
}

void EXACT_TEST_STATE::CHAINE() {
  DEMEMORIZATION();
  CNMOY = 0;
  HM = 0.0L;
  HECA = 0.0L;
  for (INT32 K = 1; K <= B; ++K) {
    for (INT32 CL = 0; CL <= C - 1; ++CL) {
      STEP();
      if (RHO <= 0.0L) ++CNMOY;
    }
    // A batch without steps (C < 1) has no fraction to count.
    const EXTENDED P = C > 0 ? static_cast<EXTENDED>(CNMOY) / static_cast<EXTENDED>(C) : 0.0L;
    HM = HM + P;
    HECA = HECA + P * P;
    CNMOY = 0;
  }
  if (B < 1) return;
  const EXTENDED BATCHES = static_cast<EXTENDED>(B);
  // The spread needs two batches, and rounding can leave the sum of
  // squared deviations slightly below 0 when all fractions are equal: in
  // both cases the standard error is 0, never a NaN.
  const EXTENDED VARIANCE =
      B < 2 ? 0.0L : (HECA - HM * HM / BATCHES) / BATCHES / static_cast<EXTENDED>(B - 1);
  HECA = VARIANCE > 0.0L ? std::sqrt(VARIANCE) : 0.0L;
  HM = HM / BATCHES;
}

void FISHER() {
  EXACT_TEST_STATE STATE;
  STATE.READINFILE();
  STATE.MAKE_RANDOM();
  STATE.CHAINE();
}

}  // namespace korvel
