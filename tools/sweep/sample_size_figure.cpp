// Power against sample size (or loci): the figure that answers the planning
// question. Only simulated points and the fitted model are drawn, never a
// straight segment between points, so that no power appears that was not
// estimated; points of different curves at one n stay on their n and stay
// readable through marker shape, size and drawing order.
#include <algorithm>
#include <cmath>
#include <cstdio>

#include "figure.h"
#include "figure_canvas.h"

namespace korvel::sweep {

namespace {

using namespace canvas;

std::string fst_text(EXTENDED fst) {
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%.4Lf", fst);
  return buffer;
}

// The distinct levels of differentiation, ascending: one colour and one
// marker size each.
std::vector<EXTENDED> fst_levels(const SampleSizeFigure& figure) {
  std::vector<EXTENDED> levels;
  for (const FigureCurve& curve : figure.curves) levels.push_back(curve.expected_fst);
  std::sort(levels.begin(), levels.end());
  levels.erase(std::unique(levels.begin(), levels.end()), levels.end());
  return levels;
}

struct Look {
  Colour colour;
  double scale = 1;  // the first level's markers largest, so later ones sit inside them
};

Look look_of(const FigureCurve& curve, const std::vector<EXTENDED>& levels) {
  const auto at = std::find(levels.begin(), levels.end(), curve.expected_fst);
  const std::size_t index = static_cast<std::size_t>(at - levels.begin());
  const double share = levels.size() > 1 ? static_cast<double>(index) / static_cast<double>(levels.size() - 1)
                                         : 0;
  return {PALETTE_COLOUR(index), 1.4 - 0.5 * share};
}

// The span of n that matters: where a model was fitted and where the
// answers' intervals lie, widened by half on each side; without either,
// every point.
std::pair<double, double> span_that_matters(const SampleSizeFigure& figure) {
  double smallest = HUGE_VAL, largest = -HUGE_VAL;
  const auto take = [&](double x) {
    smallest = std::min(smallest, x);
    largest = std::max(largest, x);
  };
  for (const FigureCurve& curve : figure.curves) {
    if (!curve.fitted.empty()) {
      take(static_cast<double>(curve.fitted.front().first));
      take(static_cast<double>(curve.fitted.back().first));
    }
    if (curve.answer) {
      take(static_cast<double>(curve.answer->low));
      take(static_cast<double>(curve.answer->high));
    }
  }
  if (smallest > largest) return {-HUGE_VAL, HUGE_VAL};
  return {smallest / 1.5, largest * 1.5};
}

bool on_axis(const std::pair<double, double>& span, double x) { return x >= span.first && x <= span.second; }

// The axis and the smallest and largest values it shows (its ends are
// padded beyond them).
struct Axis {
  XAxis scale;
  double first = 1, last = 1;
};

Axis axis_for(const SampleSizeFigure& figure) {
  const auto span = span_that_matters(figure);
  double smallest = HUGE_VAL, largest = -HUGE_VAL;
  const auto take = [&](double x) {
    smallest = std::min(smallest, x);
    largest = std::max(largest, x);
  };
  for (const FigureCurve& curve : figure.curves) {
    for (const FigurePoint& point : curve.points)
      if (on_axis(span, point.x)) take(point.x);
    for (const auto& [x, power] : curve.fitted) take(static_cast<double>(x));
    if (curve.answer) {
      take(static_cast<double>(curve.answer->low));
      take(static_cast<double>(curve.answer->high));
    }
  }
  if (smallest > largest) smallest = largest = 1;
  smallest = std::max(smallest, 1.0);
  largest = std::max(largest, 1.0);
  return {XAxis::FOR_VALUES(smallest, largest, PLOT_LEFT, PLOT_RIGHT), std::round(smallest),
          std::round(largest)};
}

// The probes left off the axis, in words for the caption: "probes off the
// axis: n = 2 (power 0.03), 1000 (power 1.00)".
std::string off_axis_note(const SampleSizeFigure& figure) {
  const auto span = span_that_matters(figure);
  std::string note;
  for (const FigureCurve& curve : figure.curves) {
    for (const FigurePoint& point : curve.points) {
      if (on_axis(span, point.x)) continue;
      char text[64];
      std::snprintf(text, sizeof text, "%d (power %.2Lf)", point.x, point.power);
      note += (note.empty() ? "" : ", ") + std::string(text);
    }
  }
  return note.empty() ? note : "Probes off the axis (" + figure.axis_label + "): " + note;
}

// The axis' ticks with the smallest and largest value shown labelled too;
// an inner tick too close to one of them gives way to it.
std::vector<double> ticks_with_ends(const Axis& shown) {
  constexpr double CLOSEST = 30;
  const XAxis& axis = shown.scale;
  const double low = shown.first, high = shown.last;
  std::vector<double> ticks;
  for (double value : axis.ticks()) {
    if (std::fabs(axis.at(value) - axis.at(low)) >= CLOSEST &&
        std::fabs(axis.at(value) - axis.at(high)) >= CLOSEST)
      ticks.push_back(value);
  }
  ticks.insert(ticks.begin(), low);
  if (high > low) ticks.push_back(high);
  return ticks;
}

void draw_frame(cairo_t* cr, const Axis& shown, const std::string& axis_label) {
  const XAxis& axis = shown.scale;
  const TextStyle tick_text{12, false, HEX_COLOUR(0x333333), Align::RIGHT, false};
  const Colour axis_colour = HEX_COLOUR(0x333333);
  POWER_TICKS(cr, PLOT_LEFT, tick_text, axis_colour);
  TextStyle below = tick_text;
  below.align = Align::CENTRE;
  for (double value : ticks_with_ends(shown)) {
    const double x = axis.at(value);
    LINE(cr, x, PLOT_TOP, x, PLOT_BOTTOM, 1, GRID);
    LINE(cr, x, PLOT_BOTTOM, x, PLOT_BOTTOM + 5, 1.2, axis_colour);
    TEXT(cr, x, PLOT_BOTTOM + 20, axis.tick_label(value), below);
  }
  LINE(cr, PLOT_LEFT, PLOT_TOP, PLOT_LEFT, PLOT_BOTTOM, 1.2, axis_colour);
  LINE(cr, PLOT_LEFT, PLOT_BOTTOM, PLOT_RIGHT, PLOT_BOTTOM, 1.2, axis_colour);
  const TextStyle label_style{14, false, HEX_COLOUR(0x111111), Align::CENTRE, false};
  TEXT(cr, (PLOT_LEFT + PLOT_RIGHT) / 2, PLOT_BOTTOM + 46,
       axis_label + (axis.logarithmic() ? " (logarithmic scale)" : ""), label_style);
  UPRIGHT_TEXT(cr, PLOT_LEFT - 50, (PLOT_TOP + PLOT_BOTTOM) / 2, "Power (share of runs significant at 5 %)",
               label_style);
}

void draw_target(cairo_t* cr, EXTENDED target_power) {
  static constexpr double DASHES[] = {10, 5};
  const double y = POWER_Y(target_power);
  cairo_set_dash(cr, DASHES, 2, 0);
  LINE(cr, PLOT_LEFT, y, PLOT_RIGHT, y, 1.3, INK);
  cairo_set_dash(cr, nullptr, 0, 0);
  char label[48];
  std::snprintf(label, sizeof label, "target power %.2Lf", target_power);
  TEXT(cr, PLOT_LEFT + 6, y - 7, label, {11.5, false, INK, Align::LEFT, true});
}

void draw_fitted(cairo_t* cr, const XAxis& axis, const FigureCurve& curve, const Look& look) {
  if (curve.fitted.size() < 2) return;
  cairo_save(cr);
  SET_TEST_DASH(cr, curve.test);
  cairo_set_source_rgb(cr, look.colour.red, look.colour.green, look.colour.blue);
  cairo_set_line_width(cr, 1.6);
  cairo_set_line_join(cr, CAIRO_LINE_JOIN_ROUND);
  for (const auto& [x, power] : curve.fitted)
    cairo_line_to(cr, axis.at(static_cast<double>(x)), POWER_Y(power));
  cairo_stroke(cr);
  cairo_restore(cr);
}

// The answer: its interval as a bar with end ticks on the target line and
// a vertical mark from the line down to the axis at the answer, labelled
// with the number and its interval near the axis (unlike any probe).
// Several answers stack a few points apart around the line, and their
// labels one above the other.
void draw_answer(cairo_t* cr, const XAxis& axis, const FigureCurve& curve, const Look& look, double y,
                 std::size_t index) {
  static constexpr double DOTS[] = {2, 3};
  const FigureAnswer& answer = *curve.answer;
  const double low = axis.at(static_cast<double>(answer.low)),
               high = axis.at(static_cast<double>(answer.high)), at = axis.at(static_cast<double>(answer.x));
  cairo_save(cr);
  cairo_set_source_rgb(cr, look.colour.red, look.colour.green, look.colour.blue);
  cairo_set_line_width(cr, 2.2);
  cairo_move_to(cr, low, y);
  cairo_line_to(cr, high, y);
  for (double x : {low, high}) {
    cairo_move_to(cr, x, y - 5);
    cairo_line_to(cr, x, y + 5);
  }
  cairo_stroke(cr);
  cairo_set_line_width(cr, 1.4);
  cairo_set_dash(cr, DOTS, 2, 0);
  cairo_move_to(cr, at, y);
  cairo_line_to(cr, at, PLOT_BOTTOM);
  cairo_stroke(cr);
  cairo_restore(cr);
  char label[64];
  std::snprintf(label, sizeof label, "%.0Lf (%.0Lf\u2013%.0Lf)", answer.x, answer.low, answer.high);
  const bool right = at < (PLOT_LEFT + PLOT_RIGHT) / 2;
  TEXT(cr, at + (right ? 4 : -4), PLOT_BOTTOM - 8 - 15 * static_cast<double>(index), label,
       {11, true, look.colour, right ? Align::LEFT : Align::RIGHT, false});
}

bool has_test(const SampleSizeFigure& figure, Test test) {
  return std::any_of(figure.curves.begin(), figure.curves.end(),
                     [&](const FigureCurve& curve) { return curve.test == test; });
}

// A test's line style is shown only when fitted lines are drawn in it.
void legend_line(cairo_t* cr, double y, Test test, const Colour& colour, bool line, double marker_scale) {
  if (line) {
    cairo_save(cr);
    SET_TEST_DASH(cr, test);
    LINE(cr, LEGEND_LEFT, y - 4, LEGEND_LEFT + 28, y - 4, 1.6, colour);
    cairo_restore(cr);
  }
  if (marker_scale > 0) TEST_MARKER(cr, LEGEND_LEFT + 14, y - 4, test, marker_scale, colour);
}

void draw_legend(cairo_t* cr, const SampleSizeFigure& figure, const std::vector<EXTENDED>& levels) {
  const TextStyle heading{12.5, true, INK, Align::LEFT, false};
  const TextStyle entry{12, false, INK, Align::LEFT, false};
  const bool fitted = std::any_of(figure.curves.begin(), figure.curves.end(),
                                  [](const FigureCurve& curve) { return curve.fitted.size() >= 2; });
  double y = PLOT_TOP + 4;
  TEXT(cr, LEGEND_LEFT, y, "Test", heading);
  y += 20;
  for (Test test : TESTS) {
    if (!has_test(figure, test)) continue;
    legend_line(cr, y, test, MUTED, fitted, 1.0);
    TEXT(cr, LEGEND_LEFT + 36, y, TEST_WORDS(test), entry);
    y += 22;
  }
  y += 6;
  TEXT(cr, LEGEND_LEFT, y, "Expected F\u2032st", heading);
  y += 20;
  for (std::size_t i = 0; i < levels.size(); ++i) {
    const Colour colour = PALETTE_COLOUR(i);
    cairo_set_source_rgb(cr, colour.red, colour.green, colour.blue);
    cairo_rectangle(cr, LEGEND_LEFT, y - 11, 28, 12);
    cairo_fill(cr);
    TEXT(cr, LEGEND_LEFT + 36, y, fst_text(levels[i]), entry);
    y += 20;
  }
  y += 6;
  if (fitted) {
    legend_line(cr, y, Test::CHI2, MUTED, true, 0);
    TEXT(cr, LEGEND_LEFT + 36, y, "fitted model", entry);
    y += 20;
  }
  LINE(cr, LEGEND_LEFT + 14, y - 10, LEGEND_LEFT + 14, y + 2, 1.3, MUTED);
  TEXT(cr, LEGEND_LEFT + 36, y, "95 % interval", entry);
  y += 20;
  const bool answered = std::any_of(figure.curves.begin(), figure.curves.end(),
                                    [](const FigureCurve& curve) { return curve.answer.has_value(); });
  if (answered) {
    LINE(cr, LEGEND_LEFT + 2, y - 8, LEGEND_LEFT + 26, y - 8, 2.2, MUTED);
    LINE(cr, LEGEND_LEFT + 2, y - 13, LEGEND_LEFT + 2, y - 3, 2.2, MUTED);
    LINE(cr, LEGEND_LEFT + 26, y - 13, LEGEND_LEFT + 26, y - 3, 2.2, MUTED);
    LINE(cr, LEGEND_LEFT + 14, y - 8, LEGEND_LEFT + 14, y + 4, 1.4, MUTED);
    TEXT(cr, LEGEND_LEFT + 36, y, "answer (95 % interval)", entry);
    y += 20;
  }
  for (const FigureCurve& curve : figure.curves) {
    if (!curve.miscalibrated) continue;
    y += 4;
    const TextStyle warning{11, false, WARNING, Align::LEFT, false};
    for (const std::string& line :
         WRAP_TEXT("! miscalibrated, no answer: " + curve.label, WIDTH - LEGEND_LEFT - 8, warning)) {
      TEXT(cr, LEGEND_LEFT, y, line, warning);
      y += 15;
    }
  }
}

void draw_points(cairo_t* cr, const XAxis& axis, const SampleSizeFigure& figure,
                 const std::vector<EXTENDED>& levels) {
  const auto span = span_that_matters(figure);
  // Bars first, then the hollow squares, then the filled circles, each
  // largest first: every marker at one n stays visible.
  for (const FigureCurve& curve : figure.curves) {
    const Look look = look_of(curve, levels);
    for (const FigurePoint& point : curve.points) {
      if (!on_axis(span, point.x)) continue;
      ERROR_BAR(cr, axis.at(point.x), POWER_Y(point.interval.low), POWER_Y(point.interval.high),
                2.5 * look.scale, look.colour);
    }
  }
  for (Test test : {Test::FISHER, Test::CHI2}) {
    for (std::size_t level = 0; level < levels.size(); ++level) {
      for (const FigureCurve& curve : figure.curves) {
        if (curve.test != test || curve.expected_fst != levels[level]) continue;
        const Look look = look_of(curve, levels);
        for (const FigurePoint& point : curve.points) {
          if (!on_axis(span, point.x)) continue;
          TEST_MARKER(cr, axis.at(point.x), POWER_Y(point.power), test, look.scale, look.colour);
        }
      }
    }
  }
}

void paint(cairo_t* cr, const SampleSizeFigure& figure, const std::vector<std::string>& caption) {
  const std::vector<EXTENDED> levels = fst_levels(figure);
  const Axis shown = axis_for(figure);
  const XAxis& axis = shown.scale;
  TEXT(cr, MARGIN, 36, figure.title.empty() ? "Power against sample size" : figure.title,
       {19, true, HEX_COLOUR(0x111111), Align::LEFT, false});
  draw_frame(cr, shown, figure.axis_label);
  for (const FigureCurve& curve : figure.curves) draw_fitted(cr, axis, curve, look_of(curve, levels));
  draw_target(cr, figure.target_power);
  draw_points(cr, axis, figure, levels);
  std::size_t answers = 0;
  for (const FigureCurve& curve : figure.curves) answers += curve.answer ? 1 : 0;
  std::size_t drawn = 0;
  for (const FigureCurve& curve : figure.curves) {
    if (!curve.answer) continue;
    const double offset = (static_cast<double>(drawn++) - static_cast<double>(answers - 1) / 2) * 6;
    draw_answer(cr, axis, curve, look_of(curve, levels), POWER_Y(figure.target_power) + offset, drawn - 1);
  }
  draw_legend(cr, figure, levels);
  const bool any_point = std::any_of(figure.curves.begin(), figure.curves.end(),
                                     [](const FigureCurve& curve) { return !curve.points.empty(); });
  if (!any_point) {
    TEXT(cr, (PLOT_LEFT + PLOT_RIGHT) / 2, (PLOT_TOP + PLOT_BOTTOM) / 2, "No point has finished",
         {16, false, HEX_COLOUR(0x888888), Align::CENTRE, false});
  }
  double y = CAPTION_TOP;
  for (const std::string& line : caption) {
    TEXT(cr, MARGIN, y, line, CAPTION_STYLE);
    y += LINE_HEIGHT;
  }
}

}  // namespace

void DRAW_SAMPLE_SIZE_FIGURE(const SampleSizeFigure& figure, const std::string& stem,
                             const std::vector<std::string>& formats) {
  std::vector<std::string> paragraphs = figure.caption;
  if (const std::string note = off_axis_note(figure); !note.empty()) paragraphs.push_back(note);
  std::vector<std::string> caption;
  for (const std::string& paragraph : paragraphs) {
    for (const std::string& line : WRAP_TEXT(paragraph, WIDTH - 2 * MARGIN, CAPTION_STYLE))
      caption.push_back(line);
  }
  const double height = CAPTION_TOP + LINE_HEIGHT * static_cast<double>(caption.size()) + 10;
  WRITE_PAGE(
      WIDTH, height, [&](cairo_t* cr) { paint(cr, figure, caption); }, stem, formats);
}

}  // namespace korvel::sweep
