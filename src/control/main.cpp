// The deliverable: the generator is seeded from the clock.
#include "common/random_generator.h"
#include "control/run_driver.h"

int main() { return korvel::KORVEL_MAIN(korvel::SEED_FROM_CLOCK()); }
