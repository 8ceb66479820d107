// The two tables every study writes, curve.csv and design.csv, for grids and
// searches alike. Each quantity has one column name and one number format
// here. Both modes write the same columns first, in one order, and add
// their own after them, so a grid's file and a search's agree column for
// column; each mode fills one row structure per file.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "sweep.h"

namespace korvel::sweep {

// How often a test rejected in the runs of a point or a probed value.
struct TestCount {
  long long significant = 0;
  long long runs = 0;
};

// One row of curve.csv: a grid's point or a search's probed value (its
// batches added up).
struct CurveRow {
  std::string point;   // grid: the point's folder
  std::string status;  // grid: "ok" or "failed"
  bool placed = true;  // false: no readable KORVEL.IN, so no design to show
  EXTENDED expected_fst = 0;
  int generations = 0;
  int drift_size = 0;
  int sample_size = 0;  // 0: the populations' sizes differ (blank)
  int loci = 0;
  std::string mean_fst;  // grid: as KORVEL.OUT gives it
  std::optional<long long> runs;
  int batches = 0;                    // search: batches run at this value
  std::optional<TestCount> tests[2];  // by Test; none: the test was off, or the point failed
  std::string null_check[2];          // grid: the curve's verdict at F'st 0
};

// The columns of curve.csv, with those of each test that ran (by Test);
// the type says which mode's own columns follow the shared ones.
struct GridCurveLayout {
  bool shown[2] = {false, false};
};
struct SearchCurveLayout {
  bool shown[2] = {false, false};
};

std::string CURVE_CSV(const GridCurveLayout& layout, const std::vector<CurveRow>& rows);
std::string CURVE_CSV(const SearchCurveLayout& layout, const std::vector<CurveRow>& rows);

// One row of design.csv: the answer for a level of differentiation and a
// test. `smallest` is the number found, or blank when there is none, and
// `status` says which in the same words in both modes: "ok", "not
// reached", "miscalibrated", ... (STATUS_TEXT).
struct DesignRow {
  EXTENDED expected_fst = 0;
  int generations = 0;
  int loci = 0;  // grid with both axes: the loci count the answer is for
  Test test = Test::CHI2;
  EXTENDED target_power = DEFAULT_TARGET_POWER;
  std::string smallest;
  std::string status;
  std::string smallest_by_lower_bound;  // grid
  std::string note;                     // grid
  std::string ci_low, ci_high;          // search: the answer's interval
  std::string runs, probes;             // search
};

struct GridDesignLayout {
  std::string axis;  // "sample_size", "loci" or "design" (one design)
  bool grouped_by_loci = false;
};
struct SearchDesignLayout {
  std::string axis;  // "sample_size" or "loci"
};

std::string DESIGN_CSV(const GridDesignLayout& layout, const std::vector<DesignRow>& rows);
std::string DESIGN_CSV(const SearchDesignLayout& layout, const std::vector<DesignRow>& rows);

inline constexpr const char* CURVE_FILE = "curve.csv";
inline constexpr const char* DESIGN_FILE = "design.csv";

// Places a study's two tables in its folder, each whole or not at all.
void WRITE_STUDY_TABLES(const std::filesystem::path& dir, const std::string& curve_csv,
                        const std::string& design_csv);

// The target power as both modes write it: at least two decimals, and every
// decimal the user gave ("0.80", "0.855").
std::string TARGET_POWER_TEXT(EXTENDED target);

}  // namespace korvel::sweep
