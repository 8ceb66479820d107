// Reading back a finished KORVEL.OUT: the test switches and drift
// parameters from its head, the total row of its power table and the two
// F'st lines below it.
#include <cmath>
#include <cstdlib>
#include <sstream>

#include "input/report_layout.h"
#include "sweep.h"

namespace korvel::sweep {

namespace {

namespace layout = korvel::report_layout;

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

// The width of a proportion as written: "0.2500".
constexpr std::size_t PROPORTION_CHARS = 2 + layout::PROPORTION_DECIMALS;

// The total row, "  Tot     ***" then the runs and, for each test that was
// on, its count and proportion. Numbers wider than their fields are written
// in full and run into their neighbours ("***1234567" with a million runs),
// so the row is not split at blanks: the runs are known from the average
// F'st line, and every proportion is one digit, a point and its decimals,
// always preceded by at least two blanks. Each count is checked against its
// proportion.
bool read_total_row(std::string_view line, long long runs, SummaryReport& report) {
  std::size_t at = line.find(layout::TOTAL_ROW_LOCI);
  if (at == std::string_view::npos) return false;
  at += layout::TOTAL_ROW_LOCI.size();
  const auto skip_blanks = [&]() {
    while (at < line.size() && line[at] == ' ') ++at;
  };
  const auto expect = [&](std::string_view text) {
    if (line.substr(at, text.size()) != text) return false;
    at += text.size();
    return true;
  };
  skip_blanks();
  if (!expect(layout::TOTAL_ROW_ALLELES) || (skip_blanks(), !expect(std::to_string(runs)))) return false;
  report.runs = runs;
  const auto read_test = [&](long long& significant) {
    skip_blanks();
    const std::size_t start = at;
    while (at < line.size() && line[at] >= '0' && line[at] <= '9') ++at;
    if (at == start || at - start > 18 || at >= line.size() || line[at] != ' ') return false;
    long long count = 0;
    whole_number(std::string(line.substr(start, at - start)), count);
    skip_blanks();
    const std::string_view shown = line.substr(at, PROPORTION_CHARS);
    if (shown.size() != PROPORTION_CHARS || shown[1] != '.') return false;
    const double proportion = std::strtod(std::string(shown).c_str(), nullptr);
    at += PROPORTION_CHARS;
    const double exact = static_cast<double>(count) / static_cast<double>(runs);
    if (count > runs || std::fabs(exact - proportion) > 0.000051) return false;
    significant = count;
    return true;
  };
  if (report.chi2_on && !read_test(report.chi2_significant)) return false;
  if (report.fisher_on && !read_test(report.fisher_significant)) return false;
  skip_blanks();
  return at == line.size();
}

}  // namespace

SummaryReport PARSE_SUMMARY_REPORT(std::string_view name, std::string_view text) {
  const auto fail = [&](const std::string& what) -> SweepError {
    return SweepError(std::string(name) + ": " + what);
  };
  SummaryReport report;
  bool tests_line = false;
  bool header_seen = false;
  bool last_line_seen = false;
  std::string total_line;
  long long average_runs = 0;
  const std::vector<std::string> lines = split_lines(text);
  for (const std::string& line : lines) {
    long long number = 0;
    if (starts_with(line, layout::TESTS_LABEL)) {
      tests_line = true;
      const std::string_view names = std::string_view(line).substr(layout::TESTS_LABEL.size());
      // " Chi2", " Fisher" or both, in this order.
      report.chi2_on = starts_with(names, layout::CHI2_NAME);
      report.fisher_on = names.size() >= layout::FISHER_NAME.size() &&
                         names.substr(names.size() - layout::FISHER_NAME.size()) == layout::FISHER_NAME;
    } else if (starts_with(line, layout::GENERATIONS_LABEL)) {
      if (whole_number(value_after(line, layout::GENERATIONS_LABEL), number))
        report.generations = static_cast<int>(number);
    } else if (starts_with(line, layout::EFFECTIVE_SIZE_LABEL)) {
      if (whole_number(value_after(line, layout::EFFECTIVE_SIZE_LABEL), number))
        report.drift_size = static_cast<int>(number);
    } else if (!header_seen && words(line).size() == 7 && words(line)[0] == layout::LOCI_TITLE &&
               words(line)[1] == layout::ALLELES_TITLE) {
      header_seen = true;
    } else if (header_seen && total_line.empty() && !words(line).empty() &&
               words(line)[0] == layout::TOTAL_ROW_LOCI) {
      total_line = line;
    } else if (starts_with(line, layout::AVERAGE_FST_LABEL)) {
      const std::size_t equals = line.find(layout::AVERAGE_FST_RUNS);
      if (equals != std::string::npos) {
        const std::size_t first = layout::AVERAGE_FST_LABEL.size();
        whole_number(line.substr(first, equals - first), average_runs);
        report.mean_fst_text = value_after(line, line.substr(0, equals + layout::AVERAGE_FST_RUNS.size()));
      }
    } else if (starts_with(line, layout::EXPECTED_FST_LABEL)) {
      report.expected_fst_text = value_after(line, layout::EXPECTED_FST_LABEL);
    } else if (starts_with(line, layout::FST_FROM_MEANS_LABEL)) {
      last_line_seen = !value_after(line, layout::FST_FROM_MEANS_LABEL).empty();
    }
  }
  // The report's last line must be complete: a program stopped while
  // writing it has not finished.
  const bool ends_complete = !text.empty() && text.back() == '\n';
  if (!tests_line || !header_seen) throw fail("not a KORVEL summary report");
  if (total_line.empty() || report.mean_fst_text.empty() || average_runs < 1 || !last_line_seen ||
      !ends_complete) {
    throw fail("the report has no final results (the program did not finish)");
  }
  if (!read_total_row(total_line, average_runs, report)) {
    throw fail("the total row \"" + total_line + "\" does not match the tests that were on");
  }
  return report;
}

}  // namespace korvel::sweep
