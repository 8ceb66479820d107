// The summary report KORVEL.OUT: its first part (WRITE_OUTFILE) and the
// power table with the F'st lines (WRITE_FINAL_RESULTS).
#pragma once

#include "common/number_types.h"

namespace korvel {

// Field widths of the power table, shared by its column header
// (WRITE_OUTFILE) and its rows (WRITE_FINAL_RESULTS).
namespace power_table {
inline constexpr int W_LOCI = 5;
inline constexpr int W_ALLELES = 8;
inline constexpr int W_RUNS = 6;
inline constexpr int W_CHI2_COUNT = 6;
inline constexpr int W_CHI2_PROPORTION = 8;
inline constexpr int W_FISHER_COUNT = 8;
inline constexpr int W_FISHER_PROPORTION = 8;
}  // namespace power_table

void WRITE_OUTFILE();
void WRITE_FINAL_RESULTS();

// 1 - (1 - 1/(2N))^t in the described order of operations.
EXTENDED EXPECTED_FST(INT16 drift_size, INT16 generations);

}  // namespace korvel
