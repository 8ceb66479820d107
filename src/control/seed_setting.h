// Where a run's generator seed comes from. The deliverables take it from the
// environment variable KORVEL_SEED when it is set, else from the clock, and
// say on standard error which seed they used, so that any run can be
// repeated exactly. The test-support programs take it from their argument.
#pragma once

#include <cstdint>
#include <string>

#include "input/run_settings.h"
#include "input/shared_names.h"

namespace korvel {

// "seed S; set KORVEL_SEED=S to repeat this run"
std::string SEED_LINE(std::uint32_t seed);

// The seed of a run of a deliverable: KORVEL_SEED when set, else the clock.
// An unusable KORVEL_SEED is refused on standard error, before any other
// output, with exit status 2. Returns the exit status to end with, or 0 with
// `seed` set.
int CHOOSE_SEED(std::uint32_t& seed);

}  // namespace korvel
