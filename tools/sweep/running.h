// Running a study's points: each as a child process in its folder, several
// at a time, with progress; stopping on SIGINT or SIGTERM with the command
// that resumes; the shell command of a point for a job list, and the Slurm
// job array.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "sweep.h"

namespace korvel::sweep {

// How many points run at once and with how many threads each: --jobs and
// --threads-per-point when given, else the process's cores shared out.
struct CoreShare {
  int parallel;  // points at once, as asked or as the cores allow
  int running;   // of which run at once for `job_count` points
  int threads;   // threads of each point
};
CoreShare SHARE_CORES(int jobs, int threads_per_point, std::size_t job_count);

// ---- Running ------------------------------------------------------------

struct PointJob {
  std::string folder;                 // absolute path of the point folder
  std::string label;                  // e.g. "point-03"
  std::string description;            // e.g. "t = 10, N = 500, expected F'st 0.0099"
  int generations = 0;                // for the estimate of the time left
  std::optional<std::uint32_t> seed;  // KORVEL_SEED; unset: the program seeds itself
};

struct JobOutcome {
  bool ok = false;
  bool stopped = false;  // killed or never started because the sweep was stopped
  std::string failure;
  double seconds = 0;
};

// Runs `program` once in each job's folder, at most `jobs` at a time, each
// with KORVEL_THREADS=threads and its seed, standard input from /dev/null
// and its console text in console.log. With `terminal` a progress line is
// kept up to date on standard output; one line per finished point is
// written either way.
// Each point runs in a process group of its own and is killed when the sweep
// dies. Once SIGINT or SIGTERM has been caught (CATCH_STOP_SIGNALS), every
// running point's group is killed, no other point starts and RUN_JOBS
// returns at once with those points `stopped`.
std::vector<JobOutcome> RUN_JOBS(const std::string& program, const std::vector<PointJob>& points, int jobs,
                                 int threads, bool terminal);

// Thrown by a search whose round was cut short by SIGINT or SIGTERM; the
// killed batches stay unfinished for --resume.
class SweepStopped : public SweepError {
 public:
  SweepStopped(int caught, std::size_t unfinished)
      : SweepError("stopped"), signal(caught), left(unfinished) {}
  int signal;
  std::size_t left;
};

// From now on SIGINT and SIGTERM only note that the sweep is to stop;
// RUN_JOBS and whoever runs batches of points check STOP_SIGNAL().
void CATCH_STOP_SIGNALS();
// The signal caught (SIGINT or SIGTERM), 0 when none.
int STOP_SIGNAL();
// The command that continues a sweep: its arguments with --resume added and
// --force left out, quoted for a POSIX shell.
std::string RESUME_COMMAND(const std::vector<std::string>& args);

// The shell command that runs one point. threads = 0 leaves KORVEL_THREADS
// as the environment has it (a batch system's allocation).
std::string JOB_COMMAND(const std::string& program, const PointJob& job, int threads);
std::string SHELL_QUOTE(std::string_view text);

// "1:05" / "1:02:03" for a duration in seconds.
std::string CLOCK_TEXT(double seconds);

// ---- Slurm --------------------------------------------------------------

struct SlurmSettings {
  int cpus_per_task = 1;
  std::vector<std::string> extra_lines;  // each becomes "#SBATCH <line>"
};

// A job array with one task per point: each task runs its point's command
// with the cores Slurm gave it.
std::string SBATCH_SCRIPT(const std::string& program, const std::vector<PointJob>& points,
                          const std::string& log_dir, const SlurmSettings& settings);

}  // namespace korvel::sweep
