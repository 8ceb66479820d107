// Puts the program-wide generator into a state whose next outputs are
// chosen ones, so that tests can feed the draw exactly the values they need
// (0, a value on a cumulative sum, the largest output), which no ordinary
// seed reaches.
#pragma once

#include <cstdint>
#include <sstream>
#include <stdexcept>
#include <vector>

#include "common/random_generator.h"

namespace korvel::testing {

// The inverse of MT19937's tempering.
inline std::uint32_t UNTEMPER(std::uint32_t y) {
  y ^= y >> 18;
  y ^= (y << 15) & 0xEFC60000u;
  std::uint32_t r = y;
  for (int pass = 0; pass < 5; ++pass) r = y ^ ((r << 7) & 0x9D2C5680u);
  y = r;
  r = y;
  for (int pass = 0; pass < 3; ++pass) r = y ^ (r >> 11);
  return r;
}

// At most 227 outputs: with the first 397 state words zero, the twist
// copies words 397.. unchanged into the first words that are tempered and
// returned.
inline void PRIME_OUTPUTS(const std::vector<std::uint32_t>& outputs) {
  if (outputs.size() > 227) throw std::invalid_argument("at most 227 outputs can be primed");
  std::vector<std::uint32_t> words(624, 0);
  for (std::size_t k = 0; k < outputs.size(); ++k) words[397 + k] = UNTEMPER(outputs[k]);
  std::stringstream state;
  for (std::uint32_t w : words) state << w << ' ';
  state << 624;
  state >> RANDOM_GENERATOR;
}

}  // namespace korvel::testing
