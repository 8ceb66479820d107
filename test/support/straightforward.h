// The straightforward transcriptions that the fast paths are measured and
// proven against: the allele draw as a scan over the running extended sum
// of the frequencies with the standard library's MT19937, and the exact
// test's chain with its generator in extended reals, step by step. They are
// kept plain on purpose; the identity tests (test/identity) require the program
// to give the same results bit for bit, and the benchmarks (bench/) time
// the program against them.
#pragma once

#include <array>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <random>

#include "common/number_types.h"
#include "common/tables.h"
#include "tests/exact_test_state.h"

namespace korvel::reference {

// For every gene copy one real draw X = g / 2^32, scanned against the
// running sum; the smallest allele whose sum reaches X, or, for a draw above
// the locus's total, the last allele of non-zero frequency.
inline void SAMPLE_ALLELES_REFERENCE(std::mt19937& engine, POP2& counts) {
  std::memset(&counts, 0, sizeof counts);
  for (INT16 i = 1; i <= NUMBPOPS; ++i) {
    for (INT16 j = 1; j <= NUMBLOCI; ++j) {
      INT16 last = 1;
      for (INT16 k = 1; k <= ALLELES_PER_LOCUS[j]; ++k)
        if (ALL_POPS_AFREQ[i][j][k] != 0.0) last = k;
      for (INT32 N = 0; N < 2 * NUMB_DIPLOIDS_TO_SAMPLE[i]; ++N) {
        const EXTENDED X = static_cast<EXTENDED>(static_cast<std::uint32_t>(engine())) / 4294967296.0L;
        EXTENDED PR = 0.0L;
        INT16 K = 0;
        INT16 L = 0;
        do {
          ++K;
          PR = PR + ALL_POPS_AFREQ[i][j][K];
          if (X <= PR || K == last) {
            ++counts[i][j][K];
            ++L;
          }
        } while (L != 1);
      }
    }
  }
}

// The chain's 32-bit products, formed without undefined overflow.
inline INT32 WRAPPED_PRODUCT(INT32 a, INT32 b) {
  return static_cast<INT32>(static_cast<std::int64_t>(a) * static_cast<std::int64_t>(b));
}

struct REFERENCE_CHAIN {
  INT16 N = 0, M = 0;
  INT32 MEM = 0, B = 0, C = 0;
  EXACT_TEST_STATE::COUNT_TABLE MM{};
  INT16 UU1 = 0, UU2 = 0, UU3 = 0, UU4 = 0;
  std::array<EXTENDED, 98> U{};
  EXTENDED DI = 0, DD = 0, DM = 0, UNI = 0, RHO = 0, HM = 0, HECA = 0;
  INT16 DP = 0, DQ = 0;
  INT32 OP1 = 0, OP2 = 0, ALL1 = 0, ALL2 = 0, CNMOY = 0;
  EXTENDED PROB1 = 0, PROB2 = 0, PROB = 0, PSWITCH = 0;

  void MAKE_RANDOM() {
    INT16 U1 = UU1, U2 = UU2, U3 = UU3, U4 = UU4;
    for (auto& u : U) u = 0.0L;
    for (INT16 II = 1; II <= 97; ++II) {
      EXTENDED RI = 0.0L, RJ = 0.5L;
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
  void GOSUB100() {
    UNI = U[DP] - U[DQ];
    if (UNI < 0.0L) UNI = UNI + 1.0L;
    U[DP] = UNI;
    DP = static_cast<INT16>(DP - 1);
    if (DP == 0) DP = 97;
    DQ = static_cast<INT16>(DQ - 1);
    if (DQ == 0) DQ = 97;
    DI = DI - DD;
    if (DI < 0.0L) DI = DI + DM;
    UNI = UNI - DI;
    if (UNI < 0.0L) UNI = UNI + 1.0L;
  }
  void GOSUB20() {
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
  void GOSUB110() {
    --MM[OP1][ALL1];
    --MM[OP2][ALL2];
    ++MM[OP1][ALL2];
    ++MM[OP2][ALL1];
    RHO = RHO + std::log(PROB);
  }
  void STEP() {
    GOSUB20();
    PROB1 = WRAPPED_PRODUCT(MM[OP1][ALL1], MM[OP2][ALL2]);
    if (PROB1 != 0.0L) {
      PROB2 = WRAPPED_PRODUCT(MM[OP2][ALL1] + 1, MM[OP1][ALL2] + 1);
      PROB = PROB1 / PROB2;
      if (PROB < 1.0L) {
        PSWITCH = PROB;
        GOSUB100();
        if (PSWITCH >= UNI) GOSUB110();
      } else {
        GOSUB110();
      }
    }
    if (std::fabs(RHO) < 1.0E-8L) RHO = 0.0L;
  }
  void CHAINE() {
    RHO = 0.0L;
    for (INT32 KK = 1; KK <= MEM; ++KK) STEP();
    CNMOY = 0;
    HM = 0.0L;
    HECA = 0.0L;
    for (INT32 K = 1; K <= B; ++K) {
      for (INT32 CL = 0; CL <= C - 1; ++CL) {
        STEP();
        if (RHO <= 0.0L) ++CNMOY;
      }
      const EXTENDED P = static_cast<EXTENDED>(CNMOY) / C;
      HM = HM + P;
      HECA = HECA + P * P;
      CNMOY = 0;
    }
    const EXTENDED VARIANCE = (HECA - HM * HM / B) / B / (B - 1);
    HECA = VARIANCE > 0.0L ? std::sqrt(VARIANCE) : 0.0L;
    HM = HM / B;
  }
};

}  // namespace korvel::reference
