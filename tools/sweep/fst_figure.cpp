// Power against expected F'st, for a grid over F'st only: one set of points
// per design (sample size and/or loci) and test, with 95 % intervals, the
// target power and the 5 % level. The no-drift points, which measure the
// tests' false-positive rate rather than power, sit side by side in a
// narrow panel of their own left of the F'st axis instead of piling up at
// F'st 0; a test that fails its calibration there is ringed in red. Points
// stay at their F'st and are not joined, so that no power between the
// simulated F'st values is suggested.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <set>

#include "figure.h"
#include "figure_canvas.h"
#include "results.h"

namespace korvel::sweep {

namespace {

using namespace canvas;

constexpr double NULL_SPACING = 12;
constexpr double PANEL_GAP = 14;

std::string list_text(const std::set<int>& values) {
  std::string text;
  for (int value : values) text += (text.empty() ? "" : ", ") + std::to_string(value);
  return text;
}

std::vector<Test> tests_shown(const std::vector<PointResult>& points) {
  std::vector<Test> tests;
  for (Test test : TESTS) {
    if (std::any_of(points.begin(), points.end(), [&](const PointResult& p) { return p.ok && p.on(test); }))
      tests.push_back(test);
  }
  return tests;
}

}  // namespace

std::string DESIGN_IN_WORDS(const std::vector<PointResult>& points) {
  std::set<int> loci, pops, sizes, drift, mixed_low, mixed_high;
  std::set<long long> runs, iter1, iter2, iter3;
  std::set<std::string> data;
  bool exact = false;
  for (const PointResult& point : points) {
    if (!point.ok) continue;
    loci.insert(point.input.loci);
    pops.insert(point.input.pops);
    drift.insert(point.input.drift_size);
    runs.insert(point.runs);
    std::string comment = point.input.comment1;
    comment.erase(comment.find_last_not_of(" \t") + 1);
    if (!comment.empty()) data.insert(comment);
    if (point.common_sample_size() > 0) {
      sizes.insert(point.common_sample_size());
    } else {
      mixed_low.insert(*std::min_element(point.input.sample_sizes.begin(), point.input.sample_sizes.end()));
      mixed_high.insert(*std::max_element(point.input.sample_sizes.begin(), point.input.sample_sizes.end()));
    }
    if (point.fisher_on) {
      exact = true;
      iter1.insert(point.input.iter1);
      iter2.insert(point.input.iter2);
      iter3.insert(point.input.iter3);
    }
  }
  if (loci.empty()) return "";
  std::string text;
  if (data.size() == 1) text = "Data: " + *data.begin() + ". ";
  text += "Design: " + list_text(loci) + " loci, " + list_text(pops) + " populations, ";
  if (!sizes.empty()) text += "samples of " + list_text(sizes) + " diploids per population";
  if (!mixed_low.empty()) {
    text += std::string(sizes.empty() ? "" : " and ") + "samples of " + std::to_string(*mixed_low.begin()) +
            " to " + std::to_string(*mixed_high.rbegin()) + " diploids";
  }
  text += ", Ne = " + list_text(drift) + ", ";
  for (long long r : runs) text += std::to_string(r) + (r == *runs.rbegin() ? "" : ", ");
  text += " runs per point";
  if (exact && iter1.size() == 1 && iter2.size() == 1 && iter3.size() == 1) {
    text += "; exact test " + std::to_string(*iter1.begin()) + " / " + std::to_string(*iter2.begin()) +
            " / " + std::to_string(*iter3.begin()) + " (dememorization steps / batches / steps per batch)";
  }
  return text + ".";
}

namespace {

std::string design_caption(const std::vector<PointResult>& points, const FigureText& figure) {
  const std::string design = DESIGN_IN_WORDS(points);
  if (design.empty()) return "";
  char target[32];
  std::snprintf(target, sizeof target, "%.2Lf", figure.target_power);
  return design + " Bars: 95 % Wilson intervals. Dashed line: target power " + target +
         "; left panel: no drift (the tests' false-positive rate, against the 5 % level).";
}

struct Layout {
  std::vector<Test> tests;
  bool colour_by_test = false;
  std::size_t null_markers = 0;
  double panel_right = PLOT_LEFT;  // the no-drift panel spans PLOT_LEFT..panel_right
  double main_left = PLOT_LEFT;
};

Layout layout_for(const std::vector<PointResult>& points, const Analysis& analysis) {
  Layout layout;
  layout.tests = tests_shown(points);
  layout.colour_by_test = analysis.curves.size() <= 1;
  for (const Curve& curve : analysis.curves) {
    if (curve.null_point == nullptr) continue;
    for (Test test : layout.tests) layout.null_markers += curve.null_point->on(test) ? 1 : 0;
  }
  if (layout.null_markers > 0) {
    layout.panel_right = PLOT_LEFT + 16 + NULL_SPACING * static_cast<double>(layout.null_markers);
    layout.main_left = layout.panel_right + PANEL_GAP;
  }
  return layout;
}

XAxis axis_for(const std::vector<PointResult>& points, const Layout& layout) {
  double largest = 0;
  for (const PointResult& point : points) {
    if (point.ok) largest = std::max(largest, static_cast<double>(point.expected_fst));
  }
  // A little room right of the last point; the axis need not end on a tick.
  return XAxis(0, largest > 0 ? largest * 1.06 : 1, layout.main_left, PLOT_RIGHT, false);
}

struct Look {
  Colour colour;
  double scale = 1;
};

Look look_of(const Layout& layout, std::size_t curve, std::size_t curves, Test test) {
  const double share = curves > 1 ? static_cast<double>(curve) / static_cast<double>(curves - 1) : 0;
  return {layout.colour_by_test ? PALETTE_COLOUR(test == Test::CHI2 ? 0 : 1) : PALETTE_COLOUR(curve),
          1.4 - 0.5 * share};
}

void draw_frame(cairo_t* cr, const XAxis& axis, const Layout& layout, EXTENDED target_power) {
  const TextStyle tick_text{12, false, HEX_COLOUR(0x333333), Align::RIGHT, false};
  const Colour axis_colour = HEX_COLOUR(0x333333);
  if (layout.null_markers > 0) {
    const Colour panel = HEX_COLOUR(0xf2f2f2);
    cairo_set_source_rgb(cr, panel.red, panel.green, panel.blue);
    cairo_rectangle(cr, PLOT_LEFT, PLOT_TOP, layout.panel_right - PLOT_LEFT, PLOT_BOTTOM - PLOT_TOP);
    cairo_fill(cr);
    TEXT(cr, (PLOT_LEFT + layout.panel_right) / 2, PLOT_BOTTOM + 20, "no drift",
         {11, false, MUTED, Align::CENTRE, false});
  }
  POWER_TICKS(cr, layout.main_left, tick_text, axis_colour);
  TextStyle below = tick_text;
  below.align = Align::CENTRE;
  for (double value : axis.ticks()) {
    const double x = axis.at(value);
    if (value > 0) LINE(cr, x, PLOT_TOP, x, PLOT_BOTTOM, 1, GRID);
    LINE(cr, x, PLOT_BOTTOM, x, PLOT_BOTTOM + 5, 1.2, axis_colour);
    TEXT(cr, x, PLOT_BOTTOM + 20, axis.tick_label(value), below);
  }
  LINE(cr, PLOT_LEFT, PLOT_TOP, PLOT_LEFT, PLOT_BOTTOM, 1.2, axis_colour);
  LINE(cr, PLOT_LEFT, PLOT_BOTTOM, PLOT_RIGHT, PLOT_BOTTOM, 1.2, axis_colour);
  const TextStyle label_style{14, false, HEX_COLOUR(0x111111), Align::CENTRE, false};
  TEXT(cr, (layout.main_left + PLOT_RIGHT) / 2, PLOT_BOTTOM + 46, "Expected F\u2032st after drift",
       label_style);
  UPRIGHT_TEXT(cr, PLOT_LEFT - 50, (PLOT_TOP + PLOT_BOTTOM) / 2, "Power (share of runs significant at 5 %)",
               label_style);

  // The rate a test without power reaches by chance, and the goal.
  static constexpr double DOTS[] = {2, 3};
  static constexpr double DASHES[] = {10, 5};
  const double y05 = POWER_Y(0.05L);
  cairo_set_dash(cr, DOTS, 2, 0);
  LINE(cr, PLOT_LEFT, y05, PLOT_RIGHT, y05, 1, HEX_COLOUR(0x777777));
  cairo_set_dash(cr, DASHES, 2, 0);
  const double yt = POWER_Y(target_power);
  LINE(cr, layout.main_left, yt, PLOT_RIGHT, yt, 1.3, INK);
  cairo_set_dash(cr, nullptr, 0, 0);
  TEXT(cr, PLOT_RIGHT - 4, y05 - 5, "5 % level", {11, false, MUTED, Align::RIGHT, true});
  char label[48];
  std::snprintf(label, sizeof label, "target power %.2Lf", target_power);
  TEXT(cr, layout.main_left + 6, yt - 7, label, {11.5, false, INK, Align::LEFT, true});
}

void draw_point(cairo_t* cr, double x, const TestPower& power, Test test, const Look& look) {
  ERROR_BAR(cr, x, POWER_Y(power.interval.low), POWER_Y(power.interval.high), 2.5 * look.scale, look.colour);
  TEST_MARKER(cr, x, POWER_Y(power.power), test, look.scale, look.colour);
}

void draw_null_panel(cairo_t* cr, const Analysis& analysis, const Layout& layout) {
  double x = PLOT_LEFT + 8 + NULL_SPACING / 2;
  for (std::size_t c = 0; c < analysis.curves.size(); ++c) {
    const Curve& curve = analysis.curves[c];
    if (curve.null_point == nullptr) continue;
    for (Test test : layout.tests) {
      if (!curve.null_point->on(test)) continue;
      const TestPower& power = curve.null_point->power(test);
      draw_point(cr, x, power, test, look_of(layout, c, analysis.curves.size(), test));
      if (curve.miscalibrated(test)) {
        cairo_set_source_rgb(cr, WARNING.red, WARNING.green, WARNING.blue);
        cairo_set_line_width(cr, 2.2);
        cairo_new_path(cr);
        cairo_arc(cr, x, POWER_Y(power.power), 9, 0, 2 * M_PI);
        cairo_stroke(cr);
        TEXT(cr, x, POWER_Y(power.power) - 13, "!", {15, true, WARNING, Align::CENTRE, false});
      }
      x += NULL_SPACING;
    }
  }
}

void draw_curves(cairo_t* cr, const XAxis& axis, const Analysis& analysis, const Layout& layout) {
  const std::size_t curves = analysis.curves.size();
  // Hollow squares before filled circles, larger markers before smaller:
  // every marker at one F'st stays visible without moving it off its F'st.
  for (Test test : {Test::FISHER, Test::CHI2}) {
    if (std::find(layout.tests.begin(), layout.tests.end(), test) == layout.tests.end()) continue;
    for (std::size_t c = 0; c < curves; ++c) {
      for (const PointResult* point : analysis.curves[c].points) {
        if (!point->ok || !point->on(test) || point->input.generations == 0) continue;
        draw_point(cr, axis.at(static_cast<double>(point->expected_fst)), point->power(test), test,
                   look_of(layout, c, curves, test));
      }
    }
  }
}

void draw_legend(cairo_t* cr, const Analysis& analysis, const Layout& layout) {
  const TextStyle heading{12.5, true, INK, Align::LEFT, false};
  const TextStyle entry{12, false, INK, Align::LEFT, false};
  double y = PLOT_TOP + 4;
  TEXT(cr, LEGEND_LEFT, y, "Test", heading);
  y += 20;
  for (Test test : layout.tests) {
    const Colour colour = layout.colour_by_test ? PALETTE_COLOUR(test == Test::CHI2 ? 0 : 1) : MUTED;
    TEST_MARKER(cr, LEGEND_LEFT + 14, y - 4, test, 1.0, colour);
    TEXT(cr, LEGEND_LEFT + 36, y, TEST_WORDS(test), entry);
    TEXT(cr, LEGEND_LEFT + 36, y + 14, test == Test::CHI2 ? "(summed over loci)" : "(combined over loci)",
         {11, false, MUTED, Align::LEFT, false});
    y += 36;
  }
  if (layout.colour_by_test) return;
  y += 6;
  std::string title = analysis.sample_size_varies ? "Sample size (diploids)" : "Loci";
  if (analysis.sample_size_varies && analysis.loci_vary) title = "Design";
  TEXT(cr, LEGEND_LEFT, y, title, heading);
  y += 20;
  for (std::size_t i = 0; i < analysis.curves.size(); ++i) {
    const Colour colour = PALETTE_COLOUR(i);
    cairo_set_source_rgb(cr, colour.red, colour.green, colour.blue);
    cairo_rectangle(cr, LEGEND_LEFT, y - 11, 28, 12);
    cairo_fill(cr);
    TEXT(cr, LEGEND_LEFT + 36, y, analysis.curves[i].label, entry);
    y += 20;
  }
}

void paint(cairo_t* cr, const std::vector<PointResult>& points, const Analysis& analysis,
           const FigureText& text, const std::vector<std::pair<std::string, bool>>& caption) {
  const Layout layout = layout_for(points, analysis);
  const XAxis axis = axis_for(points, layout);
  TEXT(cr, MARGIN, 36, text.title.empty() ? "Power to detect differentiation" : text.title,
       {19, true, HEX_COLOUR(0x111111), Align::LEFT, false});
  draw_frame(cr, axis, layout, text.target_power);
  draw_null_panel(cr, analysis, layout);
  draw_curves(cr, axis, analysis, layout);
  draw_legend(cr, analysis, layout);
  const bool any_ok = std::any_of(points.begin(), points.end(), [](const PointResult& p) { return p.ok; });
  const TextStyle notice{16, false, HEX_COLOUR(0x888888), Align::CENTRE, false};
  if (!any_ok) {
    TEXT(cr, (PLOT_LEFT + PLOT_RIGHT) / 2, (PLOT_TOP + PLOT_BOTTOM) / 2, "No point has finished", notice);
  } else if (layout.tests.empty()) {
    TEXT(cr, (PLOT_LEFT + PLOT_RIGHT) / 2, (PLOT_TOP + PLOT_BOTTOM) / 2, "No test was switched on", notice);
  }
  double y = CAPTION_TOP;
  for (const auto& [line, warning] : caption) {
    TextStyle style = CAPTION_STYLE;
    if (warning) style.colour = WARNING;
    TEXT(cr, MARGIN, y, line, style);
    y += LINE_HEIGHT;
  }
}

}  // namespace

std::vector<std::string> FST_FIGURE_CAPTION(const std::vector<PointResult>& points, const Analysis& analysis,
                                            const FigureText& text) {
  std::vector<std::string> paragraphs;
  const std::string design = design_caption(points, text);
  if (!design.empty()) paragraphs.push_back(design);
  for (const Curve& curve : analysis.curves) {
    for (Test test : tests_shown(points)) {
      if (!curve.miscalibrated(test)) continue;
      const PointResult& null_point = *curve.null_point;
      paragraphs.push_back(
          std::string("! ") + (test == Test::CHI2 ? "Chi-square" : "Exact") + " test miscalibrated" +
          (curve.label.empty() ? "" : " at " + curve.label) + ": with no drift it rejected " +
          std::to_string(null_point.power(test).significant) + " of " + std::to_string(null_point.runs) +
          " runs (at most " + std::to_string(NULL_REJECTION_LIMIT(null_point.runs)) +
          " expected at the 5 % level); its power is not offered as an answer.");
    }
  }
  const std::size_t failed = static_cast<std::size_t>(
      std::count_if(points.begin(), points.end(), [](const PointResult& p) { return !p.ok; }));
  if (failed > 0) {
    paragraphs.push_back(std::to_string(failed) + (failed == 1 ? " point" : " points") + " failed and " +
                         (failed == 1 ? "is" : "are") + " not shown (see curve.csv).");
  }
  return paragraphs;
}

void DRAW_FST_FIGURE(const std::vector<PointResult>& points, const Analysis& analysis, const FigureText& text,
                     const std::string& stem, const std::vector<std::string>& formats) {
  std::vector<std::pair<std::string, bool>> caption;
  for (const std::string& paragraph : FST_FIGURE_CAPTION(points, analysis, text)) {
    const bool warning = paragraph.rfind("! ", 0) == 0;
    for (const std::string& line : WRAP_TEXT(paragraph, WIDTH - 2 * MARGIN, CAPTION_STYLE))
      caption.emplace_back(line, warning);
  }
  const double height = CAPTION_TOP + LINE_HEIGHT * static_cast<double>(caption.size()) + 10;
  WRITE_PAGE(
      WIDTH, height, [&](cairo_t* cr) { paint(cr, points, analysis, text, caption); }, stem, formats);
}

}  // namespace korvel::sweep
