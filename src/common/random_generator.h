// The program-wide random generator.
//
// One uniform generator serves the whole program: the 32-bit Mersenne
// Twister MT19937 with its published initialisation from a 32-bit seed. It
// yields exactly the sequence of the standard library's std::mt19937 for
// every seed; its state (the 624 words and the position in them) is the
// same as that engine's, so states convert both ways and compare equal.
//
// Seeding: once, as the program's first action. The deliverables seed from
// the clock mixed with the process id (SEED_FROM_CLOCK), so that programs
// started in the same millisecond by a batch system still differ; the
// test-support programs korvel-seeded / korvel-ml-seeded take the seed from
// their first argument, which makes a whole execution reproducible.
//
// Who draws: SAMPLE_ALLELES takes one REAL_DRAW per gene copy (it reads the
// outputs a block at a time through TAKE_OUTPUTS), and TEST_LOCUS_X takes
// four INTEGER_DRAWs with range 165 per tested locus. Nothing else draws from
// it; the exact test's chain has its own generator.
#pragma once

#include <array>
#include <cstdint>
#include <iosfwd>
#include <random>

#include "common/number_types.h"

namespace korvel {

// MT19937 with block generation: when the 624 words are used up, the whole
// state is twisted at once and all 624 outputs are tempered at once, in
// plain loops without carried dependences that the compiler turns into
// vector code. A draw is then one load from the tempered block.
class MT19937 {
 public:
  using result_type = std::uint32_t;
  static constexpr int STATE_WORDS = 624;
  static constexpr std::uint32_t default_seed = 5489u;
  static constexpr result_type min() { return 0; }
  static constexpr result_type max() { return 0xFFFFFFFFu; }

  MT19937() { seed(default_seed); }
  explicit MT19937(std::uint32_t value) { seed(value); }

  void seed(std::uint32_t value);
  result_type operator()() {
    if (next_ >= STATE_WORDS) NEXT_BLOCK();
    return tempered_[static_cast<std::size_t>(next_++)];
  }
  // Lends the next outputs straight from the current block: `first` points
  // at them and the result says how many (1..wanted, never past the end of
  // the block; wanted >= 1). They count as drawn.
  int TAKE_OUTPUTS(const std::uint32_t*& first, int wanted) {
    if (next_ >= STATE_WORDS) NEXT_BLOCK();
    const int available = STATE_WORDS - next_;
    const int taken = wanted < available ? wanted : available;
    first = tempered_.data() + next_;
    next_ += taken;
    return taken;
  }
  void discard(unsigned long long count);

  // The same state as a standard-library engine (for checks and tests).
  operator std::mt19937() const;
  friend bool operator==(const MT19937& a, const MT19937& b) {
    return a.next_ == b.next_ && a.state_ == b.state_;
  }
  // The standard library's text form of the state: the 624 words, then the
  // position in them.
  friend std::ostream& operator<<(std::ostream& out, const MT19937& engine);
  friend std::istream& operator>>(std::istream& in, MT19937& engine);

 private:
  void NEXT_BLOCK();
  void TEMPER_BLOCK();

  alignas(64) std::array<std::uint32_t, STATE_WORDS> state_{};
  alignas(64) std::array<std::uint32_t, STATE_WORDS> tempered_{};
  int next_ = STATE_WORDS;
};

extern MT19937 RANDOM_GENERATOR;

void SEED_RANDOM_GENERATOR(std::uint32_t seed);
std::uint32_t SEED_FROM_CLOCK();

// One 32-bit output of the generator.
inline std::uint32_t NEXT_OUTPUT() { return RANDOM_GENERATOR(); }

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
