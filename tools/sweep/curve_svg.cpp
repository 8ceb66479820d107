// curve.svg: power against expected F'st, one series per test, with 95 %
// intervals as error bars and the 5 % level marked. Written by hand as a
// plain SVG 1.1 document so that any browser shows it without scripts or
// external fonts.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <set>

#include "sweep.h"

namespace korvel::sweep {

namespace {

// Canvas and plot area, in pixels.
constexpr double WIDTH = 760;
constexpr double HEIGHT = 520;
constexpr double PLOT_LEFT = 86;
constexpr double PLOT_RIGHT = 730;
constexpr double PLOT_TOP = 104;
constexpr double PLOT_BOTTOM = 448;

constexpr const char* FONT = "DejaVu Sans, Liberation Sans, Arial, Helvetica, sans-serif";

struct Series {
  const char* name;
  const char* colour;
  bool square_marker;
  const TestPower PointResult::*test;
  bool PointResult::*on;
};

// Colour-blind-safe pair (blue and vermillion).
const Series SERIES[] = {
    {"Chi-square test (summed over loci)", "#0072B2", false, &PointResult::chi2,
     &PointResult::chi2_on},
    {"Exact test (combined over loci)", "#D55E00", true, &PointResult::fisher,
     &PointResult::fisher_on},
};

std::string num(double value) {
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%.1f", value);
  return buffer;
}

std::string xml_escape(std::string_view text) {
  std::string out;
  for (char c : text) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      default: out += c;
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
  while (decimals < 8 && std::fabs(step * std::pow(10.0, decimals) -
                                   std::round(step * std::pow(10.0, decimals))) > 1e-9) {
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
    out_ += "<line x1=\"" + num(x1) + "\" y1=\"" + num(y1) + "\" x2=\"" + num(x2) + "\" y2=\"" +
            num(y2) + "\" " + style + "/>\n";
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

struct Scale {
  double x_top = 0.01;
  double x_step = 0.002;
  double x(double fst) const { return PLOT_LEFT + (PLOT_RIGHT - PLOT_LEFT) * fst / x_top; }
  static double y(double power) { return PLOT_BOTTOM - (PLOT_BOTTOM - PLOT_TOP) * power; }
};

Scale scale_for(const std::vector<const PointResult*>& shown) {
  double largest = 0;
  for (const PointResult* point : shown) largest = std::max(largest, static_cast<double>(point->expected_fst));
  Scale scale;
  if (largest <= 0) return scale;
  // A little room to the right of the last point; the axis need not end
  // on a tick.
  scale.x_top = largest * 1.06;
  scale.x_step = nice_step(scale.x_top);
  return scale;
}

std::string subtitle_for(const std::vector<const PointResult*>& shown) {
  std::set<int> sizes;
  std::set<long long> runs;
  for (const PointResult* point : shown) {
    sizes.insert(point->drift_size);
    runs.insert(point->runs);
  }
  std::string text;
  if (sizes.size() == 1) text += "Effective size N = " + std::to_string(*sizes.begin()) + ",  ";
  if (runs.size() == 1) text += std::to_string(*runs.begin()) + " runs per point,  ";
  return text + "bars: 95 % Wilson confidence intervals";
}

void draw_frame(Svg& svg, const Scale& scale) {
  const std::string grid = "stroke=\"#e3e3e3\" stroke-width=\"1\"";
  const std::string axis = "stroke=\"#333333\" stroke-width=\"1.2\"";
  const std::string tick_text = std::string("font-size=\"12\" fill=\"#333333\"");
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

  svg.text((PLOT_LEFT + PLOT_RIGHT) / 2, PLOT_BOTTOM + 48,
           "Expected F\u2032st after drift",
           "font-size=\"14\" fill=\"#111111\" text-anchor=\"middle\"");
  svg.raw("<text transform=\"translate(" + num(PLOT_LEFT - 52) + "," +
          num((PLOT_TOP + PLOT_BOTTOM) / 2) +
          ") rotate(-90)\" font-size=\"14\" fill=\"#111111\" text-anchor=\"middle\">"
          "Power (proportion of runs with P &lt; 0.05)</text>\n");

  // The level a test without power would reach by chance.
  const double y05 = Scale::y(0.05);
  svg.line(PLOT_LEFT, y05, PLOT_RIGHT, y05, "stroke=\"#555555\" stroke-width=\"1.2\" stroke-dasharray=\"6 4\"");
  svg.text(PLOT_RIGHT - 4, y05 - 5, "5 % level", "font-size=\"11\" fill=\"#555555\" text-anchor=\"end\"");
}

void draw_legend(Svg& svg, const std::vector<const Series*>& series) {
  double x = PLOT_LEFT;
  const double y = PLOT_TOP - 20;
  for (const Series* s : series) {
    const std::string colour = s->colour;
    svg.line(x, y, x + 26, y, "stroke=\"" + colour + "\" stroke-width=\"2\"");
    svg.marker(x + 13, y, s->square_marker, s->colour);
    svg.text(x + 33, y + 4, s->name, "font-size=\"12\" fill=\"#222222\"");
    x += 33 + 6.6 * static_cast<double>(std::string_view(s->name).size()) + 26;
  }
  svg.line(x, y, x + 26, y, "stroke=\"#555555\" stroke-width=\"1.2\" stroke-dasharray=\"6 4\"");
  svg.text(x + 33, y + 4, "P = 0.05", "font-size=\"12\" fill=\"#222222\"");
}

void draw_series(Svg& svg, const Scale& scale, const Series& s, const std::vector<const PointResult*>& shown,
                 double dodge) {
  const std::string colour = s.colour;
  std::string path;
  for (const PointResult* point : shown) {
    if (!(point->*s.on)) continue;
    const double x = scale.x(static_cast<double>(point->expected_fst)) + dodge;
    const double y = Scale::y(static_cast<double>((point->*s.test).power));
    path += (path.empty() ? "M" : " L") + num(x) + " " + num(y);
  }
  if (path.empty()) return;
  svg.raw("<path d=\"" + path + "\" fill=\"none\" stroke=\"" + colour +
          "\" stroke-width=\"2\" stroke-linejoin=\"round\" stroke-opacity=\"0.85\"/>\n");
  const std::string bar = "stroke=\"" + colour + "\" stroke-width=\"1.4\"";
  for (const PointResult* point : shown) {
    if (!(point->*s.on)) continue;
    const TestPower& test = point->*s.test;
    const double x = scale.x(static_cast<double>(point->expected_fst)) + dodge;
    const double low = Scale::y(static_cast<double>(test.interval.low));
    const double high = Scale::y(static_cast<double>(test.interval.high));
    svg.line(x, low, x, high, bar);
    svg.line(x - 4, low, x + 4, low, bar);
    svg.line(x - 4, high, x + 4, high, bar);
  }
  for (const PointResult* point : shown) {
    if (!(point->*s.on)) continue;
    svg.marker(scale.x(static_cast<double>(point->expected_fst)) + dodge,
               Scale::y(static_cast<double>((point->*s.test).power)), s.square_marker, s.colour);
  }
}

}  // namespace

std::string CURVE_SVG(const std::vector<PointResult>& points) {
  std::vector<const PointResult*> shown;
  for (const PointResult& point : points) {
    if (point.ok) shown.push_back(&point);
  }
  std::stable_sort(shown.begin(), shown.end(), [](const PointResult* a, const PointResult* b) {
    return a->expected_fst < b->expected_fst;
  });
  std::vector<const Series*> series;
  for (const Series& s : SERIES) {
    if (std::any_of(shown.begin(), shown.end(), [&](const PointResult* p) { return p->*s.on; }))
      series.push_back(&s);
  }
  const Scale scale = scale_for(shown);

  Svg svg;
  svg.raw("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n");
  svg.raw("<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" + num(WIDTH) + "\" height=\"" +
          num(HEIGHT) + "\" viewBox=\"0 0 " + num(WIDTH) + " " + num(HEIGHT) + "\" font-family=\"" +
          FONT + "\">\n");
  svg.raw("<rect width=\"100%\" height=\"100%\" fill=\"#ffffff\"/>\n");
  svg.text(PLOT_LEFT, 32, "Power to detect differentiation", "font-size=\"18\" font-weight=\"bold\" fill=\"#111111\"");
  svg.text(PLOT_LEFT, 54, subtitle_for(shown), "font-size=\"12.5\" fill=\"#555555\"");
  draw_frame(svg, scale);
  draw_legend(svg, series);
  // Side by side when both tests are drawn, so that their bars stay apart.
  const double dodge = series.size() > 1 ? 3.5 : 0.0;
  for (std::size_t i = 0; i < series.size(); ++i) {
    draw_series(svg, scale, *series[i], shown, i == 0 ? -dodge : dodge);
  }
  if (shown.empty()) {
    svg.text((PLOT_LEFT + PLOT_RIGHT) / 2, (PLOT_TOP + PLOT_BOTTOM) / 2, "No point has finished",
             "font-size=\"16\" fill=\"#888888\" text-anchor=\"middle\"");
  } else if (series.empty()) {
    svg.text((PLOT_LEFT + PLOT_RIGHT) / 2, (PLOT_TOP + PLOT_BOTTOM) / 2, "No test was switched on",
             "font-size=\"16\" fill=\"#888888\" text-anchor=\"middle\"");
  }
  const std::size_t failed = points.size() - shown.size();
  if (failed > 0) {
    svg.text(PLOT_LEFT, HEIGHT - 12,
             std::to_string(failed) + (failed == 1 ? " point" : " points") + " failed and " +
                 (failed == 1 ? "is" : "are") + " not shown (see curve.csv)",
             "font-size=\"11.5\" fill=\"#a33\"");
  }
  svg.raw("</svg>\n");
  return svg.str();
}

}  // namespace korvel::sweep
