// Collecting the finished points, grouping them into curves, and writing
// curve.csv.
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <map>
#include <system_error>

#include "input/shared_names.h"
#include "results.h"
#include "study_csv.h"
#include "sweep.h"

namespace korvel::sweep {

namespace {

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
  if (READ_WHOLE_FILE(console_path, console)) {
    const std::string message = PROGRAM_MESSAGE(console);
    if (!message.empty()) point.failure += "; the program said: " + message;
  }
}

}  // namespace

std::string FIXED_TEXT(EXTENDED value, int decimals) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%.*Lf", decimals, value);
  return buffer;
}

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

int PointResult::common_sample_size() const {
  const std::vector<int>& sizes = input.sample_sizes;
  if (sizes.empty() || std::any_of(sizes.begin(), sizes.end(), [&](int n) { return n != sizes.front(); }))
    return 0;
  return sizes.front();
}

PointResult COLLECT_POINT(const std::string& dir, const std::string& folder) {
  PointResult point;
  point.folder = folder;
  const std::string base = dir + "/" + folder + "/";
  const std::string console = base + CONSOLE_FILE_NAME;
  try {
    point.input = READ_POINT_INPUT(base + INPUT_FILE_NAME);
  } catch (const SweepError& error) {
    point.failure = error.what();
    return point;
  }
  point.expected_fst = EXPECTED_FST(point.input.drift_size, point.input.generations);

  const std::string report_path = base + SUMMARY_FILE_NAME;
  std::string report_text;
  if (!READ_WHOLE_FILE(report_path, report_text)) {
    fail_point(point, "no " + std::string(SUMMARY_FILE_NAME) + " in " + base, console);
    return point;
  }
  SummaryReport report;
  try {
    report = PARSE_SUMMARY_REPORT(report_path, report_text);
  } catch (const SweepError& error) {
    fail_point(point, error.what(), console);
    return point;
  }
  const bool same_drift = report.generations == point.input.generations &&
                          (point.input.generations == 0 || report.drift_size == point.input.drift_size);
  if (!same_drift || report.runs != point.input.runs) {
    fail_point(point, report_path + " was written for another " + INPUT_FILE_NAME, console);
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

bool Curve::miscalibrated(Test test) const {
  if (null_point == nullptr || !null_point->on(test)) return false;
  return CALIBRATION_VERDICT(null_point->power(test).significant, null_point->runs) ==
         Calibration::MISCALIBRATED;
}

Analysis ANALYSE(const std::vector<PointResult>& points) {
  Analysis analysis;
  std::map<std::pair<int, int>, Curve> curves;
  for (const PointResult& point : points) {
    if (point.input.loci == 0) continue;  // no readable KORVEL.IN: no place on any curve
    Curve& curve = curves[{point.common_sample_size(), point.input.loci}];
    curve.sample_size = point.common_sample_size();
    curve.loci = point.input.loci;
    curve.points.push_back(&point);
    if (point.ok && point.input.generations == 0) curve.null_point = &point;
  }
  if (!curves.empty()) {
    analysis.sample_size_varies = curves.begin()->first.first != curves.rbegin()->first.first;
    for (const auto& [key, curve] : curves)
      analysis.loci_vary = analysis.loci_vary || key.second != curves.begin()->first.second;
  }
  for (auto& [key, curve] : curves) {
    std::stable_sort(curve.points.begin(), curve.points.end(),
                     [](const PointResult* a, const PointResult* b) {
                       return a->input.generations < b->input.generations;
                     });
    std::string label;
    if (analysis.sample_size_varies) label = "n = " + std::to_string(curve.sample_size);
    if (analysis.loci_vary) label += (label.empty() ? "" : ", ") + std::to_string(curve.loci) + " loci";
    curve.label = label;
    analysis.curves.push_back(curve);
  }
  return analysis;
}

std::string CURVE_CSV(const std::vector<PointResult>& points, const Analysis& analysis) {
  GridCurveLayout layout;
  for (const PointResult& point : points) {
    for (Test test : TESTS) layout.shown[static_cast<int>(test)] |= point.ok && point.on(test);
  }
  std::map<const PointResult*, const Curve*> curve_of;
  for (const Curve& curve : analysis.curves) {
    for (const PointResult* point : curve.points) curve_of[point] = &curve;
  }
  std::vector<CurveRow> rows;
  for (const PointResult& point : points) {
    CurveRow row;
    row.point = point.folder;
    row.status = point.ok ? "ok" : "failed";
    row.placed = point.input.loci != 0;
    row.expected_fst = point.expected_fst;
    row.generations = point.input.generations;
    row.drift_size = point.input.drift_size;
    row.sample_size = point.common_sample_size();
    row.loci = point.input.loci;
    row.mean_fst = point.ok ? point.mean_fst_text : "";
    row.runs = point.ok ? std::optional<long long>(point.runs) : std::nullopt;
    const auto found = curve_of.find(&point);
    const Curve* curve = found == curve_of.end() ? nullptr : found->second;
    for (Test test : TESTS) {
      const int t = static_cast<int>(test);
      if (point.ok && point.on(test)) row.tests[t] = TestCount{point.power(test).significant, point.runs};
      // The verdict of the curve's F'st 0 point, on every row of the curve.
      const PointResult* null_point = curve != nullptr ? curve->null_point : nullptr;
      if (null_point != nullptr && null_point->on(test))
        row.null_check[t] = CALIBRATION_TEXT(
            CALIBRATION_VERDICT(null_point->power(test).significant, null_point->runs));
    }
    rows.push_back(std::move(row));
  }
  return CURVE_CSV(layout, rows);
}

bool FINISHED_RUN(const std::string& folder, const std::string& input, const std::string& seed_text,
                  bool keep_details) {
  const std::filesystem::path path(folder);
  std::string on_disk;
  if (!READ_WHOLE_FILE((path / INPUT_FILE_NAME).string(), on_disk) || on_disk != input) return false;
  const bool has_seed = READ_WHOLE_FILE((path / SEED_FILE).string(), on_disk);
  if (has_seed != !seed_text.empty() || (has_seed && on_disk != seed_text)) return false;
  if (!COLLECT_POINT(path.parent_path().string(), path.filename().string()).ok) return false;
  REMOVE_WORKING_FILES(folder, keep_details);
  return true;
}

void REMOVE_WORKING_FILES(const std::string& folder, bool keep_details) {
  const std::filesystem::path path(folder);
  std::error_code ignored;
  if (!keep_details) {
    for (const char* name : DETAILED_OUTPUT_FILES) std::filesystem::remove(path / name, ignored);
  }
  // The program deletes its contingency-table file at the end of every run.
  std::filesystem::remove(path / CONTTAB_FILE_NAME, ignored);
}

}  // namespace korvel::sweep
