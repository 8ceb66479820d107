// The chain's draws a block at a time, and the picks read off them
// (exact_chain.h). Both work on whole vectors: the lagged Fibonacci values
// 33 at a time, the picks and their lookahead a vector of bytes at a time.
#include "tests/exact_chain.h"

#include "common/target_clones.h"

namespace korvel::exact_chain {

namespace {

// PICK, OTHER and OTHER_AT of one count. The lookahead compares each place
// with the LOOKAHEAD places after it and keeps the nearest that differs
// (the comparisons run from the farthest to the nearest, so the nearest is
// written last).
inline void MARK_COUNT(const INT32* draw, INT32 count, PICKS_AHEAD& picks) {
  const auto scale = static_cast<std::uint32_t>(count);
  for (std::size_t k = 0; k < PICKS_BLOCK; ++k)
    picks.PICK[k] = static_cast<std::uint8_t>(1 + ((static_cast<std::uint32_t>(draw[k]) * scale) >> 24));
  for (std::size_t k = 0; k < PICKS_BLOCK - LOOKAHEAD; ++k) {
    const std::uint8_t here = picks.PICK[k];
    std::uint8_t other = 0, at = 0;
    for (std::size_t d = LOOKAHEAD; d >= 1; --d) {
      const std::uint8_t there = picks.PICK[k + d];
      const bool differs = there != here;
      other = differs ? there : other;
      at = differs ? static_cast<std::uint8_t>(d) : at;
    }
    picks.OTHER[k] = other;
    picks.OTHER_AT[k] = at;
  }
  for (std::size_t k = PICKS_BLOCK - LOOKAHEAD; k < PICKS_BLOCK; ++k) {
    picks.OTHER[k] = 0;
    picks.OTHER_AT[k] = 0;
  }
}

}  // namespace

KORVEL_TARGET_CLONES("arch=x86-64-v4", "avx2", "default")
void MAKE_DRAWS(INT32* x, INT32 DI, INT32* draw) {
  // Each value depends on values at least 33 places back, so 33 at a
  // time are formed together. A run of 33 reads the previous run at the
  // same offsets and widths as it was written, which lets the processor
  // hand the stored values straight on.
  for (int start = LAG_TABLE_SIZE; start < LAG_VALUES; start += LAG_RUN) {
    INT32* run = x + start;
    for (int n = 0; n < LAG_RUN; ++n) run[n] = WRAP(run[n - LAG_TABLE_SIZE] - run[n - LAG_RUN], ONE24);
  }
  for (int k = 0; k < PICKS_BLOCK; ++k) {
    const INT32 sequence = WRAP(DI - SEQUENCE_MULTIPLES[static_cast<std::size_t>(k) + 1], SEQUENCE_MODULUS);
    draw[k] = WRAP(x[k + LAG_TABLE_SIZE] - sequence, ONE24);
  }
}

// AFTER_REDRAW[k] is COLUMNS at k + 1 + ROWS.OTHER_AT[k]: a select over the
// LOOKAHEAD distances, each a shifted read of the columns' picks.
KORVEL_TARGET_CLONES("arch=x86-64-v4", "avx2", "default")
void MARK_PICKS(const INT32* draw, INT32 rows, INT32 columns, SWITCH_PICKS& picks) {
  MARK_COUNT(draw, rows, picks.ROWS);
  MARK_COUNT(draw, columns, picks.COLUMNS);
  const PICKS_AHEAD& from = picks.COLUMNS;
  PICKS_AHEAD& after = picks.AFTER_REDRAW;
  constexpr std::size_t LAST = PICKS_BLOCK - 1 - LOOKAHEAD;  // k + 1 + LOOKAHEAD stays in the block
  for (std::size_t k = 0; k < LAST; ++k) {
    const std::uint8_t skip = picks.ROWS.OTHER_AT[k];
    std::uint8_t pick = 0, other = 0, at = 0;
    for (std::uint8_t d = 1; d <= LOOKAHEAD; ++d) {
      const bool here = skip == d;
      pick = here ? from.PICK[k + 1 + d] : pick;
      other = here ? from.OTHER[k + 1 + d] : other;
      at = here ? from.OTHER_AT[k + 1 + d] : at;
    }
    after.PICK[k] = pick;
    after.OTHER[k] = other;
    after.OTHER_AT[k] = at;
  }
  for (std::size_t k = LAST; k < PICKS_BLOCK; ++k) {
    after.PICK[k] = 0;
    after.OTHER[k] = 0;
    after.OTHER_AT[k] = 0;
  }
}

}  // namespace korvel::exact_chain
