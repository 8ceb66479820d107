// The drawing kit of the figures, and --figure's list of formats.
#include "figure_canvas.h"

#include <cairo-pdf.h>
#include <cairo-svg.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>
#include <memory>

#include "figure.h"

namespace korvel::sweep {

std::vector<std::string> PARSE_FIGURE_FORMATS(const std::string& list) {
  std::vector<std::string> formats;
  for (const std::string& name : tools::SPLIT_LIST(list, "--figure")) {
    if (name != "svg" && name != "png" && name != "pdf") {
      throw UsageError("--figure takes svg, png and/or pdf separated by commas, not \"" + name + "\" in \"" +
                       list + "\"");
    }
    if (std::find(formats.begin(), formats.end(), name) == formats.end()) formats.push_back(name);
  }
  return formats;
}

namespace canvas {

namespace {

constexpr const char* FONT_FAMILY = "sans-serif";
// PNG pixels per point: a figure of 820 points becomes 1640 pixels wide,
// sharp on a screen and in print.
constexpr double PNG_SCALE = 2.0;
// PDF readers show a creation date; a fixed one keeps the file the same
// whenever it is drawn (after --resume, with any --jobs).
constexpr const char* PDF_DATE = "2000-01-01T00:00:00Z";

struct FontOptionsDeleter {
  void operator()(cairo_font_options_t* options) const { cairo_font_options_destroy(options); }
};

// No hinting: glyph positions then depend on the font alone, not on the
// surface, and every format lays the text out the same way.
void use_fixed_font_options(cairo_t* cr) {
  std::unique_ptr<cairo_font_options_t, FontOptionsDeleter> options(cairo_font_options_create());
  cairo_font_options_set_hint_style(options.get(), CAIRO_HINT_STYLE_NONE);
  cairo_font_options_set_hint_metrics(options.get(), CAIRO_HINT_METRICS_OFF);
  cairo_font_options_set_antialias(options.get(), CAIRO_ANTIALIAS_GRAY);
  cairo_set_font_options(cr, options.get());
}

cairo_status_t append_bytes(void* closure, const unsigned char* data, unsigned int length) {
  static_cast<std::string*>(closure)->append(reinterpret_cast<const char*>(data), length);
  return CAIRO_STATUS_SUCCESS;
}

// cairo names the page group of an SVG after a counter of every surface the
// process has made; numbering them by first appearance makes the document
// depend on the figure alone.
std::string renumber_surfaces(const std::string& svg) {
  static const std::string KEY = "surface";
  std::map<std::string, std::string> renamed;
  std::string out;
  std::size_t at = 0;
  while (true) {
    const std::size_t found = svg.find(KEY, at);
    if (found == std::string::npos) break;
    std::size_t end = found + KEY.size();
    while (end < svg.size() && svg[end] >= '0' && svg[end] <= '9') ++end;
    out.append(svg, at, found + KEY.size() - at);
    const std::string number = svg.substr(found + KEY.size(), end - found - KEY.size());
    if (!number.empty()) {
      const auto [entry, added] = renamed.try_emplace(number, std::to_string(renamed.size() + 1));
      out += entry->second;
    }
    at = end;
  }
  out.append(svg, at, std::string::npos);
  return out;
}

void check(cairo_status_t status, const std::string& path) {
  if (status != CAIRO_STATUS_SUCCESS) {
    throw SweepError("cannot draw " + path + ": " + cairo_status_to_string(status));
  }
}

// Paints onto `surface` (already set up for its format) and finishes it.
void paint_onto(cairo_surface_t* surface, double scale, const Painter& paint, const std::string& path) {
  cairo_t* cr = cairo_create(surface);
  cairo_scale(cr, scale, scale);
  use_fixed_font_options(cr);
  cairo_set_source_rgb(cr, 1, 1, 1);
  cairo_paint(cr);
  paint(cr);
  const cairo_status_t status = cairo_status(cr);
  cairo_destroy(cr);
  cairo_surface_flush(surface);
  check(status, path);
}

std::string render(const std::string& format, double width, double height, const Painter& paint,
                   const std::string& path) {
  std::string bytes;
  if (format == "png") {
    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_RGB24,
                                                          static_cast<int>(std::ceil(width * PNG_SCALE)),
                                                          static_cast<int>(std::ceil(height * PNG_SCALE)));
    paint_onto(surface, PNG_SCALE, paint, path);
    const cairo_status_t status = cairo_surface_write_to_png_stream(surface, append_bytes, &bytes);
    cairo_surface_destroy(surface);
    check(status, path);
    return bytes;
  }
  cairo_surface_t* surface = nullptr;
  if (format == "svg") {
    surface = cairo_svg_surface_create_for_stream(append_bytes, &bytes, width, height);
  } else {
    surface = cairo_pdf_surface_create_for_stream(append_bytes, &bytes, width, height);
    cairo_pdf_surface_set_metadata(surface, CAIRO_PDF_METADATA_CREATE_DATE, PDF_DATE);
    cairo_pdf_surface_set_metadata(surface, CAIRO_PDF_METADATA_MOD_DATE, PDF_DATE);
    cairo_pdf_surface_set_metadata(surface, CAIRO_PDF_METADATA_CREATOR, "korvel-sweep");
  }
  paint_onto(surface, 1.0, paint, path);
  cairo_surface_finish(surface);
  const cairo_status_t status = cairo_surface_status(surface);
  cairo_surface_destroy(surface);
  check(status, path);
  return format == "svg" ? renumber_surfaces(bytes) : bytes;
}

// A context for measuring text with the same font options as the pages.
cairo_t* measuring_context() {
  static cairo_t* cr = [] {
    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_RGB24, 1, 1);
    cairo_t* context = cairo_create(surface);
    cairo_surface_destroy(surface);
    use_fixed_font_options(context);
    return context;
  }();
  return cr;
}

void set_font(cairo_t* cr, const TextStyle& style) {
  cairo_select_font_face(cr, FONT_FAMILY, CAIRO_FONT_SLANT_NORMAL,
                         style.bold ? CAIRO_FONT_WEIGHT_BOLD : CAIRO_FONT_WEIGHT_NORMAL);
  cairo_set_font_size(cr, style.size);
}

void set_colour(cairo_t* cr, const Colour& colour) {
  cairo_set_source_rgb(cr, colour.red, colour.green, colour.blue);
}

// Draws text whose reference point is at the current origin.
void show(cairo_t* cr, const std::string& text, const TextStyle& style) {
  set_font(cr, style);
  cairo_text_extents_t extents;
  cairo_text_extents(cr, text.c_str(), &extents);
  const double shift = style.align == Align::LEFT     ? 0
                       : style.align == Align::CENTRE ? extents.x_advance / 2
                                                      : extents.x_advance;
  cairo_move_to(cr, -shift, 0);
  if (style.halo) {
    cairo_text_path(cr, text.c_str());
    cairo_set_source_rgb(cr, 1, 1, 1);
    cairo_set_line_width(cr, 3);
    cairo_set_line_join(cr, CAIRO_LINE_JOIN_ROUND);
    cairo_stroke_preserve(cr);
    set_colour(cr, style.colour);
    cairo_fill(cr);
  } else {
    set_colour(cr, style.colour);
    cairo_show_text(cr, text.c_str());
  }
  cairo_new_path(cr);
}

}  // namespace

Colour HEX_COLOUR(unsigned rgb) {
  return {((rgb >> 16) & 0xff) / 255.0, ((rgb >> 8) & 0xff) / 255.0, (rgb & 0xff) / 255.0};
}

Colour PALETTE_COLOUR(std::size_t index) {
  static constexpr unsigned PALETTE[] = {0x0072B2, 0xD55E00, 0x009E73, 0xCC79A7,
                                         0xE69F00, 0x56B4E9, 0x000000};
  return HEX_COLOUR(PALETTE[index % (sizeof PALETTE / sizeof PALETTE[0])]);
}

void WRITE_PAGE(double width, double height, const Painter& paint, const std::string& stem,
                const std::vector<std::string>& formats) {
  for (const std::string& format : formats) {
    const std::string path = stem + "." + format;
    WRITE_WHOLE_FILE(path, render(format, width, height, paint, path));
  }
}

void TEXT(cairo_t* cr, double x, double y, const std::string& text, const TextStyle& style) {
  cairo_save(cr);
  cairo_translate(cr, x, y);
  show(cr, text, style);
  cairo_restore(cr);
}

void UPRIGHT_TEXT(cairo_t* cr, double x, double y, const std::string& text, const TextStyle& style) {
  cairo_save(cr);
  cairo_translate(cr, x, y);
  cairo_rotate(cr, -M_PI / 2);
  TextStyle centred = style;
  centred.align = Align::CENTRE;
  show(cr, text, centred);
  cairo_restore(cr);
}

double TEXT_WIDTH(const std::string& text, const TextStyle& style) {
  cairo_t* cr = measuring_context();
  set_font(cr, style);
  cairo_text_extents_t extents;
  cairo_text_extents(cr, text.c_str(), &extents);
  return extents.x_advance;
}

std::vector<std::string> WRAP_TEXT(const std::string& text, double width, const TextStyle& style) {
  std::vector<std::string> lines;
  std::string line;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find(' ', start);
    if (end == std::string::npos) end = text.size();
    const std::string word = text.substr(start, end - start);
    const std::string longer = line.empty() ? word : line + " " + word;
    // A unit stays with its number ("95 %").
    const bool unit = word == "%";
    if (!line.empty() && !unit && TEXT_WIDTH(longer, style) > width) {
      lines.push_back(line);
      line = word;
    } else {
      line = longer;
    }
    start = end + 1;
  }
  if (!line.empty()) lines.push_back(line);
  return lines;
}

void SET_TEST_DASH(cairo_t* cr, Test test) {
  static constexpr double DASHES[] = {7, 4};
  if (test == Test::CHI2) {
    cairo_set_dash(cr, nullptr, 0, 0);
  } else {
    cairo_set_dash(cr, DASHES, 2, 0);
  }
}

void TEST_MARKER(cairo_t* cr, double x, double y, Test test, double scale, const Colour& colour) {
  cairo_save(cr);
  cairo_set_dash(cr, nullptr, 0, 0);
  cairo_new_path(cr);
  if (test == Test::CHI2) {
    cairo_arc(cr, x, y, 4.0 * scale, 0, 2 * M_PI);
    set_colour(cr, colour);
    cairo_fill_preserve(cr);
    cairo_set_source_rgb(cr, 1, 1, 1);
    cairo_set_line_width(cr, 1.0);
    cairo_stroke(cr);
  } else {
    const double half = 5.5 * scale;
    cairo_rectangle(cr, x - half, y - half, 2 * half, 2 * half);
    set_colour(cr, colour);
    cairo_set_line_width(cr, 1.8);
    cairo_stroke(cr);
  }
  cairo_restore(cr);
}

void ERROR_BAR(cairo_t* cr, double x, double y_low, double y_high, double tick, const Colour& colour) {
  cairo_save(cr);
  cairo_set_dash(cr, nullptr, 0, 0);
  set_colour(cr, colour);
  cairo_set_line_width(cr, 1.3);
  cairo_move_to(cr, x, y_low);
  cairo_line_to(cr, x, y_high);
  cairo_move_to(cr, x - tick, y_low);
  cairo_line_to(cr, x + tick, y_low);
  cairo_move_to(cr, x - tick, y_high);
  cairo_line_to(cr, x + tick, y_high);
  cairo_stroke(cr);
  cairo_restore(cr);
}

void LINE(cairo_t* cr, double x1, double y1, double x2, double y2, double width, const Colour& colour) {
  set_colour(cr, colour);
  cairo_set_line_width(cr, width);
  cairo_move_to(cr, x1, y1);
  cairo_line_to(cr, x2, y2);
  cairo_stroke(cr);
}

double NICE_STEP(double span) {
  const double rough = span / 5.0;
  const double magnitude = std::pow(10.0, std::floor(std::log10(rough)));
  for (double factor : {1.0, 2.0, 2.5, 5.0, 10.0}) {
    if (factor * magnitude >= rough) return factor * magnitude;
  }
  return 10.0 * magnitude;
}

XAxis::XAxis(double low, double high, double left, double right, bool logarithmic)
    : low_(low), high_(high), left_(left), right_(right), log_(logarithmic) {}

XAxis XAxis::FOR_VALUES(double smallest, double largest, double left, double right) {
  if (smallest > 0 && largest / smallest > 5.0)
    return XAxis(smallest / 1.15, largest * 1.15, left, right, true);
  double span = largest - smallest;
  if (span <= 0) span = std::max(1.0, std::fabs(largest) * 0.4);
  const double pad = span * 0.08;
  return XAxis(std::max(0.0, smallest - pad), largest + pad, left, right, false);
}

double XAxis::at(double value) const {
  // A logarithmic axis has no place for 0 or less: such a value sits at the
  // axis' left end rather than breaking the drawing.
  if (log_ && !(value > 0)) value = low_;
  const double share = log_ ? (std::log(value) - std::log(low_)) / (std::log(high_) - std::log(low_))
                            : (value - low_) / (high_ - low_);
  return left_ + (right_ - left_) * share;
}

std::vector<double> XAxis::ticks() const {
  std::vector<double> ticks;
  if (log_) {
    for (const auto& steps : {std::vector<double>{1, 2, 5}, std::vector<double>{1, 2, 3, 4, 5, 6, 7, 8, 9}}) {
      ticks.clear();
      for (int decade = static_cast<int>(std::floor(std::log10(low_)));
           decade <= static_cast<int>(std::ceil(std::log10(high_))); ++decade) {
        for (double step : steps) {
          const double value = step * std::pow(10.0, decade);
          if (value >= low_ && value <= high_) ticks.push_back(value);
        }
      }
      if (ticks.size() >= 3) break;
    }
    return ticks;
  }
  const double step = NICE_STEP(high_ - low_);
  for (double value = std::ceil(low_ / step - 1e-9) * step; value <= high_ + 1e-12; value += step) {
    ticks.push_back(std::fabs(value) < step * 1e-9 ? 0.0 : value);
  }
  return ticks;
}

std::string XAxis::tick_label(double value) const {
  int decimals = 0;
  const double step = log_ ? value : NICE_STEP(high_ - low_);
  while (decimals < 8 &&
         std::fabs(step * std::pow(10.0, decimals) - std::round(step * std::pow(10.0, decimals))) > 1e-9) {
    ++decimals;
  }
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%.*f", decimals, value);
  return buffer;
}

void POWER_TICKS(cairo_t* cr, double grid_left, const TextStyle& tick_text, const Colour& axis_colour) {
  for (int i = 0; i <= 10; i += 2) {
    const double y = POWER_Y(i / 10.0L);
    if (i > 0) LINE(cr, grid_left, y, PLOT_RIGHT, y, 1, GRID);
    LINE(cr, PLOT_LEFT - 5, y, PLOT_LEFT, y, 1.2, axis_colour);
    char label[8];
    std::snprintf(label, sizeof label, "%.1f", i / 10.0);
    TEXT(cr, PLOT_LEFT - 9, y + 4, label, tick_text);
  }
}

}  // namespace canvas
}  // namespace korvel::sweep
