#include "common/random_generator.h"

#include <unistd.h>

#include <chrono>
#include <ctime>
#include <istream>
#include <ostream>
#include <sstream>

#include "common/target_clones.h"

namespace korvel {

MT19937 RANDOM_GENERATOR;

void SEED_RANDOM_GENERATOR(std::uint32_t seed) { RANDOM_GENERATOR.seed(seed); }

namespace {

constexpr int SHIFT = 397;  // the twist's middle word
constexpr std::uint32_t MATRIX_A = 0x9908B0DFu;
constexpr std::uint32_t UPPER_BIT = 0x80000000u;
constexpr std::uint32_t LOWER_BITS = 0x7FFFFFFFu;

// One word of the twist, from the word in the middle and the two words whose
// upper and lower bits are joined. Branch-free, so that loops of it vectorise.
inline std::uint32_t TWIST(std::uint32_t middle, std::uint32_t upper, std::uint32_t lower) {
  const std::uint32_t y = (upper & UPPER_BIT) | (lower & LOWER_BITS);
  return middle ^ (y >> 1) ^ ((0u - (y & 1u)) & MATRIX_A);
}

inline std::uint32_t TEMPER(std::uint32_t y) {
  y ^= y >> 11;
  y ^= (y << 7) & 0x9D2C5680u;
  y ^= (y << 15) & 0xEFC60000u;
  return y ^ (y >> 18);
}

// SplitMix64 finaliser: spreads every input bit over the whole word, so
// that nearby clock readings and process ids give unrelated seeds.
std::uint64_t mix64(std::uint64_t z) {
  z += 0x9E3779B97F4A7C15ULL;
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
  return z ^ (z >> 31);
}

}  // namespace

void MT19937::seed(std::uint32_t value) {
  state_[0] = value;
  for (std::uint32_t i = 1; i < STATE_WORDS; ++i)
    state_[i] = 1812433253u * (state_[i - 1] ^ (state_[i - 1] >> 30)) + i;
  next_ = STATE_WORDS;
  TEMPER_BLOCK();
}

namespace {

// The twist in three stretches, so that no stretch reads a word it writes
// within a vector's reach: words 0..226 read the old words 397..623, words
// 227..622 read the new words 0..395 (227 places back), and word 623 reads
// the new word 0. Then all 624 words are tempered into the output block.
// Compiled for the widest vectors the processor offers (chosen when the
// program starts); every version computes the same words.
KORVEL_TARGET_CLONES("avx512f", "avx2", "default")
void TWIST_AND_TEMPER(std::uint32_t* x, std::uint32_t* out) {
  constexpr int FIRST = MT19937::STATE_WORDS - SHIFT;  // 227
  for (int i = 0; i < FIRST; ++i) x[i] = TWIST(x[i + SHIFT], x[i], x[i + 1]);
  for (int i = FIRST; i < MT19937::STATE_WORDS - 1; ++i) x[i] = TWIST(x[i - FIRST], x[i], x[i + 1]);
  x[MT19937::STATE_WORDS - 1] = TWIST(x[SHIFT - 1], x[MT19937::STATE_WORDS - 1], x[0]);
  for (int i = 0; i < MT19937::STATE_WORDS; ++i) out[i] = TEMPER(x[i]);
}

}  // namespace

void MT19937::NEXT_BLOCK() {
  TWIST_AND_TEMPER(state_.data(), tempered_.data());
  next_ = 0;
}

void MT19937::TEMPER_BLOCK() {
  for (int i = 0; i < STATE_WORDS; ++i)
    tempered_[static_cast<std::size_t>(i)] = TEMPER(state_[static_cast<std::size_t>(i)]);
}

void MT19937::discard(unsigned long long count) {
  while (count > static_cast<unsigned long long>(STATE_WORDS - next_)) {
    count -= static_cast<unsigned long long>(STATE_WORDS - next_);
    NEXT_BLOCK();
  }
  next_ += static_cast<int>(count);
}

MT19937::operator std::mt19937() const {
  std::stringstream text;
  text << *this;
  std::mt19937 engine;
  text >> engine;
  return engine;
}

std::ostream& operator<<(std::ostream& out, const MT19937& engine) {
  for (std::uint32_t word : engine.state_) out << word << ' ';
  return out << engine.next_;
}

std::istream& operator>>(std::istream& in, MT19937& engine) {
  MT19937 read;
  for (std::uint32_t& word : read.state_) in >> word;
  in >> read.next_;
  if (in && read.next_ >= 0 && read.next_ <= MT19937::STATE_WORDS) {
    read.TEMPER_BLOCK();
    engine = read;
  } else {
    in.setstate(std::ios::failbit);
  }
  return in;
}

std::uint32_t SEED_FROM_CLOCK() {
  timespec tick{};
  ::clock_gettime(CLOCK_MONOTONIC, &tick);
  const std::uint64_t milliseconds = static_cast<std::uint64_t>(tick.tv_sec) * 1000u +
                                     static_cast<std::uint64_t>(tick.tv_nsec) / 1000000u;
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
