#include "popmodel/allele_sampling.h"

#include <array>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>

#include "common/random_generator.h"
#include "common/tables.h"
#include "common/target_clones.h"

namespace korvel {

namespace {

// The draw of a gene copy is the generator output g read as X = g / 2^32,
// and it goes to the smallest allele K with X <= PR(K), PR(K) being the
// running sum from 0 of the frequencies of alleles 1..K in extended
// precision. The comparison is made exactly on integers:
//
//   g / 2^32 <= PR   <=>   g <= PR * 2^32   <=>   g <= floor(PR * 2^32)
//
// The first step divides both sides by a power of two, which is exact in
// extended precision (no overflow or underflow is near), and the second
// holds because g is an integer. So each locus gets one integer threshold
// per allele, THRESHOLD(K) = floor(PR(K) * 2^32), formed from the same
// extended sums as the straightforward scan, and the draws compare their
// raw outputs with these thresholds.
//
// A draw of 0 goes to allele 1 (0 <= PR(1) = its frequency >= 0), a draw
// equal to a cumulative sum to the allele whose sum it equals, and a draw
// above every sum (frequencies summing to less than 1) to the last allele
// of non-zero frequency: the scan stops there, and beyond it every sum
// equals its own, so a scan over all the locus's alleles would credit it as
// well.
using THRESHOLDS = std::array<std::int64_t, MAX_ALLELES + 1>;

constexpr EXTENDED TWO_TO_32 = 4294967296.0L;
constexpr std::int64_t HIGHEST_OUTPUT = 0xFFFFFFFFLL;

struct LOCUS_DRAW {
  THRESHOLDS threshold;   // alleles 1..last are set
  INT16 last = 1;         // the allele of a draw above every cumulative sum
  bool ascending = true;  // thresholds never fall and start at 0 or above
};

static_assert(std::numeric_limits<EXTENDED>::digits == 64 && sizeof(EXTENDED) >= 10,
              "the thresholds read the significand of an x87 extended real");

// floor(x) for 0 <= x < 2^62, without the library's floorl or a change of
// the rounding mode. The x87 store FISTP gives the integer n that x rounds
// to in the current mode, so n is floor(x) or ceil(x) whatever the mode,
// and floor(x) is n, or n - 1 when n > x (n is exact as an extended real).
#if defined(__x86_64__) || defined(__i386__)
inline std::int64_t FLOOR_OF(EXTENDED x) {
  std::int64_t n = 0;
  asm("fistpll %0" : "=m"(n) : "t"(x) : "st");
  return static_cast<EXTENDED>(n) > x ? n - 1 : n;
}
#else
// x + 2^63 is rounded to an integer (the spacing of extended reals from
// 2^63 to 2^64 is 1), and its 64-bit significand, read as an integer, is
// 2^63 + n for an integer n that is floor(x) or ceil(x).
inline std::int64_t FLOOR_OF(EXTENDED x) {
  const EXTENDED shifted = x + 0x1p63L;
  std::uint64_t significand = 0;
  std::memcpy(&significand, &shifted, sizeof significand);
  const auto n = static_cast<std::int64_t>(significand - (std::uint64_t{1} << 63));
  return static_cast<EXTENDED>(n) > x ? n - 1 : n;
}
#endif

// Thresholds when every frequency before allele last lies in [0, 1] (the
// usual case): the running sums never fall, never exceed 100, and are not
// negative, so floor is truncation and only the upper end needs a limit.
// Truncation is a single FISTTP where the processor has it (SSE3).
KORVEL_TARGET_CLONES("sse3", "default")
void PREPARE_PROPER_LOCUS(const double* freqs, int last, std::int64_t* threshold) {
  EXTENDED pr = 0.0L;
  for (int k = 1; k < last; ++k) {
    pr += static_cast<EXTENDED>(freqs[k]);
    const auto t = static_cast<std::int64_t>(pr * TWO_TO_32);
    threshold[k] = t < HIGHEST_OUTPUT ? t : HIGHEST_OUTPUT;
  }
}

bool PROPER_FREQUENCIES(const double* freqs, int last) {
  bool proper = true;
  for (int k = 1; k < last; ++k) proper &= freqs[k] >= 0.0 && freqs[k] <= 1.0;
  return proper;
}

// Thresholds of the locus's alleles 1..last-1; the threshold of allele last
// is set to the highest output, since every draw that passes the others
// goes to it. They ascend unless a frequency is negative.
void PREPARE_LOCUS(const AFREQS& freqs, INT16 alleles, LOCUS_DRAW& draw) {
  INT16 last = alleles;
  while (last > 1 && freqs[static_cast<std::size_t>(last)] == 0.0) --last;
  draw.last = last;
  draw.threshold[static_cast<std::size_t>(last)] = HIGHEST_OUTPUT;
  draw.ascending = true;
  if (PROPER_FREQUENCIES(freqs.data(), last)) {
    PREPARE_PROPER_LOCUS(freqs.data(), last, draw.threshold.data());
    return;
  }
  bool ascending = true;
  EXTENDED pr = 0.0L;
  std::int64_t previous = 0;
  for (INT16 k = 1; k < last; ++k) {
    pr += static_cast<EXTENDED>(freqs[static_cast<std::size_t>(k)]);
    const EXTENDED scaled = pr * TWO_TO_32;
    // Beyond the range of g the comparison no longer depends on the exact
    // value: above it every draw is <=, below 0 none is. (A sum that is not
    // a number is below nothing, like a negative one.)
    const std::int64_t t = !(scaled >= 0.0L)                                 ? -1
                           : scaled >= static_cast<EXTENDED>(HIGHEST_OUTPUT) ? HIGHEST_OUTPUT
                                                                             : FLOOR_OF(scaled);
    draw.threshold[static_cast<std::size_t>(k)] = t;
    ascending = ascending && t >= previous;
    previous = t;
  }
  draw.ascending = ascending;
}

// Up to this many thresholds are compared with every draw (vector code).
constexpr int MAX_COMPARED_THRESHOLDS = 16;
// Guide table on the top bits of a draw, for loci with more alleles: at
// most 8 bits, and for loci with few draws per allele only as many buckets
// as alleles, since building the table then costs more than the draws.
constexpr int GUIDE_BITS = 8;
constexpr int GUIDE_SIZE = 1 << GUIDE_BITS;
constexpr INT32 FEW_DRAWS_PER_ALLELE = 4;
static_assert(MAX_ALLELES <= 255, "the guide table holds allele numbers in bytes");

int GUIDE_BITS_FOR(int alleles, INT32 copies) {
  if (copies >= FEW_DRAWS_PER_ALLELE * alleles) return GUIDE_BITS;
  int bits = 1;
  while (bits < GUIDE_BITS && (1 << bits) < alleles) ++bits;
  return bits;
}

// The number of the n draws g[0..n-1] that are <= t. Compiled for the
// widest vectors the processor offers (chosen when the program starts);
// every version counts the same.
KORVEL_TARGET_CLONES("avx512f", "avx2", "default")
INT32 COUNT_AT_MOST(const std::uint32_t* g, int n, std::uint32_t t) {
  INT32 count = 0;
  for (int k = 0; k < n; ++k) count += g[k] <= t ? 1 : 0;
  return count;
}

// Few alleles, ascending thresholds: the number of draws credited to alleles
// 1..K is the number of draws g <= THRESHOLD(K) (K < last), because with
// ascending thresholds the first threshold a draw does not exceed is the
// allele it goes to. One branch-free count per threshold and block of draws.
void COUNT_BY_THRESHOLDS(const LOCUS_DRAW& draw, INT32 copies, std::array<INT32, MAX_ALLELES + 1>& counts) {
  const int compared = draw.last - 1;
  std::array<std::uint32_t, MAX_COMPARED_THRESHOLDS + 1> limit{};
  for (int k = 1; k <= compared; ++k) limit[k] = static_cast<std::uint32_t>(draw.threshold[k]);
  std::array<INT32, MAX_COMPARED_THRESHOLDS + 1> at_most{};
  INT32 left = copies;
  while (left > 0) {
    const std::uint32_t* g = nullptr;
    const int taken = RANDOM_GENERATOR.TAKE_OUTPUTS(g, left);
    for (int k = 1; k <= compared; ++k) at_most[k] += COUNT_AT_MOST(g, taken, limit[k]);
    left -= taken;
  }
  INT32 before = 0;
  for (int k = 1; k <= compared; ++k) {
    counts[k] = at_most[k] - before;
    before = at_most[k];
  }
  counts[draw.last] = copies - before;
}

// Many alleles, ascending thresholds, a guide table sized to the locus:
// with 2^bits buckets on the top bits of a draw, GUIDE[b] is the first
// allele whose threshold reaches the lowest draw of bucket b, i.e. 1 + the
// number of alleles before last whose threshold has top bits below b. It is
// built from a histogram of the thresholds' top bits and its running sum,
// without branches. Every allele before GUIDE[b] has a threshold below every
// draw of the bucket, so the scan that starts there ends on the same allele
// as a scan from allele 1; the threshold of allele last, the highest output,
// ends every scan.
void COUNT_BY_GUIDE(const LOCUS_DRAW& draw, int bits, INT32 copies,
                    std::array<INT32, MAX_ALLELES + 1>& counts) {
  std::array<std::uint32_t, MAX_ALLELES + 1> limit;
  for (INT16 k = 1; k <= draw.last; ++k)
    limit[static_cast<std::size_t>(k)] = static_cast<std::uint32_t>(
        draw.threshold[static_cast<std::size_t>(k)]);
  const int shift = 32 - bits;
  const int buckets = 1 << bits;
  std::array<std::uint8_t, GUIDE_SIZE + 1> below{};  // alleles per top bits, one bucket up
  for (INT16 k = 1; k < draw.last; ++k) ++below[(limit[static_cast<std::size_t>(k)] >> shift) + 1];
  std::array<std::uint8_t, GUIDE_SIZE> guide;
  unsigned running = 1;
  for (int b = 0; b < buckets; ++b) {
    running += below[static_cast<std::size_t>(b)];
    guide[static_cast<std::size_t>(b)] = static_cast<std::uint8_t>(running);
  }
  const std::uint32_t* const t = limit.data();
  INT32 left = copies;
  while (left > 0) {
    const std::uint32_t* g = nullptr;
    const int taken = RANDOM_GENERATOR.TAKE_OUTPUTS(g, left);
    for (int n = 0; n < taken; ++n) {
      const std::uint32_t x = g[n];
      unsigned a = guide[x >> shift];
      a += x > t[a] ? 1 : 0;
      while (x > t[a]) ++a;
      ++counts[a];
    }
    left -= taken;
  }
}

// Any thresholds (a negative frequency makes them fall): the plain scan
// from allele 1, on the integer thresholds.
void COUNT_BY_SCAN(const LOCUS_DRAW& draw, INT32 copies, std::array<INT32, MAX_ALLELES + 1>& counts) {
  for (INT32 n = 0; n < copies; ++n) {
    const std::int64_t x = NEXT_OUTPUT();
    INT16 a = 1;
    while (a < draw.last && x > draw.threshold[a]) ++a;
    ++counts[static_cast<std::size_t>(a)];
  }
}

// Draws `copies` gene copies of one locus, one generator output per copy,
// in order.
void SAMPLE_LOCUS(const AFREQS& freqs, INT16 alleles, INT32 copies, AFREQS2& result) {
  if (copies <= 0) return;
  LOCUS_DRAW draw;
  PREPARE_LOCUS(freqs, alleles, draw);
  std::array<INT32, MAX_ALLELES + 1> counts{};
  if (draw.last == 1) {
    RANDOM_GENERATOR.discard(static_cast<unsigned long long>(copies));
    counts[1] = copies;
  } else if (draw.ascending && draw.last - 1 <= MAX_COMPARED_THRESHOLDS) {
    COUNT_BY_THRESHOLDS(draw, copies, counts);
  } else if (draw.ascending) {
    COUNT_BY_GUIDE(draw, GUIDE_BITS_FOR(draw.last, copies), copies, counts);
  } else {
    COUNT_BY_SCAN(draw, copies, counts);
  }
  for (INT16 k = 1; k <= draw.last; ++k) result[k] = static_cast<INT16>(result[k] + counts[k]);
}

}  // namespace

void SAMPLE_ALLELES() {
  // The whole table, not only the part in use: callers read the counts of
  // populations and loci beyond those in use as zero.
  std::memset(&ALL_POPS_ACOUNT, 0, sizeof ALL_POPS_ACOUNT);
  for (INT16 i = 1; i <= NUMBPOPS; ++i) {
    const INT32 copies = 2 * static_cast<INT32>(NUMB_DIPLOIDS_TO_SAMPLE[i]);
    for (INT16 j = 1; j <= NUMBLOCI; ++j)
      SAMPLE_LOCUS(ALL_POPS_AFREQ[i][j], ALLELES_PER_LOCUS[j], copies, ALL_POPS_ACOUNT[i][j]);
  }
}

}  // namespace korvel
