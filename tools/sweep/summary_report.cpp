// Reading back a finished KORVEL.OUT: the test switches and drift
// parameters from its head, the total row of its power table and the two
// F'st lines below it.
#include <sstream>

#include "sweep.h"

namespace korvel::sweep {

namespace {

std::vector<std::string> split_lines(std::string_view text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();
    std::size_t content_end = end;
    if (content_end > start && text[content_end - 1] == '\r') --content_end;
    lines.emplace_back(text.substr(start, content_end - start));
    start = end + 1;
  }
  return lines;
}

std::vector<std::string> words(std::string_view line) {
  std::vector<std::string> result;
  std::istringstream in{std::string(line)};
  std::string word;
  while (in >> word) result.push_back(word);
  return result;
}

bool starts_with(std::string_view text, std::string_view prefix) {
  return text.substr(0, prefix.size()) == prefix;
}

bool whole_number(const std::string& text, long long& value) {
  if (text.empty() || text.size() > 18) return false;
  value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    value = value * 10 + (c - '0');
  }
  return true;
}

// The value after "label = " on a line, as written.
std::string value_after(std::string_view line, std::string_view label) {
  const auto fields = words(line.substr(label.size()));
  return fields.empty() ? std::string() : fields.front();
}

}  // namespace

SummaryReport PARSE_SUMMARY_REPORT(std::string_view name, std::string_view text) {
  const auto fail = [&](const std::string& what) -> SweepError {
    return SweepError(std::string(name) + ": " + what);
  };
  SummaryReport report;
  bool tests_line = false;
  bool header_seen = false;
  bool total_seen = false;
  for (const std::string& line : split_lines(text)) {
    long long number = 0;
    if (starts_with(line, "Statistical test:")) {
      tests_line = true;
      for (const std::string& word : words(line.substr(17))) {
        if (word == "Chi2") report.chi2_on = true;
        if (word == "Fisher") report.fisher_on = true;
      }
    } else if (starts_with(line, "Generations of drift = ")) {
      if (whole_number(value_after(line, "Generations of drift = "), number))
        report.generations = static_cast<int>(number);
    } else if (starts_with(line, "Effective size when drifting apart = ")) {
      if (whole_number(value_after(line, "Effective size when drifting apart = "), number))
        report.drift_size = static_cast<int>(number);
    } else if (!header_seen && words(line).size() == 7 && words(line)[0] == "Loci" &&
               words(line)[1] == "Alleles") {
      header_seen = true;
    } else if (header_seen && !total_seen && !words(line).empty() && words(line)[0] == "Tot") {
      // "Tot *** runs [#chi2 chi2] [#fisher fisher]": the columns of a test
      // that was off are blank.
      const auto fields = words(line);
      const std::size_t expected = 3 + (report.chi2_on ? 2 : 0) + (report.fisher_on ? 2 : 0);
      if (fields.size() != expected || !whole_number(fields[2], report.runs)) {
        throw fail("the total row \"" + line + "\" does not match the tests that were on");
      }
      std::size_t next = 3;
      if (report.chi2_on && !whole_number(fields[next], report.chi2_significant))
        throw fail("unreadable chi-square count in \"" + line + "\"");
      if (report.chi2_on) next += 2;
      if (report.fisher_on && !whole_number(fields[next], report.fisher_significant))
        throw fail("unreadable exact-test count in \"" + line + "\"");
      total_seen = true;
    } else if (starts_with(line, "Average F'st over all the ")) {
      const std::size_t equals = line.find(" = ");
      if (equals != std::string::npos) report.mean_fst_text = value_after(line, line.substr(0, equals + 3));
    } else if (starts_with(line, "Expected Fst = ")) {
      report.expected_fst_text = value_after(line, "Expected Fst = ");
    }
  }
  if (!tests_line || !header_seen) throw fail("not a KORVEL summary report");
  if (!total_seen || report.mean_fst_text.empty()) {
    throw fail("the report has no final results (the program did not finish)");
  }
  if (report.runs < 1 || report.chi2_significant > report.runs || report.fisher_significant > report.runs) {
    throw fail("the counts of the total row are inconsistent");
  }
  return report;
}

}  // namespace korvel::sweep
