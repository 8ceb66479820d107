// The chain's draws a block at a time, and the switches read off them
// (exact_chain.h). Both work on whole vectors: the lagged Fibonacci values
// 33 at a time, the picks and the switches a vector of places at a time.
#include "tests/exact_chain.h"

#include <immintrin.h>

#include "common/target_clones.h"

namespace korvel::exact_chain {

KORVEL_TARGET_CLONES("avx2", "default")
void MAKE_DRAWS_IN_RUNS(INT32* x, INT32 DI, INT32* draw) {
  // Each value depends on values at least 33 places back, so 33 at a
  // time are formed together. A run of 33 reads the previous run at the
  // same offsets and widths as it was written, which lets the processor
  // hand the stored values straight on.
  // Each draw is formed with its value of the lagged sequence, while the
  // value is at hand; values past the block's last draw only feed the lag
  // table of the next block.
  for (int start = LAG_TABLE_SIZE; start < LAG_VALUES; start += LAG_RUN) {
    INT32* run = x + start;
    const int first = start - LAG_TABLE_SIZE;  // the run's first draw
    if (first + LAG_RUN <= DRAW_BLOCK) {
      for (int n = 0; n < LAG_RUN; ++n) {
        const INT32 value = WRAP(run[n - LAG_TABLE_SIZE] - run[n - LAG_RUN], ONE24);
        run[n] = value;
        const INT32 sequence = WRAP(DI - SEQUENCE_MULTIPLES[static_cast<std::size_t>(first + n) + 1],
                                    SEQUENCE_MODULUS);
        draw[first + n] = WRAP(value - sequence, ONE24);
      }
    } else {
      for (int n = 0; n < LAG_RUN; ++n) {
        const INT32 value = WRAP(run[n - LAG_TABLE_SIZE] - run[n - LAG_RUN], ONE24);
        run[n] = value;
        if (first + n < DRAW_BLOCK) {
          const INT32 sequence = WRAP(DI - SEQUENCE_MULTIPLES[static_cast<std::size_t>(first + n) + 1],
                                      SEQUENCE_MODULUS);
          draw[first + n] = WRAP(value - sequence, ONE24);
        }
      }
    }
  }
}

#if defined(__x86_64__)
namespace {

// The masked forms with every lane set: the unmasked ones start from an
// undefined vector, which GCC's uninitialised-use warning reports.
constexpr __mmask16 EVERY_LANE = 0xFFFF;

// WRAP on 16 lanes: x + modulus where x < 0. As unsigned, a negative x is
// above any x + modulus in [0, modulus), and a non-negative x is below its
// x + modulus, so the smaller of the two is the wrapped value.
[[gnu::target("avx512f")]] inline __m512i WRAP16(__m512i x, __m512i modulus) {
  return _mm512_maskz_min_epu32(EVERY_LANE, x, _mm512_add_epi32(x, modulus));
}

// The last lane of `older` followed by the first 15 of `newer`: the 16
// values one place before `newer`'s.
[[gnu::target("avx512f")]] inline __m512i ONE_BEFORE(__m512i newer, __m512i older) {
  return _mm512_maskz_alignr_epi32(EVERY_LANE, newer, older, 15);
}

}  // namespace

// The block in chunks of 16 values kept in registers. With chunk c
// holding x[97 + 16c ..], x[n - 97] are the values one place before chunk
// c - 6 and x[n - 33] those one place before chunk c - 2, so a chunk needs
// nothing from memory but its sequence multiples: no load waits for a
// store of the chunks just made. The last 8 chunks stay in a ring of
// registers, named at compile time by unrolling the loop 8 times (no
// register is copied). The initial lag table enters as chunks -6..-1 and
// the last lane of chunk -7.
[[gnu::target("avx512f")]] void MAKE_DRAWS_IN_REGISTERS(INT32* x, INT32 DI, INT32* draw) {
  static_assert(DRAW_BLOCK % (8 * 16) == 0 && LAG_TABLE_SIZE == 6 * 16 + 1 && LAG_RUN == 2 * 16 + 1);
  const __m512i one24 = _mm512_set1_epi32(ONE24);
  const __m512i modulus = _mm512_set1_epi32(SEQUENCE_MODULUS);
  const __m512i sequence_start = _mm512_set1_epi32(DI);
  __m512i chunk[8];  // chunk c at chunk[c % 8]
  chunk[1] = _mm512_set1_epi32(x[0]);
  for (int c = -6; c < 0; ++c) chunk[c + 8] = _mm512_loadu_si512(x + LAG_TABLE_SIZE + 16 * c);
  for (int first = 0; first < DRAW_BLOCK; first += 8 * 16) {
#pragma GCC unroll 8
    for (int c = 0; c < 8; ++c) {
      const __m512i value = WRAP16(_mm512_sub_epi32(ONE_BEFORE(chunk[(c + 2) % 8], chunk[(c + 1) % 8]),
                                                    ONE_BEFORE(chunk[(c + 6) % 8], chunk[(c + 5) % 8])),
                                   one24);
      chunk[c] = value;
      const int at = first + 16 * c;
      _mm512_storeu_si512(x + LAG_TABLE_SIZE + at, value);
      const __m512i multiple = _mm512_loadu_si512(SEQUENCE_MULTIPLES.data() + at + 1);
      const __m512i sequence = WRAP16(_mm512_sub_epi32(sequence_start, multiple), modulus);
      _mm512_storeu_si512(draw + at, WRAP16(_mm512_sub_epi32(value, sequence), one24));
    }
  }
}
#endif

// Chosen once: the register form where the processor has 16-lane integer
// vectors, the runs of 33 elsewhere. Both make the same values.
void MAKE_DRAWS(INT32* x, INT32 DI, INT32* draw) {
#if defined(__x86_64__)
  static const bool wide = __builtin_cpu_supports("avx512f");
  if (wide) return MAKE_DRAWS_IN_REGISTERS(x, DI, draw);
#endif
  MAKE_DRAWS_IN_RUNS(x, DI, draw);
}

namespace {

using BYTES = std::array<std::uint8_t, DRAW_BLOCK>;

// The picks of one count at each place of the block:
// - PICK: PICK(count, draw k);
// - OTHER_AT: the distance d in 1..LOOKAHEAD to the first later place whose
//   pick differs from PICK[k], or 0 when the next LOOKAHEAD picks are all
//   the same (and within LOOKAHEAD of the block's end);
// - OTHER: that place's pick.
// A redraw loop that starts at place k with the value to avoid `other`
// ends at k when PICK[k] != other, and else at k + OTHER_AT[k] with the
// pick OTHER[k].
struct PICKS {
  alignas(64) BYTES PICK;
  alignas(64) BYTES OTHER;
  alignas(64) BYTES OTHER_AT;
};

// The lookahead compares each place with the REACH (at most LOOKAHEAD)
// places after it and keeps the nearest that differs (the comparisons run
// from the farthest to the nearest, so the nearest is written last).
// With a count of 2 the pick that differs is the other value, 3 - PICK[k].
template <std::uint8_t REACH, bool TWO>
inline void MARK_PICKS(const INT32* draw, INT32 count, PICKS& picks) {
  const auto scale = static_cast<std::uint32_t>(count);
  for (std::size_t k = 0; k < DRAW_BLOCK; ++k)
    picks.PICK[k] = static_cast<std::uint8_t>(1 + ((static_cast<std::uint32_t>(draw[k]) * scale) >> 24));
  for (std::size_t k = 0; k < DRAW_BLOCK - LOOKAHEAD; ++k) {
    const std::uint8_t here = picks.PICK[k];
    std::uint8_t other = 0, at = 0;
    for (std::uint8_t d = REACH; d >= 1; --d) {
      const std::uint8_t there = picks.PICK[k + d];
      const bool differs = there != here;
      if constexpr (!TWO) other = differs ? there : other;
      at = differs ? d : at;
    }
    if constexpr (TWO) other = static_cast<std::uint8_t>(at == 0 ? 0 : 3 - here);
    picks.OTHER[k] = other;
    picks.OTHER_AT[k] = at;
  }
  for (std::size_t k = DRAW_BLOCK - LOOKAHEAD; k < DRAW_BLOCK; ++k) {
    picks.OTHER[k] = 0;
    picks.OTHER_AT[k] = 0;
  }
}

// The columns' picks where the second column's loop starts after a second
// row's loop that began at k and repeated the first row: at
// k + 1 + ROWS.OTHER_AT[k]. A select over the rows' REACH distances, each a
// shifted read.
template <std::uint8_t REACH, bool TWO_COLUMNS>
inline void MARK_AFTER_ROW_REDRAW(const PICKS& rows, const PICKS& columns, PICKS& after) {
  constexpr std::size_t LAST = DRAW_BLOCK - 1 - LOOKAHEAD;  // k + 1 + LOOKAHEAD stays in the block
  for (std::size_t k = 0; k < LAST; ++k) {
    const std::uint8_t skip = rows.OTHER_AT[k];
    std::uint8_t pick = 0, other = 0, at = 0;
    for (std::uint8_t d = 1; d <= REACH; ++d) {
      const bool here = skip == d;
      pick = here ? columns.PICK[k + 1 + d] : pick;
      if constexpr (!TWO_COLUMNS) other = here ? columns.OTHER[k + 1 + d] : other;
      at = here ? columns.OTHER_AT[k + 1 + d] : at;
    }
    if constexpr (TWO_COLUMNS) other = static_cast<std::uint8_t>(at == 0 ? 0 : 3 - pick);
    after.PICK[k] = pick;
    after.OTHER[k] = other;
    after.OTHER_AT[k] = at;
  }
  for (std::size_t k = LAST; k < DRAW_BLOCK; ++k) {
    after.PICK[k] = 0;
    after.OTHER[k] = 0;
    after.OTHER_AT[k] = 0;
  }
}

// GOSUB20 from place k: OP1 is the row pick at k, ALL1 the column pick at
// k + 1; the second row's loop starts at k + 2 and the second column's
// right after it ends.
template <std::uint8_t ROW_REACH, bool TWO_COLUMNS>
[[gnu::always_inline]] inline void CHOOSE_SWITCHES_REACHING(const INT32* draw, INT32 rows, INT32 columns,
                                                            SWITCH_CHOICES& choices) {
  PICKS row, column, after;
  MARK_PICKS<ROW_REACH, false>(draw, rows, row);
  MARK_PICKS<LOOKAHEAD, TWO_COLUMNS>(draw, columns, column);
  MARK_AFTER_ROW_REDRAW<ROW_REACH, TWO_COLUMNS>(row, column, after);
  constexpr std::size_t LAST = DRAW_BLOCK - CHOICE_MARGIN;
  for (std::size_t k = 0; k <= LAST; ++k) {
    const std::uint8_t op1 = row.PICK[k];
    const std::uint8_t all1 = column.PICK[k + 1];
    const std::uint8_t row_pick = row.PICK[k + 2];
    const std::uint8_t row_skip = row.OTHER_AT[k + 2];
    const bool same_row = row_pick == op1;
    const std::uint8_t op2 = same_row ? row.OTHER[k + 2] : row_pick;
    const std::uint8_t column_pick = same_row ? after.PICK[k + 2] : column.PICK[k + 3];
    const std::uint8_t column_skip = same_row ? after.OTHER_AT[k + 2] : column.OTHER_AT[k + 3];
    const std::uint8_t column_other = same_row ? after.OTHER[k + 2] : column.OTHER[k + 3];
    const bool same_column = column_pick == all1;
    const std::uint8_t all2 = same_column ? column_other : column_pick;
    const bool too_long = (same_row & (row_skip == 0)) | (same_column & (column_skip == 0));
    const auto advance = static_cast<std::uint8_t>(4 + (same_row ? row_skip : 0) +
                                                   (same_column ? column_skip : 0));
    choices.ADVANCE[k] = too_long ? 0 : advance;
    choices.OP1[k] = too_long ? 0 : op1;
    choices.ALL1[k] = too_long ? 0 : all1;
    choices.OP2[k] = too_long ? 0 : op2;
    choices.ALL2[k] = too_long ? 0 : all2;
  }
  for (std::size_t k = LAST + 1; k < DRAW_BLOCK; ++k)
    choices.ADVANCE[k] = choices.OP1[k] = choices.ALL1[k] = choices.OP2[k] = choices.ALL2[k] = 0;
}

// A second row's loop rarely repeats the first row for long: it goes on
// past d draws with probability (1 / rows)^d. With four rows or more, three
// draws of lookahead leave at most 1 step in 250 to be drawn one by one, and
// cost less than half of the full lookahead.
KORVEL_TARGET_CLONES("arch=x86-64-v4", "avx2", "default")
void CHOOSE_SWITCHES_MANY_ROWS(const INT32* draw, INT32 rows, INT32 columns, SWITCH_CHOICES& choices) {
  CHOOSE_SWITCHES_REACHING<3, false>(draw, rows, columns, choices);
}

KORVEL_TARGET_CLONES("arch=x86-64-v4", "avx2", "default")
void CHOOSE_SWITCHES_MANY_ROWS_TWO_COLUMNS(const INT32* draw, INT32 rows, SWITCH_CHOICES& choices) {
  CHOOSE_SWITCHES_REACHING<3, true>(draw, rows, 2, choices);
}

KORVEL_TARGET_CLONES("arch=x86-64-v4", "avx2", "default")
void CHOOSE_SWITCHES_FEW_ROWS(const INT32* draw, INT32 rows, INT32 columns, SWITCH_CHOICES& choices) {
  CHOOSE_SWITCHES_REACHING<LOOKAHEAD, false>(draw, rows, columns, choices);
}

KORVEL_TARGET_CLONES("arch=x86-64-v4", "avx2", "default")
void CHOOSE_SWITCHES_FEW_ROWS_TWO_COLUMNS(const INT32* draw, INT32 rows, SWITCH_CHOICES& choices) {
  CHOOSE_SWITCHES_REACHING<LOOKAHEAD, true>(draw, rows, 2, choices);
}

}  // namespace

// Biallelic loci (two columns) are the common case of SNP panels.
void CHOOSE_SWITCHES(const INT32* draw, INT32 rows, INT32 columns, SWITCH_CHOICES& choices) {
  if (rows >= 4 && columns == 2) CHOOSE_SWITCHES_MANY_ROWS_TWO_COLUMNS(draw, rows, choices);
  else if (rows >= 4) CHOOSE_SWITCHES_MANY_ROWS(draw, rows, columns, choices);
  else if (columns == 2) CHOOSE_SWITCHES_FEW_ROWS_TWO_COLUMNS(draw, rows, choices);
  else CHOOSE_SWITCHES_FEW_ROWS(draw, rows, columns, choices);
}

}  // namespace korvel::exact_chain
