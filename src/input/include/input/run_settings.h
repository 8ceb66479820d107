// The texts a run's settings come in from outside the input file (the
// environment, a tool's command line), read by one set of rules for the
// programs and their tools, and the cores a process may use.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace korvel {

// A generator seed: a whole number 0..4294967295 in decimal digits (no
// sign, no blanks).
std::optional<std::uint32_t> PARSE_SEED_TEXT(std::string_view text);

inline constexpr int MAX_THREADS = 1024;
// A thread count: a whole number in 1..MAX_THREADS (blanks around it are
// allowed).
std::optional<int> PARSE_THREAD_COUNT(const std::string& text);

// The cores this process may run on: its CPU affinity, so that a batch
// scheduler's allocation is respected; at least 1.
int CORES_OF_THE_PROCESS();

}  // namespace korvel
