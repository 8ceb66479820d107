// Finishing a sweep: each point's result with its batches, curve.csv, the
// figures and design.csv, the warnings the points gave, and the exit
// status; and --collect, which does the same for a folder run elsewhere.
#include <cstdio>
#include <cstdlib>
#include <sstream>

#include "figure.h"
#include "input/shared_names.h"
#include "sweep_command.h"

namespace korvel::sweep::command {

namespace {

// The figures: power against F'st, and against the axis a grid varies.
constexpr const char* FST_FIGURE = "curve";
constexpr const char* SIZE_FIGURE = "power-by-sample-size";
constexpr const char* LOCI_FIGURE = "power-by-loci";

Settings read_settings(const fs::path& dir) {
  Settings settings;
  std::string text;
  if (!READ_WHOLE_FILE(dir / SETTINGS_FILE, text)) return settings;
  std::istringstream lines(text);
  std::string line;
  while (std::getline(lines, line)) {
    if (line.rfind("title=", 0) == 0) settings.title = line.substr(6);
    if (line.rfind("target_power=", 0) == 0) {
      const EXTENDED power = std::strtold(line.c_str() + 13, nullptr);
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
    levels.push_back(level + " (" + (row.test == Test::CHI2 ? "chi-square test" : "exact test") + ")");
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
  return "title=" + settings.title + "\ntarget_power=" + power + "\n";
}

// Writes curve.csv, the figures and design.csv, prints the design table and
// what failed or is miscalibrated; returns the exit status: 1 when a point
// failed, else 3 when the answer is flagged, as the search does.
int finish(const fs::path& dir, const std::vector<PointResult>& results, const Settings& settings) {
  const Analysis analysis = ANALYSE(results);
  const DesignTable table = DESIGN_TABLE(analysis, settings.target_power);
  WRITE_WHOLE_FILE(dir / "curve.csv", CURVE_CSV(results, analysis));
  const std::vector<std::string> figures = draw_figures(dir, results, analysis, settings);
  WRITE_WHOLE_FILE(dir / "design.csv", DESIGN_CSV(table));
  std::size_t failed = 0;
  for (const PointResult& point : results) {
    if (point.ok) continue;
    ++failed;
    std::fprintf(stderr, "korvel-sweep: %s failed: %s\n", (dir / point.folder).c_str(),
                 point.failure.c_str());
  }
  std::printf("%s", DESIGN_TEXT(table).c_str());
  std::string files = (dir / "curve.csv").string();
  for (const std::string& figure : figures) files += ", " + figure;
  std::printf("results: %s and %s\n", files.c_str(), (dir / "design.csv").c_str());
  std::fflush(stdout);
  std::vector<std::string> flags;
  const std::vector<std::string> calibration = CALIBRATION_WARNINGS(analysis);
  for (const std::string& warning : calibration) {
    std::fprintf(stderr, "korvel-sweep: warning: %s\n", warning.c_str());
  }
  if (!calibration.empty()) flags.push_back("a miscalibrated test");
  // What the points warned about, each kind once with the points concerned.
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
  bool resolution = false;
  for (const PointWarning& warning : GATHER_WARNINGS(consoles)) {
    resolution = resolution || warning.resolution;
    std::string points;
    for (const std::string& point : warning.points) points += (points.empty() ? "" : ", ") + point;
    std::fprintf(stderr, "korvel-sweep: %zu point%s warned: %s\n  (%s)\n", warning.points.size(),
                 warning.points.size() == 1 ? "" : "s", warning.text.c_str(), points.c_str());
  }
  if (resolution) flags.push_back("the exact test's resolution warning");
  const std::vector<std::string> unreached = unreached_levels(table);
  if (!unreached.empty()) {
    std::string levels;
    for (const std::string& level : unreached) levels += (levels.empty() ? "" : ", ") + level;
    flags.push_back("the target not reached in the range tried at " + levels);
  }
  if (failed > 0 || results.empty()) {
    if (failed > 0) std::fprintf(stderr, "korvel-sweep: %zu of %zu points failed\n", failed, results.size());
    return 1;
  }
  if (flags.empty()) return 0;
  std::string reasons;
  for (const std::string& flag : flags) reasons += (reasons.empty() ? "" : "; ") + flag;
  std::fprintf(stderr, "korvel-sweep: the sweep finished but its answer is flagged (exit status 3): %s\n",
               reasons.c_str());
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
