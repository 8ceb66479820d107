#include "tests/exact_resolution.h"

#include <cstdio>

#include "common/capacity.h"
#include "common/tables.h"

namespace korvel {

namespace {

std::int64_t ZERO_P_LOCI = 0;
std::int64_t EXACT_TESTED_LOCI = 0;

std::string FORMATTED(const char* format, double value) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, format, value);
  return buffer;
}

}  // namespace

void CLEAR_EXACT_RESOLUTION_COUNTS() {
  ZERO_P_LOCI = 0;
  EXACT_TESTED_LOCI = 0;
}

void COUNT_EXACT_P(EXTENDED p) {
  ++EXACT_TESTED_LOCI;
  if (p == 0.0L) ++ZERO_P_LOCI;
}

std::string EXACT_RESOLUTION_WARNING(std::int64_t zero_p_loci, std::int64_t tested_loci, INT32 batches,
                                     INT32 steps_per_batch) {
  const std::int64_t counted = static_cast<std::int64_t>(batches) * steps_per_batch;
  if (zero_p_loci == 0 || tested_loci == 0 || counted >= ADEQUATE_COUNTED_STEPS) return "";
  const std::string share = FORMATTED(
      "%.2g", 100.0 * static_cast<double>(zero_p_loci) / static_cast<double>(tested_loci));
  const std::string name = BUILD_NAME;
  return name + ": warning: " + std::to_string(zero_p_loci) + " of " + std::to_string(tested_loci) +
         " tested loci (" + share + " %) had an estimated exact-test P of 0.\n" + "  With " +
         std::to_string(batches) + " batches of " + std::to_string(steps_per_batch) + " steps (" +
         std::to_string(counted) + " counted steps per locus) an estimate of 0 only says P < 1/" +
         std::to_string(counted) + ",\n" + "  yet each such locus entered Fisher's combination as P = " +
         FORMATTED("%.5f", static_cast<double>(SMALLEST_EXACT_P)) + ": the combined exact test is\n" +
         "  anti-conservative (the Fisher column of KORVEL.OUT rejects too often; its power is overstated).\n" +
         "  Use at least " + std::to_string(ADEQUATE_COUNTED_STEPS) +
         " counted steps (batches x steps per batch on line 3 of KORVEL.IN),\n" +
         "  e.g. 1000 100 200 or more, or read the chi-square column.\n";
}

void WARN_ABOUT_EXACT_RESOLUTION() {
  if (!TEST_IS_ON(RUN_FISHER)) return;
  const std::string warning = EXACT_RESOLUTION_WARNING(ZERO_P_LOCI, EXACT_TESTED_LOCI, ITER2, ITER3);
  std::fwrite(warning.data(), 1, warning.size(), stderr);
}

}  // namespace korvel
