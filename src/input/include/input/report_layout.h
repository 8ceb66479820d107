// The layout of the summary report KORVEL.OUT that its writers
// (summary_report.cpp, final_results.cpp) and its readers (korvel-sweep)
// share: the labels that start its lines and the widths of the power
// table's fields.
#pragma once

#include <string_view>

namespace korvel::report_layout {

// Head of the report.
inline constexpr std::string_view TESTS_LABEL = "Statistical test:";
inline constexpr std::string_view CHI2_NAME = " Chi2";
inline constexpr std::string_view FISHER_NAME = " Fisher";
inline constexpr std::string_view EFFECTIVE_SIZE_LABEL = "Effective size when drifting apart = ";
inline constexpr std::string_view GENERATIONS_LABEL = "Generations of drift = ";

// Power table: column titles and field widths. Proportions are reals of
// W_PROPORTION with PROPORTION_DECIMALS decimals.
inline constexpr int W_LOCI = 5;
inline constexpr int W_ALLELES = 8;
inline constexpr int W_RUNS = 6;
inline constexpr int W_CHI2_COUNT = 6;
inline constexpr int W_FISHER_COUNT = 8;
inline constexpr int W_PROPORTION = 8;
inline constexpr int PROPORTION_DECIMALS = 4;
inline constexpr std::string_view LOCI_TITLE = "Loci";
inline constexpr std::string_view ALLELES_TITLE = "Alleles";
inline constexpr std::string_view RUNS_TITLE = "Runs";
inline constexpr std::string_view CHI2_COUNT_TITLE = "#Chi2";
inline constexpr std::string_view CHI2_TITLE = "Chi2";
inline constexpr std::string_view FISHER_COUNT_TITLE = "#Fisher";
inline constexpr std::string_view FISHER_TITLE = "Fisher";
// Fields 1 and 2 of the total row.
inline constexpr std::string_view TOTAL_ROW_LOCI = "Tot";
inline constexpr std::string_view TOTAL_ROW_ALLELES = "***";

// The F'st lines below the table, each a real of W_FST with FST_DECIMALS.
inline constexpr int W_FST = 10;
inline constexpr int FST_DECIMALS = 4;
inline constexpr std::string_view TABLE_END = "-----";
inline constexpr std::string_view AVERAGE_FST_LABEL = "Average F'st over all the ";
inline constexpr std::string_view AVERAGE_FST_RUNS = " runs = ";
inline constexpr std::string_view EXPECTED_FST_LABEL = "Expected Fst = ";
inline constexpr std::string_view FST_FROM_MEANS_LABEL = "F'st calculated from average Hs and Ht = ";

}  // namespace korvel::report_layout
