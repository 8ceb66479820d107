// The plain fallback of the figures, for builds without the cairo drawing:
// an SVG that lists the curves, points, fitted values at the answer and the
// caption as text, and the F'st-axis figure as curve.svg always drew it.
// It writes SVG only; the cairo drawing replaces this file.
#include <algorithm>
#include <fstream>

#include "figure.h"

namespace korvel::sweep {

namespace {

std::string escaped(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c == '&') out += "&amp;";
    else if (c == '<') out += "&lt;";
    else if (c == '>') out += "&gt;";
    else out += c;
  }
  return out;
}

void write_text(const std::string& path, const std::string& content) {
  std::ofstream file(path, std::ios::binary | std::ios::trunc);
  file << content;
  file.close();
  if (!file) throw SweepError("cannot write " + path);
}

void refuse_other_than_svg(const std::vector<std::string>& formats) {
  for (const std::string& format : formats) {
    if (format != "svg") throw SweepError("this build draws the figure as SVG only, not " + format);
  }
}

}  // namespace

std::vector<std::string> PARSE_FIGURE_FORMATS(const std::string& list) {
  std::vector<std::string> formats;
  std::size_t start = 0;
  while (start <= list.size()) {
    std::size_t comma = list.find(',', start);
    if (comma == std::string::npos) comma = list.size();
    const std::string name = list.substr(start, comma - start);
    if (name != "svg" && name != "png" && name != "pdf")
      throw UsageError("--figure takes svg, png and pdf, not \"" + name + "\"");
    if (std::find(formats.begin(), formats.end(), name) == formats.end()) formats.push_back(name);
    start = comma + 1;
  }
  return formats;
}

void DRAW_SAMPLE_SIZE_FIGURE(const SampleSizeFigure& figure, const std::string& stem,
                             const std::vector<std::string>& formats) {
  refuse_other_than_svg(formats);
  if (formats.empty()) return;
  std::string lines = escaped(figure.title) + "\n" + "power against " + escaped(figure.axis_label) + "\n";
  for (const FigureCurve& curve : figure.curves) {
    lines += escaped(curve.label) + (curve.miscalibrated ? " (miscalibrated)" : "") + ":";
    for (const FigurePoint& point : curve.points) {
      lines += " " + std::to_string(point.x) + ":" + FIXED_TEXT(point.power, 3);
    }
    lines += "\n";
  }
  for (const std::string& line : figure.caption) lines += escaped(line) + "\n";
  std::string svg = "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"900\" height=\"" +
                    std::to_string(20 * (4 + figure.curves.size() + figure.caption.size())) + "\">\n";
  int y = 20;
  std::size_t start = 0;
  while (start < lines.size()) {
    const std::size_t end = lines.find('\n', start);
    svg += "<text x=\"10\" y=\"" + std::to_string(y) + "\" font-size=\"12\">" +
           lines.substr(start, end - start) + "</text>\n";
    y += 20;
    start = end + 1;
  }
  svg += "</svg>\n";
  write_text(stem + ".svg", svg);
}

void DRAW_FST_FIGURE(const std::vector<PointResult>& points, const Analysis& analysis, const FigureText& text,
                     const std::string& stem, const std::vector<std::string>& formats) {
  refuse_other_than_svg(formats);
  if (!formats.empty()) write_text(stem + ".svg", CURVE_SVG(points, analysis, text));
}

}  // namespace korvel::sweep
