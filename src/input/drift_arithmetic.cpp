#include "input/drift_arithmetic.h"

#include <cmath>
#include <cstdio>
#include <stdexcept>
#include <string>

#include "common/capacity_profiles.h"

namespace korvel {

namespace {

std::string NUMBER_TEXT(EXTENDED value) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%.6Lg", value);
  return buffer;
}

}  // namespace

EXTENDED EXPECTED_FST(int drift_size, int generations) {
  EXTENDED X = 1.0L - 1.0L / (2.0L * static_cast<EXTENDED>(drift_size));
  X = static_cast<EXTENDED>(generations) * std::log(X);
  X = std::exp(X);
  X = 1.0L - X;
  return X;
}

int GENERATIONS_FOR_FST(EXTENDED target_fst, int drift_size) {
  if (drift_size < 1 || drift_size > MAX_DIPLOIDS) {
    throw std::invalid_argument("effective size " + std::to_string(drift_size) + " is outside 1.." +
                                std::to_string(MAX_DIPLOIDS));
  }
  if (!(target_fst > 0.0L && target_fst < 1.0L)) {
    throw std::invalid_argument("target F'st " + NUMBER_TEXT(target_fst) + " is not between 0 and 1");
  }
  // N = 1 makes the base 1/2, so the logarithm below is never of 1.
  const EXTENDED per_generation = std::log(1.0L - 1.0L / (2.0L * static_cast<EXTENDED>(drift_size)));
  const EXTENDED exact = std::log(1.0L - target_fst) / per_generation;
  if (exact > static_cast<EXTENDED>(MAX_GENERATIONS) + 0.5L) {
    throw std::invalid_argument("target F'st " + NUMBER_TEXT(target_fst) + " needs about " +
                                NUMBER_TEXT(exact) + " generations with N = " + std::to_string(drift_size) +
                                ", more than the " + std::to_string(MAX_GENERATIONS) +
                                " the input file can hold");
  }
  const long long rounded = std::llround(exact);
  return rounded < 1 ? 1 : static_cast<int>(rounded);
}

}  // namespace korvel
