// The program-wide random generator.
//
// One uniform generator serves the whole program: the 32-bit Mersenne
// Twister MT19937 with its published initialisation from a 32-bit seed
// (the standard library's std::mt19937 is exactly that generator).
//
// Seeding: once, as the program's first action. The deliverables seed from
// the clock mixed with the process id (SEED_FROM_CLOCK), so that programs
// started in the same millisecond by a batch system still differ; the
// test-support programs korvel-seeded / korvel-ml-seeded take the seed from
// their first argument, which makes a whole execution reproducible.
//
// Who draws: SAMPLE_ALLELES takes one REAL_DRAW per gene copy, and
// TEST_LOCUS_X takes four INTEGER_DRAWs with range 165 per tested locus.
// Nothing else draws from it; the exact test's chain has its own generator.
#pragma once

#include <cstdint>
#include <random>

#include "common/number_types.h"

namespace korvel {

extern std::mt19937 RANDOM_GENERATOR;

void SEED_RANDOM_GENERATOR(std::uint32_t seed);
std::uint32_t SEED_FROM_CLOCK();

// One 32-bit output of the generator.
inline std::uint32_t NEXT_OUTPUT() { return static_cast<std::uint32_t>(RANDOM_GENERATOR()); }

// Real draw: one output g gives g / 2^32, a real in [0, 1) on a 2^-32 grid.
inline EXTENDED REAL_FROM_OUTPUT(std::uint32_t g) {
  return static_cast<EXTENDED>(g) * (EXTENDED{1} / EXTENDED{4294967296.0L});
}
inline EXTENDED REAL_DRAW() { return REAL_FROM_OUTPUT(NEXT_OUTPUT()); }

// Integer draw with range n: the upper 32 bits of the 64-bit product n * g.
inline std::uint32_t INTEGER_FROM_OUTPUT(std::uint32_t n, std::uint32_t g) {
  return static_cast<std::uint32_t>((static_cast<std::uint64_t>(n) * g) >> 32);
}
inline std::uint32_t INTEGER_DRAW(std::uint32_t n) { return INTEGER_FROM_OUTPUT(n, NEXT_OUTPUT()); }

}  // namespace korvel
