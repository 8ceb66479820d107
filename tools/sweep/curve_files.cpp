// Collecting the finished points and writing curve.csv.
#include <cstdio>
#include <fstream>
#include <sstream>

#include "sweep.h"

namespace korvel::sweep {

namespace {

bool read_file(const std::string& path, std::string& content) {
  std::ifstream file(path, std::ios::binary);
  if (!file) return false;
  std::ostringstream buffer;
  buffer << file.rdbuf();
  content = buffer.str();
  return !file.bad();
}

std::string fixed(EXTENDED value, int decimals) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%.*Lf", decimals, value);
  return buffer;
}

TestPower test_power(long long significant, long long runs) {
  TestPower result;
  result.significant = significant;
  result.power = static_cast<EXTENDED>(significant) / static_cast<EXTENDED>(runs);
  result.interval = WILSON_INTERVAL(significant, runs);
  return result;
}

void fail_point(PointResult& point, const std::string& why, const std::string& console_path) {
  point.ok = false;
  point.failure = why;
  std::string console;
  if (read_file(console_path, console)) {
    const std::string message = PROGRAM_MESSAGE(console);
    if (!message.empty()) point.failure += "; the program said: " + message;
  }
}

}  // namespace

std::string PROGRAM_MESSAGE(std::string_view console_text) {
  std::vector<std::string> said;
  std::size_t start = 0;
  while (start < console_text.size()) {
    std::size_t end = console_text.find('\n', start);
    if (end == std::string_view::npos) end = console_text.size();
    std::string line(console_text.substr(start, end - start));
    start = end + 1;
    while (!line.empty() && static_cast<unsigned char>(line.back()) <= 32) line.pop_back();
    std::size_t first = 0;
    while (first < line.size() && static_cast<unsigned char>(line[first]) <= 32) ++first;
    line.erase(0, first);
    if (line.empty() || line.rfind("Run =", 0) == 0) continue;
    said.push_back(line);
  }
  // The program's stops end with at most two lines of explanation, and the
  // console log holds standard error too, where a note on the cause follows.
  const std::size_t keep = said.size() < 3 ? said.size() : 3;
  std::string message;
  for (std::size_t i = said.size() - keep; i < said.size(); ++i) {
    if (!message.empty()) message += " / ";
    message += said[i];
  }
  return message;
}

PointResult COLLECT_POINT(const std::string& dir, const std::string& folder) {
  PointResult point;
  point.folder = folder;
  const std::string base = dir + "/" + folder + "/";
  std::string input;
  if (!read_file(base + "KORVEL.IN", input)) {
    point.failure = "no KORVEL.IN in " + base;
    return point;
  }
  try {
    const SweepTemplate tmpl = PARSE_TEMPLATE(base + "KORVEL.IN", input);
    point.drift_size = static_cast<int>(tmpl.drift_size.value);
    point.generations = static_cast<int>(tmpl.stop_t.value);
  } catch (const SweepError& error) {
    point.failure = error.what();
    return point;
  }
  point.expected_fst = EXPECTED_FST(point.drift_size, point.generations);

  std::string report_text;
  if (!read_file(base + "KORVEL.OUT", report_text)) {
    fail_point(point, "no KORVEL.OUT in " + base, base + "console.log");
    return point;
  }
  SummaryReport report;
  try {
    report = PARSE_SUMMARY_REPORT(base + "KORVEL.OUT", report_text);
  } catch (const SweepError& error) {
    fail_point(point, error.what(), base + "console.log");
    return point;
  }
  if (report.generations && *report.generations != point.generations) {
    fail_point(point, base + "KORVEL.OUT was written for another KORVEL.IN (generations " +
                          std::to_string(*report.generations) + ", not " +
                          std::to_string(point.generations) + ")",
               base + "console.log");
    return point;
  }
  point.ok = true;
  point.runs = report.runs;
  point.mean_fst_text = report.mean_fst_text;
  point.chi2_on = report.chi2_on;
  point.fisher_on = report.fisher_on;
  if (report.chi2_on) point.chi2 = test_power(report.chi2_significant, report.runs);
  if (report.fisher_on) point.fisher = test_power(report.fisher_significant, report.runs);
  return point;
}

std::string CURVE_CSV(const std::vector<PointResult>& points) {
  bool chi2 = false, fisher = false;
  for (const PointResult& point : points) {
    chi2 = chi2 || (point.ok && point.chi2_on);
    fisher = fisher || (point.ok && point.fisher_on);
  }
  std::string csv = "point,status,generations,drift_size,expected_fst,mean_fst,runs";
  if (chi2) csv += ",chi2_significant,chi2_power,chi2_ci_low,chi2_ci_high";
  if (fisher) csv += ",fisher_significant,fisher_power,fisher_ci_low,fisher_ci_high";
  csv += "\n";
  const auto test_columns = [](const PointResult& point, bool on, const TestPower& test) {
    if (!point.ok || !on) return std::string(",,,,");
    return "," + std::to_string(test.significant) + "," + fixed(test.power, 4) + "," +
           fixed(test.interval.low, 4) + "," + fixed(test.interval.high, 4);
  };
  for (const PointResult& point : points) {
    csv += point.folder + "," + (point.ok ? "ok" : "failed") + "," +
           std::to_string(point.generations) + "," + std::to_string(point.drift_size) + "," +
           fixed(point.expected_fst, 6) + ",";
    if (point.ok) csv += point.mean_fst_text + "," + std::to_string(point.runs);
    else csv += ",";
    if (chi2) csv += test_columns(point, point.chi2_on, point.chi2);
    if (fisher) csv += test_columns(point, point.fisher_on, point.fisher);
    csv += "\n";
  }
  return csv;
}

}  // namespace korvel::sweep
