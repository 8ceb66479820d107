// A study's results: the points grouped into curves, curve.csv, and the
// design table (design.csv and its text) with the calibration warnings.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "sweep.h"

namespace korvel::sweep {

// ---- Curves, calibration and the design table ---------------------------

// The points of one design (the same sample sizes and loci), which the
// figure draws as one curve per test.
struct Curve {
  std::string label;    // "n = 30, 10 loci", or "" for a sweep of one design
  int sample_size = 0;  // 0: the template's (or mixed)
  int loci = 0;
  std::vector<const PointResult*> points;   // by expected F'st
  const PointResult* null_point = nullptr;  // F'st 0, when it ran
  bool miscalibrated(Test test) const;
};

struct Analysis {
  std::vector<Curve> curves;
  bool sample_size_varies = false;
  bool loci_vary = false;
};

// Groups the points into curves; the order is by sample size, then loci.
Analysis ANALYSE(const std::vector<PointResult>& points);

// A grid's points as rows of the curve.csv both modes write (study_csv.h).
std::string CURVE_CSV(const std::vector<PointResult>& points, const Analysis& analysis);

struct FigureText {
  std::string title;
  EXTENDED target_power = DEFAULT_TARGET_POWER;
};

// One line of the planning answer: for a level of differentiation and a
// test, the smallest sample size (or number of loci) whose power, and whose
// lower 95 % bound, reach the target.
struct DesignAnswer {
  int generations = 0;
  EXTENDED expected_fst = 0;
  int group_loci = 0;  // with both axes: the loci count the answer is for
  Test test = Test::CHI2;
  std::optional<int> by_power;
  std::optional<int> by_lower_bound;
  std::vector<int> excluded;     // axis values not offered: miscalibrated test
  int offered = 0;               // points of this level whose power could answer
  std::string note;              // the null point's calibration, on its row
  const char* null_status = "";  // on that row: the worst verdict of its curves
};

struct DesignTable {
  std::string axis;  // "sample_size", "loci" or "" (one design)
  bool grouped_by_loci = false;
  EXTENDED target_power = DEFAULT_TARGET_POWER;
  std::vector<DesignAnswer> rows;
};

DesignTable DESIGN_TABLE(const Analysis& analysis, EXTENDED target_power);
// The table as rows of the design.csv both modes write (study_csv.h).
std::string DESIGN_CSV(const DesignTable& table);
std::string DESIGN_TEXT(const DesignTable& table);
// One line per miscalibrated test and design: what was seen and what to do.
std::vector<std::string> CALIBRATION_WARNINGS(const Analysis& analysis);

}  // namespace korvel::sweep
