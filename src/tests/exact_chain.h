// The exact test's Markov chain on the table of an EXACT_TEST_STATE: the
// generator on integer units of 2^-24, the choice of a switch, the
// acceptance decided on integers, the switch with its logarithm, and the
// walk that CHAINE runs. Used by CHAINE; the identity tests drive the walk
// step by step against the straightforward chain.
#pragma once

#include <algorithm>
#include <array>
#include <atomic>
#include <bit>
#include <cmath>
#include <cstdint>
#include <string>
#include <string_view>
#include <type_traits>

#include "common/capacity.h"
#include "common/number_types.h"
#include "input/shared_names.h"
#include "tests/exact_test_state.h"

namespace korvel::exact_chain {

inline constexpr int LAG_TABLE_SIZE = 97;
// Below this, RHO is rounding noise of a walk back to the observed table.
inline constexpr EXTENDED RHO_TOLERANCE = 1.0E-8L;

// A 32-bit signed product, as the chain forms it; wraps (never undefined)
// on counts no table of this program reaches.
inline INT32 PRODUCT32(INT32 a, INT32 b) {
  return static_cast<INT32>(static_cast<std::int64_t>(a) * static_cast<std::int64_t>(b));
}

inline constexpr INT32 ONE24 = EXACT_TEST_STATE::ONE24;
inline constexpr EXTENDED UNIT24 = 1.0L / 16777216.0L;

// "if x < 0 then x := x + modulus", branch-free: the sign is a coin toss
// that no branch predictor learns.
constexpr INT32 WRAP(INT32 x, INT32 modulus) { return x + ((x >> 31) & modulus); }

// One draw of the universal generator on units of 2^-24 (GOSUB100). Each
// real operation of the generator (a difference of two multiples of 2^-24
// in [0, 1), plus 1 when negative) is exact in extended precision, so the
// integers are exactly the reals times 2^24. GEN is the state itself or the
// chain's local copy of the generator.
template <class GEN>
inline INT32 NEXT_UNIFORM(GEN& g) {
  INT32 uni = WRAP(g.U[g.DP] - g.U[g.DQ], ONE24);
  g.U[g.DP] = uni;
  g.DP = g.DP == 1 ? LAG_TABLE_SIZE : g.DP - 1;
  g.DQ = g.DQ == 1 ? LAG_TABLE_SIZE : g.DQ - 1;
  g.DI = WRAP(g.DI - g.DD, g.DM);
  uni = WRAP(uni - g.DI, ONE24);
  g.UNI24 = uni;
  return uni;
}

// trunc(COUNT * UNI + 1) for a draw UNI = u * 2^-24 and COUNT >= 0. In
// extended precision COUNT * UNI is exact (COUNT * u < 2^39) and so is the
// sum with 1 (below 2^15 + 1 on a grid of 2^-24), so the truncation is
// 1 + floor(COUNT * u / 2^24), an integer shift.
inline INT32 PICK(INT32 count, INT32 u) {
  return 1 + static_cast<INT32>((static_cast<std::int64_t>(count) * u) >> 24);
}

// ln(PROB1 / PROB2) with the quotient rounded to extended and the logarithm
// taken in extended, exactly as the switch adds it to RHO. The logarithm is
// the dear part of a switch, and a walk meets the same few ratios over and
// over; a value depends on nothing but its two integers, so a program-wide
// table remembers them (a direct-mapped cache that returns the identical
// extended value it computed the first time).
struct LN_ENTRY {
  std::uint64_t key = 0;  // (PROB1, PROB2); 0 never occurs, as PROB1 != 0
  EXTENDED value = 0.0L;
};
inline constexpr int LN_CACHE_BITS = 16;
// One per thread: chains of different loci may run at the same time. It is
// the walk's (exact_chain_walk.cpp); constant-initialised, so a step reads
// it without a call to set it up.
using LN_CACHE_TABLE = std::array<LN_ENTRY, std::size_t{1} << LN_CACHE_BITS>;
extern thread_local constinit LN_CACHE_TABLE LN_CACHE;

inline LN_ENTRY& LN_CACHE_ENTRY(std::uint64_t key) {
  return LN_CACHE[(key * 0x9E3779B97F4A7C15ULL) >> (64 - LN_CACHE_BITS)];
}

inline std::uint64_t LN_KEY(INT32 prob1, INT32 prob2) {
  return (static_cast<std::uint64_t>(static_cast<std::uint32_t>(prob1)) << 32) |
         static_cast<std::uint32_t>(prob2);
}

inline EXTENDED LN_RATIO(INT32 prob1, INT32 prob2) {
  const std::uint64_t key = LN_KEY(prob1, prob2);
  LN_ENTRY& entry = LN_CACHE_ENTRY(key);
  if (entry.key != key) {
    entry.key = key;
    entry.value = std::log(static_cast<EXTENDED>(prob1) / static_cast<EXTENDED>(prob2));
  }
  return entry.value;
}

// The rows OP1 != OP2 and columns ALL1 != ALL2 of a switch (GOSUB20).
struct SWITCH {
  INT32 OP1, ALL1, OP2, ALL2;
};

// Whether the switch is made, PROB being PROB1 / PROB2 rounded to extended.
//
// With both products positive this is decided on integers:
// - PROB < 1 exactly when PROB1 < PROB2: below 1 the exact quotient is at
//   most 1 - 1/PROB2 <= 1 - 2^-31, and rounding to a 64-bit significand
//   moves it by at most 2^-65, so it cannot reach 1 (and at or above 1,
//   monotone rounding cannot take it below 1, which is representable).
// - PSWITCH >= UNI, with UNI = u * 2^-24, exactly when
//   PROB1 * 2^24 >= u * PROB2. Rounding is monotone and UNI is
//   representable, so an exact quotient >= UNI rounds to >= UNI. An exact
//   quotient below UNI lies below it by (u * PROB2 - PROB1 * 2^24) /
//   (PROB2 * 2^24) >= 2^-55 (the numerator is a positive integer, PROB2 <
//   2^31), while rounding moves a value below 1 by at most 2^-65: its
//   rounded value stays below UNI. Both products are below 2^55.
// Products that are not positive (counts no table of this program reaches,
// where the 32-bit products wrap) take the plain comparison of reals.
template <class GEN>
inline bool SWITCH_ACCEPTED(GEN& g, INT32 prob1, INT32 prob2) {
  if (prob1 > 0 && prob2 > 0) [[likely]] {
    if (prob1 >= prob2) return true;
    const INT32 u = NEXT_UNIFORM(g);
    return (static_cast<std::int64_t>(prob1) << 24) >= static_cast<std::int64_t>(u) * prob2;
  }
  const EXTENDED PROB = static_cast<EXTENDED>(prob1) / static_cast<EXTENDED>(prob2);
  if (!(PROB < 1.0L)) return true;
  return PROB >= static_cast<EXTENDED>(NEXT_UNIFORM(g)) * UNIT24;
}

// The chain's generator apart from its state record, to draw one by one
// beside the draws made ahead.
struct LOCAL_GENERATOR {
  std::array<INT32, 98> U;
  INT32 DI, DD, DM;
  INT32 DP, DQ;
  INT32 UNI24;
};

// The generator's arithmetic sequence: DI starts every walk at 362436 and
// moves by DD modulo DM, both fixed by the seeding.
inline constexpr INT32 SEQUENCE_START = 362436;      // DI
inline constexpr INT32 SEQUENCE_STEP = 7654321;      // DD
inline constexpr INT32 SEQUENCE_MODULUS = 16777213;  // DM

// k * DD mod DM for k = 0..LAST.
template <int LAST>
constexpr std::array<INT32, LAST + 1> SEQUENCE_MULTIPLES_UP_TO() {
  std::array<INT32, LAST + 1> multiple{};
  for (int k = 1; k <= LAST; ++k)
    multiple[static_cast<std::size_t>(k)] = WRAP(
        multiple[static_cast<std::size_t>(k - 1)] - (SEQUENCE_MODULUS - SEQUENCE_STEP), SEQUENCE_MODULUS);
  return multiple;
}

// The walk's table keeps its rows a power of two apart, so that a cell's
// place is (row << ROW_SHIFT) + column.
inline constexpr int ROW_SHIFT = std::bit_width(static_cast<unsigned>(MAX_ALLELES));

inline constexpr int DRAW_BLOCK = 4096;  // draws made at a time
inline constexpr int LAG_RUN = 33;       // the shorter lag
inline constexpr int LAG_VALUES = LAG_TABLE_SIZE + (DRAW_BLOCK + LAG_RUN - 1) / LAG_RUN * LAG_RUN;

// Makes the DRAW_BLOCK draws that follow the lag table x[0..96] (oldest
// first) and the arithmetic sequence at DI into `draw`, as DRAWS_AHEAD
// describes, leaving the lagged sequence's values in x[97..97 + DRAW_BLOCK)
// at least (exact_chain.cpp).
// Its forms are in the table of chain forms below.

inline constexpr std::array<INT32, DRAW_BLOCK + 1> SEQUENCE_MULTIPLES =
    SEQUENCE_MULTIPLES_UP_TO<DRAW_BLOCK>();

// The switch GOSUB20 chooses when it starts at each place k of a block of
// draws, made with the block so that a step reads its switch instead of
// drawing it: the places of its four cells in the walk's table (row <<
// ROW_SHIFT) + column, so that a step reads its cells without working out
// where they are, and ADVANCE, the draws the choice takes (the acceptance
// draw, when there is one, is the next). ADVANCE is 0 where the choice is
// not read off here: within CHOICE_MARGIN of the block's end, where its
// draws could run past it (the walk then starts the next block at that
// place; place DRAW_BLOCK is where a walk starts), and where a redraw loop
// goes on for more than its lookahead (the walk then draws one by one).
// The cell places are 0 there too, a cell of the table's unused row.
//
// The first block of a walk has its switches chosen in two chunks, as the
// walk reaches them: its first CHOICE_CHUNK places, then the rest. A short
// chain uses a few hundred places of its first block, and choosing all 4096
// was most of a locus's set-up. Later blocks are chosen whole: each chunk
// reads picks past its end and makes the walk leave its fast loop, which
// cost a long chain a few per cent when every block was chosen in chunks.
// Past the places chosen so far, ADVANCE is 0 and the cell places are 0 far
// enough for any step that starts before them (CHOICE_MARGIN places), so
// the walk stops there and chooses the rest.
//
// The redraw loops are found without loops: for each count, a pick is
// compared with the LOOKAHEAD picks after it, which gives the first later
// pick that differs and its distance (exact_chain.cpp).
// Five: with two rows or two columns a loop goes on past it once in 64
// (those steps are drawn one by one); a longer lookahead over two columns
// makes the choice cost three times as much (measured with 7).
inline constexpr int LOOKAHEAD = 5;
// Loops over two values found on bits (exact_chain.cpp) look at a byte of
// picks, the first and seven more, at no extra cost.
inline constexpr int BIT_LOOKAHEAD = 7;
// Two picks, two loops at the longest lookahead, the acceptance draw.
inline constexpr int CHOICE_MARGIN = 5 + 2 * BIT_LOOKAHEAD;
// A multiple of 64, the choosers' widest vector of places.
inline constexpr int CHOICE_CHUNK = 512;
static_assert(DRAW_BLOCK % CHOICE_CHUNK == 0 && CHOICE_CHUNK % 64 == 0);
// A byte where the table's places fit in one (korvel-ml).
using CELL_PLACE = std::conditional_t<((MAX_POPS + 1) << ROW_SHIFT) <= 256, std::uint8_t, std::uint16_t>;
constexpr CELL_PLACE PLACE_OF(unsigned row, unsigned column) {
  return static_cast<CELL_PLACE>((row << ROW_SHIFT) | column);
}
struct SWITCH_CHOICES {
  alignas(64) std::array<CELL_PLACE, DRAW_BLOCK + 1> TAKE1;  // (OP1, ALL1)
  alignas(64) std::array<CELL_PLACE, DRAW_BLOCK + 1> TAKE2;  // (OP2, ALL2)
  alignas(64) std::array<CELL_PLACE, DRAW_BLOCK + 1> GIVE1;  // (OP1, ALL2)
  alignas(64) std::array<CELL_PLACE, DRAW_BLOCK + 1> GIVE2;  // (OP2, ALL1)
  alignas(64) std::array<std::uint8_t, DRAW_BLOCK + 1> ADVANCE;

  SWITCH SWITCH_AT(std::size_t k) const {
    constexpr unsigned COLUMN = (1u << ROW_SHIFT) - 1;
    return SWITCH{TAKE1[k] >> ROW_SHIFT, static_cast<INT32>(TAKE1[k] & COLUMN), TAKE2[k] >> ROW_SHIFT,
                  static_cast<INT32>(TAKE2[k] & COLUMN)};
  }
};
static_assert(MAX_POPS < 256 && MAX_ALLELES < 256, "picks are kept in bytes and count * u in 32 bits");

// Its forms are in the table of chain forms below.

// The forms of the chain's two vector kernels, MAKE_DRAWS and
// CHOOSE_SWITCHES. Every form makes the same draws and the same choices;
// they differ in the instructions they use, and so in where they run and
// how fast. The program takes the fastest form this processor runs, once,
// unless the environment variable KORVEL_CHAIN_FORM names another (a
// diagnostic: the tests run every form this way).
struct CHAIN_FORM {
  const char* NAME;
  bool (*RUNS_HERE)();
  void (*MAKE_DRAWS)(INT32* x, INT32 DI, INT32* draw);
  // The switches of places [from, to) of the block, `from` and `to`
  // multiples of 64 (all places past DRAW_BLOCK - CHOICE_MARGIN get none).
  void (*CHOOSE_SWITCHES)(const INT32* draw, INT32 rows, INT32 columns, int from, int to,
                          SWITCH_CHOICES& choices);
};
// The form named `name`, when it exists and this processor runs it.
const CHAIN_FORM* RUNNABLE_CHAIN_FORM(std::string_view name);
// The names of the forms this processor runs, portable first, ", " between.
std::string CHAIN_FORMS_THAT_RUN_HERE();
// The form in use: chosen on the first call. A KORVEL_CHAIN_FORM that names
// no form this processor runs stops the program with a message saying so.
const CHAIN_FORM& THE_CHAIN_FORM();

// The walk's draws, made ahead a block at a time, so that a step takes its
// draws from memory instead of waiting for the generator's arithmetic. The
// draws are the generator's, in order; when the walk ends, the generator is
// put back exactly where the last draw taken left it (the state at the
// start of the block, advanced by the draws taken from it).
//
// Blocks are made without the lag table's circular indices: read from its
// oldest entry (U[DP], then U[DP - 1], ... circularly) the table is the
// last 97 values x of the lagged Fibonacci sequence, and each draw makes
// x[n] = x[n - 97] - x[n - 33] (plus 1 when negative), which depends on
// values at least 33 draws old, so 33 of them at a time can be formed
// together. The arithmetic sequence after k more draws is DI - k * DD
// modulo DM, read off a table of k * DD mod DM (the seeding fixes DD and
// DM). The draw is x[n] - DI (plus 1 when negative). Between blocks the
// lag table stays in that order (the last 97 values of one block start the
// next); only the walk's end puts it back in the generator's own layout.
class DRAWS_AHEAD {
 public:
  static constexpr int BLOCK = DRAW_BLOCK;

  explicit DRAWS_AHEAD(const EXACT_TEST_STATE& S)
      : start_{S.DI, S.DP, S.DQ},
        last_before_(S.UNI24),
        cancelled_(S.CANCELLED),
        rows_(S.N),
        columns_(S.M),
        form_(THE_CHAIN_FORM()) {
    int place = S.DP;
    for (int k = 0; k < LAG_TABLE_SIZE; ++k) {
      x_[static_cast<std::size_t>(k)] = S.U[static_cast<std::size_t>(place)];
      place = place == 1 ? LAG_TABLE_SIZE : place - 1;
    }
    CLEAR_CHOICES(BLOCK, BLOCK + 1);
  }

  // Makes the next block and its switches; returns its first draw's place.
  // A walk that is called off ends here, every few hundred steps.
  const INT32* REFILL() { return REFILL_FROM(value_.data() + BLOCK); }

  // Starts the next block at `next`, a place of this block (or its end):
  // the draws from there on are made again, now with the draws after them,
  // so that a walk near the block's end goes on reading its switches.
  const INT32* REFILL_FROM(const INT32* next) {
    if (cancelled_ != nullptr && cancelled_->load(std::memory_order_relaxed)) throw CHAIN_CANCELLED{};
    if (made_) {
      // The lag table before the draw at `next` is the 97 values before it.
      const auto start = static_cast<int>(next - value_.data());
      std::copy_n(x_.begin() + start, LAG_TABLE_SIZE, x_.begin());
      const int shift = start % LAG_TABLE_SIZE;
      start_.DI = WRAP(start_.DI - SEQUENCE_MULTIPLES[static_cast<std::size_t>(start)], SEQUENCE_MODULUS);
      start_.DP = (start_.DP - 1 - shift + LAG_TABLE_SIZE) % LAG_TABLE_SIZE + 1;
      start_.DQ = (start_.DQ - 1 - shift + LAG_TABLE_SIZE) % LAG_TABLE_SIZE + 1;
      last_before_ = start > 0 ? value_[static_cast<std::size_t>(start - 1)] : last_before_;
    }
    const bool first = !made_;
    made_ = true;
    form_.MAKE_DRAWS(x_.data(), start_.DI, value_.data());
    chosen_ = 0;
    CHOOSE_THROUGH(first ? 0 : BLOCK - 1);
    return value_.data();
  }

  // Chooses the switches of the chunks up to the one of place `at`, when
  // they are not chosen yet (at < DRAW_BLOCK).
  void CHOOSE_THROUGH(std::size_t at) {
    if (at < chosen_ || at >= BLOCK) return;
    const int from = static_cast<int>(chosen_);
    const int to = at < CHOICE_CHUNK ? CHOICE_CHUNK : BLOCK;
    form_.CHOOSE_SWITCHES(value_.data(), rows_, columns_, from, to, choices_);
    chosen_ = static_cast<std::size_t>(to);
    CLEAR_CHOICES(chosen_, std::min<std::size_t>(chosen_ + CHOICE_MARGIN + 1, BLOCK));
  }
  // Places [0, CHOSEN()) have their switches; none past them.
  std::size_t CHOSEN() const { return chosen_; }
  const INT32* BEGIN() const { return value_.data(); }
  const INT32* END() const { return value_.data() + BLOCK; }
  const SWITCH_CHOICES& CHOICES() const { return choices_; }

  // Leaves in the state the generator as it is after the draw before `next`:
  // after the first n draws of the block the lag table is the 97 values
  // before draw n, the arithmetic sequence has moved by n * DD and the lag
  // indices by n, as REFILL_FROM finds them.
  void STORE(EXACT_TEST_STATE& S, const INT32* next) const {
    if (!made_) return;  // no draw taken: the state still holds it
    const auto taken = static_cast<int>(next - value_.data());
    const int shift = taken % LAG_TABLE_SIZE;
    const int DP = (start_.DP - 1 - shift + LAG_TABLE_SIZE) % LAG_TABLE_SIZE + 1;
    int place = DP;
    for (int k = 0; k < LAG_TABLE_SIZE; ++k) {
      S.U[static_cast<std::size_t>(place)] = x_[static_cast<std::size_t>(taken + k)];
      place = place == 1 ? LAG_TABLE_SIZE : place - 1;
    }
    S.DI = WRAP(start_.DI - SEQUENCE_MULTIPLES[static_cast<std::size_t>(taken)], SEQUENCE_MODULUS);
    S.DD = SEQUENCE_STEP;
    S.DM = SEQUENCE_MODULUS;
    S.DP = static_cast<INT16>(DP);
    S.DQ = static_cast<INT16>((start_.DQ - 1 - shift + LAG_TABLE_SIZE) % LAG_TABLE_SIZE + 1);
    S.UNI24 = taken > 0 ? value_[static_cast<std::size_t>(taken - 1)] : last_before_;
    S.UNI = static_cast<EXTENDED>(S.UNI24) * UNIT24;
  }

 private:
  // The arithmetic sequence and lag indices at the block's first draw.
  struct BLOCK_START {
    INT32 DI, DP, DQ;
  };
  BLOCK_START start_;
  INT32 last_before_;  // the draw before the block's first
  bool made_ = false;
  std::size_t chosen_ = BLOCK;  // the places whose switches are chosen
  const std::atomic<bool>* cancelled_;
  INT32 rows_, columns_;
  const CHAIN_FORM& form_;
  // No switch at places [from, to): ADVANCE 0, the cells those of place 0.
  void CLEAR_CHOICES(std::size_t from, std::size_t to) {
    for (auto* places : {&choices_.TAKE1, &choices_.TAKE2, &choices_.GIVE1, &choices_.GIVE2})
      std::fill(places->begin() + static_cast<std::ptrdiff_t>(from),
                places->begin() + static_cast<std::ptrdiff_t>(to), CELL_PLACE{0});
    std::fill(choices_.ADVANCE.begin() + static_cast<std::ptrdiff_t>(from),
              choices_.ADVANCE.begin() + static_cast<std::ptrdiff_t>(to), std::uint8_t{0});
  }

  // Left uninitialised: every value is written before it is read (the
  // draws and choices by the block's making, the lag table's first 97 by
  // the constructor), and zeroing these 50 kB was a tenth of a short
  // chain's set-up.
  alignas(64) std::array<INT32, BLOCK> value_;
  // The lag table at the block's start, oldest first, then the block's
  // values of the lagged sequence.
  alignas(64) std::array<INT32, LAG_VALUES> x_;
  SWITCH_CHOICES choices_;
};

// The place of the next draw among those made ahead, for the steps that
// draw one by one.
struct DRAW_CURSOR {
  const INT32* next;
  DRAWS_AHEAD& source;
};

// The interface of NEXT_UNIFORM for the draws made ahead.
inline INT32 NEXT_UNIFORM(DRAW_CURSOR& cursor) {
  if (cursor.next == cursor.source.END()) cursor.next = cursor.source.REFILL();
  return *cursor.next++;
}

// How a walk carries RHO.
//
// EXACT: as the chain defines it, the extended sum of ln(PROB) over the
// made switches, step by step, the logarithms from LN_RATIO.
//
// BOUNDED: an approximation A of that sum, an integer in units of 2^-50,
// and a bound E with |RHO - A| <= E. A made switch adds
// ln a + ln b - ln(c + 1) - ln(d + 1) (its four counts before the switch),
// each read off LN_OF_COUNTS: the extended logarithm rounded to a unit, so
// within 2^-51 + 2^-60 of ln k (an ulp is 2^-60 below 16). A is an exact
// sum of these, so the term added is within 2^-48.9 of ln(PROB1 / PROB2);
// the logarithm the exact sum adds is within 2^-58.9 of that (the quotient
// rounded within 2^-64, the logarithm within an ulp, 2^-59 below 32); and
// the exact sum rounds by at most 2^-64 |RHO| <= 2^-51.9 while |A| stays
// below 2^12 (and E below 1, for fewer than 2^48 steps). So per step E grows
// by less than 2.5 units, and the walk adds 4. RHO only ever meets the
// tolerance and 0:
// - |A| + E below the tolerance: RHO is certainly within it, so it is
//   exactly 0, and A and E become 0;
// - |A| - E at or above it: RHO is certainly not, and RHO <= 0 exactly when
//   A < 0;
// - else (RHO within E, 3.6e-15 per step since RHO was last 0, of +-1e-8:
//   no log-ratio of two tables comes that close but by rounding, and a walk
//   back to the observed table brings A back to exactly 0, as its terms
//   cancel; or |A| beyond 2^12) the walk cannot tell; it stops and says so,
//   and CHAINE walks again with the exact sum. Only a walk that stays away
//   from the observed table's probability for millions of steps and then
//   comes back near it, or a table whose probability is e^4096 times the
//   observed one's, is walked twice.
// A bounded walk takes no logarithm: where many ratios turn up only once
// (tables of few alleles and large counts) those were most of a step's
// cost. Its arithmetic is on integers, exact and short. It needs counts
// that fit the table of logarithms; other tables are walked exactly.
enum class RHO_KEPT { EXACT, BOUNDED };

using FIXED = std::int64_t;  // units of 2^-50
inline constexpr EXTENDED FIXED_UNIT = 0x1p-50L;

// ln k in units, for k = 1..LN_COUNTS - 1, and 0 at k = 0 (an impossible
// switch, which adds nothing). Made once, on the first call.
inline constexpr INT32 LN_COUNTS = 16384;
const FIXED* LN_OF_COUNTS();

// The tolerance in units, with the whole units inside it and beyond it,
// and the largest |A| whose sum cannot overflow (2^12, with room for a
// term below 2^5).
inline constexpr FIXED TOLERANCE_UNITS = static_cast<FIXED>(RHO_TOLERANCE * 0x1p50L);  // rounded down
inline constexpr FIXED CERTAINLY_WITHIN = TOLERANCE_UNITS - 1;
inline constexpr FIXED CERTAINLY_BEYOND = TOLERANCE_UNITS + 1;
inline constexpr FIXED LARGEST_APPROX = FIXED{1} << 62;
inline constexpr FIXED BOUND_PER_STEP = 4;

// A bounded walk's step after its switch: adds `added` (0 when nothing was
// made) to A, widens E, applies the tolerance and counts RHO <= 0. False
// when the walk cannot tell where RHO lies.
[[gnu::always_inline]] inline bool BOUNDED_STEP(FIXED& A, FIXED& E, FIXED added, INT32& counted) {
  A += added;
  const FIXED size = A < 0 ? -A : A;
  E += BOUND_PER_STEP;
  const bool within = size + E <= CERTAINLY_WITHIN;
  const bool beyond = (size - E >= CERTAINLY_BEYOND) & (size <= LARGEST_APPROX);
  counted += static_cast<INT32>(within | (A < 0));
  // Cleared by a mask: a branch on where a walk is would be mispredicted.
  const FIXED keep = static_cast<FIXED>(within) - 1;
  A &= keep;
  E &= keep;
  return within | beyond;
}

// What a made switch adds to a bounded A, from its four counts before it.
[[gnu::always_inline]] inline FIXED BOUNDED_TERM(const FIXED* ln, INT32 take1, INT32 take2, INT32 give1,
                                                 INT32 give2) {
  return (ln[take1] + ln[take2]) - (ln[give1 + 1] + ln[give2 + 1]);
}

// The walk on the state's table: `steps` steps at a time, returning the
// number of steps after which RHO <= 0.
//
// Nearly every step is made by FAST_STEP, without a branch on anything a
// walk cannot predict. Its switch is read off the block's choices; the
// switch is always "applied", by 1 when it is made and by 0 when it is
// impossible (a cell it takes from is empty) or rejected; RHO always gets a
// logarithm added, ln(PROB) when the switch is made and ln(1/1) = +0
// otherwise, which leaves it exactly as it was (RHO is never -0: it starts
// at +0, the tolerance sets +0, and a sum of nonzero terms that cancels is
// +0); the tolerance is applied after every step, which changes nothing
// after a step that left RHO alone (it was already 0 or at least 1e-8 away
// from 0). The acceptance draw is taken only when 0 < PROB1 < PROB2.
//
// The rest, well under 1 step in 100, take GENERAL_STEP, the step as drawn:
// after a long redraw loop, with products that are not positive (counts no
// table of this program reaches, where the 32-bit products wrap) or, in an
// exact walk, with a logarithm not yet in the cache. Near a block's end the
// walk starts the next block where it is instead.
//
// The walk works on its own copy of the table (rows ROW_SHIFT bits apart).
class WALKER {
 public:
  explicit WALKER(EXACT_TEST_STATE& S, RHO_KEPT kept = RHO_KEPT::EXACT)
      : S_(S), draws_(S), next_(draws_.END()), RHO_(S.RHO) {
    std::int64_t total = 0;
    bool negative = false;
    for (INT32 i = 1; i <= S.N; ++i) {
      for (INT32 j = 1; j <= S.M; ++j) {
        const INT32 count = S.MM[static_cast<std::size_t>(i)][static_cast<std::size_t>(j)];
        CELL(i, j) = count;
        total += count;
        negative |= count < 0;
      }
    }
    // Switches keep the margins, so no count ever exceeds the total: below
    // 46340 no product can wrap, and PROB1 >= 0 and PROB2 >= 1 throughout.
    may_wrap_ = negative || total >= 46340;
    // A starts at the caller's RHO to the nearest unit, E at a unit unless
    // that is exact.
    const EXTENDED start = S.RHO / FIXED_UNIT;
    // A step reads ln(count + 1) for counts up to the total.
    if (kept == RHO_KEPT::BOUNDED && !negative && total + 1 < LN_COUNTS &&
        std::fabs(start) < static_cast<EXTENDED>(LARGEST_APPROX)) {
      ln_ = LN_OF_COUNTS();
      APPROX_ = std::llround(start);
      BOUND_ = static_cast<EXTENDED>(APPROX_) == start ? 0 : 1;
    }
  }
  WALKER(const WALKER&) = delete;
  WALKER& operator=(const WALKER&) = delete;

  INT32 RUN(INT32 steps) {
    if (steps <= 0 || lost_) return 0;
    RUNNING run{next_, RHO_, APPROX_, BOUND_, 0, steps};
    FINISH(run);
    return SAVE(run);
  }

  // Whether the walk carries RHO bounded (it was asked to, and the table
  // allows it).
  bool BOUNDED() const { return ln_ != nullptr; }
  // Whether a bounded walk met a step where it could not tell where RHO
  // lies: it has stopped, and its counts from that step on are void.
  bool LOST() const { return lost_; }

  // Leaves the table, the generator, the last switch and RHO in the state
  // (a bounded walk's A, within E of the exact sum, and the same where E
  // is 0).
  void STORE() {
    for (INT32 i = 1; i <= S_.N; ++i)
      for (INT32 j = 1; j <= S_.M; ++j)
        S_.MM[static_cast<std::size_t>(i)][static_cast<std::size_t>(j)] = CELL(i, j);
    draws_.STORE(S_, next_);
    if (!first_) {
      S_.OP1 = switch_.OP1;
      S_.OP2 = switch_.OP2;
      S_.ALL1 = switch_.ALL1;
      S_.ALL2 = switch_.ALL2;
    }
    S_.RHO = ln_ != nullptr ? static_cast<EXTENDED>(APPROX_) * FIXED_UNIT : RHO_;
  }

  // What a step that leaves the table alone adds to RHO: ln(1 / 1).
  static constexpr EXTENDED NOTHING_ADDED = 0.0L;

 private:
  INT32& CELL(INT32 row, INT32 column) {
    return table_[(static_cast<std::size_t>(row) << ROW_SHIFT) + static_cast<std::size_t>(column)];
  }

  // A run of steps in progress: the cursor, RHO (or A and E), the count of
  // steps that ended with RHO <= 0 and the steps still to make.
  struct RUNNING {
    const INT32* next;
    EXTENDED RHO;
    FIXED APPROX;
    FIXED BOUND;
    INT32 counted;
    INT32 left;
  };

  void FINISH(RUNNING& run) {
    while (run.left > 0 && !lost_) {
      draws_.CHOOSE_THROUGH(static_cast<std::size_t>(run.next - draws_.BEGIN()));
      if (ln_ != nullptr) FAST_STEPS<false, true>(run);
      else if (may_wrap_) FAST_STEPS<true, false>(run);
      else FAST_STEPS<false, false>(run);
      if (run.left == 0 || lost_) break;
      // Near the block's end the next block starts where the walk is.
      const auto at = static_cast<std::size_t>(run.next - draws_.BEGIN());
      if (at > DRAW_BLOCK - CHOICE_MARGIN) run.next = draws_.REFILL_FROM(run.next);
      else if (at < draws_.CHOSEN()) GENERAL_STEP(run);
      // (else the loop chooses the next chunk)
    }
  }

  INT32 SAVE(const RUNNING& run) {
    first_ = false;
    next_ = run.next;
    RHO_ = run.RHO;
    APPROX_ = run.APPROX;
    BOUND_ = run.BOUND;
    return run.counted;
  }

  // Fast steps until the run is over or the next step needs the general
  // one (exact_chain_walk.cpp). Nothing there calls out, so the walk's
  // registers stay registers.
  template <bool MAY_WRAP, bool IS_BOUNDED>
  [[gnu::noinline]] void FAST_STEPS(RUNNING& run);

  // Hands the registers back; the last fast step's switch, if any, is
  // read off its place.
  void LEAVE_FAST_STEPS(RUNNING& run, const INT32* next, EXTENDED RHO, FIXED APPROX, FIXED BOUND,
                        INT32 counted, INT32 left) {
    const std::size_t last = last_fast_;
    if (last != DRAW_BLOCK) {
      const SWITCH_CHOICES& choices = draws_.CHOICES();
      switch_ = choices.SWITCH_AT(last);
    }
    run.next = next;
    run.RHO = RHO;
    run.APPROX = APPROX;
    run.BOUND = BOUND;
    run.counted = counted;
    run.left = left;
  }

  // One step from the draw at `at` on the fast path, or false (and nothing
  // changed) when it needs the general one. A bounded walk also returns
  // false, with the step made, when it is lost.
  template <bool MAY_WRAP, bool IS_BOUNDED>
  [[gnu::always_inline]] inline bool FAST_STEP(std::size_t& at, EXTENDED& RHO, FIXED& APPROX, FIXED& BOUND,
                                               INT32& counted) {
    const SWITCH_CHOICES& choices = draws_.CHOICES();
    const std::size_t advance = choices.ADVANCE[at];
    // Where ADVANCE is 0 the places are 0: a cell of the table's unused row.
    INT32& take1 = table_[choices.TAKE1[at]];
    INT32& take2 = table_[choices.TAKE2[at]];
    INT32& give1 = table_[choices.GIVE1[at]];
    INT32& give2 = table_[choices.GIVE2[at]];
    const INT32 PROB1 = PRODUCT32(take1, take2);
    const INT32 PROB2 = PRODUCT32(give2 + 1, give1 + 1);
    const bool possible = PROB1 != 0;
    // The logarithm the switch would add: an exact walk looks it up while
    // the switch is decided; a bounded one sums it from its counts.
    const std::uint64_t key = LN_KEY(PROB1, PROB2);
    const LN_ENTRY& entry = LN_CACHE_ENTRY(IS_BOUNDED ? 0 : key);
    if constexpr (IS_BOUNDED) {
      if (advance == 0) [[unlikely]]
        return false;
    } else {
      const bool wrapped = MAY_WRAP && ((PROB1 < 0) | (PROB2 <= 0));
      if ((advance == 0) | wrapped | (possible & (entry.key != key))) [[unlikely]]
        return false;
    }
    const std::size_t decide = at + advance;  // the acceptance draw, within the block
    const INT32 u = draws_.BEGIN()[decide];
    const bool below_one = PROB1 < PROB2;
    last_fast_ = at;  // a store off the step's path
    at = decide + static_cast<std::size_t>(possible & below_one);
    // The integer form of PSWITCH >= UNI (SWITCH_ACCEPTED). It holds
    // whatever the draw when PROB1 >= PROB2, as u < 2^24, so the draw read
    // (taken or not) decides both cases.
    const bool made = possible &
                      ((static_cast<std::int64_t>(PROB1) << 24) >= static_cast<std::int64_t>(u) * PROB2);
    if constexpr (IS_BOUNDED) {
      const FIXED term = BOUNDED_TERM(ln_, take1, take2, give1, give2);
      const INT32 unit = static_cast<INT32>(made);
      take1 -= unit;
      take2 -= unit;
      give1 += unit;
      give2 += unit;
      // The term when made, else 0, by a mask: the coin toss of the
      // acceptance is not for a branch.
      if (!BOUNDED_STEP(APPROX, BOUND, term & -static_cast<FIXED>(made), counted)) [[unlikely]] {
        lost_ = true;
        return false;
      }
      return true;
    } else {
      const INT32 unit = static_cast<INT32>(made);
      take1 -= unit;
      take2 -= unit;
      give1 += unit;
      give2 += unit;
      // ln(PROB1 / PROB2) when made, else +0: the address is chosen with a
      // mask, as a branch on the coin toss would be mispredicted.
      const std::uintptr_t keep = 0u - static_cast<std::uintptr_t>(made);
      const auto added = reinterpret_cast<const EXTENDED*>(
          (reinterpret_cast<std::uintptr_t>(&entry.value) & keep) |
          (reinterpret_cast<std::uintptr_t>(&NOTHING_ADDED) & ~keep));
      RHO = RHO + *added;
      RHO = std::fabs(RHO) < RHO_TOLERANCE ? 0.0L : RHO;
      counted += static_cast<INT32>(RHO <= 0.0L);
      return true;
    }
  }

  // One step as drawn (GOSUB20, the acceptance, the switch and its
  // logarithm), whatever it needs.
  [[gnu::noinline]] void GENERAL_STEP(RUNNING& run) {
    DRAW_CURSOR cursor{run.next, draws_};
    SWITCH s;
    s.OP1 = PICK(S_.N, NEXT_UNIFORM(cursor));
    s.ALL1 = PICK(S_.M, NEXT_UNIFORM(cursor));
    do s.OP2 = PICK(S_.N, NEXT_UNIFORM(cursor));
    while (s.OP2 == s.OP1);
    do s.ALL2 = PICK(S_.M, NEXT_UNIFORM(cursor));
    while (s.ALL2 == s.ALL1);
    switch_ = s;
    INT32& take1 = CELL(s.OP1, s.ALL1);
    INT32& take2 = CELL(s.OP2, s.ALL2);
    INT32& give1 = CELL(s.OP1, s.ALL2);
    INT32& give2 = CELL(s.OP2, s.ALL1);
    const INT32 PROB1 = PRODUCT32(take1, take2);
    const INT32 PROB2 = PRODUCT32(give2 + 1, give1 + 1);
    const bool made = PROB1 != 0 && SWITCH_ACCEPTED(cursor, PROB1, PROB2);
    const FIXED term = ln_ != nullptr && made ? BOUNDED_TERM(ln_, take1, take2, give1, give2) : 0;
    const EXTENDED added = ln_ == nullptr && made ? LN_RATIO(PROB1, PROB2) : 0.0L;
    if (made) {
      --take1;
      --take2;
      ++give1;
      ++give2;
    }
    run.next = cursor.next;
    --run.left;
    if (ln_ != nullptr) {
      lost_ = !BOUNDED_STEP(run.APPROX, run.BOUND, term, run.counted);
      return;
    }
    EXTENDED RHO = run.RHO;
    if (made) RHO = RHO + added;
    RHO = std::fabs(RHO) < RHO_TOLERANCE ? 0.0L : RHO;
    run.RHO = RHO;
    run.counted += static_cast<INT32>(RHO <= 0.0L);
  }

  EXACT_TEST_STATE& S_;
  DRAWS_AHEAD draws_;
  const INT32* next_;
  EXTENDED RHO_;
  FIXED APPROX_ = 0;  // A and E of a bounded walk
  std::int64_t BOUND_ = 0;
  SWITCH switch_{};
  bool first_ = true;
  bool may_wrap_ = true;                // whether a product can wrap (then FAST_STEP checks)
  const FIXED* ln_ = nullptr;           // LN_OF_COUNTS() in a bounded walk
  bool lost_ = false;                   // a bounded walk that could not tell where RHO lies
  std::size_t last_fast_ = DRAW_BLOCK;  // where the last fast step began
  alignas(64) std::array<INT32, (MAX_POPS + 1) << ROW_SHIFT> table_{};
};

}  // namespace korvel::exact_chain
