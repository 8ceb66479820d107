// How many threads run the exact tests' chains: KORVEL_THREADS from the
// environment, else every core the process may run on (its CPU affinity,
// so that a batch scheduler's allocation is respected).
#pragma once

#include "input/run_settings.h"
#include "input/shared_names.h"

namespace korvel {

// The thread count to use. A KORVEL_THREADS that is set but not a valid
// count stops the program with a message saying so, before any output.
int THREADS_TO_USE();

}  // namespace korvel
