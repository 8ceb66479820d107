// Test support: the deliverable with its generator seeded from the first
// argument (an unsigned 32-bit integer), for reproducible end-to-end runs.
#include <cstdio>
#include <cstdlib>
#include <string_view>

#include "control/run_driver.h"

int main(int argc, char** argv) {
  const std::string_view text = argc > 1 ? argv[1] : "";
  unsigned long long seed = 0;
  bool valid = !text.empty() && text.size() <= 10;
  for (char c : text) {
    if (c < '0' || c > '9') valid = false;
    else seed = seed * 10 + static_cast<unsigned>(c - '0');
  }
  if (!valid || seed > 0xFFFFFFFFULL) {
    std::fprintf(stderr, "usage: %s SEED   (SEED: an unsigned 32-bit integer)\n", argv[0]);
    return 2;
  }
  return korvel::KORVEL_MAIN(static_cast<std::uint32_t>(seed));
}
