// A grid over sample sizes (or numbers of loci) drawn as power against that
// axis: the grid's points regrouped by level of differentiation and test.
// Each curve gets the same logistic fit in log n as the search draws (from
// three points on, and not for a test that fails its calibration); the
// answer itself stays the design table's, read off the simulated points.
#include <algorithm>
#include <cstdio>
#include <map>

#include "figure.h"
#include "results.h"
#include "search.h"

namespace korvel::sweep {

namespace {

// The points of every level of differentiation and test, against the axis
// the grid varies.
std::map<std::pair<int, Test>, FigureCurve> curves_by_level(const Analysis& analysis, bool by_size) {
  std::map<std::pair<int, Test>, FigureCurve> curves;  // by generations, then test
  for (const Curve& design : analysis.curves) {
    for (const PointResult* point : design.points) {
      if (!point->ok || point->input.generations == 0) continue;
      const int x = by_size ? point->common_sample_size() : point->input.loci;
      if (x <= 0) continue;
      for (Test test : TESTS) {
        if (!point->on(test)) continue;
        FigureCurve& curve = curves[{point->input.generations, test}];
        curve.expected_fst = point->expected_fst;
        curve.test = test;
        const TestPower& power = point->power(test);
        curve.points.push_back({x, point->runs, power.significant, power.power, power.interval});
      }
    }
  }
  return curves;
}

std::vector<std::string> caption(const std::vector<PointResult>& points, const Analysis& analysis,
                                 const SampleSizeFigure& figure, const FigureText& text, bool by_size) {
  const bool fitted = std::any_of(figure.curves.begin(), figure.curves.end(),
                                  [](const FigureCurve& curve) { return !curve.fitted.empty(); });
  const std::string design = DESIGN_IN_WORDS(points);
  char target[32];
  std::snprintf(target, sizeof target, "%.2Lf", text.target_power);
  std::vector<std::string> lines{(design.empty() ? "" : design + " ") + "Bars: 95 % Wilson intervals" +
                                 (fitted ? "; lines: the fitted logistic model in log n" : "") +
                                 ". Dashed line: target power " + target +
                                 "; design.csv gives the smallest value tried that reaches it."};
  // Which designs fail their calibration is told in full under the F'st
  // figure and in design.csv; here a pointer to it.
  for (Test test : TESTS) {
    if (std::any_of(analysis.curves.begin(), analysis.curves.end(),
                    [&](const Curve& curve) { return curve.miscalibrated(test); })) {
      lines.push_back(std::string("! The ") + TEST_WORDS(test) + " is miscalibrated without drift at some " +
                      (by_size ? "sample sizes" : "numbers of loci") +
                      ": its power there is not offered as an answer (see design.csv).");
    }
  }
  return lines;
}

}  // namespace

std::optional<SampleSizeFigure> GRID_SAMPLE_SIZE_FIGURE(const std::vector<PointResult>& points,
                                                        const Analysis& analysis, const FigureText& text) {
  if (analysis.sample_size_varies == analysis.loci_vary) return std::nullopt;
  const bool by_size = analysis.sample_size_varies;
  SampleSizeFigure figure;
  figure.axis_label = by_size ? "Individuals sampled per population" : "Loci";
  figure.title = text.title.empty()
                     ? (by_size ? "Power against sample size" : "Power against the number of loci")
                     : text.title;
  figure.target_power = text.target_power;

  std::map<std::pair<int, Test>, FigureCurve> curves = curves_by_level(analysis, by_size);
  constexpr std::size_t FEWEST_POINTS_FITTED = 3;
  constexpr int FITTED_SAMPLES = 200;
  for (auto& [key, curve] : curves) {
    std::sort(curve.points.begin(), curve.points.end(),
              [](const FigurePoint& a, const FigurePoint& b) { return a.x < b.x; });
    const Test test = curve.test;
    const bool miscalibrated = std::any_of(analysis.curves.begin(), analysis.curves.end(),
                                           [&](const Curve& design) { return design.miscalibrated(test); });
    if (curve.points.size() >= FEWEST_POINTS_FITTED && !miscalibrated) {
      std::vector<ProbeCount> counts;
      for (const FigurePoint& point : curve.points)
        counts.push_back({point.x, point.runs, point.significant});
      curve.fitted = FITTED_CURVE(FIT_POWER(counts), curve.points.front().x, curve.points.back().x,
                                  FITTED_SAMPLES);
    }
    char label[64];
    std::snprintf(label, sizeof label, "F\u2032st %.4Lf, %s", curve.expected_fst, TEST_WORDS(curve.test));
    curve.label = label;
    figure.curves.push_back(std::move(curve));
  }
  figure.caption = caption(points, analysis, figure, text, by_size);
  return figure;
}

}  // namespace korvel::sweep
