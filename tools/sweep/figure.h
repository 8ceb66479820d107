// The sweep's figures, drawn once with cairo and written as SVG, PNG and/or
// PDF from the same drawing.
//
// Two kinds:
//  - power against sample size (or loci): one curve per F'st and test, each
//    probe or grid point with its 95 % interval, the fitted model as a
//    smooth line marked as fitted, the target power, and the answer marked
//    on the target line with its interval;
//  - power against expected F'st, for sweeps over F'st only (one curve per
//    design and test; the no-drift points in a panel of their own).
//
// The caller decides what is drawn (points, fitted values, answers,
// captions); this part only lays it out, so the figure never shows a value
// the sweep did not compute.
#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "results.h"
#include "sweep.h"

namespace korvel::sweep {

// One simulated point of a curve on the sample-size (or loci) axis.
struct FigurePoint {
  int x = 0;  // sample size or number of loci
  long long runs = 0;
  long long significant = 0;
  EXTENDED power = 0;
  Interval interval;  // 95 % Wilson interval of the power
};

// The answer marked on the target line: the smallest x whose power reaches
// the target, with its 95 % interval.
struct FigureAnswer {
  EXTENDED x = 0;
  EXTENDED low = 0;
  EXTENDED high = 0;
};

struct FigureCurve {
  EXTENDED expected_fst = 0;
  Test test = Test::CHI2;
  std::string label;  // legend text, e.g. "F'st 0.010, chi-square test"
  std::vector<FigurePoint> points;
  // The fitted model sampled densely over the drawn range, (x, power),
  // increasing in x; empty when there is no fit (too few probes).
  std::vector<std::pair<EXTENDED, EXTENDED>> fitted;
  std::optional<FigureAnswer> answer;
  bool miscalibrated = false;
};

struct SampleSizeFigure {
  std::string axis_label;  // "individuals sampled per population" or "loci"
  std::string title;
  std::vector<std::string> caption;  // lines under the plot: data, design, answers in words
  EXTENDED target_power = DEFAULT_TARGET_POWER;
  std::vector<FigureCurve> curves;
};

// Output formats of --figure, in the order given; throws UsageError for a
// name other than svg, png or pdf.
std::vector<std::string> PARSE_FIGURE_FORMATS(const std::string& list);

// Draws the figure once and writes `stem`.svg / .png / .pdf for each of
// `formats`; throws SweepError naming the file when one cannot be written.
void DRAW_SAMPLE_SIZE_FIGURE(const SampleSizeFigure& figure, const std::string& stem,
                             const std::vector<std::string>& formats);

// The F'st-axis figure of a grid over F'st only.
void DRAW_FST_FIGURE(const std::vector<PointResult>& points, const Analysis& analysis, const FigureText& text,
                     const std::string& stem, const std::vector<std::string>& formats);

// The data (the template's first comment line) and the design of the
// finished points in words, for a caption; "" when no point finished.
std::string DESIGN_IN_WORDS(const std::vector<PointResult>& points);

// A grid with a sample-size axis (or a loci axis) drawn against that axis:
// one curve per F'st and test from the grid's points, without a fitted
// model or an answer; nullopt when neither axis varies (or both do).
std::optional<SampleSizeFigure> GRID_SAMPLE_SIZE_FIGURE(const std::vector<PointResult>& points,
                                                        const Analysis& analysis, const FigureText& text);

// The paragraphs under the F'st figure: the data and the design in words,
// then one note per miscalibrated test ("! ..."), then the failed points.
std::vector<std::string> FST_FIGURE_CAPTION(const std::vector<PointResult>& points, const Analysis& analysis,
                                            const FigureText& text);

}  // namespace korvel::sweep
