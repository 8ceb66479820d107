// Test support: the deliverable with its generator seeded from the first
// argument (an unsigned 32-bit integer), for reproducible end-to-end runs.
// It writes no seed line: its seed is its argument.
#include <cstdio>
#include <string_view>

#include "control/run_driver.h"
#include "control/seed_setting.h"

int main(int argc, char** argv) {
  const auto seed = korvel::PARSE_SEED_TEXT(argc > 1 ? argv[1] : "");
  if (!seed) {
    std::fprintf(stderr, "usage: %s SEED   (SEED: an unsigned 32-bit integer)\n", argv[0]);
    return 2;
  }
  return korvel::KORVEL_MAIN(*seed);
}
