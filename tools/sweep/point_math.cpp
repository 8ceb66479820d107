// Drift arithmetic and binomial intervals.
#include <cmath>
#include <cstdio>
#include <string>

#include "sweep.h"

namespace korvel::sweep {

namespace {

// 0.975 quantile of the standard normal distribution.
constexpr EXTENDED Z_95 = 1.95996398454005423552L;

std::string number_text(EXTENDED value) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%.6Lg", value);
  return buffer;
}

}  // namespace

EXTENDED EXPECTED_FST(int drift_size, int generations) {
  EXTENDED x = 1.0L - 1.0L / (2.0L * static_cast<EXTENDED>(drift_size));
  x = static_cast<EXTENDED>(generations) * std::log(x);
  x = std::exp(x);
  return 1.0L - x;
}

int GENERATIONS_FOR_FST(EXTENDED target_fst, int drift_size) {
  if (drift_size < 1 || drift_size > MAX_DRIFT_SIZE) {
    throw SweepError("effective size " + std::to_string(drift_size) + " is outside 1.." +
                     std::to_string(MAX_DRIFT_SIZE));
  }
  if (!(target_fst > 0.0L && target_fst < 1.0L)) {
    throw SweepError("target F'st " + number_text(target_fst) + " is not between 0 and 1");
  }
  // N = 1 makes the base 1/2, so the logarithm below is never of 1.
  const EXTENDED per_generation = std::log(1.0L - 1.0L / (2.0L * static_cast<EXTENDED>(drift_size)));
  const EXTENDED exact = std::log(1.0L - target_fst) / per_generation;
  if (exact > static_cast<EXTENDED>(MAX_GENERATIONS) + 0.5L) {
    throw SweepError("target F'st " + number_text(target_fst) + " needs about " +
                     number_text(exact) + " generations with N = " + std::to_string(drift_size) +
                     ", more than the " + std::to_string(MAX_GENERATIONS) +
                     " the input file can hold");
  }
  const long long rounded = std::llround(exact);
  return rounded < 1 ? 1 : static_cast<int>(rounded);
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
