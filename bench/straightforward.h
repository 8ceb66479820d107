// The straightforward transcriptions the benchmarks set the fast paths
// against: the allele draw as a scan over extended cumulative sums with the
// standard library's MT19937, and the exact test's chain with its generator
// in extended reals, step by step, each a plain transcription of the
// program's rules.
#pragma once

#include <array>
#include <cmath>
#include <cstdint>
#include <random>

#include "common/capacity.h"
#include "common/number_types.h"
#include "common/tables.h"

namespace korvel::bench {

inline void SAMPLE_ALLELES_STRAIGHTFORWARD(std::mt19937& engine) {
  for (auto& pop : ALL_POPS_ACOUNT)
    for (auto& locus : pop) locus.fill(0);
  for (INT16 i = 1; i <= NUMBPOPS; ++i) {
    for (INT16 j = 1; j <= NUMBLOCI; ++j) {
      INT16 N = 0;
      do {
        INT16 L = 0, K = 0;
        const EXTENDED X = static_cast<EXTENDED>(static_cast<std::uint32_t>(engine())) / 4294967296.0L;
        EXTENDED PR = 0.0L;
        do {
          ++K;
          PR = PR + ALL_POPS_AFREQ[i][j][K];
          if (X <= PR) {
            ++ALL_POPS_ACOUNT[i][j][K];
            ++L;
          }
        } while (L != 1 && K < ALLELES_PER_LOCUS[j]);
        if (L == 0) ++ALL_POPS_ACOUNT[i][j][K];
        ++N;
      } while (N != 2 * NUMB_DIPLOIDS_TO_SAMPLE[i]);
    }
  }
}

struct STRAIGHTFORWARD_CHAIN {
  INT32 N = 0, M = 0, MEM = 0, B = 0, C = 0;
  std::array<std::array<INT32, MAX_ALLELES + 1>, MAX_POPS + 1> MM{};
  INT16 UU1 = 0, UU2 = 0, UU3 = 0, UU4 = 0;
  std::array<EXTENDED, 98> U{};
  EXTENDED DI = 0, DD = 0, DM = 0, UNI = 0, RHO = 0, HM = 0, HECA = 0;
  INT16 DP = 0, DQ = 0;
  INT32 OP1 = 0, OP2 = 0, ALL1 = 0, ALL2 = 0, CNMOY = 0;
  EXTENDED PROB1 = 0, PROB2 = 0, PROB = 0, PSWITCH = 0;

  void MAKE_RANDOM() {
    INT16 U1 = UU1, U2 = UU2, U3 = UU3, U4 = UU4;
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
    if (--DP == 0) DP = 97;
    if (--DQ == 0) DQ = 97;
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
    PROB1 = MM[OP1][ALL1] * MM[OP2][ALL2];
    if (PROB1 != 0.0L) {
      PROB2 = (MM[OP2][ALL1] + 1) * (MM[OP1][ALL2] + 1);
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
    HECA = std::sqrt((HECA - HM * HM / B) / B / (B - 1));
    HM = HM / B;
  }
};

}  // namespace korvel::bench
