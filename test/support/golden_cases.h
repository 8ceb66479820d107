// The golden cases of test/e2e/golden: one folder per case, and the text
// rule their small files are compared by.
#pragma once

#include <filesystem>
#include <string>

namespace korvel::testing {

inline const std::filesystem::path GOLDEN_ROOT = std::filesystem::path(KORVEL_SOURCE_DIR) / "test" / "e2e" /
                                                 "golden";

// The text without the blanks and line ends that end it.
inline std::string TRIMMED(std::string text) {
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' ')) text.pop_back();
  return text;
}

// An allele-count line whose first allele has all the frequency.
inline std::string ALLELES_LINE(int alleles) {
  std::string line = std::to_string(alleles);
  for (int a = 1; a <= alleles; ++a) line += a == 1 ? " 1" : " 0";
  return line;
}

}  // namespace korvel::testing
