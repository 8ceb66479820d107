// Running a sweep: the grid's points here (with --precision rounds), as a
// job list or a Slurm job array, the search, and stopping on SIGINT or
// SIGTERM with the command that resumes.
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <optional>

#include "input/shared_names.h"
#include "running.h"
#include "search.h"
#include "sweep_command.h"

namespace korvel::sweep::command {

namespace {

bool executable(const fs::path& path) {
  std::error_code ec;
  return fs::is_regular_file(path, ec) && ::access(path.c_str(), X_OK) == 0;
}

// The simulation program: as given, else next to this program (installed
// side by side, or in the same build folder), else on PATH.
std::string find_program(const Options& options) {
  if (!options.program.empty()) {
    if (!executable(options.program)) throw SweepError("cannot run " + options.program);
    return fs::absolute(options.program).lexically_normal().string();
  }
  const std::string name = options.many_loci ? "korvel-ml" : "korvel";
  std::error_code ec;
  const fs::path self = fs::read_symlink("/proc/self/exe", ec);
  if (!ec) {
    for (const fs::path& dir : {self.parent_path(), self.parent_path().parent_path()}) {
      if (executable(dir / name)) return (dir / name).string();
    }
  }
  if (const char* path = std::getenv("PATH")) {
    std::string list = path;
    std::size_t start = 0;
    while (start <= list.size()) {
      std::size_t colon = list.find(':', start);
      if (colon == std::string::npos) colon = list.size();
      const fs::path dir = list.substr(start, colon - start);
      if (!dir.empty() && executable(dir / name)) return fs::absolute(dir / name).string();
      start = colon + 1;
    }
  }
  throw SweepError("cannot find " + name + " next to korvel-sweep or on PATH; give it with --program");
}

// Hands the job array to sbatch and says how to collect.
int submit(const fs::path& dir, const fs::path& script) {
  const std::string command = "sbatch --parsable " + SHELL_QUOTE(script.string()) + " 2>&1";
  FILE* pipe = ::popen(command.c_str(), "r");
  if (pipe == nullptr) throw SweepError("cannot start sbatch: " + std::string(std::strerror(errno)));
  std::string said;
  char buffer[512];
  while (std::fgets(buffer, sizeof buffer, pipe) != nullptr) said += buffer;
  const int status = ::pclose(pipe);
  while (!said.empty() && (said.back() == '\n' || said.back() == '\r')) said.pop_back();
  if (status != 0)
    throw SweepError("sbatch " + script.string() + " failed: " + (said.empty() ? "no message" : said));
  std::printf("submitted Slurm job %s; when it has finished: korvel-sweep --collect %s\n", said.c_str(),
              SHELL_QUOTE(dir.string()).c_str());
  return 0;
}

// A sweep stopped by SIGINT or SIGTERM: its running points were killed and
// stay unfinished; says what is left and how to continue. Exit status as a
// shell reports a program ended by the signal.
int stopped(const Options& options, int signal, const std::string& left) {
  std::fprintf(stderr,
               "korvel-sweep: stopped by %s; %s left unfinished in %s (the finished ones are kept).\n"
               "To continue: %s\n",
               signal == SIGINT ? "SIGINT" : "SIGTERM", left.c_str(), options.out.c_str(),
               RESUME_COMMAND(options.arguments).c_str());
  return 128 + signal;
}

std::string count_text(std::size_t count, const char* one, const char* many) {
  return std::to_string(count) + " " + (count == 1 ? one : many);
}

// The widest 95 % Wilson half-width of the point's tests.
EXTENDED widest_half_width(const PointResult& point) {
  EXTENDED widest = 0;
  for (Test test : TESTS) {
    if (!point.on(test)) continue;
    const Interval interval = point.power(test).interval;
    widest = std::max(widest, (interval.high - interval.low) / 2);
  }
  return widest;
}

// A grid run here, from its first round to the last --precision round.
struct GridRun {
  const Options& options;
  const SweepTemplate& tmpl;
  const fs::path& dir;
  const std::vector<PlannedPoint>& plan;
  RoundSettings round;                       // how the first round runs
  CoreShare share;                           // and the cores it shares out, kept by later rounds
  std::map<std::string, JobOutcome> failed;  // by point: a run of it failed or was stopped
  std::size_t stopped_batches = 0;

  long long batch_runs() const { return options.runs.value_or(tmpl.facts.runs); }
  long long budget() const { return options.max_runs.value_or(DEFAULT_BUDGET_BATCHES * batch_runs()); }
  // With --precision: whether the finished batches leave the interval wider
  // than asked while one more batch fits in the budget.
  bool needs_batch(const PointResult& finished) const {
    return options.precision && finished.ok && widest_half_width(finished) > *options.precision &&
           finished.runs + batch_runs() <= budget();
  }
  void note(const std::string& point, const JobOutcome& outcome, bool batch) {
    if (outcome.ok) return;
    failed[point] = outcome;
    if (batch && outcome.stopped) ++stopped_batches;
  }
};

// The points a stop leaves to do: stopped, or with --precision still
// needing a batch (a failed point is failed, not unfinished).
std::size_t unfinished_points(const GridRun& run) {
  std::size_t left = 0;
  for (const PlannedPoint& point : run.plan) {
    const auto found = run.failed.find(point.label);
    if (found != run.failed.end()) {
      left += found->second.stopped ? 1 : 0;
      continue;
    }
    if (run.needs_batch(collect_finished_batches(run.dir, point.label))) ++left;
  }
  return left;
}

int stopped_grid(const GridRun& run, int signal) {
  std::string left = count_text(unfinished_points(run), "point", "points");
  if (run.stopped_batches > 0) left += " and " + count_text(run.stopped_batches, "batch", "batches");
  return stopped(run.options, signal, left);
}

// Removes batches a --resume finds beyond what the point now needs (an
// earlier run with other settings), so that none is counted or reported.
void clear_batches_from(const fs::path& point, int number) {
  for (const std::string& name : batch_folders(point)) {
    if (batch_number(name) >= number) clear_point(point / name);
  }
}

// The point's batch of that number: its input with the seed for it.
RoundBatch point_batch_of(const GridRun& run, const PlannedPoint& point, int number) {
  PlannedPoint batch = point;
  batch.label = point.label + "/" + batch_folder(number);
  if (point.seed) batch.seed = POINT_SEED(*run.options.seed, point.values, number - 1);
  return point_batch(run.dir, run.tmpl, batch);
}

// --precision: rounds of one more batch for every point whose interval is
// still wider than asked, until none is or each has spent --max-runs. A
// batch is the point's input with its seed for that batch number, so the
// rounds depend on seeded counts only; finished batches of an earlier run
// are kept with --resume.
void run_to_precision(GridRun& run) {
  RoundSettings settings = run.round;
  settings.jobs = run.share.parallel;
  settings.threads_per_point = run.share.threads;
  while (true) {
    std::vector<RoundBatch> batches;
    std::vector<std::string> owners;
    for (const PlannedPoint& point : run.plan) {
      if (run.failed.count(point.label) != 0) continue;
      const int number = FIRST_BATCH + finished_batches(run.dir / point.label);
      if (!run.needs_batch(collect_finished_batches(run.dir, point.label))) {
        clear_batches_from(run.dir / point.label, number);
        continue;
      }
      batches.push_back(point_batch_of(run, point, number));
      owners.push_back(point.label);
    }
    // Finished batches found again on resuming count at once: look again
    // until a round neither finds nor runs one.
    if (batches.empty()) return;
    const RoundOutcome round = RUN_ROUND(batches, settings);
    for (std::size_t i = 0; i < batches.size(); ++i) {
      if (round.batches[i].reused) continue;
      JobOutcome outcome = round.batches[i].run;
      // The batch's folder within its point: "batch-3: exit status 1".
      outcome.failure = batches[i].job.label.substr(owners[i].size() + 1) + ": " + outcome.failure;
      run.note(owners[i], outcome, true);
    }
    if (round.stop_signal != 0) return;
  }
}

}  // namespace

int search(const Options& options) {
  const fs::path dir = fs::absolute(options.out).lexically_normal();
  const Source source = load_source(options, dir);
  Options chosen = options;
  chosen.many_loci = source.many_loci;
  SearchOptions search;
  static_cast<StudySettings&>(search) = options;  // the settings both modes share, as given
  search.loci_axis = options.find == "loci";
  search.random_loci = search.loci_axis && options.locus_order == "random";
  search.many_loci = source.many_loci;
  for (const std::string& item : tools::SPLIT_LIST(options.fst_list, "--fst"))
    search.fst.push_back(tools::PARSE_REAL(item, "--fst"));
  search.range.high = search.loci_axis ? source.tmpl.facts.loci : 1000;
  search.range.low = search.loci_axis ? 1 : 2;
  if (!options.range.empty()) {
    const std::vector<std::string> ends = tools::SPLIT_LIST(options.range, "--range");
    const int top = search.loci_axis ? source.tmpl.facts.loci : MAX_DIPLOIDS;
    if (ends.size() != 2) throw UsageError("--range takes LO,HI, not \"" + options.range + "\"");
    search.range.low = static_cast<int>(tools::PARSE_WHOLE(ends[0], "the low end of --range", 1, top));
    search.range.high = static_cast<int>(tools::PARSE_WHOLE(ends[1], "the high end of --range", 1, top));
    if (search.range.low >= search.range.high) throw UsageError("--range needs LO below HI");
  }
  search.range.target = options.target_power.value_or(DEFAULT_TARGET_POWER);
  search.range.tolerance = options.tolerance;
  search.title = options.title.value_or("");
  search.data_lines = source.data_lines;
  search.program = find_program(chosen);
  search.arguments = options.arguments;
  search.made_template = source.made_text;
  search.data_summary = source.summary;
  CATCH_STOP_SIGNALS();
  try {
    return RUN_SEARCH(source.tmpl, search);
  } catch (const SweepStopped& stop) {
    return stopped(options, stop.signal, count_text(stop.left, "probe batch", "probe batches"));
  }
}

namespace {

// --emit-jobs and --slurm: the points are handed to another engine; the
// exit status, or nothing when they run here.
std::optional<int> hand_over(const Options& options, const fs::path& dir, const std::string& program,
                             const PreparedRound& prepared) {
  std::vector<PointJob> jobs;
  for (std::size_t i : prepared.to_run) jobs.push_back(prepared.batches[i].job);
  const int threads = options.threads_per_point > 0 ? options.threads_per_point : 1;
  if (options.emit_jobs) {
    for (const PointJob& job : jobs) std::printf("%s\n", JOB_COMMAND(program, job, threads).c_str());
    return 0;
  }
  if (!options.slurm || jobs.empty()) return std::nullopt;
  const SlurmSettings slurm{threads, options.sbatch_args};
  const fs::path script = dir / SBATCH_FILE;
  WRITE_WHOLE_FILE(script, SBATCH_SCRIPT(program, jobs, dir.string(), slurm));
  std::printf("wrote %s: %zu array tasks\n", script.c_str(), jobs.size());
  if (options.submit) return submit(dir, script);
  std::printf("submit it with: sbatch %s\nwhen it has finished: korvel-sweep --collect %s\n",
              SHELL_QUOTE(script.string()).c_str(), SHELL_QUOTE(dir.string()).c_str());
  return 0;
}

// Runs the points here (and their --precision rounds); every point's
// result, a failed or stopped run making its point failed.
std::optional<std::vector<PointResult>> run_here(GridRun& run, const PreparedRound& prepared) {
  if (run.round.terminal) {
    std::printf("korvel-sweep: %zu of %zu points to run with %s, %d at a time with %d thread%s each, in %s\n",
                prepared.to_run.size(), run.plan.size(), fs::path(run.round.program).filename().c_str(),
                run.share.running, run.share.threads, run.share.threads == 1 ? "" : "s", run.dir.c_str());
    for (std::size_t i : prepared.to_run) {
      const PointJob& job = prepared.batches[i].job;
      std::printf("  %s: %s\n", job.label.c_str(), job.description.c_str());
    }
    std::fflush(stdout);
  }
  CATCH_STOP_SIGNALS();
  const RoundOutcome round = RUN_PREPARED(prepared.batches, prepared.to_run, run.round);
  for (std::size_t i : prepared.to_run) run.note(prepared.batches[i].job.label, round.batches[i].run, false);
  if (run.options.precision && STOP_SIGNAL() == 0) run_to_precision(run);
  if (STOP_SIGNAL() != 0) return std::nullopt;
  std::vector<PointResult> results;
  for (const PlannedPoint& point : run.plan) {
    PointResult result = collect_with_batches(run.dir, point.label);
    const auto found = run.failed.find(point.label);
    if (found != run.failed.end()) {
      result.ok = false;
      result.failure = found->second.failure;
    }
    results.push_back(result);
  }
  return results;
}

}  // namespace

int sweep(const Options& options) {
  const fs::path dir = fs::absolute(options.out).lexically_normal();
  // The library refuses an effective size the program cannot use.
  const Source source = load_source(options, dir);
  const SweepTemplate& tmpl = source.tmpl;
  Options chosen = options;
  chosen.many_loci = source.many_loci;
  const std::vector<PlannedPoint> plan = plan_points(options, tmpl,
                                                     options.ne.value_or(tmpl.facts.drift_size));
  const std::string program = find_program(chosen);
  OPEN_STUDY_FOLDER(options, "sweep");
  const PreparedRound prepared = prepare_points(options, dir, tmpl, plan);
  WRITE_SOURCE_FILES(dir, source.made_text, source.summary);
  Settings settings;
  settings.title = options.title.value_or("");
  settings.target_power = options.target_power.value_or(DEFAULT_TARGET_POWER);
  settings.figure_formats = options.figure_formats;
  WRITE_WHOLE_FILE(dir / SETTINGS_FILE, settings_text(settings));
  if (const std::optional<int> status = hand_over(options, dir, program, prepared)) return *status;

  RoundSettings round = prepared.settings;
  round.program = program;
  round.terminal = ::isatty(STDOUT_FILENO) == 1;
  const CoreShare share = SHARE_CORES(options.jobs, options.threads_per_point, prepared.to_run.size());
  GridRun run{options, tmpl, dir, plan, round, share, {}, 0};
  const std::optional<std::vector<PointResult>> results = run_here(run, prepared);
  if (!results) return stopped_grid(run, STOP_SIGNAL());
  return finish(dir, *results, settings);
}

}  // namespace korvel::sweep::command
