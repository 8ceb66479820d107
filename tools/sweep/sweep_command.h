// korvel-sweep's command, split by job: the options (sweep_options.cpp),
// the plan and its folders (sweep_plan.cpp), the template or data it works
// from (sweep_source.cpp), running the points or the search
// (sweep_running.cpp) and the results (sweep_results.cpp). What they share;
// private to korvel-sweep (the pieces the tests use are in sweep.h).
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "batch_round.h"
#include "running.h"
#include "sweep.h"

namespace korvel::sweep::command {

namespace fs = std::filesystem;

inline constexpr const char* SETTINGS_FILE = "sweep-settings.txt";
inline constexpr const char* SBATCH_FILE = "sweep.sbatch";

// ---- Options ---------------------------------------------------------------

struct Options : StudySettings {
  std::string fst_list;
  std::string generations_list;
  std::string sample_sizes_list;
  std::string loci_list;
  std::optional<EXTENDED> target_power;
  std::optional<std::string> title;
  bool many_loci = false;
  bool emit_jobs = false;
  bool slurm = false;
  bool submit = false;
  std::vector<std::string> sbatch_args;
  std::string collect;
  std::string program;
  std::string template_path;
  bool help = false;
  bool version = false;
  std::vector<std::string> given;      // the options given, for the checks between them
  std::vector<std::string> arguments;  // the whole command line, for the resume hint
  std::string find;                    // "sample-size" or "loci"
  std::string locus_order = "random";  // --find loci: "random" (seeded) or "file"
  std::string range;
  std::optional<EXTENDED> tolerance;
  std::optional<EXTENDED> precision;
  std::vector<std::string> data_args;  // korvel-init's options, for a data file
};

// Whole numbers from low to high, none twice.
std::vector<int> parse_whole_list(const std::string& list, const std::string& option, int low, int high);
Options parse_options(const std::vector<std::string>& args);

// ---- The plan and its folders ----------------------------------------------

struct PlannedPoint {
  PointValues values;
  std::optional<EXTENDED> target;
  std::string label;
  std::string input;  // the point's KORVEL.IN
  std::optional<std::uint32_t> seed;
};

std::vector<PlannedPoint> plan_points(const Options& options, const SweepTemplate& tmpl, int drift_size);
// DIR's point-NN folders, in numeric order.
std::vector<std::string> point_folders(const fs::path& dir);
// A point run with --precision runs further batches in folders of its own,
// batch-2, batch-3, ... (the point's folder itself is the first batch).
inline constexpr const char* BATCH_PREFIX = "batch-";
inline constexpr int FIRST_BATCH = 2;
// The number of a batch folder's name, 0 for any other name.
int batch_number(const std::string& name);
std::string batch_folder(int number);
// Every batch folder of a point, in numeric order, gaps included.
std::vector<std::string> batch_folders(const fs::path& point);
// The further batches of a point that finished, counted from batch-2 up to
// the first that did not.
int finished_batches(const fs::path& point);
// Removes the files a sweep makes in a point folder (and the folder when
// that leaves it empty); whatever else a person put there stays.
void clear_point(const fs::path& folder);
// A point (or one of its batches) as a batch of a round.
RoundBatch point_batch(const fs::path& dir, const SweepTemplate& tmpl, const PlannedPoint& point);
// A grid's first round: every planned point, its folder ready, and the
// ones still to run (all of them unless resuming).
struct PreparedRound {
  std::vector<RoundBatch> batches;
  std::vector<std::size_t> to_run;
  RoundSettings settings;  // all but the program and the terminal
};
// Prepares DIR (point folders of another plan and old results removed) and
// every point's folder.
PreparedRound prepare_points(const Options& options, const fs::path& dir, const SweepTemplate& tmpl,
                             const std::vector<PlannedPoint>& plan);

// ---- Template or data -------------------------------------------------------

// The template the sweep works from: the file itself when it is a KORVEL.IN,
// else the one korvel-init makes from it as data.
struct Source {
  SweepTemplate tmpl;
  bool many_loci = false;
  std::string made_text;  // the template made from data
  std::string summary;    // korvel-init's summary of the data
  std::vector<std::string> data_lines;
};

Source load_source(const Options& options, const fs::path& dir);

// ---- Running ----------------------------------------------------------------

// A grid run here, printed as a job list or written as a Slurm job array;
// returns the exit status.
int sweep(const Options& options);
// The search (--find); returns the exit status.
int search(const Options& options);

// ---- Results ----------------------------------------------------------------

struct Settings {
  std::string title;
  EXTENDED target_power = DEFAULT_TARGET_POWER;
  std::vector<std::string> figure_formats{"svg"};  // from the command line, not stored
};

// A point's result with every further batch added; a batch that failed or
// is missing makes the point failed, named.
PointResult collect_with_batches(const fs::path& dir, const std::string& label);
// The counts of the batches that finished, up to the first that did not:
// what decides whether a point needs another batch.
PointResult collect_finished_batches(const fs::path& dir, const std::string& label);
std::string settings_text(const Settings& settings);
int finish(const fs::path& dir, const std::vector<PointResult>& results, const Settings& settings);
// --collect DIR; returns the exit status.
int collect(const Options& options);
// --collect on one run's folder: writes its power.csv (RUN_POWER_CSV).
std::string RUN_POWER_CSV(const SummaryReport& report);
int collect_run(const fs::path& dir);

}  // namespace korvel::sweep::command
