// CHI2PROB: Q(A, X), the regularized upper incomplete gamma function, used
// as the chi-square tail probability with A = df / 2 and X = chi-square / 2.
//
// Up to 100 degrees of freedom the series (GSER) or the continued fraction
// (GCF) is summed, with ln Gamma from Lanczos's formula (GAMMLN); above 100
// degrees of freedom the Wilson-Hilferty cube-root transformation maps the
// chi-square onto a normal deviate whose tail comes from the Abramowitz and
// Stegun polynomial 26.2.17. A numerical failure is not fatal: it is shown
// on the console, the program waits for Enter and carries on.
#include "tests/chi2prob/chi2prob.h"

#include <cmath>

#include "common/console.h"

namespace korvel {

namespace {

constexpr int ITMAX = 3000;
constexpr EXTENDED EPS = 3.0E-7L;
constexpr EXTENDED STP = 2.50662827465L;

// Above this many degrees of freedom the normal approximation is used; at
// or below it a chi-square above CHI_CUTOFF is taken as certainly significant.
constexpr INT32 DF_NORMAL_THRESHOLD = 100;
constexpr EXTENDED CHI_CUTOFF = 200.0L;

// Normal approximation. The density divisor is sqrt(2 * 3.1415926), not
// sqrt(2 pi): results are compared with those of the original constant.
constexpr EXTENDED ONE_THIRD = 0.33333333333333333334L;
constexpr EXTENDED Z_CUTOFF = 5.0L;
constexpr EXTENDED NORMAL_DIVISOR = 2.5066282532517661L;
constexpr EXTENDED P_TAIL = 0.2316419L;
constexpr EXTENDED TAIL_B1 = 0.31938153L;
constexpr EXTENDED TAIL_B2 = -0.356563782L;
constexpr EXTENDED TAIL_B3 = 1.781477937L;
constexpr EXTENDED TAIL_B4 = -1.821255978L;
constexpr EXTENDED TAIL_B5 = 1.330274429L;

void NUMERICAL_PAUSE(const char* message) {
  CONSOLE_LINE(message);
  WAIT_FOR_ENTER();
}

// Wilson-Hilferty: (chi/df)^(1/3) is nearly normal with mean 1 - 2/(9 df)
// and variance 2/(9 df).
EXTENDED NORMAL_APPROXIMATION(INT32 DF, EXTENDED CHI) {
  // ln 0 has no value, and the tail of a chi-square at (or below) 0 is 1.
  if (CHI <= 0.0L) return 1.0L;
  const INT32 NINE_DF = 9 * DF;
  const EXTENDED RATIO = CHI / static_cast<EXTENDED>(DF);
  const EXTENDED VARIANCE = 2.0L / static_cast<EXTENDED>(NINE_DF);
  EXTENDED XX = (std::exp(std::log(RATIO) * ONE_THIRD) - (1.0L - VARIANCE)) / std::sqrt(VARIANCE);
  if (XX > Z_CUTOFF) return 0.0L;
  const bool XY = XX < 0.0L;
  XX = std::fabs(XX);
  const EXTENDED ZXX = std::exp(-XX * XX / 2.0L) / NORMAL_DIVISOR;
  const EXTENDED TT = 1.0L / (1.0L + P_TAIL * XX);
  const EXTENDED LN_TT = std::log(TT);
  EXTENDED QXX = TAIL_B1 * TT + TAIL_B2 * (TT * TT) + TAIL_B3 * std::exp(3.0L * LN_TT);
  QXX = (QXX + TAIL_B4 * std::exp(4.0L * LN_TT) + TAIL_B5 * std::exp(5.0L * LN_TT)) * ZXX;
  return XY ? 1.0L - QXX : QXX;
}

}  // namespace

EXTENDED GAMMQ(EXTENDED A, EXTENDED X) {
  const INT32 DF = static_cast<INT32>(std::llround(2.0L * A));
  const EXTENDED CHI = 2.0L * X;
  if (DF > DF_NORMAL_THRESHOLD) return NORMAL_APPROXIMATION(DF, CHI);
  if (CHI > CHI_CUTOFF) return 0.0L;
  if (X < 0.0L || A <= 0.0L) {
    NUMERICAL_PAUSE("pause in GAMMQ - invalid arguments");
    // Zero degrees of freedom (a table with one non-empty row or column)
    // carries no evidence of heterogeneity; ln Gamma(0) has no value.
    if (A <= 0.0L) return 1.0L;
  }
  EXTENDED GLN = 0.0L;
  if (X < A + 1.0L) {
    EXTENDED GAMSER = 0.0L;
    GSER(A, X, GAMSER, GLN);
    return 1.0L - GAMSER;
  }
  EXTENDED GAMMCF = 0.0L;
  GCF(A, X, GAMMCF, GLN);
  return GAMMCF;
}

void GSER(EXTENDED A, EXTENDED X, EXTENDED& GAMSER, EXTENDED& GLN) {
  GLN = GAMMLN(A);
  if (X <= 0.0L) {
    if (X < 0.0L) NUMERICAL_PAUSE("pause in GSER - x less than 0");
    GAMSER = 0.0L;
    return;
  }
  EXTENDED AP = A;
  EXTENDED SUM = 1.0L / A;
  EXTENDED DEL = SUM;
  bool converged = false;
  for (int N = 1; N <= ITMAX; ++N) {
    AP = AP + 1.0L;
    DEL = DEL * X / AP;
    SUM = SUM + DEL;
    if (std::fabs(DEL) < std::fabs(SUM) * EPS) {
      converged = true;
      break;
    }
  }
  if (!converged) NUMERICAL_PAUSE("pause in GSER - a too large, itmax too small");
  GAMSER = SUM * std::exp(-X + A * std::log(X) - GLN);
}

void GCF(EXTENDED A, EXTENDED X, EXTENDED& GAMMCF, EXTENDED& GLN) {
  GLN = GAMMLN(A);
  EXTENDED GOLD = 0.0L;
  EXTENDED A0 = 1.0L;
  EXTENDED A1 = X;
  EXTENDED B0 = 0.0L;
  EXTENDED B1 = 1.0L;
  EXTENDED FAC = 1.0L;
  EXTENDED G = 0.0L;
  bool converged = false;
  for (int N = 1; N <= ITMAX; ++N) {
    const EXTENDED AN = static_cast<EXTENDED>(N);
    const EXTENDED ANA = AN - A;
    A0 = (A1 + A0 * ANA) * FAC;
    B0 = (B1 + B0 * ANA) * FAC;
    const EXTENDED ANF = FAC * AN;
    A1 = X * A0 + ANF * A1;
    B1 = X * B0 + ANF * B1;
    if (A1 != 0.0L) {
      FAC = 1.0L / A1;
      G = B1 * FAC;
      if (std::fabs((G - GOLD) / G) < EPS) {
        converged = true;
        break;
      }
      GOLD = G;
    }
  }
  if (!converged) NUMERICAL_PAUSE("pause in GCF - a too large, itmax too small");
  GAMMCF = std::exp(-X + A * std::log(X) - GLN) * G;
}

EXTENDED GAMMLN(EXTENDED XX) {
  const bool BELOW_ONE = XX < 1.0L;
  // Below 1 the formula gives ln Gamma(XX + 1), and ln XX is taken off.
  const EXTENDED X = BELOW_ONE ? XX : XX - 1.0L;
  EXTENDED TMP = X + 5.5L;
  TMP = (X + 0.5L) * std::log(TMP) - TMP;
  EXTENDED SER = 1.0L;
  SER = SER + 76.18009173L / (X + 1.0L);
  SER = SER - 86.50532033L / (X + 2.0L);
  SER = SER + 24.01409822L / (X + 3.0L);
  SER = SER - 1.231739516L / (X + 4.0L);
  SER = SER + 0.120858003E-2L / (X + 5.0L);
  SER = SER - 0.536382E-5L / (X + 6.0L);
  if (BELOW_ONE) return std::log(STP * SER) + TMP - std::log(XX);
  return TMP + std::log(STP * SER);
}

}  // namespace korvel
