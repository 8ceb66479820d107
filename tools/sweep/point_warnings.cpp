// What the points warned about, gathered so that the sweep says each kind
// of warning once, with the points concerned, instead of leaving it inside
// their console logs.
#include <cctype>

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

}  // namespace korvel::sweep
