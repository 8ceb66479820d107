// curve.svg: power against expected F'st, one curve per design (sample
// size and/or loci) and test, with 95 % intervals as error bars, the target
// power and the 5 % level marked, the no-drift points at F'st 0 and a mark
// on a test that fails its calibration there. Written by hand as a plain
// SVG 1.1 document so that any browser shows it without scripts or
// external fonts, and in colours and line styles that survive printing in
// grey.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <set>

#include "sweep.h"

namespace korvel::sweep {

namespace {

// Canvas and plot area, in pixels.
constexpr double WIDTH = 820;
constexpr double PLOT_LEFT = 86;
constexpr double PLOT_RIGHT = 600;
constexpr double PLOT_TOP = 78;
constexpr double PLOT_BOTTOM = 422;
constexpr double LEGEND_LEFT = 622;

constexpr const char* FONT = "DejaVu Sans, Liberation Sans, Arial, Helvetica, sans-serif";

std::string num(double value) {
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%.1f", value);
  return buffer;
}

std::string xml_escape(std::string_view text) {
  std::string out;
  for (char c : text) {
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '"':
        out += "&quot;";
        break;
      default:
        out += c;
    }
  }
  return out;
}

// A tick step of 1, 2, 2.5 or 5 times a power of ten giving at most about
// six intervals up to `top`.
double nice_step(double top) {
  const double rough = top / 5.0;
  const double magnitude = std::pow(10.0, std::floor(std::log10(rough)));
  for (double factor : {1.0, 2.0, 2.5, 5.0, 10.0}) {
    if (factor * magnitude >= rough) return factor * magnitude;
  }
  return 10.0 * magnitude;
}

int decimals_for(double step) {
  int decimals = 0;
  while (decimals < 8 &&
         std::fabs(step * std::pow(10.0, decimals) - std::round(step * std::pow(10.0, decimals))) > 1e-9) {
    ++decimals;
  }
  return decimals;
}

std::string tick_label(double value, int decimals) {
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%.*f", decimals, value);
  return buffer;
}

class Svg {
 public:
  void line(double x1, double y1, double x2, double y2, const std::string& style) {
    out_ += "<line x1=\"" + num(x1) + "\" y1=\"" + num(y1) + "\" x2=\"" + num(x2) + "\" y2=\"" + num(y2) +
            "\" " + style + "/>\n";
  }
  void text(double x, double y, std::string_view content, const std::string& style) {
    out_ += "<text x=\"" + num(x) + "\" y=\"" + num(y) + "\" " + style + ">" + xml_escape(content) +
            "</text>\n";
  }
  void marker(double x, double y, bool square, const char* colour) {
    if (square) {
      out_ += "<rect x=\"" + num(x - 4.2) + "\" y=\"" + num(y - 4.2) +
              "\" width=\"8.4\" height=\"8.4\" fill=\"" + colour +
              "\" stroke=\"#ffffff\" stroke-width=\"1.2\"/>\n";
    } else {
      out_ += "<circle cx=\"" + num(x) + "\" cy=\"" + num(y) + "\" r=\"4.8\" fill=\"" + colour +
              "\" stroke=\"#ffffff\" stroke-width=\"1.2\"/>\n";
    }
  }
  void raw(const std::string& text) { out_ += text; }
  const std::string& str() const { return out_; }

 private:
  std::string out_;
};

// The F'st axis starts a little left of 0, so that the no-drift points and
// their bars stand clear of the power axis.
struct Scale {
  double x_top = 0.01;
  double x_step = 0.002;
  double x_low() const { return -0.025 * x_top; }
  double x(double fst) const {
    return PLOT_LEFT + (PLOT_RIGHT - PLOT_LEFT) * (fst - x_low()) / (x_top - x_low());
  }
  static double y(double power) { return PLOT_BOTTOM - (PLOT_BOTTOM - PLOT_TOP) * power; }
};

// Okabe-Ito colours, distinct for colour-blind readers; the tests differ in
// line style and marker as well, so a grey print keeps them apart.
constexpr const char* PALETTE[] = {"#0072B2", "#D55E00", "#009E73", "#CC79A7",
                                   "#E69F00", "#56B4E9", "#000000"};
constexpr std::size_t PALETTE_SIZE = sizeof PALETTE / sizeof PALETTE[0];
constexpr const char* WARNING_COLOUR = "#C00000";

const char* test_label(Test test) {
  return test == Test::CHI2 ? "Chi-square test (summed over loci)" : "Exact test (combined over loci)";
}
const char* test_dash(Test test) { return test == Test::CHI2 ? "" : " stroke-dasharray=\"7 4\""; }

Scale scale_for(const std::vector<PointResult>& points) {
  double largest = 0;
  for (const PointResult& point : points) {
    if (point.ok) largest = std::max(largest, static_cast<double>(point.expected_fst));
  }
  Scale scale;
  if (largest <= 0) return scale;
  // A little room to the right of the last point; the axis need not end
  // on a tick.
  scale.x_top = largest * 1.06;
  scale.x_step = nice_step(scale.x_top);
  return scale;
}

std::string list_text(const std::set<int>& values) {
  std::string text;
  for (int value : values) text += (text.empty() ? "" : ", ") + std::to_string(value);
  return text;
}

// The design in words, for the caption.
std::string caption_for(const std::vector<PointResult>& points, const FigureText& figure) {
  std::set<int> loci, pops, sizes, drift, mixed_low, mixed_high;
  std::set<long long> runs, iter1, iter2, iter3;
  bool exact = false;
  for (const PointResult& point : points) {
    if (!point.ok) continue;
    loci.insert(point.input.loci);
    pops.insert(point.input.pops);
    drift.insert(point.input.drift_size);
    runs.insert(point.runs);
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
  std::string text = "Design: " + list_text(loci) + " loci, " + list_text(pops) + " populations, ";
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
  char target[32];
  std::snprintf(target, sizeof target, "%.2Lf", figure.target_power);
  return text + ". Bars: 95 % Wilson intervals. Dashed line: target power " + target +
         "; points at F\u2032st 0: no drift (the tests' false-positive rate).";
}

// Splits text into lines of at most `width` characters at blanks.
std::vector<std::string> wrap(const std::string& text, std::size_t width) {
  std::vector<std::string> lines;
  std::string line;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find(' ', start);
    if (end == std::string::npos) end = text.size();
    const std::string word = text.substr(start, end - start);
    if (!line.empty() && line.size() + 1 + word.size() > width) {
      lines.push_back(line);
      line.clear();
    }
    line += (line.empty() ? "" : " ") + word;
    start = end + 1;
  }
  if (!line.empty()) lines.push_back(line);
  return lines;
}

void draw_frame(Svg& svg, const Scale& scale, EXTENDED target_power) {
  const std::string grid = "stroke=\"#e3e3e3\" stroke-width=\"1\"";
  const std::string axis = "stroke=\"#333333\" stroke-width=\"1.2\"";
  const std::string tick_text = "font-size=\"12\" fill=\"#333333\"";
  for (int i = 0; i <= 10; i += 2) {
    const double y = Scale::y(i / 10.0);
    if (i > 0) svg.line(PLOT_LEFT, y, PLOT_RIGHT, y, grid);
    svg.line(PLOT_LEFT - 5, y, PLOT_LEFT, y, axis);
    svg.text(PLOT_LEFT - 9, y + 4, tick_label(i / 10.0, 1), tick_text + " text-anchor=\"end\"");
  }
  const int decimals = decimals_for(scale.x_step);
  const int ticks = static_cast<int>(std::floor(scale.x_top / scale.x_step + 1e-9));
  for (int i = 0; i <= ticks; ++i) {
    const double value = i * scale.x_step;
    const double x = scale.x(value);
    if (i > 0) svg.line(x, PLOT_TOP, x, PLOT_BOTTOM, grid);
    svg.line(x, PLOT_BOTTOM, x, PLOT_BOTTOM + 5, axis);
    svg.text(x, PLOT_BOTTOM + 20, tick_label(value, decimals), tick_text + " text-anchor=\"middle\"");
  }
  svg.line(PLOT_LEFT, PLOT_TOP, PLOT_LEFT, PLOT_BOTTOM, axis);
  svg.line(PLOT_LEFT, PLOT_BOTTOM, PLOT_RIGHT, PLOT_BOTTOM, axis);

  svg.text((PLOT_LEFT + PLOT_RIGHT) / 2, PLOT_BOTTOM + 46, "Expected F\u2032st after drift",
           "font-size=\"14\" fill=\"#111111\" text-anchor=\"middle\"");
  svg.raw("<text transform=\"translate(" + num(PLOT_LEFT - 52) + "," + num((PLOT_TOP + PLOT_BOTTOM) / 2) +
          ") rotate(-90)\" font-size=\"14\" fill=\"#111111\" text-anchor=\"middle\">"
          "Power (share of runs significant at 5 %)</text>\n");

  // The rate a test without power reaches by chance, and the goal.
  const double y05 = Scale::y(0.05);
  svg.line(PLOT_LEFT, y05, PLOT_RIGHT, y05, "stroke=\"#777777\" stroke-width=\"1\" stroke-dasharray=\"2 3\"");
  svg.text(PLOT_RIGHT - 4, y05 - 5, "5 % level",
           "font-size=\"11\" fill=\"#555555\" text-anchor=\"end\" stroke=\"#ffffff\" stroke-width=\"3\" "
           "paint-order=\"stroke\"");
  const double target = static_cast<double>(target_power);
  const double yt = Scale::y(target);
  char label[48];
  std::snprintf(label, sizeof label, "target power %.2f", target);
  svg.line(PLOT_LEFT, yt, PLOT_RIGHT, yt,
           "stroke=\"#222222\" stroke-width=\"1.3\" stroke-dasharray=\"10 5\"");
  // On a white halo, so that curves crossing it leave it readable.
  svg.text(
      PLOT_LEFT + 6, yt - 6, label,
      "font-size=\"11.5\" fill=\"#222222\" stroke=\"#ffffff\" stroke-width=\"3\" paint-order=\"stroke\"");
}

struct Style {
  const char* colour;
  Test test;
};

void draw_curve(Svg& svg, const Scale& scale, const Curve& curve, const Style& style, double dodge) {
  const std::string colour = style.colour;
  std::vector<const PointResult*> shown;
  for (const PointResult* point : curve.points) {
    if (point->ok && point->on(style.test)) shown.push_back(point);
  }
  if (shown.empty()) return;
  const auto x_of = [&](const PointResult* point) {
    return scale.x(static_cast<double>(point->expected_fst)) + dodge;
  };
  const auto y_of = [&](EXTENDED value) { return Scale::y(static_cast<double>(value)); };
  std::string path;
  for (const PointResult* point : shown) {
    path += (path.empty() ? "M" : " L") + num(x_of(point)) + " " + num(y_of(point->power(style.test).power));
  }
  svg.raw("<path d=\"" + path + "\" fill=\"none\" stroke=\"" + colour + "\" stroke-width=\"2\"" +
          test_dash(style.test) + " stroke-linejoin=\"round\" stroke-opacity=\"0.9\"/>\n");
  const std::string bar = "stroke=\"" + colour + "\" stroke-width=\"1.3\"";
  for (const PointResult* point : shown) {
    const Interval& interval = point->power(style.test).interval;
    const double x = x_of(point), low = y_of(interval.low), high = y_of(interval.high);
    svg.line(x, low, x, high, bar);
    svg.line(x - 3.5, low, x + 3.5, low, bar);
    svg.line(x - 3.5, high, x + 3.5, high, bar);
  }
  for (const PointResult* point : shown) {
    svg.marker(x_of(point), y_of(point->power(style.test).power), style.test == Test::FISHER, style.colour);
  }
  if (curve.miscalibrated(style.test)) {
    const double x = x_of(curve.null_point), y = y_of(curve.null_point->power(style.test).power);
    svg.raw("<circle cx=\"" + num(x) + "\" cy=\"" + num(y) + "\" r=\"10\" fill=\"none\" stroke=\"" +
            WARNING_COLOUR + "\" stroke-width=\"2.2\"/>\n");
    svg.text(x + 13, y + 5, "!",
             std::string("font-size=\"15\" font-weight=\"bold\" fill=\"") + WARNING_COLOUR + "\"");
  }
}

// The legend, right of the plot: the tests by line style and marker, then
// the designs by colour when there is more than one.
void draw_legend(Svg& svg, const std::vector<Test>& tests, const Analysis& analysis, bool colour_by_test) {
  double y = PLOT_TOP + 4;
  const std::string heading = "font-size=\"12.5\" font-weight=\"bold\" fill=\"#222222\"";
  const std::string entry = "font-size=\"12\" fill=\"#222222\"";
  svg.text(LEGEND_LEFT, y, "Test", heading);
  y += 20;
  for (Test test : tests) {
    const char* colour = colour_by_test ? PALETTE[test == Test::CHI2 ? 0 : 1] : "#444444";
    svg.line(LEGEND_LEFT, y - 4, LEGEND_LEFT + 28, y - 4,
             std::string("stroke=\"") + colour + "\" stroke-width=\"2\"" + test_dash(test));
    svg.marker(LEGEND_LEFT + 14, y - 4, test == Test::FISHER, colour);
    const std::string label = test_label(test);
    const std::size_t cut = label.find(" (");
    svg.text(LEGEND_LEFT + 36, y, label.substr(0, cut), entry);
    svg.text(LEGEND_LEFT + 36, y + 14, label.substr(cut + 1), "font-size=\"11\" fill=\"#555555\"");
    y += 36;
  }
  if (colour_by_test) return;
  y += 6;
  std::string title = analysis.sample_size_varies ? "Sample size (diploids)" : "Loci";
  if (analysis.sample_size_varies && analysis.loci_vary) title = "Design";
  svg.text(LEGEND_LEFT, y, title, heading);
  y += 20;
  for (std::size_t i = 0; i < analysis.curves.size(); ++i) {
    const char* colour = PALETTE[i % PALETTE_SIZE];
    svg.raw(std::string("<rect x=\"") + num(LEGEND_LEFT) + "\" y=\"" + num(y - 11) +
            "\" width=\"28\" height=\"12\" fill=\"" + colour + "\"/>\n");
    svg.text(LEGEND_LEFT + 36, y, analysis.curves[i].label, entry);
    y += 20;
  }
}

}  // namespace

std::string CURVE_SVG(const std::vector<PointResult>& points, const Analysis& analysis,
                      const FigureText& figure) {
  std::vector<Test> tests;
  for (Test test : TESTS) {
    if (std::any_of(points.begin(), points.end(), [&](const PointResult& p) { return p.ok && p.on(test); }))
      tests.push_back(test);
  }
  const bool colour_by_test = analysis.curves.size() <= 1;
  const Scale scale = scale_for(points);

  // Below the plot: the caption, the calibration warnings, failed points.
  std::vector<std::string> notes;
  for (const Curve& curve : analysis.curves) {
    for (Test test : tests) {
      if (!curve.miscalibrated(test)) continue;
      const PointResult& null_point = *curve.null_point;
      notes.push_back(std::string("! ") + (test == Test::CHI2 ? "Chi-square" : "Exact") +
                      " test miscalibrated" + (curve.label.empty() ? "" : " at " + curve.label) +
                      ": with no drift it rejected " + std::to_string(null_point.power(test).significant) +
                      " of " + std::to_string(null_point.runs) + " runs (at most " +
                      std::to_string(NULL_REJECTION_LIMIT(null_point.runs)) +
                      " expected at the 5 % level); its power is not offered as an answer.");
    }
  }
  const std::size_t failed = static_cast<std::size_t>(
      std::count_if(points.begin(), points.end(), [](const PointResult& p) { return !p.ok; }));
  if (failed > 0) {
    notes.push_back(std::to_string(failed) + (failed == 1 ? " point" : " points") + " failed and " +
                    (failed == 1 ? "is" : "are") + " not shown (see curve.csv).");
  }
  const std::vector<std::string> caption = wrap(caption_for(points, figure), 118);
  std::vector<std::vector<std::string>> wrapped_notes;
  std::size_t note_lines = 0;
  for (const std::string& note : notes) {
    wrapped_notes.push_back(wrap(note, 112));
    note_lines += wrapped_notes.back().size();
  }
  const double caption_top = PLOT_BOTTOM + 74;
  const double height = caption_top + 16.0 * static_cast<double>(caption.size() + note_lines) + 14;

  Svg svg;
  svg.raw("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n");
  svg.raw("<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" + num(WIDTH) + "\" height=\"" + num(height) +
          "\" viewBox=\"0 0 " + num(WIDTH) + " " + num(height) + "\" font-family=\"" + FONT + "\">\n");
  svg.raw("<rect width=\"100%\" height=\"100%\" fill=\"#ffffff\"/>\n");
  svg.text(PLOT_LEFT - 52, 36, figure.title.empty() ? "Power to detect differentiation" : figure.title,
           "font-size=\"19\" font-weight=\"bold\" fill=\"#111111\"");
  draw_frame(svg, scale, figure.target_power);
  // Side by side, so that the bars of the curves at one F'st stay apart.
  std::size_t drawn = 0;
  const std::size_t lines = analysis.curves.size() * tests.size();
  for (std::size_t c = 0; c < analysis.curves.size(); ++c) {
    for (Test test : tests) {
      const double dodge = lines > 1
                               ? (static_cast<double>(drawn) - (static_cast<double>(lines) - 1) / 2) * 3.0
                               : 0;
      const char* colour = colour_by_test ? PALETTE[test == Test::CHI2 ? 0 : 1] : PALETTE[c % PALETTE_SIZE];
      draw_curve(svg, scale, analysis.curves[c], {colour, test}, dodge);
      ++drawn;
    }
  }
  draw_legend(svg, tests, analysis, colour_by_test);
  const bool any_ok = std::any_of(points.begin(), points.end(), [](const PointResult& p) { return p.ok; });
  if (!any_ok) {
    svg.text((PLOT_LEFT + PLOT_RIGHT) / 2, (PLOT_TOP + PLOT_BOTTOM) / 2, "No point has finished",
             "font-size=\"16\" fill=\"#888888\" text-anchor=\"middle\"");
  } else if (tests.empty()) {
    svg.text((PLOT_LEFT + PLOT_RIGHT) / 2, (PLOT_TOP + PLOT_BOTTOM) / 2, "No test was switched on",
             "font-size=\"16\" fill=\"#888888\" text-anchor=\"middle\"");
  }
  double y = caption_top;
  for (const std::string& line : caption) {
    svg.text(PLOT_LEFT - 52, y, line, "font-size=\"12\" fill=\"#333333\"");
    y += 16;
  }
  for (std::size_t i = 0; i < wrapped_notes.size(); ++i) {
    const bool warning = i + (failed > 0 ? 1 : 0) < wrapped_notes.size();
    for (const std::string& line : wrapped_notes[i]) {
      svg.text(PLOT_LEFT - 52, y, line,
               std::string("font-size=\"12\" fill=\"") + (warning ? WARNING_COLOUR : "#aa3333") + "\"");
      y += 16;
    }
  }
  svg.raw("</svg>\n");
  return svg.str();
}

}  // namespace korvel::sweep
