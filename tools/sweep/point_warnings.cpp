// What the points warned about, gathered so that the sweep says each kind
// of warning once, with the points concerned, instead of leaving it inside
// their console logs.
#include <cctype>
#include <cstdio>

#include "sweep.h"

namespace korvel::sweep {

namespace {

// The line with every run of digits (and the decimals and signs around
// them) replaced by one '#': the same warning about other counts is the same
// kind.
std::string kind_of(std::string_view line) {
  std::string kind;
  bool in_number = false;
  for (char c : line) {
    const bool digit = std::isdigit(static_cast<unsigned char>(c)) != 0 ||
                       (in_number && (c == '.' || c == 'e'));
    if (digit && !in_number) kind += '#';
    if (!digit) kind += c;
    in_number = digit;
  }
  return kind;
}

}  // namespace

std::vector<PointWarning> GATHER_WARNINGS(const std::vector<PointConsole>& consoles) {
  std::vector<PointWarning> warnings;
  std::vector<std::string> kinds;
  for (const PointConsole& console : consoles) {
    std::size_t start = 0;
    while (start < console.text.size()) {
      std::size_t end = console.text.find('\n', start);
      if (end == std::string::npos) end = console.text.size();
      std::string line = console.text.substr(start, end - start);
      start = end + 1;
      if (!line.empty() && line.back() == '\r') line.pop_back();
      const std::size_t at = line.find("warning:");
      if (at == std::string::npos) continue;
      const std::string kind = kind_of(line.substr(at));
      std::size_t index = 0;
      while (index < kinds.size() && kinds[index] != kind) ++index;
      if (index == kinds.size()) {
        kinds.push_back(kind);
        PointWarning warning;
        warning.text = line.substr(at);
        warning.resolution = line.find("exact-test P of 0") != std::string::npos;
        warnings.push_back(warning);
      }
      std::vector<std::string>& points = warnings[index].points;
      if (points.empty() || points.back() != console.label) points.push_back(console.label);
    }
  }
  return warnings;
}

bool REPORT_WARNINGS(const std::vector<PointConsole>& consoles, const std::string& noun) {
  // A long list of folders would bury the warning: the first few are named,
  // the rest counted.
  constexpr std::size_t NAMED = 8;
  bool resolution = false;
  for (const PointWarning& warning : GATHER_WARNINGS(consoles)) {
    resolution = resolution || warning.resolution;
    std::string points;
    for (std::size_t i = 0; i < warning.points.size() && i < NAMED; ++i)
      points += (i ? ", " : "") + warning.points[i];
    if (warning.points.size() > NAMED)
      points += ", ... (" + std::to_string(warning.points.size() - NAMED) + " more)";
    std::fprintf(stderr, "korvel-sweep: %zu %s%s warned: %s\n  (%s)\n", warning.points.size(), noun.c_str(),
                 warning.points.size() == 1 ? "" : "s", warning.text.c_str(), points.c_str());
  }
  return resolution;
}

}  // namespace korvel::sweep
