// The population map: which population each VCF sample belongs to, in the
// two-column form (sample, population) other population-genetics tools
// read.
#include <string>
#include <string_view>
#include <vector>

#include "init.h"
#include "text_lines.h"

namespace korvel::init {

PopulationMap READ_POPMAP_TEXT(std::string_view name, std::string_view text) {
  PopulationMap map;
  std::map<std::string, std::size_t> index_of_population;
  const std::vector<std::string_view> lines = SPLIT_LINES(text);
  for (std::size_t i = 0; i < lines.size(); ++i) {
    const int line = static_cast<int>(i + 1);
    const auto fail = [&](const std::string& what) {
      throw InitError(std::string(name) + " line " + std::to_string(line) + ": " + what);
    };
    const std::string_view content = TRIM(lines[i]);
    if (content.empty() || content.front() == '#') continue;
    const std::vector<std::string_view> fields = SPLIT_BLANKS(content);
    if (fields.size() != 2) {
      fail("expected two columns, sample and population, found " + std::to_string(fields.size()) + ": \"" +
           std::string(content) + "\"");
    }
    const std::string sample(fields[0]);
    const std::string population(fields[1]);
    if (const auto earlier = map.line_of.find(sample); earlier != map.line_of.end()) {
      fail("sample \"" + sample + "\" is already mapped at line " + std::to_string(earlier->second));
    }
    auto [it, added] = index_of_population.try_emplace(population, map.populations.size());
    if (added) map.populations.push_back(population);
    map.population_of[sample] = it->second;
    map.line_of[sample] = line;
  }
  if (map.populations.empty()) throw InitError(std::string(name) + ": no samples in the population map");
  return map;
}

PopulationMap READ_POPMAP(const std::string& path) { return READ_POPMAP_TEXT(path, READ_TEXT_FILE(path)); }

}  // namespace korvel::init
