// Finishing a sweep: each point's result with its batches, curve.csv, the
// figures and design.csv, the warnings the points gave, and the exit
// status; and --collect, which does the same for a folder run elsewhere.
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <sstream>
#include <string_view>

#include "figure.h"
#include "input/shared_names.h"
#include "results.h"
#include "study_csv.h"
#include "sweep_command.h"

namespace korvel::sweep::command {

namespace {

// The figures: power against F'st, and against the axis a grid varies.
constexpr const char* FST_FIGURE = "curve";
constexpr const char* SIZE_FIGURE = "power-by-sample-size";
constexpr const char* LOCI_FIGURE = "power-by-loci";

// The keys of sweep-settings.txt, one "key=value" line each.
constexpr std::string_view TITLE_KEY = "title=";
constexpr std::string_view TARGET_POWER_KEY = "target_power=";

// The value of a "key=value" line, or nothing when it has another key.
std::optional<std::string> value_of(const std::string& line, std::string_view key) {
  if (line.compare(0, key.size(), key) != 0) return std::nullopt;
  return line.substr(key.size());
}

Settings read_settings(const fs::path& dir) {
  Settings settings;
  std::string text;
  if (!READ_WHOLE_FILE(dir / SETTINGS_FILE, text)) return settings;
  std::istringstream lines(text);
  std::string line;
  while (std::getline(lines, line)) {
    if (const auto title = value_of(line, TITLE_KEY)) settings.title = *title;
    if (const auto power_text = value_of(line, TARGET_POWER_KEY)) {
      const EXTENDED power = std::strtold(power_text->c_str(), nullptr);
      if (power > 0.0L && power <= 1.0L) settings.target_power = power;
    }
  }
  return settings;
}

// The figures of a grid: power against F'st, and against sample size or
// loci when the grid varies one of them; returns their files.
std::vector<std::string> draw_figures(const fs::path& dir, const std::vector<PointResult>& results,
                                      const Analysis& analysis, const Settings& settings) {
  const FigureText text{settings.title, settings.target_power};
  std::vector<std::string> stems{(dir / FST_FIGURE).string()};
  DRAW_FST_FIGURE(results, analysis, text, stems.back(), settings.figure_formats);
  if (const std::optional<SampleSizeFigure> figure = GRID_SAMPLE_SIZE_FIGURE(results, analysis, text)) {
    stems.push_back((dir / (analysis.sample_size_varies ? SIZE_FIGURE : LOCI_FIGURE)).string());
    DRAW_SAMPLE_SIZE_FIGURE(*figure, stems.back(), settings.figure_formats);
  }
  std::vector<std::string> files;
  for (const std::string& stem : stems) {
    for (const std::string& format : settings.figure_formats) files.push_back(stem + "." + format);
  }
  return files;
}

// The levels whose target no value of the grid's axis reaches, e.g. "F'st
// 0.0010 (chi-square test)". A grid of one design has no range to search,
// so its "no" is an answer, not a flag; a miscalibrated test is flagged as
// such.
std::vector<std::string> unreached_levels(const DesignTable& table) {
  std::vector<std::string> levels;
  if (table.axis.empty()) return levels;
  for (const DesignAnswer& row : table.rows) {
    if (row.generations == 0 || row.by_power || !row.excluded.empty()) continue;
    std::string level = "F'st " + FIXED_TEXT(row.expected_fst, 4);
    if (table.grouped_by_loci)
      level += " with " + std::to_string(row.group_loci) + (row.group_loci == 1 ? " locus" : " loci");
    levels.push_back(level + " (" + TEST_WORDS(row.test) + ")");
  }
  return levels;
}

}  // namespace

namespace {

// Adds the counts of the point's further batches: their runs and
// rejections, and the mean F'st weighted by runs. With `strict` a batch
// without a result, or a number skipped, makes the point failed (a point is
// never reported with fewer runs than it was given); otherwise the batches
// count up to the first that did not finish.
PointResult add_batches(const fs::path& dir, const std::string& label, bool strict) {
  PointResult point = COLLECT_POINT(dir.string(), label);
  if (!point.ok) return point;
  EXTENDED weighted_fst = std::strtold(point.mean_fst_text.c_str(), nullptr) *
                          static_cast<EXTENDED>(point.runs);
  bool added = false;
  int expected = FIRST_BATCH;
  for (const std::string& name : batch_folders(dir / label)) {
    if (batch_number(name) != expected) {
      if (!strict) break;
      point.ok = false;
      point.failure = "batch-" + std::to_string(expected) + " is missing (" + name + " is there)";
      return point;
    }
    ++expected;
    const PointResult batch = COLLECT_POINT((dir / label).string(), name);
    if (!batch.ok) {
      if (!strict) break;
      point.ok = false;
      point.failure = name + ": " + batch.failure;
      return point;
    }
    added = true;
    point.runs += batch.runs;
    point.chi2.significant += batch.chi2.significant;
    point.fisher.significant += batch.fisher.significant;
    weighted_fst += std::strtold(batch.mean_fst_text.c_str(), nullptr) * static_cast<EXTENDED>(batch.runs);
  }
  if (!added) return point;
  for (TestPower* power : {&point.chi2, &point.fisher}) {
    power->power = static_cast<EXTENDED>(power->significant) / static_cast<EXTENDED>(point.runs);
    power->interval = WILSON_INTERVAL(power->significant, point.runs);
  }
  point.mean_fst_text = FIXED_TEXT(weighted_fst / static_cast<EXTENDED>(point.runs), 4);
  return point;
}

}  // namespace

PointResult collect_with_batches(const fs::path& dir, const std::string& label) {
  return add_batches(dir, label, true);
}

PointResult collect_finished_batches(const fs::path& dir, const std::string& label) {
  return add_batches(dir, label, false);
}

std::string settings_text(const Settings& settings) {
  char power[32];
  std::snprintf(power, sizeof power, "%.6Lg", settings.target_power);
  return std::string(TITLE_KEY) + settings.title + "\n" + std::string(TARGET_POWER_KEY) + power + "\n";
}

// Writes curve.csv, the figures and design.csv, prints the design table and
// what failed or is miscalibrated; returns the exit status: 1 when a point
// failed, else 3 when the answer is flagged, as the search does.
namespace {

// The console logs of every point and batch, for the warnings they hold.
std::vector<PointConsole> consoles_of(const fs::path& dir, const std::vector<PointResult>& results) {
  std::vector<PointConsole> consoles;
  for (const PointResult& point : results) {
    std::vector<std::string> folders{point.folder};
    for (const std::string& batch : batch_folders(dir / point.folder))
      folders.push_back(point.folder + "/" + batch);
    for (const std::string& folder : folders) {
      std::string text;
      if (READ_WHOLE_FILE((dir / folder / CONSOLE_FILE_NAME).string(), text))
        consoles.push_back({folder, text});
    }
  }
  return consoles;
}

std::string joined(const std::vector<std::string>& items, const std::string& separator) {
  std::string text;
  for (const std::string& item : items) text += (text.empty() ? "" : separator) + item;
  return text;
}

// What flags a finished grid's answer: a miscalibrated test, the exact
// test's resolution warning, a target not reached; each said as it is met.
std::vector<std::string> answer_flags(const fs::path& dir, const std::vector<PointResult>& results,
                                      const Analysis& analysis, const DesignTable& table) {
  std::vector<std::string> flags;
  const std::vector<std::string> calibration = CALIBRATION_WARNINGS(analysis);
  for (const std::string& warning : calibration)
    std::fprintf(stderr, "korvel-sweep: warning: %s\n", warning.c_str());
  if (!calibration.empty()) flags.push_back("a miscalibrated test");
  if (REPORT_WARNINGS(consoles_of(dir, results), "point"))
    flags.push_back("the exact test's resolution warning");
  const std::vector<std::string> unreached = unreached_levels(table);
  if (!unreached.empty())
    flags.push_back("the target not reached in the range tried at " + joined(unreached, ", "));
  return flags;
}

}  // namespace

int finish(const fs::path& dir, const std::vector<PointResult>& results, const Settings& settings) {
  const Analysis analysis = ANALYSE(results);
  const DesignTable table = DESIGN_TABLE(analysis, settings.target_power);
  WRITE_STUDY_TABLES(dir, CURVE_CSV(results, analysis), DESIGN_CSV(table));
  const std::vector<std::string> figures = draw_figures(dir, results, analysis, settings);
  std::size_t failed = 0;
  for (const PointResult& point : results) {
    if (point.ok) continue;
    ++failed;
    std::fprintf(stderr, "korvel-sweep: %s failed: %s\n", (dir / point.folder).c_str(),
                 point.failure.c_str());
  }
  std::printf("%s", DESIGN_TEXT(table).c_str());
  std::string files = (dir / CURVE_FILE).string();
  for (const std::string& figure : figures) files += ", " + figure;
  std::printf("results: %s and %s\n", files.c_str(), (dir / DESIGN_FILE).c_str());
  std::fflush(stdout);
  const std::vector<std::string> flags = answer_flags(dir, results, analysis, table);
  if (failed > 0 || results.empty()) {
    if (failed > 0) std::fprintf(stderr, "korvel-sweep: %zu of %zu points failed\n", failed, results.size());
    return 1;
  }
  if (flags.empty()) return 0;
  std::fprintf(stderr, "korvel-sweep: the sweep finished but its answer is flagged (exit status 3): %s\n",
               joined(flags, "; ").c_str());
  return 3;
}

int collect(const Options& options) {
  const fs::path dir = options.collect;
  std::error_code ec;
  if (!fs::is_directory(dir, ec)) throw SweepError(options.collect + " is not a folder");
  const std::vector<std::string> folders = point_folders(dir);
  if (folders.empty() && fs::is_regular_file(dir / "KORVEL.OUT", ec)) return collect_run(dir);
  if (folders.empty()) throw SweepError("no point folders (point-NN) in " + options.collect);
  Settings settings = read_settings(dir);
  if (options.title) settings.title = *options.title;
  if (options.target_power) settings.target_power = *options.target_power;
  settings.figure_formats = options.figure_formats;
  std::vector<PointResult> results;
  for (const std::string& folder : folders) results.push_back(collect_with_batches(dir, folder));
  return finish(dir, results, settings);
}

}  // namespace korvel::sweep::command
