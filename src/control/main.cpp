// The deliverable: the generator is seeded from KORVEL_SEED or the clock,
// and the seed is written to standard error so the run can be repeated.
#include <cstdio>

#include "control/program_help.h"
#include "control/run_driver.h"
#include "control/seed_setting.h"
#include "control/thread_count.h"

int main(int argc, char** argv) {
  // Before the seed is chosen, so that neither prints a seed line.
  if (argc == 2) {
    if (const auto answered = korvel::ANSWER_HELP_OR_VERSION(argv[1])) return *answered;
  }
  std::uint32_t seed = 0;
  if (const int refused = korvel::CHOOSE_SEED(seed); refused != 0) return refused;
  // A bad KORVEL_THREADS is refused before anything is written, the seed
  // line included; the run driver asks again for the count it uses.
  korvel::THREADS_TO_USE();
  std::fprintf(stderr, "%s\n", korvel::SEED_LINE(seed).c_str());
  return korvel::KORVEL_MAIN(seed);
}
