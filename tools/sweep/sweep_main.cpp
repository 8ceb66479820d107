// The command line: plan the points, prepare their folders, run them (or
// print the commands that would), and build the curve from the results.
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <thread>

#include "sweep.h"

namespace korvel::sweep {

namespace {

namespace fs = std::filesystem;

constexpr const char* USAGE =
    "usage: korvel-sweep [--fst F1,F2,... | --generations T1,T2,...] [--ne N] [--jobs J]\n"
    "                    [--many-loci] [--out DIR] [--force] [--emit-jobs] [--program PATH]\n"
    "                    TEMPLATE.IN\n"
    "       korvel-sweep --collect DIR\n";

constexpr const char* HELP =
    "Runs the simulation once per level of differentiation and draws the power curve.\n"
    "\n"
    "  --fst LIST          expected F'st values to reach (default 0.001,0.0025,0.005,0.01,0.02);\n"
    "                      each gives the whole number of generations t nearest to\n"
    "                      F = 1 - (1 - 1/(2N))^t, at least 1\n"
    "  --generations LIST  generations of drift to run instead (0 = no drift)\n"
    "  --ne N              effective size for every point (default: the template's)\n"
    "  --jobs J            points run at the same time (default: the number of cores)\n"
    "  --many-loci         run korvel-ml instead of korvel\n"
    "  --out DIR           folder for the points and the curve (default: sweep)\n"
    "  --force             reuse an existing DIR\n"
    "  --emit-jobs         prepare the folders and print one shell command per point\n"
    "                      instead of running them\n"
    "  --collect DIR       build curve.csv and curve.svg from finished point folders\n"
    "  --program PATH      the simulation program to run (default: korvel or korvel-ml\n"
    "                      next to korvel-sweep, else on PATH)\n";

const char* const DEFAULT_FST = "0.001,0.0025,0.005,0.01,0.02";

// Files a point folder may hold from an earlier sweep.
const char* const POINT_FILES[] = {"KORVEL.IN",    "KORVEL.OUT",  "FST.OUT",     "SUBPOPS.OUT",
                                   "SAMPLES.OUT",  "LOCUSTST.OUT", "SUMTEST.OUT", "CONTTAB.XYZ",
                                   "console.log"};

struct Options {
  std::string fst_list;
  std::string generations_list;
  std::optional<int> ne;
  int jobs = 0;
  bool many_loci = false;
  std::string out = "sweep";
  bool force = false;
  bool emit_jobs = false;
  std::string collect;
  std::string program;
  std::string template_path;
  bool help = false;
};

class UsageError : public SweepError {
 public:
  using SweepError::SweepError;
};

std::vector<std::string> split_list(const std::string& list, const std::string& option) {
  std::vector<std::string> items;
  std::size_t start = 0;
  while (true) {
    const std::size_t comma = list.find(',', start);
    std::string item = list.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
    item.erase(0, item.find_first_not_of(' '));
    item.erase(item.find_last_not_of(' ') + 1);
    if (item.empty()) throw UsageError(option + " has an empty item in \"" + list + "\"");
    items.push_back(item);
    if (comma == std::string::npos) break;
    start = comma + 1;
  }
  return items;
}

long long parse_whole(const std::string& text, const std::string& what, long long low, long long high) {
  char* end = nullptr;
  errno = 0;
  const long long value = std::strtoll(text.c_str(), &end, 10);
  if (text.empty() || *end != '\0' || errno == ERANGE || value < low || value > high) {
    throw UsageError(what + " must be a whole number from " + std::to_string(low) + " to " +
                     std::to_string(high) + ", not \"" + text + "\"");
  }
  return value;
}

EXTENDED parse_fraction(const std::string& text) {
  char* end = nullptr;
  errno = 0;
  const EXTENDED value = std::strtold(text.c_str(), &end);
  if (text.empty() || *end != '\0' || errno == ERANGE || !std::isfinite(value)) {
    throw UsageError("\"" + text + "\" is not a number (in --fst)");
  }
  return value;
}

Options parse_options(const std::vector<std::string>& args) {
  Options options;
  for (std::size_t i = 0; i < args.size(); ++i) {
    std::string arg = args[i];
    std::string value;
    bool has_value = false;
    if (arg.rfind("--", 0) == 0 && arg.find('=') != std::string::npos) {
      value = arg.substr(arg.find('=') + 1);
      arg = arg.substr(0, arg.find('='));
      has_value = true;
    }
    const auto take = [&]() -> std::string {
      if (has_value) return value;
      if (i + 1 >= args.size()) throw UsageError(arg + " needs a value");
      return args[++i];
    };
    const auto no_value = [&]() {
      if (has_value) throw UsageError(arg + " takes no value");
    };
    if (arg == "--fst") options.fst_list = take();
    else if (arg == "--generations") options.generations_list = take();
    else if (arg == "--ne") options.ne = static_cast<int>(parse_whole(take(), "--ne", 1, MAX_DRIFT_SIZE));
    else if (arg == "--jobs") options.jobs = static_cast<int>(parse_whole(take(), "--jobs", 1, 4096));
    else if (arg == "--out") options.out = take();
    else if (arg == "--collect") options.collect = take();
    else if (arg == "--program") options.program = take();
    else if (arg == "--many-loci") no_value(), options.many_loci = true;
    else if (arg == "--force") no_value(), options.force = true;
    else if (arg == "--emit-jobs") no_value(), options.emit_jobs = true;
    else if (arg == "--help" || arg == "-h") options.help = true;
    else if (arg.size() > 1 && arg[0] == '-') throw UsageError("unknown option " + arg);
    else if (!options.template_path.empty()) throw UsageError("more than one template: " + arg);
    else options.template_path = arg;
  }
  if (options.help) return options;
  if (!options.fst_list.empty() && !options.generations_list.empty()) {
    throw UsageError("give either --fst or --generations, not both");
  }
  if (!options.collect.empty()) {
    if (!options.template_path.empty()) throw UsageError("--collect takes no template");
    return options;
  }
  if (options.template_path.empty()) throw UsageError("no template given");
  if (options.out.empty()) throw UsageError("--out needs a folder name");
  return options;
}

bool executable(const fs::path& path) {
  std::error_code ec;
  return fs::is_regular_file(path, ec) && ::access(path.c_str(), X_OK) == 0;
}

// The simulation program: as given, else next to this program (installed
// side by side, or one folder up in a build tree), else on PATH.
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

struct PlannedPoint {
  int generations = 0;
  std::optional<EXTENDED> target;
};

std::vector<PlannedPoint> plan_points(const Options& options, int drift_size) {
  std::vector<PlannedPoint> points;
  if (!options.generations_list.empty()) {
    for (const std::string& item : split_list(options.generations_list, "--generations")) {
      points.push_back({static_cast<int>(parse_whole(item, "a number of generations", 0, MAX_GENERATIONS)), {}});
    }
    return points;
  }
  const std::string list = options.fst_list.empty() ? DEFAULT_FST : options.fst_list;
  for (const std::string& item : split_list(list, "--fst")) {
    const EXTENDED target = parse_fraction(item);
    points.push_back({GENERATIONS_FOR_FST(target, drift_size), target});
  }
  return points;
}

std::string point_label(std::size_t index, std::size_t count) {
  const std::size_t width = std::max<std::size_t>(2, std::to_string(count).size());
  std::string number = std::to_string(index + 1);
  return "point-" + std::string(width - number.size(), '0') + number;
}

std::string describe(const PlannedPoint& point, int drift_size) {
  char buffer[128];
  std::snprintf(buffer, sizeof buffer, "t = %d, N = %d, expected F'st %.6Lf", point.generations, drift_size,
                EXPECTED_FST(drift_size, point.generations));
  return buffer;
}

void write_file(const fs::path& path, const std::string& content) {
  std::ofstream file(path, std::ios::binary | std::ios::trunc);
  file << content;
  file.close();
  if (!file) throw SweepError("cannot write " + path.string());
}

bool is_point_folder(const std::string& name) {
  if (name.rfind("point-", 0) != 0 || name.size() == 6) return false;
  return std::all_of(name.begin() + 6, name.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// Empties the point folders of an earlier sweep in DIR (only the files a
// sweep makes; a folder left empty goes too).
void clear_old_points(const fs::path& dir) {
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator(dir, ec)) {
    if (!entry.is_directory() || !is_point_folder(entry.path().filename().string())) continue;
    for (const char* name : POINT_FILES) fs::remove(entry.path() / name, ec);
    if (fs::is_empty(entry.path(), ec)) fs::remove(entry.path(), ec);
  }
  fs::remove(dir / "curve.csv", ec);
  fs::remove(dir / "curve.svg", ec);
}

// The template is never written or deleted, even when it is one of the
// point files of an earlier sweep in DIR.
void refuse_template_inside(const fs::path& dir, const std::string& template_path) {
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator(dir, ec)) {
    if (!entry.is_directory() || !is_point_folder(entry.path().filename().string())) continue;
    if (fs::equivalent(entry.path() / "KORVEL.IN", template_path, ec)) {
      throw SweepError("the template " + template_path + " is a point file of " + dir.string() +
                       "; copy it elsewhere first");
    }
  }
}

void prepare_out_dir(const Options& options) {
  const fs::path dir = options.out;
  std::error_code ec;
  if (fs::exists(dir, ec)) {
    if (!options.force) {
      throw SweepError(options.out + " already exists; choose another --out or add --force to reuse it");
    }
    if (!fs::is_directory(dir, ec)) throw SweepError(options.out + " exists and is not a folder");
    refuse_template_inside(dir, options.template_path);
    clear_old_points(dir);
    return;
  }
  fs::create_directories(dir, ec);
  if (ec) throw SweepError("cannot create " + options.out + ": " + ec.message());
}

// Writes curve.csv and curve.svg, reports failed points; returns the exit
// status.
int finish_curve(const fs::path& dir, const std::vector<PointResult>& results, bool announce) {
  write_file(dir / "curve.csv", CURVE_CSV(results));
  write_file(dir / "curve.svg", CURVE_SVG(results));
  std::size_t failed = 0;
  for (const PointResult& point : results) {
    if (point.ok) continue;
    ++failed;
    std::fprintf(stderr, "korvel-sweep: %s failed: %s\n", (dir / point.folder).c_str(), point.failure.c_str());
  }
  if (announce) {
    std::printf("curve: %s and %s\n", (dir / "curve.csv").c_str(), (dir / "curve.svg").c_str());
  }
  if (failed > 0) {
    std::fprintf(stderr, "korvel-sweep: %zu of %zu points failed\n", failed, results.size());
  }
  return failed > 0 || results.empty() ? 1 : 0;
}

int collect(const Options& options) {
  const fs::path dir = options.collect;
  std::error_code ec;
  if (!fs::is_directory(dir, ec)) throw SweepError(options.collect + " is not a folder");
  std::vector<std::string> folders;
  for (const auto& entry : fs::directory_iterator(dir, ec)) {
    const std::string name = entry.path().filename().string();
    if (entry.is_directory() && is_point_folder(name)) folders.push_back(name);
  }
  // Numeric order, whatever the width of the numbers.
  std::sort(folders.begin(), folders.end(), [](const std::string& a, const std::string& b) {
    return std::make_pair(a.size(), a) < std::make_pair(b.size(), b);
  });
  if (folders.empty()) throw SweepError("no point folders (point-NN) in " + options.collect);
  std::vector<PointResult> results;
  for (const std::string& folder : folders) results.push_back(COLLECT_POINT(dir.string(), folder));
  return finish_curve(dir, results, true);
}

int sweep(const Options& options) {
  const SweepTemplate tmpl = READ_TEMPLATE(options.template_path);
  const int drift_size = options.ne ? *options.ne : static_cast<int>(tmpl.drift_size.value);
  if (drift_size < 1 || drift_size > MAX_DRIFT_SIZE) {
    throw SweepError(options.template_path + " line " + std::to_string(tmpl.drift_size.line) +
                     ": the effective size " + std::to_string(drift_size) + " is outside 1.." +
                     std::to_string(MAX_DRIFT_SIZE) + "; give one with --ne");
  }
  const std::vector<PlannedPoint> plan = plan_points(options, drift_size);
  const std::string program = find_program(options);
  prepare_out_dir(options);

  const fs::path dir = fs::absolute(options.out).lexically_normal();
  std::vector<PointJob> jobs;
  for (std::size_t i = 0; i < plan.size(); ++i) {
    PointJob job;
    job.label = point_label(i, plan.size());
    job.folder = (dir / job.label).string();
    job.description = describe(plan[i], drift_size);
    job.generations = plan[i].generations;
    std::error_code ec;
    fs::create_directories(job.folder, ec);
    if (ec) throw SweepError("cannot create " + job.folder + ": " + ec.message());
    write_file(fs::path(job.folder) / "KORVEL.IN", REWRITE_TEMPLATE(tmpl, drift_size, plan[i].generations));
    jobs.push_back(job);
  }

  if (options.emit_jobs) {
    for (const PointJob& job : jobs) std::printf("%s\n", JOB_COMMAND(program, job.folder).c_str());
    return 0;
  }

  const bool terminal = ::isatty(STDOUT_FILENO) == 1;
  int parallel = options.jobs;
  if (parallel < 1) parallel = std::max(1u, std::thread::hardware_concurrency());
  if (terminal) {
    std::printf("korvel-sweep: %zu points with %s, %d at a time, in %s\n", jobs.size(),
                fs::path(program).filename().c_str(), std::min<int>(parallel, static_cast<int>(jobs.size())),
                dir.c_str());
    for (std::size_t i = 0; i < jobs.size(); ++i) {
      std::string target;
      if (plan[i].target) {
        char buffer[64];
        std::snprintf(buffer, sizeof buffer, "  (target %.6Lg)", *plan[i].target);
        target = buffer;
      }
      std::printf("  %s: %s%s\n", jobs[i].label.c_str(), jobs[i].description.c_str(), target.c_str());
    }
    std::fflush(stdout);
  }
  const std::vector<JobOutcome> outcomes = RUN_JOBS(program, jobs, parallel, terminal);

  std::vector<PointResult> results;
  for (std::size_t i = 0; i < jobs.size(); ++i) {
    PointResult result = COLLECT_POINT(dir.string(), jobs[i].label);
    if (!outcomes[i].ok) {
      result.ok = false;
      result.failure = outcomes[i].failure;
    }
    results.push_back(result);
  }
  return finish_curve(dir, results, true);
}

}  // namespace

int SWEEP_MAIN(const std::vector<std::string>& args) {
  try {
    const Options options = parse_options(args);
    if (options.help) {
      std::printf("%s\n%s", USAGE, HELP);
      return 0;
    }
    return options.collect.empty() ? sweep(options) : collect(options);
  } catch (const UsageError& error) {
    std::fprintf(stderr, "korvel-sweep: %s\n%s", error.what(), USAGE);
    return 2;
  } catch (const SweepError& error) {
    std::fprintf(stderr, "korvel-sweep: %s\n", error.what());
    return 1;
  } catch (const std::exception& error) {
    std::fprintf(stderr, "korvel-sweep: %s\n", error.what());
    return 1;
  }
}

}  // namespace korvel::sweep
