// The chain's draws a block at a time, and the switches read off them
// (exact_chain.h). Both work on whole vectors: the lagged Fibonacci values
// 16 at a time in registers (or 33 at a time through memory), the picks
// and the switches a vector of places at a time (for biallelic loci on the
// column picks' bits where the processor can cut bytes out of bits).
#include "tests/exact_chain.h"

#include <immintrin.h>

#include <cstdlib>
#include <cstring>
#include <string>

// GCC's intrinsics start many results from an undefined vector, which its
// uninitialised-use warning reports inside its own headers.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wuninitialized"
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif

#include "common/failure.h"

namespace korvel::exact_chain {

namespace {

[[gnu::always_inline]] inline void MAKE_DRAWS_IN_RUNS(INT32* x, INT32 DI, INT32* draw) {
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

void MAKE_DRAWS_IN_RUNS_PORTABLE(INT32* x, INT32 DI, INT32* draw) { MAKE_DRAWS_IN_RUNS(x, DI, draw); }

}  // namespace

#if defined(__x86_64__)
namespace {

[[gnu::target("avx2")]] void MAKE_DRAWS_IN_RUNS_AVX2(INT32* x, INT32 DI, INT32* draw) {
  MAKE_DRAWS_IN_RUNS(x, DI, draw);
}

// WRAP on 16 lanes: x + modulus where x < 0. As unsigned, a negative x is
// above any x + modulus in [0, modulus), and a non-negative x is below its
// x + modulus, so the smaller of the two is the wrapped value.
[[gnu::target("avx512f")]] inline __m512i WRAP16(__m512i x, __m512i modulus) {
  return _mm512_min_epu32(x, _mm512_add_epi32(x, modulus));
}

// The last lane of `older` followed by the first 15 of `newer`: the 16
// values one place before `newer`'s.
[[gnu::target("avx512f")]] inline __m512i ONE_BEFORE(__m512i newer, __m512i older) {
  return _mm512_alignr_epi32(newer, older, 15);
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

// A chunk of places [from, to) reads the picks of places up to 2 *
// LOOKAHEAD + 4 after it: PICK is made for PICKS_PAST places past the
// chunk, OTHER and OTHER_AT for OTHERS_PAST (they look LOOKAHEAD picks on),
// and the picks after a row's redraw for AFTER_PAST (they look LOOKAHEAD + 1
// places on), each within the block.
constexpr std::size_t PICKS_PAST = 48, OTHERS_PAST = 40, AFTER_PAST = 32;
static_assert(OTHERS_PAST + LOOKAHEAD <= PICKS_PAST && AFTER_PAST + 1 + LOOKAHEAD <= OTHERS_PAST &&
              3 + LOOKAHEAD < AFTER_PAST);
constexpr std::size_t PAST(std::size_t to, std::size_t past) {
  return std::min<std::size_t>(to + past, DRAW_BLOCK);
}

// Selects of bytes on a mask of all ones or none, in arithmetic: a select
// written as a condition lets the compiler make the reads of its values
// conditional, and then it vectorises the loop only where a vector can read
// bytes under a mask (x86-64-v4), leaving the portable and avx2 forms
// scalar (eight times slower).
constexpr std::uint8_t ALL_OR_NONE(bool condition) { return static_cast<std::uint8_t>(0u - condition); }
template <class T>
constexpr T SELECT(std::uint8_t mask, T if_set, T if_not) {
  const auto wide = static_cast<T>(static_cast<std::int8_t>(mask));  // all ones or none in T
  return static_cast<T>((if_set & wide) | (if_not & ~wide));
}

// PICK(count, draw) at places [from, to): 1 + (draw * count) >> 24. A draw
// is below 2^24, so with a count of 2^p the product is a shift by p and
// the pick a shift right by 24 - p; 16-byte vectors have no multiply of
// 32-bit lanes, and the few-allele counts 2 and 4 are the commonest. With a
// count of 3 the compiler multiplies by shifts and adds.
[[gnu::always_inline]] inline void MAKE_PICKS(const INT32* draw, INT32 count, std::size_t from,
                                              std::size_t to, BYTES& pick) {
  const auto scale = static_cast<std::uint32_t>(count);
  if (scale != 0 && (scale & (scale - 1)) == 0) {
    const int shift = 24 - std::countr_zero(scale);
    for (std::size_t k = from; k < to; ++k)
      pick[k] = static_cast<std::uint8_t>(1 + (static_cast<std::uint32_t>(draw[k]) >> shift));
  } else if (scale == 3) {
    for (std::size_t k = from; k < to; ++k)
      pick[k] = static_cast<std::uint8_t>(1 + ((static_cast<std::uint32_t>(draw[k]) * 3) >> 24));
  } else {
    for (std::size_t k = from; k < to; ++k)
      pick[k] = static_cast<std::uint8_t>(1 + ((static_cast<std::uint32_t>(draw[k]) * scale) >> 24));
  }
}

// The lookahead compares each place with the REACH (at most LOOKAHEAD)
// places after it and keeps the nearest that differs (the comparisons run
// from the farthest to the nearest, so the nearest is written last).
// With a count of 2 the pick that differs is the other value, 3 - PICK[k],
// which the choice works out itself: OTHER is left unwritten.
template <std::uint8_t REACH, bool TWO>
[[gnu::always_inline]] inline void MARK_PICKS(const INT32* draw, INT32 count, std::size_t from,
                                              std::size_t to, PICKS& picks) {
  MAKE_PICKS(draw, TWO ? 2 : count, from, PAST(to, PICKS_PAST), picks.PICK);
  for (std::size_t k = from; k < std::min<std::size_t>(PAST(to, OTHERS_PAST), DRAW_BLOCK - LOOKAHEAD); ++k) {
    const std::uint8_t here = picks.PICK[k];
    std::uint8_t other = 0, at = 0;
    for (std::uint8_t d = REACH; d >= 1; --d) {
      const std::uint8_t there = picks.PICK[k + d];
      const bool differs = there != here;
      if constexpr (!TWO) other = differs ? there : other;
      at = differs ? d : at;
    }
    if constexpr (!TWO) picks.OTHER[k] = other;
    picks.OTHER_AT[k] = at;
  }
  for (std::size_t k = std::max<std::size_t>(from, DRAW_BLOCK - LOOKAHEAD); k < PAST(to, OTHERS_PAST); ++k) {
    if constexpr (!TWO) picks.OTHER[k] = 0;
    picks.OTHER_AT[k] = 0;
  }
}

// The columns' picks where the second column's loop starts after a second
// row's loop that began at k and repeated the first row: at
// k + 1 + ROWS.OTHER_AT[k]. A select over the rows' REACH distances, each a
// shifted read. With two columns OTHER is left unwritten, as in MARK_PICKS.
template <std::uint8_t REACH, bool TWO_COLUMNS>
[[gnu::always_inline]] inline void MARK_AFTER_ROW_REDRAW(const PICKS& rows, const PICKS& columns,
                                                         std::size_t from, std::size_t to, PICKS& after) {
  constexpr std::size_t LAST = DRAW_BLOCK - 1 - LOOKAHEAD;  // k + 1 + LOOKAHEAD stays in the block
  for (std::size_t k = from; k < std::min(PAST(to, AFTER_PAST), LAST); ++k) {
    const std::uint8_t skip = rows.OTHER_AT[k];
    std::uint8_t pick = 0, other = 0, at = 0;
    // At most one distance matches: an OR of the masked reads is the select.
    for (std::uint8_t d = 1; d <= REACH; ++d) {
      const std::uint8_t here = ALL_OR_NONE(skip == d);
      pick = static_cast<std::uint8_t>(pick | (here & columns.PICK[k + 1 + d]));
      if constexpr (!TWO_COLUMNS)
        other = static_cast<std::uint8_t>(other | (here & columns.OTHER[k + 1 + d]));
      at = static_cast<std::uint8_t>(at | (here & columns.OTHER_AT[k + 1 + d]));
    }
    after.PICK[k] = pick;
    if constexpr (!TWO_COLUMNS) after.OTHER[k] = other;
    after.OTHER_AT[k] = at;
  }
  for (std::size_t k = std::max(from, LAST); k < PAST(to, AFTER_PAST); ++k) {
    after.PICK[k] = 0;
    if constexpr (!TWO_COLUMNS) after.OTHER[k] = 0;
    after.OTHER_AT[k] = 0;
  }
}

// No choice past LAST (among places [from, to)): its draws could run past
// the block.
void CLEAR_CHOICES_AFTER(std::size_t LAST, std::size_t from, std::size_t to, SWITCH_CHOICES& choices) {
  for (std::size_t k = std::max(LAST + 1, from); k < to; ++k) {
    choices.ADVANCE[k] = 0;
    choices.TAKE1[k] = choices.TAKE2[k] = choices.GIVE1[k] = choices.GIVE2[k] = 0;
  }
}

// GOSUB20 from place k: OP1 is the row pick at k, ALL1 the column pick at
// k + 1; the second row's loop starts at k + 2 and the second column's
// right after it ends. Over two values a loop that ends within its
// lookahead ends on the value it avoids not, 3 - OP1 or 3 - ALL1, and a
// loop that does not is dropped whatever it found.
template <std::uint8_t ROW_REACH, std::uint8_t COLUMN_REACH, bool TWO_ROWS, bool TWO_COLUMNS>
[[gnu::always_inline]] inline void CHOOSE_SWITCHES_REACHING(const INT32* draw, INT32 rows, INT32 columns,
                                                            std::size_t from, std::size_t to,
                                                            SWITCH_CHOICES& choices) {
  PICKS row, column, after;
  MARK_PICKS<ROW_REACH, TWO_ROWS>(draw, rows, from, to, row);
  MARK_PICKS<COLUMN_REACH, TWO_COLUMNS>(draw, columns, from, to, column);
  MARK_AFTER_ROW_REDRAW<ROW_REACH, TWO_COLUMNS>(row, column, from, to, after);
  constexpr std::size_t LAST = DRAW_BLOCK - CHOICE_MARGIN;
  for (std::size_t k = from; k < std::min(to, LAST + 1); ++k) {
    const std::uint8_t op1 = row.PICK[k];
    const std::uint8_t all1 = column.PICK[k + 1];
    const std::uint8_t row_pick = row.PICK[k + 2];
    const std::uint8_t row_skip = row.OTHER_AT[k + 2];
    const bool same_row = row_pick == op1;
    const std::uint8_t row_mask = ALL_OR_NONE(same_row);
    std::uint8_t op2;
    if constexpr (TWO_ROWS) op2 = static_cast<std::uint8_t>(3 - op1);
    else op2 = SELECT(row_mask, row.OTHER[k + 2], row_pick);
    const std::uint8_t column_pick = SELECT(row_mask, after.PICK[k + 2], column.PICK[k + 3]);
    const std::uint8_t column_skip = SELECT(row_mask, after.OTHER_AT[k + 2], column.OTHER_AT[k + 3]);
    const bool same_column = column_pick == all1;
    const std::uint8_t column_mask = ALL_OR_NONE(same_column);
    std::uint8_t all2;
    if constexpr (TWO_COLUMNS) {
      all2 = static_cast<std::uint8_t>(3 - all1);
    } else {
      const std::uint8_t column_other = SELECT(row_mask, after.OTHER[k + 2], column.OTHER[k + 3]);
      all2 = SELECT(column_mask, column_other, column_pick);
    }
    const bool too_long = (same_row & (row_skip == 0)) | (same_column & (column_skip == 0));
    const std::uint8_t kept = ALL_OR_NONE(!too_long);
    const auto advance = static_cast<std::uint8_t>(4 + (row_skip & row_mask) + (column_skip & column_mask));
    choices.ADVANCE[k] = advance & kept;
    choices.TAKE1[k] = SELECT(kept, PLACE_OF(op1, all1), CELL_PLACE{0});
    choices.TAKE2[k] = SELECT(kept, PLACE_OF(op2, all2), CELL_PLACE{0});
    choices.GIVE1[k] = SELECT(kept, PLACE_OF(op1, all2), CELL_PLACE{0});
    choices.GIVE2[k] = SELECT(kept, PLACE_OF(op2, all1), CELL_PLACE{0});
  }
  CLEAR_CHOICES_AFTER(LAST, from, to, choices);
}

// The byte form of the choice for the instruction set TARGET (the name
// ends in SUFFIX): the same source compiled for each. Every shape is a
// function of its own, which the compiler vectorises best. Biallelic loci
// (two columns) are the common case of SNP panels. A second loop rarely
// repeats the first pick for long: it goes on past d draws with
// probability (1 / count)^d. With a count of four or more, three draws of
// lookahead leave at most 1 step in 250 to be drawn one by one, and cost
// less than half of the full lookahead; rows and columns alike. With two
// rows (columns) a loop's pick is known without looking (3 - OP1). Counts
// of 2 and 3 are compiled in (COUNT 0: the count as given, the full
// lookahead), which makes their picks shifts and adds instead of a
// multiply of 32-bit lanes (which 16-byte vectors lack).
template <int COUNT>
constexpr std::uint8_t REACH_FOR = COUNT >= 4 ? 3 : LOOKAHEAD;
constexpr int COUNT_KIND(INT32 count) { return count == 2 || count == 3 ? count : count >= 4 ? 4 : 0; }
#define KORVEL_CHOICE_IN_BYTES(SUFFIX, TARGET)                                                              \
  template <int ROWS, int COLUMNS>                                                                          \
  TARGET [[gnu::noinline]] void SHAPE_##SUFFIX(const INT32* draw, INT32 rows, INT32 columns,                \
                                               std::size_t from, std::size_t to, SWITCH_CHOICES& choices) { \
    CHOOSE_SWITCHES_REACHING<REACH_FOR<ROWS>, REACH_FOR<COLUMNS>, ROWS == 2, COLUMNS == 2>(                 \
        draw, ROWS == 2 || ROWS == 3 ? ROWS : rows, COLUMNS == 2 || COLUMNS == 3 ? COLUMNS : columns, from, \
        to, choices);                                                                                       \
  }                                                                                                         \
  template <int ROWS>                                                                                       \
  void SHAPE_BY_COLUMNS_##SUFFIX(const INT32* draw, INT32 rows, INT32 columns, std::size_t from,            \
                                 std::size_t to, SWITCH_CHOICES& choices) {                                 \
    switch (COUNT_KIND(columns)) {                                                                          \
      case 2:                                                                                               \
        return SHAPE_##SUFFIX<ROWS, 2>(draw, rows, columns, from, to, choices);                             \
      case 3:                                                                                               \
        return SHAPE_##SUFFIX<ROWS, 3>(draw, rows, columns, from, to, choices);                             \
      case 4:                                                                                               \
        return SHAPE_##SUFFIX<ROWS, 4>(draw, rows, columns, from, to, choices);                             \
      default:                                                                                              \
        return SHAPE_##SUFFIX<0, 0>(draw, rows, columns, from, to, choices);                                \
    }                                                                                                       \
  }                                                                                                         \
  void CHOOSE_SWITCHES_IN_BYTES_##SUFFIX(const INT32* draw, INT32 rows, INT32 columns, int from, int to,    \
                                         SWITCH_CHOICES& choices) {                                         \
    const auto first = static_cast<std::size_t>(from), end = static_cast<std::size_t>(to);                  \
    switch (COUNT_KIND(rows)) {                                                                             \
      case 2:                                                                                               \
        return SHAPE_BY_COLUMNS_##SUFFIX<2>(draw, rows, columns, first, end, choices);                      \
      case 3:                                                                                               \
        return SHAPE_BY_COLUMNS_##SUFFIX<3>(draw, rows, columns, first, end, choices);                      \
      case 4:                                                                                               \
        return SHAPE_BY_COLUMNS_##SUFFIX<4>(draw, rows, columns, first, end, choices);                      \
      default:                                                                                              \
        return SHAPE_##SUFFIX<0, 0>(draw, rows, columns, first, end, choices);                              \
    }                                                                                                       \
  }

KORVEL_CHOICE_IN_BYTES(PORTABLE, )

// Two rows and two columns in the portable form, on runs of equal picks as
// the avx2 form chooses them (CHOOSE_SWITCHES_TWO_BY_TWO_AVX2 below says
// how), in loops of bytes the compiler vectorises: each place's pick bit
// and the length of the run from it (at most BIT_LOOKAHEAD + 1), then the
// two loops read off the runs two and three places on (the column's
// selected by the row loop's length).
void CHOOSE_SWITCHES_TWO_BY_TWO_PORTABLE(const INT32* draw, int from, int to, SWITCH_CHOICES& choices) {
  constexpr std::size_t PAD = 128, LONGEST = BIT_LOOKAHEAD + 1;
  static_assert(4 + 2 * BIT_LOOKAHEAD <= CHOICE_MARGIN - 1);
  const auto first = static_cast<std::size_t>(from), end = static_cast<std::size_t>(to);
  alignas(64) std::array<std::uint8_t, DRAW_BLOCK + PAD> bit, run;
  std::fill(bit.begin() + DRAW_BLOCK, bit.end(), 0);
  // Runs are made 32 places past the chunk, and read 8 picks on.
  for (std::size_t k = first; k < PAST(end, 32 + LONGEST); ++k)
    bit[k] = static_cast<std::uint8_t>(static_cast<std::uint32_t>(draw[k]) >> 23);
  for (std::size_t k = first; k < end + 32; ++k) {
    std::uint8_t length = 1;
    for (std::size_t d = LONGEST - 1; d-- > 0;)
      length = static_cast<std::uint8_t>(1 + (ALL_OR_NONE(bit[k + d] == bit[k + d + 1]) & length));
    run[k] = static_cast<std::uint8_t>(bit[k] | (length << 1));
  }
  constexpr std::size_t LAST = DRAW_BLOCK - CHOICE_MARGIN;
  for (std::size_t k = first; k < std::min(end, LAST + 1); ++k) {
    const std::uint8_t op1 = bit[k], all1 = bit[k + 1];
    const std::uint8_t row_start = run[k + 2];
    const std::uint8_t same_row = ALL_OR_NONE((row_start & 1) == op1);
    const auto row_extra = static_cast<std::uint8_t>(same_row & (row_start >> 1));
    std::uint8_t column_start = run[k + 3];
    for (std::uint8_t d = 1; d < LONGEST; ++d)
      column_start = SELECT(ALL_OR_NONE(row_extra == d), run[k + 3 + d], column_start);
    const std::uint8_t same_column = ALL_OR_NONE((column_start & 1) == all1);
    const auto column_extra = static_cast<std::uint8_t>(same_column & (column_start >> 1));
    const std::uint8_t kept = ALL_OR_NONE((row_extra != LONGEST) & (column_extra != LONGEST));
    choices.ADVANCE[k] = static_cast<std::uint8_t>((4 + row_extra + column_extra) & kept);
    const auto op2 = static_cast<unsigned>(2 - op1), all2 = static_cast<unsigned>(2 - all1);
    choices.TAKE1[k] = SELECT(kept, PLACE_OF(1u + op1, 1u + all1), CELL_PLACE{0});
    choices.TAKE2[k] = SELECT(kept, PLACE_OF(op2, all2), CELL_PLACE{0});
    choices.GIVE1[k] = SELECT(kept, PLACE_OF(1u + op1, all2), CELL_PLACE{0});
    choices.GIVE2[k] = SELECT(kept, PLACE_OF(op2, 1u + all1), CELL_PLACE{0});
  }
  CLEAR_CHOICES_AFTER(LAST, first, end, choices);
}

void CHOOSE_SWITCHES_PORTABLE(const INT32* draw, INT32 rows, INT32 columns, int from, int to,
                              SWITCH_CHOICES& choices) {
  if (rows == 2 && columns == 2) CHOOSE_SWITCHES_TWO_BY_TWO_PORTABLE(draw, from, to, choices);
  else CHOOSE_SWITCHES_IN_BYTES_PORTABLE(draw, rows, columns, from, to, choices);
}
#if defined(__x86_64__)
KORVEL_CHOICE_IN_BYTES(AVX2, [[gnu::target("avx2")]])
KORVEL_CHOICE_IN_BYTES(V4, [[gnu::target("arch=x86-64-v4")]])
#endif
#undef KORVEL_CHOICE_IN_BYTES

#if defined(__x86_64__)
// 32 bytes from `p` (any alignment).
[[gnu::target("avx2")]] inline __m256i LOAD32(const std::uint8_t* p) {
  return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
}

// Two rows and two columns (a pairwise comparison of a biallelic locus),
// 32 places at a time in bytes, with the instructions of avx2. A row or a
// column pick is 1 + bit 23 of its draw, the same bit for both, so a redraw
// loop that avoids a value runs to the end of the run of equal picks it
// starts in, when its first pick is that value: its extra draws are the
// run's length. Each place keeps its pick's bit and the length of the run
// from it (at most 8: a loop that runs 8 picks is longer than
// BIT_LOOKAHEAD and drawn one by one, as in the bit-selects form). The
// second row's loop starts at k + 2, the same place for every place; the
// second column's at k + 3 plus the row loop's extra draws, selected per
// byte among the 8 loads it can be. The four cells are then functions of
// the two first picks alone, looked up in a table by a byte shuffle.
struct TWO_BY_TWO_CELLS {
  __m256i TAKE1, TAKE2, GIVE1, GIVE2;
};

// The places of one cell of the switch by entry n = first row's bit + 2 *
// first column's bit: bytes n, or 16-bit places at bytes 2n and 2n + 1, in
// both halves of a vector.
[[gnu::target("avx2")]] inline __m256i TWO_BY_TWO_TABLE(bool first_row, bool first_column) {
  alignas(16) std::array<CELL_PLACE, 16 / sizeof(CELL_PLACE)> entry{};
  for (unsigned n = 0; n < 4; ++n) {
    const unsigned row = first_row ? 1 + (n & 1) : 2 - (n & 1);
    const unsigned column = first_column ? 1 + (n >> 1) : 2 - (n >> 1);
    entry[n] = PLACE_OF(row, column);
  }
  return _mm256_broadcastsi128_si256(_mm_load_si128(reinterpret_cast<const __m128i*>(entry.data())));
}

// Looks up 32 places' cell in `table` by their entries (0 where `dropped`)
// and stores it in the width of a cell's place.
[[gnu::target("avx2")]] inline void STORE_TWO_BY_TWO_CELL(CELL_PLACE* out, __m256i table, __m256i entry,
                                                          __m256i dropped) {
  if constexpr (sizeof(CELL_PLACE) == 1) {
    // A shuffle index with bit 7 set gives 0.
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(out),
                        _mm256_shuffle_epi8(table, _mm256_or_si256(entry, dropped)));
  } else {
    for (int half = 0; half < 2; ++half) {
      const __m128i bytes = half == 0 ? _mm256_castsi256_si128(entry) : _mm256_extracti128_si256(entry, 1);
      const __m128i drop = half == 0 ? _mm256_castsi256_si128(dropped) : _mm256_extracti128_si256(dropped, 1);
      // Bytes 2n and 2n + 1 of the table.
      const __m256i lookup = _mm256_add_epi16(
          _mm256_mullo_epi16(_mm256_cvtepu8_epi16(bytes), _mm256_set1_epi16(0x0202)),
          _mm256_set1_epi16(0x0100));
      const __m256i place = _mm256_andnot_si256(_mm256_cvtepi8_epi16(drop),
                                                _mm256_shuffle_epi8(table, lookup));
      _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + 16 * half), place);
    }
  }
}

// The pick bits of places [from, to) of the block in bytes, 32 at a time.
[[gnu::target("avx2")]] inline void TWO_BY_TWO_PICK_BITS(const INT32* draw, int from, int to,
                                                         std::uint8_t* bit) {
  for (int k = from; k < to; k += 32) {
    __m256i lanes[4];
    for (int g = 0; g < 4; ++g)
      lanes[g] = _mm256_srli_epi32(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(draw + k + 8 * g)),
                                   23);
    // Packing works within 128-bit halves; the permute puts the places back in order.
    const __m256i packed = _mm256_packus_epi16(_mm256_packus_epi32(lanes[0], lanes[1]),
                                               _mm256_packus_epi32(lanes[2], lanes[3]));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(bit + k),
                        _mm256_permutevar8x32_epi32(packed, _mm256_setr_epi32(0, 4, 1, 5, 2, 6, 3, 7)));
  }
}

// Each place's pick bit and its run of equal picks (at most 8), as bit +
// 2 * run, for places [from, to), 32 at a time: run(j) = 1 + [pick j equals
// pick j + 1] * run(j + 1), seven times over.
[[gnu::target("avx2")]] inline void TWO_BY_TWO_RUNS(const std::uint8_t* bit, int from, int to,
                                                    std::uint8_t* run) {
  const __m256i one = _mm256_set1_epi8(1);
  for (int k = from; k < to; k += 32) {
    const std::uint8_t* at = bit + k;
    __m256i length = one;
    for (int d = BIT_LOOKAHEAD - 1; d >= 0; --d) {
      const __m256i same = _mm256_cmpeq_epi8(LOAD32(at + d), LOAD32(at + d + 1));
      length = _mm256_add_epi8(one, _mm256_and_si256(same, length));
    }
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(run + k),
                        _mm256_or_si256(LOAD32(at), _mm256_add_epi8(length, length)));
  }
}

// A redraw loop that avoids the pick `avoid` and starts at a place whose
// bit + 2 * run is `start`: its extra draws, and all ones where it goes on
// past BIT_LOOKAHEAD.
[[gnu::target("avx2")]] inline __m256i TWO_BY_TWO_LOOP(__m256i start, __m256i avoid, __m256i& too_long) {
  const __m256i one = _mm256_set1_epi8(1);
  const __m256i same = _mm256_cmpeq_epi8(_mm256_and_si256(start, one), avoid);
  const __m256i length = _mm256_and_si256(_mm256_srli_epi16(start, 1), _mm256_set1_epi8(0x0F));
  too_long = _mm256_and_si256(same, _mm256_cmpeq_epi8(length, _mm256_set1_epi8(BIT_LOOKAHEAD + 1)));
  return _mm256_and_si256(same, length);
}

[[gnu::target("avx2")]] void CHOOSE_SWITCHES_TWO_BY_TWO_AVX2(const INT32* draw, int from, int to,
                                                             SWITCH_CHOICES& choices) {
  // A place reads runs up to 3 + 7 + 31 places on, and a run reads 8 picks.
  constexpr int PAD = 128;
  static_assert(BIT_LOOKAHEAD == 7 && 4 + 2 * BIT_LOOKAHEAD <= CHOICE_MARGIN - 1 && CHOICE_CHUNK % 32 == 0);
  alignas(32) std::array<std::uint8_t, DRAW_BLOCK + PAD> bit, run;
  std::fill(bit.begin() + DRAW_BLOCK, bit.end(), 0);
  TWO_BY_TWO_PICK_BITS(draw, from, std::min(to + 96, DRAW_BLOCK), bit.data());
  TWO_BY_TWO_RUNS(bit.data(), from, to + 32, run.data());
  const TWO_BY_TWO_CELLS cells{TWO_BY_TWO_TABLE(true, true), TWO_BY_TWO_TABLE(false, false),
                               TWO_BY_TWO_TABLE(true, false), TWO_BY_TWO_TABLE(false, true)};
  for (int k = from; k < to; k += 32) {
    const auto at = static_cast<std::size_t>(k);
    const __m256i op1 = LOAD32(bit.data() + at), all1 = LOAD32(bit.data() + at + 1);
    __m256i row_too_long, column_too_long;
    const __m256i row_extra = TWO_BY_TWO_LOOP(LOAD32(run.data() + at + 2), op1, row_too_long);
    __m256i column_start = LOAD32(run.data() + at + 3);
    for (int d = 1; d <= BIT_LOOKAHEAD; ++d)
      column_start = _mm256_blendv_epi8(column_start,
                                        LOAD32(run.data() + at + 3 + static_cast<std::size_t>(d)),
                                        _mm256_cmpeq_epi8(row_extra, _mm256_set1_epi8(static_cast<char>(d))));
    const __m256i column_extra = TWO_BY_TWO_LOOP(column_start, all1, column_too_long);
    const __m256i dropped = _mm256_or_si256(row_too_long, column_too_long);
    const __m256i advance = _mm256_add_epi8(_mm256_set1_epi8(4), _mm256_add_epi8(row_extra, column_extra));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(choices.ADVANCE.data() + at),
                        _mm256_andnot_si256(dropped, advance));
    const __m256i entry = _mm256_or_si256(op1, _mm256_add_epi8(all1, all1));
    STORE_TWO_BY_TWO_CELL(choices.TAKE1.data() + at, cells.TAKE1, entry, dropped);
    STORE_TWO_BY_TWO_CELL(choices.TAKE2.data() + at, cells.TAKE2, entry, dropped);
    STORE_TWO_BY_TWO_CELL(choices.GIVE1.data() + at, cells.GIVE1, entry, dropped);
    STORE_TWO_BY_TWO_CELL(choices.GIVE2.data() + at, cells.GIVE2, entry, dropped);
  }
  CLEAR_CHOICES_AFTER(DRAW_BLOCK - CHOICE_MARGIN, static_cast<std::size_t>(from),
                      static_cast<std::size_t>(to), choices);
}

// The avx2 and x86-64-v4 forms: the 2 x 2 tables on bits, every other
// shape on bytes.
void CHOOSE_SWITCHES_AVX2(const INT32* draw, INT32 rows, INT32 columns, int from, int to,
                          SWITCH_CHOICES& choices) {
  if (rows == 2 && columns == 2) CHOOSE_SWITCHES_TWO_BY_TWO_AVX2(draw, from, to, choices);
  else CHOOSE_SWITCHES_IN_BYTES_AVX2(draw, rows, columns, from, to, choices);
}
void CHOOSE_SWITCHES_V4(const INT32* draw, INT32 rows, INT32 columns, int from, int to,
                        SWITCH_CHOICES& choices) {
  if (rows == 2 && columns == 2) CHOOSE_SWITCHES_TWO_BY_TWO_AVX2(draw, from, to, choices);
  else CHOOSE_SWITCHES_IN_BYTES_V4(draw, rows, columns, from, to, choices);
}
#endif

}  // namespace

#if defined(__x86_64__)
namespace {

#define KORVEL_BIT_SELECTS "avx512f,avx512bw,avx512vbmi,avx512bitalg"

// For each byte, the number of trailing zero bits (8 for a zero byte):
// the ones below the lowest set bit, ~x & (x - 1), counted.
[[gnu::target(KORVEL_BIT_SELECTS)]] inline __m512i TRAILING_ZEROS8(__m512i x) {
  return _mm512_popcnt_epi8(_mm512_andnot_si512(x, _mm512_sub_epi8(x, _mm512_set1_epi8(1))));
}

// The places (row << ROW_SHIFT) + column of 64 cells, 0 where `keep` is
// not set. In bytes the shift of 16-bit lanes cannot carry a row into the
// next byte: a row's place stays below 256.
[[gnu::target(KORVEL_BIT_SELECTS)]] inline void STORE_PLACES(CELL_PLACE* places, __m512i rows,
                                                             __m512i columns, __mmask64 keep) {
  static_assert(sizeof(CELL_PLACE) == 2 || (MAX_POPS << ROW_SHIFT) < 256);
  if constexpr (sizeof(CELL_PLACE) == 1) {
    const __m512i place = _mm512_or_si512(_mm512_slli_epi16(rows, ROW_SHIFT), columns);
    _mm512_store_si512(places, _mm512_maskz_mov_epi8(keep, place));
  } else {
    for (int half = 0; half < 2; ++half) {
      const __m512i row = _mm512_cvtepu8_epi16(half == 0 ? _mm512_castsi512_si256(rows)
                                                         : _mm512_extracti64x4_epi64(rows, 1));
      const __m512i column = _mm512_cvtepu8_epi16(half == 0 ? _mm512_castsi512_si256(columns)
                                                            : _mm512_extracti64x4_epi64(columns, 1));
      const __m512i place = _mm512_or_si512(_mm512_slli_epi16(row, ROW_SHIFT), column);
      const auto kept = static_cast<__mmask32>(keep >> (32 * half));
      _mm512_store_si512(places + 32 * half, _mm512_maskz_mov_epi16(kept, place));
    }
  }
}

// The switches of 64 places from their two rows (op1, op2) and two columns
// (all1, all2): each place's step and its four cells, zeros where `keep`
// is not set.
[[gnu::target(KORVEL_BIT_SELECTS)]] inline void STORE_SWITCHES(SWITCH_CHOICES& choices, std::size_t k,
                                                               __mmask64 keep, __m512i advance, __m512i op1,
                                                               __m512i op2, __m512i all1, __m512i all2) {
  _mm512_store_si512(choices.ADVANCE.data() + k, _mm512_maskz_mov_epi8(keep, advance));
  STORE_PLACES(choices.TAKE1.data() + k, op1, all1, keep);
  STORE_PLACES(choices.TAKE2.data() + k, op2, all2, keep);
  STORE_PLACES(choices.GIVE1.data() + k, op1, all2, keep);
  STORE_PLACES(choices.GIVE2.data() + k, op2, all1, keep);
}

// With two columns a column pick is one bit of its draw (ALL = 1 + bit 23
// of u), so the column loop is found on bits: the eight picks from the
// loop's start are one byte cut out of the block's bits, the loop runs
// while they equal ALL1's bit, and its extra draws are the trailing zeros
// of that byte against ALL1's bit. Each place cuts its own byte
// (a multishift, from the place's own offset), so the row loop's length,
// which moves the column loop's start, costs nothing more. With four rows
// or more the row loop (three draws of lookahead) is found on bytes as in
// the portable form. With two rows a row pick is the same bit of its draw
// as a column pick, so the row loop is cut out of the same bits, and both
// loops look BIT_LOOKAHEAD picks ahead: a step is drawn one by one once in
// 128 instead of once in 32 with the byte form's lookahead.
template <bool TWO_ROWS>
[[gnu::target(KORVEL_BIT_SELECTS)]] void CHOOSE_SWITCHES_TWO_COLUMNS_IN_BITS(const INT32* draw, INT32 rows,
                                                                             int from, int to,
                                                                             SWITCH_CHOICES& choices) {
  constexpr int ROW_REACH = 3;
  constexpr std::size_t PAD = 64;
  // The acceptance draw stays within the block.
  static_assert(4 + 2 * BIT_LOOKAHEAD <= CHOICE_MARGIN - 1 && BIT_LOOKAHEAD == 7);
  // The places from `from` to PAD past `to` are written below, the chunk's
  // reads reach 120 places past a vector's first (the 64-byte load of bits
  // reads more, in lanes the byte select leaves); only the reads past the
  // block's end need their zeros.
  alignas(64) std::array<std::uint8_t, DRAW_BLOCK + PAD> row;      // the row pick at each place
  alignas(64) std::array<std::uint8_t, DRAW_BLOCK / 8 + PAD> bit;  // the column bits, place k at bit k
  std::fill(row.begin() + DRAW_BLOCK, row.end(), 0);
  std::fill(bit.begin() + DRAW_BLOCK / 8, bit.end(), 0);
  const __m512i scale = _mm512_set1_epi32(rows);
  const __m512i column_bit = _mm512_set1_epi32(1 << 23);
  for (int k = from; k < std::min(to + 2 * static_cast<int>(PAD), DRAW_BLOCK); k += 16) {
    const __m512i u = _mm512_loadu_si512(draw + k);
    const __m512i pick = _mm512_add_epi32(_mm512_srli_epi32(_mm512_mullo_epi32(u, scale), 24),
                                          _mm512_set1_epi32(1));
    if constexpr (!TWO_ROWS)
      _mm_storeu_si128(reinterpret_cast<__m128i*>(row.data() + k), _mm512_cvtepi32_epi8(pick));
    const __mmask16 bits = _mm512_test_epi32_mask(u, column_bit);
    std::memcpy(bit.data() + k / 8, &bits, sizeof bits);
  }
  // Byte 8L + i of a vector of places: the qword of bits from place
  // 8L on (L = 0..7), and the offsets of ALL1 (k + 1) and of the column
  // loop's start (k + 3 plus the row loop's extra draws) in it.
  alignas(64) std::array<std::uint8_t, 64> qword_bytes{}, lane{};
  for (std::size_t b = 0; b < 64; ++b) {
    qword_bytes[b] = static_cast<std::uint8_t>(b / 8 + b % 8);
    lane[b] = static_cast<std::uint8_t>(b % 8);
  }
  const __m512i gather_qwords = _mm512_load_si512(qword_bytes.data());
  const __m512i in_lane = _mm512_load_si512(lane.data());
  const __m512i one = _mm512_set1_epi8(1), two = _mm512_set1_epi8(2), four = _mm512_set1_epi8(4);
  for (int k = from; k < to; k += 64) {
    const __m512i qwords = _mm512_permutexvar_epi8(gather_qwords, _mm512_loadu_si512(bit.data() + k / 8));
    // The row loop from k + 2: its pick and extra draws (0 without a loop).
    __m512i op1, op2, row_extra;
    __mmask64 row_too_long;
    if constexpr (TWO_ROWS) {
      const __m512i op1_bit = _mm512_and_si512(_mm512_multishift_epi64_epi8(in_lane, qwords), one);
      const __m512i loop = _mm512_multishift_epi64_epi8(_mm512_add_epi8(in_lane, two), qwords);
      const __m512i differs = _mm512_xor_si512(loop, _mm512_sub_epi8(_mm512_setzero_si512(), op1_bit));
      row_too_long = _mm512_testn_epi8_mask(differs, differs);
      row_extra = TRAILING_ZEROS8(differs);
      op1 = _mm512_add_epi8(one, op1_bit);
      op2 = _mm512_sub_epi8(two, op1_bit);
    } else {
      op1 = _mm512_loadu_si512(row.data() + k);
      const __m512i first = _mm512_loadu_si512(row.data() + k + 2);
      const __mmask64 same_row = _mm512_cmpeq_epi8_mask(first, op1);
      op2 = first;
      row_extra = _mm512_setzero_si512();
      __mmask64 found = 0;
      for (int d = ROW_REACH; d >= 1; --d) {
        const __m512i later = _mm512_loadu_si512(row.data() + k + 2 + d);
        const __mmask64 differs = same_row & _mm512_cmpneq_epi8_mask(later, op1);
        op2 = _mm512_mask_mov_epi8(op2, differs, later);
        row_extra = _mm512_mask_mov_epi8(row_extra, differs, _mm512_set1_epi8(static_cast<char>(d)));
        found |= differs;
      }
      row_too_long = same_row & ~found;
    }
    // The column picks, cut per place.
    const __m512i all1_bit = _mm512_and_si512(
        _mm512_multishift_epi64_epi8(_mm512_add_epi8(in_lane, one), qwords), one);
    const __m512i loop_offset = _mm512_add_epi8(in_lane, _mm512_add_epi8(row_extra, _mm512_set1_epi8(3)));
    const __m512i loop_bits = _mm512_multishift_epi64_epi8(loop_offset, qwords);
    // Set where a pick differs from ALL1.
    const __m512i differs = _mm512_xor_si512(loop_bits, _mm512_sub_epi8(_mm512_setzero_si512(), all1_bit));
    const __mmask64 column_too_long = _mm512_testn_epi8_mask(differs, differs);
    const __m512i column_extra = TRAILING_ZEROS8(differs);
    const __mmask64 keep = ~(row_too_long | column_too_long);
    const __m512i advance = _mm512_add_epi8(four, _mm512_add_epi8(row_extra, column_extra));
    const __m512i all1 = _mm512_add_epi8(one, all1_bit);
    const __m512i all2 = _mm512_sub_epi8(two, all1_bit);
    STORE_SWITCHES(choices, k, keep, advance, op1, op2, all1, all2);
  }
  // Past LAST a choice could need draws beyond the block.
  CLEAR_CHOICES_AFTER(DRAW_BLOCK - CHOICE_MARGIN, static_cast<std::size_t>(from),
                      static_cast<std::size_t>(to), choices);
}

// The picks of `count` at places [from, to) of the block, in bytes, and
// zeros after the block.
template <std::size_t SIZE>
[[gnu::target(KORVEL_BIT_SELECTS)]] inline void PICK_BYTES(const INT32* draw, INT32 count, int from, int to,
                                                           std::array<std::uint8_t, SIZE>& picks) {
  std::fill(picks.begin() + DRAW_BLOCK, picks.end(), 0);
  const __m512i scale = _mm512_set1_epi32(count);
  for (int k = from; k < std::min(to, DRAW_BLOCK); k += 16) {
    const __m512i u = _mm512_loadu_si512(draw + k);
    const __m512i pick = _mm512_add_epi32(_mm512_srli_epi32(_mm512_mullo_epi32(u, scale), 24),
                                          _mm512_set1_epi32(1));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(picks.data() + k), _mm512_cvtepi32_epi8(pick));
  }
}

// A redraw loop on 64 places at once: picks[d] holds each place's pick d
// draws after the loop's start; the loop runs while the picks equal
// `avoid`. Leaves the loop's pick and extra draws, and returns the places
// where it goes on past REACH picks.
template <int REACH>
[[gnu::target(KORVEL_BIT_SELECTS)]] inline __mmask64 REDRAW_LOOP(const __m512i* picks, __m512i avoid,
                                                                 __m512i& pick, __m512i& extra) {
  const __mmask64 same = _mm512_cmpeq_epi8_mask(picks[0], avoid);
  pick = picks[0];
  extra = _mm512_setzero_si512();
  __mmask64 found = 0;
  // From the farthest to the nearest, so that the nearest is kept.
  for (int d = REACH; d >= 1; --d) {
    const __mmask64 differs = same & _mm512_cmpneq_epi8_mask(picks[d], avoid);
    pick = _mm512_mask_mov_epi8(pick, differs, picks[d]);
    extra = _mm512_mask_mov_epi8(extra, differs, _mm512_set1_epi8(static_cast<char>(d)));
    found |= differs;
  }
  return same & ~found;
}

// Every other shape on bytes, 64 places at a time: the row loop starts at
// k + 2 for every place alike, so its picks are plain loads; the column
// loop starts at k + 3 plus the row loop's extra draws, a different place
// for each place, so its picks are selected per byte out of the 128 column
// picks from k on (a two-register byte permute). Rows look ROW_REACH picks
// ahead, columns BIT_LOOKAHEAD.
template <int ROW_REACH>
[[gnu::target(KORVEL_BIT_SELECTS)]] [[gnu::noinline]] void CHOOSE_SWITCHES_IN_BYTE_SELECTS(
    const INT32* draw, INT32 rows, INT32 columns, int from, int to, SWITCH_CHOICES& choices) {
  static_assert(4 + ROW_REACH + BIT_LOOKAHEAD <= CHOICE_MARGIN - 1 &&
                64 + 3 + ROW_REACH + BIT_LOOKAHEAD < 128);
  constexpr std::size_t PAD = 128;
  alignas(64) std::array<std::uint8_t, DRAW_BLOCK + PAD> row, column;
  // A vector of places reads picks up to 128 places on.
  PICK_BYTES(draw, rows, from, to + static_cast<int>(PAD), row);
  PICK_BYTES(draw, columns, from, to + static_cast<int>(PAD), column);
  alignas(64) std::array<std::uint8_t, 64> lane{};
  for (std::size_t b = 0; b < 64; ++b) lane[b] = static_cast<std::uint8_t>(b);
  const __m512i in_block = _mm512_load_si512(lane.data());
  for (int k = from; k < to; k += 64) {
    const std::uint8_t* const at = row.data() + k;
    const __m512i op1 = _mm512_load_si512(at);
    __m512i row_picks[ROW_REACH + 1], op2, row_extra;
    for (int d = 0; d <= ROW_REACH; ++d) row_picks[d] = _mm512_loadu_si512(at + 2 + d);
    const __mmask64 row_too_long = REDRAW_LOOP<ROW_REACH>(row_picks, op1, op2, row_extra);
    const __m512i near = _mm512_load_si512(column.data() + k),
                  far = _mm512_load_si512(column.data() + k + 64);
    const __m512i all1 = _mm512_loadu_si512(column.data() + k + 1);
    const __m512i start = _mm512_add_epi8(in_block, _mm512_add_epi8(row_extra, _mm512_set1_epi8(3)));
    __m512i column_picks[BIT_LOOKAHEAD + 1], all2, column_extra;
    for (int d = 0; d <= BIT_LOOKAHEAD; ++d)
      column_picks[d] = _mm512_permutex2var_epi8(
          near, _mm512_add_epi8(start, _mm512_set1_epi8(static_cast<char>(d))), far);
    const __mmask64 column_too_long = REDRAW_LOOP<BIT_LOOKAHEAD>(column_picks, all1, all2, column_extra);
    const __mmask64 keep = ~(row_too_long | column_too_long);
    const __m512i advance = _mm512_add_epi8(_mm512_set1_epi8(4), _mm512_add_epi8(row_extra, column_extra));
    STORE_SWITCHES(choices, k, keep, advance, op1, op2, all1, all2);
  }
  CLEAR_CHOICES_AFTER(DRAW_BLOCK - CHOICE_MARGIN, static_cast<std::size_t>(from),
                      static_cast<std::size_t>(to), choices);
}

// Bits where the shape suits them; byte selects for every other shape.
void CHOOSE_SWITCHES_IN_BITS_OR_BYTES(const INT32* draw, INT32 rows, INT32 columns, int from, int to,
                                      SWITCH_CHOICES& choices) {
  if (rows >= 4 && columns == 2) CHOOSE_SWITCHES_TWO_COLUMNS_IN_BITS<false>(draw, rows, from, to, choices);
  else if (rows == 2 && columns == 2)
    CHOOSE_SWITCHES_TWO_COLUMNS_IN_BITS<true>(draw, rows, from, to, choices);
  else if (rows >= 4) CHOOSE_SWITCHES_IN_BYTE_SELECTS<3>(draw, rows, columns, from, to, choices);
  else CHOOSE_SWITCHES_IN_BYTE_SELECTS<BIT_LOOKAHEAD>(draw, rows, columns, from, to, choices);
}

#undef KORVEL_BIT_SELECTS

bool HAS_AVX2() { return __builtin_cpu_supports("avx2"); }
// The features of x86-64-v4 one by one: not every compiler takes the level's
// own name here.
bool HAS_X86_64_V4() {
  return HAS_AVX2() && __builtin_cpu_supports("bmi") && __builtin_cpu_supports("bmi2") &&
         __builtin_cpu_supports("fma") && __builtin_cpu_supports("avx512f") &&
         __builtin_cpu_supports("avx512bw") && __builtin_cpu_supports("avx512cd") &&
         __builtin_cpu_supports("avx512dq") && __builtin_cpu_supports("avx512vl");
}
// 16-lane integer vectors and the byte selects that cut bytes out of bits.
bool HAS_BIT_SELECTS() {
  return HAS_X86_64_V4() && __builtin_cpu_supports("avx512vbmi") && __builtin_cpu_supports("avx512bitalg");
}

}  // namespace
#endif

namespace {

bool RUNS_ANYWHERE() { return true; }

// The portable form first, the fastest last: the program takes the last
// one this processor runs.
constexpr CHAIN_FORM FORMS[] = {
    // 2 x 2 tables on runs of equal picks, every other shape on bytes.
    {"portable", RUNS_ANYWHERE, MAKE_DRAWS_IN_RUNS_PORTABLE, CHOOSE_SWITCHES_PORTABLE},
#if defined(__x86_64__)
    // The same sources as the portable form, compiled for wider vectors;
    // 2 x 2 tables on runs of equal picks.
    {"avx2", HAS_AVX2, MAKE_DRAWS_IN_RUNS_AVX2, CHOOSE_SWITCHES_AVX2},
    // The draws 16 at a time in registers.
    {"x86-64-v4", HAS_X86_64_V4, MAKE_DRAWS_IN_REGISTERS, CHOOSE_SWITCHES_V4},
    // And the switches of biallelic loci chosen on bits.
    {"bit-selects", HAS_BIT_SELECTS, MAKE_DRAWS_IN_REGISTERS, CHOOSE_SWITCHES_IN_BITS_OR_BYTES},
#endif
};

}  // namespace

std::string CHAIN_FORMS_THAT_RUN_HERE() {
  std::string names;
  for (const CHAIN_FORM& form : FORMS) {
    if (!form.RUNS_HERE()) continue;
    if (!names.empty()) names += ", ";
    names += form.NAME;
  }
  return names;
}

namespace {

const CHAIN_FORM& CHOOSE_CHAIN_FORM() {
  const char* asked = std::getenv(CHAIN_FORM_VARIABLE);
  if (asked == nullptr) {
    const CHAIN_FORM* fastest = &FORMS[0];
    for (const CHAIN_FORM& form : FORMS)
      if (form.RUNS_HERE()) fastest = &form;
    return *fastest;
  }
  const CHAIN_FORM* form = RUNNABLE_CHAIN_FORM(asked);
  if (form == nullptr) {
    INPUT_REJECTED(std::string(CHAIN_FORM_VARIABLE) + " is \"" + asked +
                   "\": no form of the exact test's chain of that name runs on this processor; it runs " +
                   CHAIN_FORMS_THAT_RUN_HERE() + " (unset it to take the fastest)");
  }
  return *form;
}

}  // namespace

const CHAIN_FORM* RUNNABLE_CHAIN_FORM(std::string_view name) {
  for (const CHAIN_FORM& form : FORMS)
    if (name == form.NAME && form.RUNS_HERE()) return &form;
  return nullptr;
}

// The extended logarithms rounded to the nearest unit (see BOUNDED).
const FIXED* LN_OF_COUNTS() {
  static const std::array<FIXED, LN_COUNTS> ln = [] {
    std::array<FIXED, LN_COUNTS> value{};
    for (INT32 k = 1; k < LN_COUNTS; ++k)
      value[static_cast<std::size_t>(k)] = std::llround(std::log(static_cast<EXTENDED>(k)) * 0x1p50L);
    return value;
  }();
  return ln.data();
}

const CHAIN_FORM& THE_CHAIN_FORM() {
  static const CHAIN_FORM& form = CHOOSE_CHAIN_FORM();
  return form;
}

}  // namespace korvel::exact_chain
