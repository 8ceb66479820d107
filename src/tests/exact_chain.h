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
inline INT32 WRAP(INT32 x, INT32 modulus) { return x + ((x >> 31) & modulus); }

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
  const std::uint64_t key =
      (static_cast<std::uint64_t>(static_cast<std::uint32_t>(prob1)) << 32) | static_cast<std::uint32_t>(prob2);
  LN_ENTRY& entry = LN_CACHE[(key * 0x9E3779B97F4A7C15ULL) >> (64 - LN_CACHE_BITS)];
  if (entry.key != key) {
    entry.key = key;
    entry.value = std::log(static_cast<EXTENDED>(prob1) / static_cast<EXTENDED>(prob2));
  }
  return entry.value;
}

struct SWITCH {
  INT32 OP1, ALL1, OP2, ALL2;
};

// GOSUB20: rows and columns, in this order of draws.
template <class GEN>
inline SWITCH CHOOSE_SWITCH(GEN& g, INT32 rows, INT32 columns) {
  SWITCH s{};
  s.OP1 = PICK(rows, NEXT_UNIFORM(g));
  s.ALL1 = PICK(columns, NEXT_UNIFORM(g));
  do s.OP2 = PICK(rows, NEXT_UNIFORM(g));
  while (s.OP2 == s.OP1);
  do s.ALL2 = PICK(columns, NEXT_UNIFORM(g));
  while (s.ALL2 == s.ALL1);
  return s;
}

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

// One step (choice, acceptance, switch; GOSUB110 is the last three lines).
// Returns whether the switch was made, i.e. whether RHO changed.
template <class GEN>
inline bool STEP_ON(GEN& g, EXACT_TEST_STATE::COUNT_TABLE& MM, INT32 rows, INT32 columns, SWITCH& s,
                    EXTENDED& RHO) {
  s = CHOOSE_SWITCH(g, rows, columns);
  INT32& take1 = MM[static_cast<std::size_t>(s.OP1)][static_cast<std::size_t>(s.ALL1)];
  INT32& take2 = MM[static_cast<std::size_t>(s.OP2)][static_cast<std::size_t>(s.ALL2)];
  INT32& give1 = MM[static_cast<std::size_t>(s.OP1)][static_cast<std::size_t>(s.ALL2)];
  INT32& give2 = MM[static_cast<std::size_t>(s.OP2)][static_cast<std::size_t>(s.ALL1)];
  const INT32 PROB1 = PRODUCT32(take1, take2);
  // A switch that would take a unit from an empty cell is never made.
  if (PROB1 == 0) return false;
  const INT32 PROB2 = PRODUCT32(give2 + 1, give1 + 1);
  if (!SWITCH_ACCEPTED(g, PROB1, PROB2)) return false;
  --take1;
  --take2;
  ++give1;
  ++give2;
  RHO = RHO + LN_RATIO(PROB1, PROB2);
  return true;
}

inline void APPLY_TOLERANCE(EXTENDED& RHO) {
  if (std::fabs(RHO) < RHO_TOLERANCE) RHO = 0.0L;
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

// The walk's draws, made ahead a block at a time in a tight loop without
// branches, so that a step takes its draws from memory instead of waiting
// for the generator's arithmetic. The draws are the generator's, in order;
// when the walk ends, the generator is put back exactly where the last draw
// taken left it (the state at the start of the block, advanced by the draws
// taken from it).
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
    for (int k = 0; k < BLOCK; ++k) value_[static_cast<std::size_t>(k)] = NEXT_UNIFORM(ahead_);
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
  LOCAL_GENERATOR ahead_;
  LOCAL_GENERATOR block_start_;
  const std::atomic<bool>* cancelled_;
  std::array<INT32, BLOCK> value_{};
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

// The walk on the state's table: `steps` steps at a time, returning the
// number of steps after which RHO <= 0. After the walk's first step the
// tolerance is applied only when a switch was made: a step that changes
// nothing finds RHO as the previous step left it, already 0 or at least
// 1e-8 away from 0, where the tolerance does nothing.
class WALKER {
 public:
  explicit WALKER(EXACT_TEST_STATE& S) : S_(S), draws_(S), next_(draws_.END()), RHO_(S.RHO) {}

  INT32 RUN(INT32 steps) {
    if (steps <= 0) return 0;
    DRAW_CURSOR cursor{next_, draws_.END(), &draws_};
    EXTENDED RHO = RHO_;
    SWITCH last = switch_;
    bool no_more_probable = no_more_probable_;
    INT32 counted = 0;
    const INT32 rows = S_.N, columns = S_.M;
    auto& MM = S_.MM;
    for (INT32 step = 0; step < steps; ++step) {
      if (STEP_ON(cursor, MM, rows, columns, last, RHO) || first_) {
        APPLY_TOLERANCE(RHO);
        no_more_probable = RHO <= 0.0L;
        first_ = false;
      }
      counted += no_more_probable ? 1 : 0;
    }
    next_ = cursor.next;
    RHO_ = RHO;
    switch_ = last;
    no_more_probable_ = no_more_probable;
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
  EXACT_TEST_STATE& S_;
  DRAWS_AHEAD draws_;
  const INT32* next_;
  EXTENDED RHO_;
  SWITCH switch_{};
  bool first_ = true;
  bool no_more_probable_ = false;
};

}  // namespace korvel::exact_chain
