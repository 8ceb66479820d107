// When the exact test's chain is long enough for Fisher's combination: the
// rule the program's end-of-run warning and korvel-init's advice share.
//
// A chain of B batches of C counted steps estimates P as a fraction of B x C
// steps, so an estimate of 0 only says P < 1/(B x C). Fisher's combination
// takes such a locus as SMALLEST_EXACT_P, which claims more evidence than
// the chain gathered whenever B x C < 1/SMALLEST_EXACT_P.
#pragma once

#include <cstdint>

#include "common/number_types.h"

namespace korvel {

// Stands in for an exact-test P of 0, which has no logarithm.
inline constexpr EXTENDED SMALLEST_EXACT_P = 0.00005L;
// Counted steps per locus from which an estimate of 0 supports that value.
inline constexpr std::int64_t ADEQUATE_COUNTED_STEPS = 20000;

}  // namespace korvel
