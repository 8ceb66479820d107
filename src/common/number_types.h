// The program's number types. Counts are 16-bit, run counts and iteration
// factors 32-bit, frequencies double, and every statistic an 80-bit extended
// real. The extended type must really carry a 64-bit significand (x87 on
// x86-64): results are compared byte for byte with the reference arithmetic.
#pragma once

#include <cstdint>
#include <limits>

namespace korvel {

using INT16 = std::int16_t;
using INT32 = std::int32_t;
using WORD16 = std::uint16_t;
using EXTENDED = long double;

static_assert(std::numeric_limits<EXTENDED>::digits == 64,
              "KORVEL needs an 80-bit extended real with a 64-bit significand");
static_assert(std::numeric_limits<double>::digits == 53, "double must be IEEE binary64");

}  // namespace korvel
