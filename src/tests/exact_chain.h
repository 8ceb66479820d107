// The exact test's Markov chain on the table of an EXACT_TEST_STATE: the
// generator on integer units of 2^-24, the choice of a switch, the
// acceptance decided on integers, the switch with its logarithm, and the
// walk that CHAINE runs. Used by CHAINE; the identity tests drive the walk
// step by step against the straightforward chain.
#pragma once

#include <array>
#include <atomic>
#include <cmath>
#include <cstdint>
#ifdef __SSE2__
#include <emmintrin.h>
#endif

#include "common/capacity.h"
#include "common/number_types.h"
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
// One per thread: chains of different loci may run at the same time.
inline thread_local std::array<LN_ENTRY, std::size_t{1} << LN_CACHE_BITS> LN_CACHE;

inline EXTENDED LN_RATIO(INT32 prob1, INT32 prob2) {
  const std::uint64_t key = (static_cast<std::uint64_t>(static_cast<std::uint32_t>(prob1)) << 32) |
                            static_cast<std::uint32_t>(prob2);
  LN_ENTRY& entry = LN_CACHE[(key * 0x9E3779B97F4A7C15ULL) >> (64 - LN_CACHE_BITS)];
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

// The chain's generator as locals of the walk, so that the compiler keeps
// its indices in registers instead of reloading them after every store to
// the table.
struct LOCAL_GENERATOR {
  std::array<INT32, 98> U;
  INT32 DI, DD, DM;
  INT32 DP, DQ;
  INT32 UNI24;
};

// The generator's arithmetic sequence: DI starts every walk at 362436 and
// moves by DD modulo DM, both fixed by the seeding.
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

// The walk's draws, made ahead a block at a time, so that a step takes its
// draws from memory instead of waiting for the generator's arithmetic. The
// draws are the generator's, in order; when the walk ends, the generator is
// put back exactly where the last draw taken left it (the state at the
// start of the block, advanced by the draws taken from it).
//
// A block is made without the lag table's circular indices: read from its
// oldest entry (U[DP], then U[DP - 1], ... circularly) the table is the
// last 97 values x of the lagged Fibonacci sequence, and each draw makes
// x[n] = x[n - 97] - x[n - 33] (plus 1 when negative), which depends on
// values at least 33 draws old, so 33 of them at a time can be formed
// together (the loop vectorises). The arithmetic sequence after k more
// draws is DI - k * DD modulo DM, read off a table of k * DD mod DM. The
// draw is x[n] - DI (plus 1 when negative).
class DRAWS_AHEAD {
 public:
  static constexpr int BLOCK = 512;

  explicit DRAWS_AHEAD(const EXACT_TEST_STATE& S)
      : ahead_{S.U, S.DI, S.DD, S.DM, S.DP, S.DQ, S.UNI24}, block_start_(ahead_), cancelled_(S.CANCELLED) {}

  // Makes the next block; returns its first draw's place. A walk that is
  // called off ends here, every few hundred steps.
  const INT32* REFILL() {
    if (cancelled_ != nullptr && cancelled_->load(std::memory_order_relaxed)) throw CHAIN_CANCELLED{};
    block_start_ = ahead_;
    if (ahead_.DD != SEQUENCE_STEP || ahead_.DM != SEQUENCE_MODULUS) [[unlikely]] {
      for (int k = 0; k < BLOCK; ++k) value_[static_cast<std::size_t>(k)] = NEXT_UNIFORM(ahead_);
      return value_.data();
    }
    // x: the 97 values of the lag table, oldest first, then the block's.
    int place = ahead_.DP;
    for (int k = 0; k < LAG_TABLE_SIZE; ++k) {
      x_[static_cast<std::size_t>(k)] = ahead_.U[static_cast<std::size_t>(place)];
      place = place == 1 ? LAG_TABLE_SIZE : place - 1;
    }
    for (int k = 0; k < BLOCK; ++k) {
      const auto n = static_cast<std::size_t>(k + LAG_TABLE_SIZE);
      x_[n] = WRAP(x_[n - 97] - x_[n - 33], ONE24);
    }
    const INT32 DI = ahead_.DI;
    for (int k = 0; k < BLOCK; ++k) {
      const auto n = static_cast<std::size_t>(k);
      const INT32 sequence = WRAP(DI - SEQUENCE_MULTIPLES[n + 1], SEQUENCE_MODULUS);
      value_[n] = WRAP(x_[n + LAG_TABLE_SIZE] - sequence, ONE24);
    }
    // The lag table and indices after the block: BLOCK draws later.
    constexpr int SHIFT = BLOCK % LAG_TABLE_SIZE;
    ahead_.DP = (ahead_.DP - 1 - SHIFT + LAG_TABLE_SIZE) % LAG_TABLE_SIZE + 1;
    ahead_.DQ = (ahead_.DQ - 1 - SHIFT + LAG_TABLE_SIZE) % LAG_TABLE_SIZE + 1;
    place = ahead_.DP;
    for (int k = 0; k < LAG_TABLE_SIZE; ++k) {
      ahead_.U[static_cast<std::size_t>(place)] = x_[static_cast<std::size_t>(BLOCK + k)];
      place = place == 1 ? LAG_TABLE_SIZE : place - 1;
    }
    ahead_.DI = WRAP(DI - SEQUENCE_MULTIPLES[BLOCK], SEQUENCE_MODULUS);
    ahead_.UNI24 = value_[BLOCK - 1];
    return value_.data();
  }
  const INT32* END() const { return value_.data() + BLOCK; }

  // Leaves in the state the generator as it is after the draw before `next`.
  void STORE(EXACT_TEST_STATE& S, const INT32* next) const {
    LOCAL_GENERATOR g = block_start_;
    for (const INT32* k = value_.data(); k < next; ++k) NEXT_UNIFORM(g);
    S.U = g.U;
    S.DI = g.DI;
    S.DP = static_cast<INT16>(g.DP);
    S.DQ = static_cast<INT16>(g.DQ);
    S.UNI24 = g.UNI24;
    S.UNI = static_cast<EXTENDED>(g.UNI24) * UNIT24;
  }

 private:
  static constexpr std::array<INT32, BLOCK + 1> SEQUENCE_MULTIPLES = SEQUENCE_MULTIPLES_UP_TO<BLOCK>();

  LOCAL_GENERATOR ahead_;
  LOCAL_GENERATOR block_start_;
  const std::atomic<bool>* cancelled_;
  std::array<INT32, BLOCK> value_{};
  std::array<INT32, LAG_TABLE_SIZE + BLOCK> x_{};
};

// The place of the next draw among those made ahead, kept by the walk in
// registers.
struct DRAW_CURSOR {
  const INT32* next;
  const INT32* end;
  DRAWS_AHEAD* source;
};

// The interface of NEXT_UNIFORM for the draws made ahead.
inline INT32 NEXT_UNIFORM(DRAW_CURSOR& cursor) {
  if (cursor.next == cursor.end) [[unlikely]]
    cursor.next = cursor.source->REFILL();
  return *cursor.next++;
}

// The draws that give each pick: PICK(count, u) = v exactly when
// BOUND[v] <= u < BOUND[v + 1], with BOUND[v] = ceil((v - 1) * 2^24 / count)
// (the smallest u with count * u >= (v - 1) * 2^24).
template <std::size_t SIZE>
struct PICK_BOUNDS {
  std::array<INT32, SIZE + 2> BOUND{};
  explicit PICK_BOUNDS(INT32 count) {
    for (INT32 v = 1; v <= count + 1 && static_cast<std::size_t>(v) <= SIZE + 1; ++v)
      BOUND[static_cast<std::size_t>(v)] = static_cast<INT32>(
          (static_cast<std::int64_t>(v - 1) * ONE24 + count - 1) / count);
  }
};

// The first pick in 1..count, among the draws from the cursor on, that
// differs from `other` (the redraw loops of GOSUB20), with the cursor moved
// past its draw. A draw gives `other` exactly when it lies in
// [BOUND[other], BOUND[other + 1]); four draws are tested together and the
// first that lies outside is found without branches. When none of the four
// does (probability (1/count)^4) the plain loop goes on.
template <std::size_t SIZE>
inline INT32 PICK_OTHER(DRAW_CURSOR& cursor, INT32 count, INT32 other, const PICK_BOUNDS<SIZE>& bounds) {
  if (cursor.end - cursor.next >= 4) [[likely]] {
    const INT32 low = bounds.BOUND[static_cast<std::size_t>(other)];
    const INT32 width = bounds.BOUND[static_cast<std::size_t>(other) + 1] - low;
    // A draw lies outside exactly when u - low, read as unsigned, is at
    // least the width (signed comparisons after flipping the sign bits).
#ifdef __SSE2__
    const __m128i flip = _mm_set1_epi32(INT32_MIN);
    const __m128i draws = _mm_loadu_si128(reinterpret_cast<const __m128i*>(cursor.next));
    const __m128i offset = _mm_xor_si128(_mm_sub_epi32(draws, _mm_set1_epi32(low)), flip);
    const __m128i inside = _mm_cmplt_epi32(offset, _mm_xor_si128(_mm_set1_epi32(width), flip));
    const unsigned differs = static_cast<unsigned>(~_mm_movemask_ps(_mm_castsi128_ps(inside))) & 0xFu;
#else
    unsigned differs = 0;
    for (unsigned k = 0; k < 4; ++k)
      differs |= static_cast<unsigned>(static_cast<std::uint32_t>(cursor.next[k] - low) >=
                                       static_cast<std::uint32_t>(width))
                 << k;
#endif
    if (differs != 0) [[likely]] {
      const int first = __builtin_ctz(differs);
      const INT32 u = cursor.next[first];
      cursor.next += first + 1;
      return PICK(count, u);
    }
    cursor.next += 4;
  }
  INT32 p;
  do p = PICK(count, NEXT_UNIFORM(cursor));
  while (p == other);
  return p;
}

// The walk on the state's table: `steps` steps at a time, returning the
// number of steps after which RHO <= 0.
//
// A step is made without unpredictable branches. The switch is always
// "applied", by 1 when it is made and by 0 when it is impossible (a cell
// it takes from is empty) or rejected; RHO always gets a logarithm added,
// ln(PROB) when the switch is made and ln(1/1) = +0 otherwise, which leaves
// it exactly as it was (RHO is never -0: it starts at +0, the tolerance
// sets +0, and a sum of nonzero terms that cancels is +0); the tolerance is
// applied after every step, which changes nothing after a step that left
// RHO alone (it was already 0 or at least 1e-8 away from 0). The acceptance
// draw is taken (the cursor moves past it) only when 0 < PROB1 < PROB2.
// Products that are not positive (counts no table of this program
// reaches, where the 32-bit products wrap) take the plain step.
class WALKER {
 public:
  explicit WALKER(EXACT_TEST_STATE& S)
      : S_(S), draws_(S), next_(draws_.END()), RHO_(S.RHO), row_bounds_(S.N), column_bounds_(S.M) {}

  INT32 RUN(INT32 steps) {
    if (steps <= 0) return 0;
    DRAW_CURSOR cursor{next_, draws_.END(), &draws_};
    EXTENDED RHO = RHO_;
    SWITCH s = switch_;
    INT32 counted = 0;
    const INT32 rows = S_.N, columns = S_.M;
    auto& MM = S_.MM;
    for (INT32 step = 0; step < steps; ++step) {
      s.OP1 = PICK(rows, NEXT_UNIFORM(cursor));
      s.ALL1 = PICK(columns, NEXT_UNIFORM(cursor));
      s.OP2 = PICK_OTHER(cursor, rows, s.OP1, row_bounds_);
      s.ALL2 = PICK_OTHER(cursor, columns, s.ALL1, column_bounds_);
      auto& row1 = MM[static_cast<std::size_t>(s.OP1)];
      auto& row2 = MM[static_cast<std::size_t>(s.OP2)];
      INT32& take1 = row1[static_cast<std::size_t>(s.ALL1)];
      INT32& take2 = row2[static_cast<std::size_t>(s.ALL2)];
      INT32& give1 = row1[static_cast<std::size_t>(s.ALL2)];
      INT32& give2 = row2[static_cast<std::size_t>(s.ALL1)];
      const INT32 PROB1 = PRODUCT32(take1, take2);
      const INT32 PROB2 = PRODUCT32(give2 + 1, give1 + 1);
      if (PROB1 < 0 || PROB2 <= 0) [[unlikely]] {
        PLAIN_STEP(cursor, take1, take2, give1, give2, PROB1, PROB2, RHO);
      } else {
        if (cursor.next == cursor.end) [[unlikely]]
          cursor.next = draws_.REFILL();
        const INT32 u = *cursor.next;
        const bool possible = PROB1 != 0;
        const bool below_one = PROB1 < PROB2;
        cursor.next += static_cast<int>(possible & below_one);
        // The integer form of PSWITCH >= UNI (SWITCH_ACCEPTED).
        const bool made = possible & (!below_one | ((static_cast<std::int64_t>(PROB1) << 24) >=
                                                    static_cast<std::int64_t>(u) * PROB2));
        const INT32 unit = static_cast<INT32>(made);
        take1 -= unit;
        take2 -= unit;
        give1 += unit;
        give2 += unit;
        // (PROB1, PROB2) when made, else (1, 1), without a branch.
        RHO = RHO + LN_RATIO(1 + ((PROB1 - 1) & -unit), 1 + ((PROB2 - 1) & -unit));
      }
      RHO = std::fabs(RHO) < RHO_TOLERANCE ? 0.0L : RHO;
      counted += static_cast<INT32>(RHO <= 0.0L);
    }
    first_ = false;
    next_ = cursor.next;
    RHO_ = RHO;
    switch_ = s;
    return counted;
  }

  // Leaves the generator, the last switch and RHO in the state.
  void STORE() {
    draws_.STORE(S_, next_);
    if (!first_) {
      S_.OP1 = switch_.OP1;
      S_.OP2 = switch_.OP2;
      S_.ALL1 = switch_.ALL1;
      S_.ALL2 = switch_.ALL2;
    }
    S_.RHO = RHO_;
  }

 private:
  static void PLAIN_STEP(DRAW_CURSOR& cursor, INT32& take1, INT32& take2, INT32& give1, INT32& give2,
                         INT32 PROB1, INT32 PROB2, EXTENDED& RHO) {
    if (PROB1 == 0 || !SWITCH_ACCEPTED(cursor, PROB1, PROB2)) return;
    --take1;
    --take2;
    ++give1;
    ++give2;
    RHO = RHO + LN_RATIO(PROB1, PROB2);
  }

  EXACT_TEST_STATE& S_;
  DRAWS_AHEAD draws_;
  const INT32* next_;
  EXTENDED RHO_;
  SWITCH switch_{};
  bool first_ = true;
  PICK_BOUNDS<MAX_POPS> row_bounds_;
  PICK_BOUNDS<MAX_ALLELES> column_bounds_;
};

}  // namespace korvel::exact_chain
