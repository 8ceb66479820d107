// Planning a grid: its points (levels x sample sizes x loci), their
// KORVEL.IN, labels and seeds, and their folders in DIR, keeping the
// finished ones with --resume.
#include <algorithm>
#include <cstdio>
#include <map>

#include "batch_round.h"
#include "common/capacity_profiles.h"
#include "input/shared_names.h"
#include "running.h"
#include "study_csv.h"
#include "sweep_command.h"

namespace korvel::sweep::command {

namespace {

const char* const DEFAULT_FST = "0.001,0.0025,0.005,0.01,0.02";

constexpr const char* RESULT_FILES[] = {CURVE_FILE,
                                        DESIGN_FILE,
                                        SBATCH_FILE,
                                        "curve.svg",
                                        "curve.png",
                                        "curve.pdf",
                                        "power-by-sample-size.svg",
                                        "power-by-sample-size.png",
                                        "power-by-sample-size.pdf",
                                        "power-by-loci.svg",
                                        "power-by-loci.png",
                                        "power-by-loci.pdf"};

struct Level {
  int generations = 0;
  std::optional<EXTENDED> target;
};

std::vector<Level> plan_levels(const Options& options, int drift_size) {
  std::vector<Level> levels;
  if (!options.generations_list.empty()) {
    for (int t : parse_whole_list(options.generations_list, "--generations", 0, MAX_GENERATIONS)) {
      levels.push_back({t, {}});
    }
  } else {
    for (const std::string& item :
         tools::SPLIT_LIST(options.fst_list.empty() ? DEFAULT_FST : options.fst_list, "--fst")) {
      const EXTENDED target = tools::PARSE_REAL(item, "--fst");
      levels.push_back({GENERATIONS_FOR_TARGET(target, drift_size), target});
    }
  }
  // Targets closer than a generation apart make the same point: run it once.
  std::vector<Level> distinct;
  for (const Level& level : levels) {
    const auto same = std::find_if(distinct.begin(), distinct.end(),
                                   [&](const Level& kept) { return kept.generations == level.generations; });
    if (same == distinct.end()) {
      distinct.push_back(level);
    } else if (level.target) {
      std::fprintf(stderr,
                   "korvel-sweep: F'st %.6Lg needs the same %d generations as %.6Lg; it is run once\n",
                   *level.target, level.generations, same->target.value_or(0.0L));
    }
  }
  levels = distinct;
  // The no-drift point that checks the calibration of each curve.
  const bool has_null = std::any_of(levels.begin(), levels.end(),
                                    [](const Level& l) { return l.generations == 0; });
  if (!options.no_null && !has_null) levels.insert(levels.begin(), Level{0, EXTENDED{0}});
  return levels;
}

std::string point_label(std::size_t index, std::size_t count) {
  const std::size_t width = std::max<std::size_t>(2, std::to_string(count).size());
  const std::string number = std::to_string(index + 1);
  return "point-" + std::string(width - number.size(), '0') + number;
}

// Only KORVEL.OUT is read back, so each point erases its detailed files
// unless asked to keep them; then the template's own switch stands.
RunSettings point_run_settings(const Options& options) {
  RunSettings settings{options.runs, {}};
  if (!options.keep_details) settings.erase = true;
  return settings;
}

bool is_point_folder(const std::string& name) {
  if (name.rfind("point-", 0) != 0 || name.size() == 6) return false;
  return std::all_of(name.begin() + 6, name.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// The template is never written or deleted, even when it is one of the
// point files of an earlier sweep in DIR.
void refuse_template_inside(const fs::path& dir, const std::string& template_path) {
  std::error_code ec;
  for (const std::string& folder : point_folders(dir)) {
    if (fs::equivalent(dir / folder / INPUT_FILE_NAME, template_path, ec)) {
      throw SweepError("the template " + template_path + " is a point file of " + dir.string() +
                       "; copy it elsewhere first");
    }
  }
}

}  // namespace

std::vector<PlannedPoint> plan_points(const Options& options, const SweepTemplate& tmpl, int drift_size) {
  const std::vector<Level> levels = plan_levels(options, drift_size);
  std::vector<std::optional<int>> sizes{std::nullopt}, loci{tmpl.facts.loci};
  if (!options.sample_sizes_list.empty()) {
    sizes.clear();
    for (int n : parse_whole_list(options.sample_sizes_list, "--sample-sizes", 1, MAX_DIPLOIDS))
      sizes.push_back(n);
  }
  if (!options.loci_list.empty()) {
    loci.clear();
    for (int k : parse_whole_list(options.loci_list, "--loci", 1, tmpl.facts.loci)) loci.push_back(k);
  }
  std::vector<PlannedPoint> plan;
  for (const auto& n : sizes) {
    for (const auto& k : loci) {
      for (const Level& level : levels) {
        PlannedPoint point;
        point.values = {drift_size, level.generations, n, k};
        point.target = level.target;
        plan.push_back(point);
      }
    }
  }
  for (std::size_t i = 0; i < plan.size(); ++i) {
    PlannedPoint& point = plan[i];
    point.label = point_label(i, plan.size());
    point.input = REWRITE_TEMPLATE(tmpl, point.values,
                                   POINT_COMMENT_PREFIX + DESCRIBE_POINT(tmpl.facts, point.values),
                                   point_run_settings(options));
    if (options.seed) point.seed = POINT_SEED(*options.seed, point.values);
  }
  return plan;
}

std::vector<std::string> point_folders(const fs::path& dir) {
  std::vector<std::string> folders;
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator(dir, ec)) {
    const std::string name = entry.path().filename().string();
    if (entry.is_directory() && is_point_folder(name)) folders.push_back(name);
  }
  // Numeric order, whatever the width of the numbers.
  std::sort(folders.begin(), folders.end(), [](const std::string& a, const std::string& b) {
    return std::make_pair(a.size(), a) < std::make_pair(b.size(), b);
  });
  return folders;
}

int batch_number(const std::string& name) {
  const std::size_t prefix = std::char_traits<char>::length(BATCH_PREFIX);
  if (name.rfind(BATCH_PREFIX, 0) != 0 || name.size() == prefix || name.size() > prefix + 9) return 0;
  if (!std::all_of(name.begin() + static_cast<std::ptrdiff_t>(prefix), name.end(),
                   [](char c) { return c >= '0' && c <= '9'; }))
    return 0;
  return std::stoi(name.substr(prefix));
}

std::string batch_folder(int number) { return BATCH_PREFIX + std::to_string(number); }

std::vector<std::string> batch_folders(const fs::path& point) {
  std::vector<std::pair<int, std::string>> batches;
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator(point, ec)) {
    const std::string name = entry.path().filename().string();
    const int number = batch_number(name);
    if (number >= FIRST_BATCH && entry.is_directory(ec)) batches.emplace_back(number, name);
  }
  std::sort(batches.begin(), batches.end());
  std::vector<std::string> names;
  for (const auto& batch : batches) names.push_back(batch.second);
  return names;
}

int finished_batches(const fs::path& point) {
  int finished = 0;
  for (const std::string& name : batch_folders(point)) {
    if (batch_number(name) != FIRST_BATCH + finished || !COLLECT_POINT(point.string(), name).ok) break;
    ++finished;
  }
  return finished;
}

// Removes the files a sweep makes in a point folder (and the folder when
// that leaves it empty).
void clear_point(const fs::path& folder) {
  std::error_code ec;
  fs::remove(folder / INPUT_FILE_NAME, ec);
  fs::remove(folder / SUMMARY_FILE_NAME, ec);
  REMOVE_WORKING_FILES(folder.string(), false);
  fs::remove(folder / CONSOLE_FILE_NAME, ec);
  fs::remove(folder / SEED_FILE, ec);
  for (const std::string& batch : batch_folders(folder)) {
    clear_point(folder / batch);
  }
  if (fs::is_empty(folder, ec)) fs::remove(folder, ec);
}

PreparedRound prepare_points(const Options& options, const fs::path& dir, const SweepTemplate& tmpl,
                             const std::vector<PlannedPoint>& plan) {
  std::error_code ec;
  refuse_template_inside(dir, options.template_path);
  // Point folders of another plan go; the planned ones are kept (finished,
  // with --resume) or written afresh by the round.
  std::map<std::string, const PlannedPoint*> planned;
  for (const PlannedPoint& point : plan) planned[point.label] = &point;
  for (const std::string& folder : point_folders(dir)) {
    if (planned.count(folder) == 0) clear_point(dir / folder);
  }
  for (const char* name : RESULT_FILES) fs::remove(dir / name, ec);

  PreparedRound round;
  round.settings.jobs = options.jobs;
  round.settings.threads_per_point = options.threads_per_point;
  round.settings.resume = options.resume;
  round.settings.keep_details = options.keep_details;
  round.settings.clear = clear_point;
  for (const PlannedPoint& point : plan) round.batches.push_back(point_batch(dir, tmpl, point));
  round.to_run = PREPARE_BATCHES(round.batches, round.settings);
  return round;
}

RoundBatch point_batch(const fs::path& dir, const SweepTemplate& tmpl, const PlannedPoint& point) {
  RoundBatch batch;
  batch.job.label = point.label;
  batch.job.folder = (dir / point.label).string();
  batch.job.description = DESCRIBE_POINT(tmpl.facts, point.values);
  batch.job.generations = point.values.generations;
  batch.job.seed = point.seed;
  batch.input = point.input;
  return batch;
}

}  // namespace korvel::sweep::command
