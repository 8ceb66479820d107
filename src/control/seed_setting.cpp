#include "control/seed_setting.h"

#include <cstdio>
#include <cstdlib>

#include "common/capacity.h"
#include "common/random_generator.h"

namespace korvel {

std::string SEED_LINE(std::uint32_t seed) {
  const std::string number = std::to_string(seed);
  return "seed " + number + "; set " + SEED_VARIABLE + "=" + number + " to repeat this run";
}

int CHOOSE_SEED(std::uint32_t& seed) {
  const char* text = std::getenv(SEED_VARIABLE);
  if (text == nullptr) {
    seed = SEED_FROM_CLOCK();
    return 0;
  }
  const std::optional<std::uint32_t> parsed = PARSE_SEED_TEXT(text);
  if (!parsed) {
    std::fprintf(
        stderr,
        "%s: %s is \"%s\"; it must be a whole number from 0 to 4294967295 (unset it for a seed from the clock)\n",
        BUILD_NAME, SEED_VARIABLE, text);
    return 2;
  }
  seed = *parsed;
  return 0;
}

}  // namespace korvel
