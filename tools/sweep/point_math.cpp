// Drift arithmetic, binomial intervals and the calibration limit.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <stdexcept>
#include <string>

#include "sweep.h"

namespace korvel::sweep {

namespace {

// The level every test is run at, and the share of a calibrated test's
// null results that the limit leaves above it (the upper half of 1 %).
constexpr EXTENDED NOMINAL_LEVEL = 0.05L;
constexpr EXTENDED UPPER_TAIL = 0.005L;

}  // namespace

int GENERATIONS_FOR_TARGET(EXTENDED target_fst, int drift_size) {
  if (target_fst == 0.0L) return 0;
  try {
    return GENERATIONS_FOR_FST(target_fst, drift_size);
  } catch (const std::invalid_argument& refused) {
    throw UsageError(refused.what());
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

namespace {

// SplitMix64's finaliser: every input bit affects every output bit.
std::uint64_t mix(std::uint64_t x) {
  x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ULL;
  x = (x ^ (x >> 27)) * 0x94D049BB133111EBULL;
  return x ^ (x >> 31);
}

}  // namespace

std::uint32_t POINT_SEED(std::uint32_t sweep_seed, const PointValues& values, int batch) {
  std::uint64_t state = mix(sweep_seed);
  for (long long value :
       {static_cast<long long>(values.drift_size), static_cast<long long>(values.generations),
        static_cast<long long>(values.sample_size.value_or(0)),
        static_cast<long long>(values.loci.value_or(0))}) {
    state = mix(state ^ static_cast<std::uint64_t>(value));
  }
  if (batch > 0) state = mix(state ^ mix(static_cast<std::uint64_t>(batch)));
  return static_cast<std::uint32_t>(state >> 32);
}

namespace {

// log P(X = k) for X ~ Binomial(runs, 0.05).
EXTENDED log_null_probability(long long k, long long runs) {
  const EXTENDED n = static_cast<EXTENDED>(runs), x = static_cast<EXTENDED>(k);
  return std::lgamma(n + 1.0L) - std::lgamma(x + 1.0L) - std::lgamma(n - x + 1.0L) +
         x * std::log(NOMINAL_LEVEL) + (n - x) * std::log1p(-NOMINAL_LEVEL);
}

}  // namespace

long long NULL_REJECTION_LIMIT(long long runs) {
  if (runs <= 0) return 0;
  // Binomial(runs, 0.05) summed from 0 upwards until it reaches 0.995; each
  // term from its logarithm, so that no power of 0.95 underflows.
  EXTENDED cumulative = 0;
  for (long long k = 0; k < runs; ++k) {
    cumulative += std::exp(log_null_probability(k, runs));
    if (cumulative >= 1.0L - UPPER_TAIL) return k;
  }
  return runs;
}

long long NULL_CONSERVATIVE_LIMIT(long long runs) {
  EXTENDED cumulative = 0;
  for (long long k = 0; k <= runs; ++k) {
    cumulative += std::exp(log_null_probability(k, runs));
    if (cumulative > UPPER_TAIL) return k - 1;
  }
  return runs;
}

Calibration CALIBRATION_VERDICT(long long significant, long long runs) {
  if (runs <= 0) return Calibration::OK;
  if (significant > NULL_REJECTION_LIMIT(runs)) return Calibration::MISCALIBRATED;
  if (significant <= NULL_CONSERVATIVE_LIMIT(runs)) return Calibration::CONSERVATIVE;
  return Calibration::OK;
}

const char* CALIBRATION_TEXT(Calibration verdict) {
  switch (verdict) {
    case Calibration::MISCALIBRATED:
      return "miscalibrated";
    case Calibration::CONSERVATIVE:
      return "conservative";
    case Calibration::OK:
      break;
  }
  return "ok";
}

const char* const CONSERVATIVE_EXPLANATION =
    "without drift it rejects far less often than 5 %, as tests do on loci with few alleles or rare "
    "alleles and as the exact test combined over loci does; its power is understated: use the "
    "chi-square test or leave out rare alleles with a minor-allele-frequency filter";

std::string SEED_TEXT(std::optional<std::uint32_t> seed) { return seed ? std::to_string(*seed) + "\n" : ""; }

std::string DESCRIBE_POINT(const InputFacts& facts, const PointValues& values) {
  std::string sizes;
  if (values.sample_size) {
    sizes = std::to_string(*values.sample_size);
  } else if (!facts.sample_sizes.empty()) {
    const auto [low, high] = std::minmax_element(facts.sample_sizes.begin(), facts.sample_sizes.end());
    sizes = *low == *high ? std::to_string(*low) : std::to_string(*low) + "-" + std::to_string(*high);
  }
  char buffer[160];
  std::snprintf(buffer, sizeof buffer, "F'st %.6Lf, t = %d, Ne = %d, n = %s, %d loci",
                EXPECTED_FST(values.drift_size, values.generations), values.generations, values.drift_size,
                sizes.c_str(), values.loci.value_or(facts.loci));
  return buffer;
}

}  // namespace korvel::sweep
