// Drift arithmetic and binomial intervals.
#include <cmath>
#include <cstdio>
#include <stdexcept>
#include <string>

#include "sweep.h"

namespace korvel::sweep {

namespace {

// 0.975 quantile of the standard normal distribution.
constexpr EXTENDED Z_95 = 1.95996398454005423552L;

}  // namespace

int GENERATIONS_FOR_FST(EXTENDED target_fst, int drift_size) {
  try {
    return korvel::GENERATIONS_FOR_FST(target_fst, drift_size);
  } catch (const std::invalid_argument& refused) {
    throw SweepError(refused.what());
  }
}

Interval WILSON_INTERVAL(long long successes, long long trials) {
  if (trials <= 0) return {0.0L, 1.0L};
  const EXTENDED n = static_cast<EXTENDED>(trials);
  const EXTENDED p = static_cast<EXTENDED>(successes) / n;
  const EXTENDED z2 = Z_95 * Z_95;
  const EXTENDED denominator = 1.0L + z2 / n;
  const EXTENDED centre = (p + z2 / (2.0L * n)) / denominator;
  const EXTENDED half = Z_95 * std::sqrt(p * (1.0L - p) / n + z2 / (4.0L * n * n)) / denominator;
  Interval interval{centre - half, centre + half};
  // At k = 0 and k = n one end is exactly 0 or 1; keep rounding from
  // leaving it a hair outside.
  if (successes <= 0 || interval.low < 0.0L) interval.low = 0.0L;
  if (successes >= trials || interval.high > 1.0L) interval.high = 1.0L;
  return interval;
}

}  // namespace korvel::sweep
