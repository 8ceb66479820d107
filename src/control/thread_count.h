// How many threads run the exact tests' chains: KORVEL_THREADS from the
// environment, else every core the process may run on (its CPU affinity,
// so that a batch scheduler's allocation is respected).
#pragma once

#include <optional>
#include <string>

namespace korvel {

inline constexpr const char* THREADS_VARIABLE = "KORVEL_THREADS";
inline constexpr int MAX_THREADS = 1024;

// The value of KORVEL_THREADS as a thread count, or nothing when it is not
// a whole number in 1..MAX_THREADS (blanks around it are allowed).
std::optional<int> PARSE_THREAD_COUNT(const std::string& text);

// The thread count to use. A KORVEL_THREADS that is set but not a valid
// count stops the program with a message saying so, before any output.
int THREADS_TO_USE();

}  // namespace korvel
