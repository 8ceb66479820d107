#include "common/random_generator.h"

#include <unistd.h>

#include <chrono>
#include <ctime>

namespace korvel {

std::mt19937 RANDOM_GENERATOR;

void SEED_RANDOM_GENERATOR(std::uint32_t seed) { RANDOM_GENERATOR.seed(seed); }

namespace {

// SplitMix64 finaliser: spreads every input bit over the whole word, so
// that nearby clock readings and process ids give unrelated seeds.
std::uint64_t mix64(std::uint64_t z) {
  z += 0x9E3779B97F4A7C15ULL;
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
  return z ^ (z >> 31);
}

}  // namespace

std::uint32_t SEED_FROM_CLOCK() {
  timespec tick{};
  ::clock_gettime(CLOCK_MONOTONIC, &tick);
  const std::uint64_t milliseconds =
      static_cast<std::uint64_t>(tick.tv_sec) * 1000u + static_cast<std::uint64_t>(tick.tv_nsec) / 1000000u;
  const std::uint64_t fine = static_cast<std::uint64_t>(
      std::chrono::high_resolution_clock::now().time_since_epoch().count());
  std::random_device device;
  const std::uint64_t entropy = (static_cast<std::uint64_t>(device()) << 32) ^ device();
  std::uint64_t h = mix64(milliseconds);
  h = mix64(h ^ static_cast<std::uint64_t>(::getpid()));
  h = mix64(h ^ fine);
  h = mix64(h ^ entropy);
  return static_cast<std::uint32_t>(h ^ (h >> 32));
}

}  // namespace korvel
