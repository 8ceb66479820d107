// The drawing kit both figures share: one page drawn by a painter function
// onto a cairo context and written as SVG, PNG and/or PDF; sans text through
// cairo's toy text API with fixed font options, so that the same figure
// gives the same bytes on the same machine; markers, intervals, colours and
// axes.
#pragma once

#include <cairo.h>

#include <functional>
#include <string>
#include <vector>

#include "sweep.h"

namespace korvel::sweep::canvas {

struct Colour {
  double red = 0, green = 0, blue = 0;
};
Colour HEX_COLOUR(unsigned rgb);

// Okabe-Ito colours, distinct for colour-blind readers; the tests differ in
// line style and marker as well, so a grey print keeps them apart.
Colour PALETTE_COLOUR(std::size_t index);
inline const Colour INK = HEX_COLOUR(0x222222);
inline const Colour MUTED = HEX_COLOUR(0x555555);
inline const Colour GRID = HEX_COLOUR(0xe3e3e3);
inline const Colour WARNING = HEX_COLOUR(0xc00000);

using Painter = std::function<void(cairo_t*)>;

// Paints the page once per format onto that format's surface and writes
// `stem`.svg / .png / .pdf; throws SweepError naming the file it cannot write.
void WRITE_PAGE(double width, double height, const Painter& paint, const std::string& stem,
                const std::vector<std::string>& formats);

// ---- Text -----------------------------------------------------------------

enum class Align { LEFT, CENTRE, RIGHT };

struct TextStyle {
  double size = 12;
  bool bold = false;
  Colour colour = INK;
  Align align = Align::LEFT;
  bool halo = false;  // a white outline, so that lines crossing it leave it readable
};

void TEXT(cairo_t* cr, double x, double y, const std::string& text, const TextStyle& style);
// Text turned a quarter to the left, centred on (x, y): the power axis.
void UPRIGHT_TEXT(cairo_t* cr, double x, double y, const std::string& text, const TextStyle& style);
double TEXT_WIDTH(const std::string& text, const TextStyle& style);
// Splits text at blanks into lines no wider than `width`.
std::vector<std::string> WRAP_TEXT(const std::string& text, double width, const TextStyle& style);

// ---- Marks ------------------------------------------------------------------

// The tests look different without colour: the chi-square test solid with
// filled circles, the exact test dashed with hollow squares drawn larger, so
// that both stay visible when they fall on the same spot.
void SET_TEST_DASH(cairo_t* cr, Test test);
void TEST_MARKER(cairo_t* cr, double x, double y, Test test, double scale, const Colour& colour);
// A vertical bar from y_low to y_high with end ticks of half-width `tick`.
void ERROR_BAR(cairo_t* cr, double x, double y_low, double y_high, double tick, const Colour& colour);
void LINE(cairo_t* cr, double x1, double y1, double x2, double y2, double width, const Colour& colour);

// ---- Axes -------------------------------------------------------------------

// A horizontal axis: linear, or logarithmic when its values span more than a
// factor of five (ticks at 1, 2, 5, 10, 20, 50, ...).
class XAxis {
 public:
  XAxis(double low, double high, double left, double right, bool logarithmic);
  static XAxis FOR_VALUES(double smallest, double largest, double left, double right);
  double at(double value) const;
  bool logarithmic() const { return log_; }
  std::vector<double> ticks() const;
  std::string tick_label(double value) const;

 private:
  double low_, high_, left_, right_;
  bool log_;
};

// ---- Page -------------------------------------------------------------------

// Both figures share one page: the plot on the left, the legend on the
// right, the caption below, so that figures put side by side line up.
constexpr double WIDTH = 860;
constexpr double PLOT_LEFT = 82;
constexpr double PLOT_RIGHT = 600;
constexpr double PLOT_TOP = 64;
constexpr double PLOT_BOTTOM = 400;
constexpr double LEGEND_LEFT = 624;
constexpr double MARGIN = 28;
constexpr double CAPTION_TOP = PLOT_BOTTOM + 74;
constexpr double LINE_HEIGHT = 16;
inline const TextStyle CAPTION_STYLE{12, false, HEX_COLOUR(0x333333), Align::LEFT, false};

// The height of a power (0 to 1) in the plot.
inline double POWER_Y(EXTENDED power) {
  return PLOT_BOTTOM - (PLOT_BOTTOM - PLOT_TOP) * static_cast<double>(power);
}

// The power axis: ticks and labels 0.0 to 1.0 by 0.2 at the plot's left
// edge, grid lines from `grid_left` to the plot's right edge.
void POWER_TICKS(cairo_t* cr, double grid_left, const TextStyle& tick_text, const Colour& axis_colour);

// Tick step of 1, 2, 2.5 or 5 times a power of ten giving at most about six
// intervals across `span`.
double NICE_STEP(double span);

}  // namespace korvel::sweep::canvas
