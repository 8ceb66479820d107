// Running the points: one child process per point, at most J at a time.
// Each child runs in its point folder with standard input from /dev/null
// (so a pause that waits for Enter returns at once), its console text in
// console.log, its seed in KORVEL_SEED (without one the program seeds
// itself from the clock and its process id) and its share of the cores in
// KORVEL_THREADS, so that J points together use the cores once.
//
// Each child leads a process group of its own, so that a stop reaches the
// program and anything it started, and dies with the sweep even when the
// sweep itself is killed without a chance to clean up.
#include <fcntl.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <thread>

#include "running.h"
#include "sweep.h"

extern char** environ;

namespace korvel::sweep {

namespace {

using Clock = std::chrono::steady_clock;

volatile std::sig_atomic_t stop_signal = 0;

extern "C" void note_stop_signal(int signal) { stop_signal = signal; }

double seconds_since(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

struct Running {
  pid_t pid = -1;
  std::size_t index = 0;
  Clock::time_point start;
};

// This process's environment without the two variables a point sets, then
// the point's own values of them.
std::vector<std::string> point_environment(const PointJob& job, int threads) {
  std::vector<std::string> variables;
  for (char** entry = environ; *entry != nullptr; ++entry) {
    const std::string_view text = *entry;
    const std::string_view name = text.substr(0, text.find('='));
    if (name != SEED_VARIABLE && name != THREADS_VARIABLE) variables.emplace_back(text);
  }
  if (job.seed) variables.push_back(std::string(SEED_VARIABLE) + "=" + std::to_string(*job.seed));
  if (threads > 0) variables.push_back(std::string(THREADS_VARIABLE) + "=" + std::to_string(threads));
  return variables;
}

// Starts the program in the job's folder. Everything the child needs is
// prepared before fork, so that the child only makes async-signal-safe
// calls.
pid_t start_child(const std::string& program, const PointJob& job, int threads, std::string& error) {
  const std::string& folder = job.folder;
  const std::string log = folder + "/" + CONSOLE_FILE_NAME;
  std::vector<std::string> variables = point_environment(job, threads);
  std::vector<char*> envp;
  for (std::string& variable : variables) envp.push_back(variable.data());
  envp.push_back(nullptr);
  const std::string exec_failed = "korvel-sweep: cannot start " + program + "\n";
  std::fflush(stdout);
  std::fflush(stderr);
  const pid_t sweep = ::getpid();
  const pid_t pid = fork();
  if (pid < 0) {
    error = std::string("cannot start a process: ") + std::strerror(errno);
    return -1;
  }
  if (pid == 0) {
    ::setpgid(0, 0);
    // Killed with the sweep; a sweep that died before this call would be
    // missed, hence the check of the parent after it.
    if (::prctl(PR_SET_PDEATHSIG, SIGKILL) != 0 || ::getppid() != sweep) _exit(126);
    const int out = ::open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int in = ::open("/dev/null", O_RDONLY);
    if (out < 0 || in < 0 || ::chdir(folder.c_str()) != 0) _exit(126);
    ::dup2(in, STDIN_FILENO);
    ::dup2(out, STDOUT_FILENO);
    ::dup2(out, STDERR_FILENO);
    ::close(in);
    ::close(out);
    char* const argv[] = {const_cast<char*>(program.c_str()), nullptr};
    ::execve(program.c_str(), argv, envp.data());
    ssize_t ignored = ::write(STDERR_FILENO, exec_failed.data(), exec_failed.size());
    (void)ignored;
    _exit(127);
  }
  // Set here as well, so that the group exists before the parent signals it.
  ::setpgid(pid, pid);
  return pid;
}

// Kills the process group of every running point and waits for the
// programs; their points stay unfinished (no complete report).
void stop_running(std::vector<Running>& running, std::vector<JobOutcome>& outcomes, int signal) {
  for (const Running& child : running) ::kill(-child.pid, SIGKILL);
  for (const Running& child : running) {
    int status = 0;
    while (::waitpid(child.pid, &status, 0) < 0 && errno == EINTR) {
    }
    JobOutcome& outcome = outcomes[child.index];
    outcome.seconds = seconds_since(child.start);
    outcome.stopped = true;
    outcome.failure = "stopped by " + std::string(signal == SIGINT ? "SIGINT" : "SIGTERM") + " while running";
  }
  running.clear();
}

// Expected duration of a point from the points finished so far: a straight
// line in the generations of drift (the drift costs about the same per
// generation; sampling and testing cost the same at every point), fitted by
// least squares, or their mean while there are too few to fit.
double predicted_seconds(const std::vector<PointJob>& points, const std::vector<JobOutcome>& outcomes,
                         int t) {
  double n = 0, sx = 0, sy = 0, sxx = 0, sxy = 0;
  for (std::size_t i = 0; i < points.size(); ++i) {
    if (outcomes[i].seconds <= 0) continue;
    const double x = points[i].generations, y = outcomes[i].seconds;
    n += 1, sx += x, sy += y, sxx += x * x, sxy += x * y;
  }
  if (n == 0) return -1;
  const double spread = n * sxx - sx * sx;
  double slope = spread > 0 ? (n * sxy - sx * sy) / spread : 0;
  if (slope < 0) slope = 0;
  const double intercept = (sy - slope * sx) / n;
  return std::max(0.1 * sy / n, intercept + slope * t);
}

// Seconds of work left, spread over the processes that will run it; -1
// while nothing has finished to base it on.
double seconds_left(const std::vector<PointJob>& points, const std::vector<JobOutcome>& outcomes,
                    const std::vector<Running>& running, std::size_t next, std::size_t limit) {
  if (predicted_seconds(points, outcomes, 0) < 0) return -1;
  double work = 0;
  for (const Running& child : running) {
    const double expected = predicted_seconds(points, outcomes, points[child.index].generations);
    const double elapsed = seconds_since(child.start);
    work += std::max(expected - elapsed, 0.05 * expected);
  }
  for (std::size_t i = next; i < points.size(); ++i)
    work += predicted_seconds(points, outcomes, points[i].generations);
  const std::size_t remaining = running.size() + (points.size() - next);
  return remaining == 0 ? 0 : work / static_cast<double>(std::min(limit, remaining));
}

std::string exit_text(int status) {
  if (WIFEXITED(status)) return "exit status " + std::to_string(WEXITSTATUS(status));
  if (WIFSIGNALED(status)) return "ended by signal " + std::to_string(WTERMSIG(status));
  return "ended abnormally";
}

// How a point's program ended (`got` is what waitpid returned for it): a
// failure says why, with the program's last words from its console log.
JobOutcome ended(const PointJob& point, pid_t got, int status, Clock::time_point start) {
  JobOutcome outcome;
  outcome.seconds = seconds_since(start);
  outcome.ok = got > 0 && WIFEXITED(status) && WEXITSTATUS(status) == 0;
  if (outcome.ok) return outcome;
  outcome.failure = got < 0 ? std::string("lost track of the process: ") + std::strerror(errno)
                            : exit_text(status);
  std::string text;
  READ_WHOLE_FILE(point.folder + "/" + CONSOLE_FILE_NAME, text);
  const std::string message = PROGRAM_MESSAGE(text);
  if (!message.empty()) outcome.failure += "; the program said: " + message;
  return outcome;
}

class Progress {
 public:
  Progress(bool terminal, std::size_t total) : terminal_(terminal), total_(total), start_(Clock::now()) {}

  // A finished point: one line, on a terminal above the progress line.
  void finished(const std::string& line) {
    ++done_;
    clear();
    std::printf("%s  [%zu/%zu]\n", line.c_str(), done_, total_);
    std::fflush(stdout);
    shown_ = false;
  }

  void update(double seconds_left, std::size_t running) {
    if (!terminal_) return;
    std::string line = std::to_string(done_) + "/" + std::to_string(total_) + " points finished, " +
                       std::to_string(running) + " running, elapsed " + CLOCK_TEXT(seconds_since(start_));
    if (seconds_left >= 0 && running > 0) line += ", about " + CLOCK_TEXT(seconds_left) + " left";
    std::printf("\r\033[K%s", line.c_str());
    std::fflush(stdout);
    shown_ = true;
  }

  void close() {
    clear();
    std::fflush(stdout);
  }

 private:
  void clear() {
    if (terminal_ && shown_) std::printf("\r\033[K");
  }

  bool terminal_;
  std::size_t total_;
  std::size_t done_ = 0;
  bool shown_ = false;
  Clock::time_point start_;
};

}  // namespace

std::string CLOCK_TEXT(double seconds) {
  long long total = seconds < 0 ? 0 : static_cast<long long>(seconds + 0.5);
  char buffer[48];
  if (total >= 3600) {
    std::snprintf(buffer, sizeof buffer, "%lld:%02lld:%02lld", total / 3600, total / 60 % 60, total % 60);
  } else {
    std::snprintf(buffer, sizeof buffer, "%lld:%02lld", total / 60, total % 60);
  }
  return buffer;
}

CoreShare SHARE_CORES(int jobs, int threads_per_point, std::size_t job_count) {
  const int cores = CORES_OF_THE_PROCESS();
  CoreShare share{};
  share.parallel = jobs;
  if (share.parallel < 1)
    share.parallel = std::max(1, threads_per_point > 0 ? cores / threads_per_point : cores);
  share.running = std::max(1, std::min<int>(share.parallel, static_cast<int>(job_count)));
  share.threads = threads_per_point > 0 ? threads_per_point : std::max(1, cores / share.running);
  return share;
}

std::vector<JobOutcome> RUN_JOBS(const std::string& program, const std::vector<PointJob>& points, int jobs,
                                 int threads, bool terminal) {
  std::vector<JobOutcome> outcomes(points.size());
  std::vector<Running> running;
  std::size_t next = 0;
  std::size_t finished = 0;
  Progress progress(terminal, points.size());
  auto last_update = Clock::now() - std::chrono::seconds(1);
  const std::size_t limit = jobs < 1 ? 1 : static_cast<std::size_t>(jobs);

  while (finished < points.size()) {
    if (stop_signal != 0) {
      stop_running(running, outcomes, stop_signal);
      for (std::size_t i = next; i < points.size(); ++i) {
        outcomes[i].stopped = true;
        outcomes[i].failure = "not started: the sweep was stopped";
      }
      break;
    }
    while (running.size() < limit && next < points.size()) {
      std::string error;
      const pid_t pid = start_child(program, points[next], threads, error);
      if (pid < 0) {
        outcomes[next].failure = error;
        ++finished;
        progress.finished(points[next].label + " FAILED: " + error);
      } else {
        running.push_back({pid, next, Clock::now()});
      }
      ++next;
    }
    bool reaped = false;
    for (std::size_t i = 0; i < running.size();) {
      int status = 0;
      const pid_t got = ::waitpid(running[i].pid, &status, WNOHANG);
      if (got == 0 || (got < 0 && errno == EINTR)) {
        ++i;
        continue;
      }
      const Running child = running[i];
      running.erase(running.begin() + static_cast<std::ptrdiff_t>(i));
      const PointJob& point = points[child.index];
      const JobOutcome& outcome = outcomes[child.index] = ended(point, got, status, child.start);
      ++finished;
      reaped = true;
      progress.finished(point.label + (outcome.ok ? " done" : " FAILED") + " (" + point.description +
                        ") in " + CLOCK_TEXT(outcome.seconds) + (outcome.ok ? "" : ": " + outcome.failure));
    }
    if (terminal && (reaped || seconds_since(last_update) >= 1.0)) {
      progress.update(seconds_left(points, outcomes, running, next, limit), running.size());
      last_update = Clock::now();
    }
    if (!running.empty()) std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  progress.close();
  return outcomes;
}

void CATCH_STOP_SIGNALS() {
  struct sigaction action {};
  action.sa_handler = note_stop_signal;
  sigemptyset(&action.sa_mask);
  ::sigaction(SIGINT, &action, nullptr);
  ::sigaction(SIGTERM, &action, nullptr);
}

int STOP_SIGNAL() { return stop_signal; }

namespace {

// The name the sweep was started by, as typed, so that the hint can be
// pasted back; "korvel-sweep" when this process is some other program
// (a test calling the sweep directly).
std::string sweep_command_name() {
  std::ifstream file("/proc/self/cmdline", std::ios::binary);
  std::string first;
  std::getline(file, first, '\0');
  const std::size_t slash = first.rfind('/');
  const std::string base = slash == std::string::npos ? first : first.substr(slash + 1);
  return base == "korvel-sweep" ? first : "korvel-sweep";
}

// Words a shell takes as they are stay bare, for a readable command.
std::string shell_word(const std::string& word) {
  const bool plain = !word.empty() && word.find_first_not_of(
                                          "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"
                                          "0123456789_./=,:@%+-") == std::string::npos;
  return plain ? word : SHELL_QUOTE(word);
}

}  // namespace

std::string RESUME_COMMAND(const std::vector<std::string>& args) {
  std::string command = shell_word(sweep_command_name());
  if (std::find(args.begin(), args.end(), "--resume") == args.end()) command += " --resume";
  for (const std::string& arg : args) {
    if (arg != "--force") command += " " + shell_word(arg);
  }
  return command;
}

std::string SHELL_QUOTE(std::string_view text) {
  std::string quoted = "'";
  for (char c : text) {
    if (c == '\'') quoted += "'\\''";
    else quoted += c;
  }
  return quoted + "'";
}

std::string JOB_COMMAND(const std::string& program, const PointJob& job, int threads) {
  std::string command = "cd " + SHELL_QUOTE(job.folder) + " && ";
  if (threads > 0) command += std::string(THREADS_VARIABLE) + "=" + std::to_string(threads) + " ";
  if (job.seed) {
    command += std::string(SEED_VARIABLE) + "=" + std::to_string(*job.seed) + " ";
  } else {
    command += std::string("env -u ") + SEED_VARIABLE + " ";
  }
  return command + SHELL_QUOTE(program) + " </dev/null >" + CONSOLE_FILE_NAME + " 2>&1";
}

}  // namespace korvel::sweep
