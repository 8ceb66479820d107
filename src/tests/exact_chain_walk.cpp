// The walk's fast steps (exact_chain.h), in a file of their own so that
// they can be compiled for the fewest registers: partial redundancy
// elimination would keep the block's addresses in registers across the
// loop and push the cursor out to memory, on the step's critical path
// (CMakeLists.txt).
#include "tests/exact_chain.h"

namespace korvel::exact_chain {

thread_local constinit LN_CACHE_TABLE LN_CACHE{};

template <bool MAY_WRAP, bool IS_BOUNDED>
void WALKER::FAST_STEPS(RUNNING& run) {
  const INT32* begin = draws_.BEGIN();
  std::size_t at = static_cast<std::size_t>(run.next - begin);
  EXTENDED RHO = run.RHO;
  FIXED APPROX = run.APPROX;
  FIXED BOUND = run.BOUND;
  INT32 counted = run.counted, left = run.left;
  last_fast_ = DRAW_BLOCK;
  while (left > 0 && FAST_STEP<MAY_WRAP, IS_BOUNDED>(at, RHO, APPROX, BOUND, counted)) --left;
  // A lost bounded walk made its last step: it is void from there on.
  if (IS_BOUNDED && lost_) --left;
  LEAVE_FAST_STEPS(run, begin + at, RHO, APPROX, BOUND, counted, left);
}

template void WALKER::FAST_STEPS<false, false>(RUNNING& run);
template void WALKER::FAST_STEPS<true, false>(RUNNING& run);
template void WALKER::FAST_STEPS<false, true>(RUNNING& run);

}  // namespace korvel::exact_chain
