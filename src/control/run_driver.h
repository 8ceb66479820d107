// The main block: start-up, the replicate loop with discard-and-redo, and
// the end with the elapsed time, the final results and the clean-up.
#pragma once

#include <cstdint>
#include <string>

namespace korvel {

// Runs one whole simulation in the working directory with the program-wide
// generator seeded from `seed`. Returns the exit status of a normal end.
int KORVEL_MAIN(std::uint32_t seed);

void INITIALIZE_ARRAYS();
// Called with RUN = 0 (records the start time) and with RUN = STOP_RUNS
// (records the end time and prints the elapsed time).
void TIMER();
void ERASE_OUTFILES();

// The elapsed-time console line for a time difference in seconds; a
// negative difference (the run passed midnight) is taken modulo one day.
std::string ELAPSED_TIME_LINE(long double time_difference);

}  // namespace korvel
