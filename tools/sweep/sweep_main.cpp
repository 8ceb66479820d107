// The command line: plan the grid of points, prepare their folders (keeping
// finished ones with --resume), run them here, print them as a job list or
// write a Slurm job array, and build the curves and the design table from
// the results.
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include "common/capacity_profiles.h"
#include "common/file_names.h"
#include "common/korvel_version.h"
#include "figure.h"
#include "search.h"
#include "sweep.h"
#include "tests/locus_tests.h"
#ifdef KORVEL_SWEEP_READS_DATA
#include "init.h"
#endif

namespace korvel::sweep {

namespace {

namespace fs = std::filesystem;

constexpr const char* USAGE =
    "usage: korvel-sweep [--fst F1,F2,... | --generations T1,T2,...] [--sample-sizes N1,N2,...]\n"
    "                    [--loci K1,K2,...] [--ne N] [--target-power P] [--seed S] [--no-null]\n"
    "                    [--title TEXT] [--figure LIST] [--jobs J] [--threads-per-point T] [--many-loci]\n"
    "                    [--out DIR] [--force | --resume] [--program PATH] [--keep-details]\n"
    "                    [--runs R] [--precision W [--max-runs R] | --emit-jobs |\n"
    "                    --slurm [--submit] [--sbatch-arg ARG]...]\n"
    "                    TEMPLATE.IN | DATA [korvel-init's design options]\n"
    "       korvel-sweep --find sample-size|loci --fst F1,F2,... [--target-power P] [--range LO,HI]\n"
    "                    [--tolerance K] [--max-runs R] [--runs R] [--seed S] [--jobs J] [--keep-details]\n"
    "                    [--figure svg,png,pdf] [--out DIR] [--force | --resume] TEMPLATE.IN | DATA\n"
    "       korvel-sweep --collect DIR [--target-power P] [--title TEXT] [--figure LIST]\n"
    "       korvel-sweep --help | --version\n";

constexpr const char* HELP =
    "Runs the simulation once per point of a design grid and answers the planning question:\n"
    "which sample size (or number of loci) reaches the target power at each F'st.\n"
    "\n"
    "  --fst LIST             expected F'st values (default 0.001,0.0025,0.005,0.01,0.02); each\n"
    "                         gives the whole number of generations t nearest to\n"
    "                         F = 1 - (1 - 1/(2N))^t, at least 1; 0 means no drift\n"
    "  --generations LIST     generations of drift to run instead (0 = no drift)\n"
    "  --sample-sizes LIST    diploids sampled per population (the same for every population)\n"
    "  --loci LIST            use the first K loci of the template\n"
    "  --ne N                 effective size for every point (default: the template's)\n"
    "  --target-power P       power the design table looks for (default 0.8)\n"
    "  --seed S               derive every point's generator seed from S (0..4294967295), so that\n"
    "                         the same command gives the same results anywhere\n"
    "  --no-null              leave out the no-drift point (F'st 0) that checks each curve's\n"
    "                         calibration\n"
    "  --title TEXT           title of the figure\n"
    "  --figure LIST          formats of the figures: svg, png and/or pdf (default svg)\n"
    "  --jobs J               points run at the same time (default: the cores, or the cores\n"
    "                         divided by --threads-per-point)\n"
    "  --threads-per-point T  threads of each point (default: the cores shared between the\n"
    "                         points that run at once; 1 with --emit-jobs; Slurm's\n"
    "                         --cpus-per-task with --slurm)\n"
    "  --many-loci            run korvel-ml instead of korvel\n"
    "  --out DIR              folder for the points and the results (default: sweep)\n"
    "  --force                empty an existing DIR of an earlier sweep first\n"
    "  --resume               keep every finished point of DIR and run only the others\n"
    "  --emit-jobs            prepare the folders and print one shell command per point\n"
    "  --slurm                prepare the folders and write DIR/sweep.sbatch, a Slurm job array\n"
    "  --submit               with --slurm: hand it to sbatch\n"
    "  --sbatch-arg ARG       with --slurm: one more #SBATCH line (repeatable)\n"
    "  --collect DIR          build curve.csv, the figures and design.csv from DIR's points\n"
    "  --program PATH         the simulation program (default: korvel or korvel-ml next to\n"
    "                         korvel-sweep, else on PATH)\n"
    "  --runs R               replicate runs of every point (or probe batch) instead of the\n"
    "                         template's\n"
    "  --precision W          run every point in batches until its 95 % interval is within +-W\n"
    "                         (or --max-runs is spent)\n"
    "  --keep-details         keep each point's (or probe's) detailed files (default: the erase\n"
    "                         switch is set, so only KORVEL.OUT and console.log stay)\n"
    "\n"
    "The search (--find sample-size or --find loci) answers for every F'st and test the smallest\n"
    "sample size (or number of loci, the first K of the template) whose power reaches the target,\n"
    "with a 95 % interval, probing a few values in seeded batches. It runs here only.\n"
    "  --range LO,HI          values searched (default 2,1000; loci: 1 to the template's)\n"
    "  --tolerance K          stop when the interval is within +-K of the answer (default: the\n"
    "                         larger of 1 and 5 % of the answer)\n"
    "  --max-runs R           replicate runs allowed per answer (default 50 batches)\n"
    "\n"
    "Instead of a template, a Genepop, VCF or BCF file can be given with korvel-init's design\n"
    "options (--populations, --sample(s), --ne, --exact, --tests, --pop, --popmap, --pass-only,\n"
    "--allow-truncated, --max-loci, --max-alleles, --format); the template made is written to\n"
    "DIR/template.in.\n"
    "\n"
    "  --help                 this text\n"
    "  --version              the version of korvel-sweep\n"
    "\n"
    "Exit status: 0 done; 1 a point failed or nothing could be done; 2 bad usage; 3 the grid,\n"
    "--collect or search finished but its answer is flagged: a miscalibrated test, a point that\n"
    "warned about the exact test's resolution, a target not reached in the range tried, or (the\n"
    "search) its budget spent. Stopped by SIGINT or SIGTERM: 130 or 143.\n";

// korvel-init's options that shape the template made from a data file;
// --ne is also the sweep's own.
constexpr const char* DATA_VALUE_OPTIONS[] = {"--populations", "--sample", "--samples", "--exact",
                                              "--tests",       "--pop",    "--popmap",  "--max-loci",
                                              "--max-alleles", "--format"};

const char* const DEFAULT_FST = "0.001,0.0025,0.005,0.01,0.02";
constexpr const char* SEED_FILE = "seed.txt";
constexpr const char* SETTINGS_FILE = "sweep-settings.txt";
constexpr const char* SBATCH_FILE = "sweep.sbatch";
// The figures: power against F'st, and against the axis a grid varies.
constexpr const char* FST_FIGURE = "curve";
constexpr const char* SIZE_FIGURE = "power-by-sample-size";
constexpr const char* LOCI_FIGURE = "power-by-loci";
constexpr const char* RESULT_FILES[] = {"curve.csv",
                                        "design.csv",
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
constexpr int MAX_SEED_DIGITS = 10;

struct Options {
  std::string fst_list;
  std::string generations_list;
  std::string sample_sizes_list;
  std::string loci_list;
  std::optional<int> ne;
  std::optional<EXTENDED> target_power;
  std::optional<std::uint32_t> seed;
  bool no_null = false;
  std::optional<std::string> title;
  std::vector<std::string> figure_formats{"svg"};
  int jobs = 0;
  int threads_per_point = 0;
  bool many_loci = false;
  std::string out = "sweep";
  bool force = false;
  bool resume = false;
  bool emit_jobs = false;
  bool slurm = false;
  bool submit = false;
  std::vector<std::string> sbatch_args;
  std::string collect;
  std::string program;
  std::string template_path;
  bool help = false;
  bool version = false;
  std::vector<std::string> given;      // the options given, for --collect's check
  std::vector<std::string> arguments;  // the whole command line, for the resume hint
  std::optional<long long> runs;
  std::string find;  // "sample-size" or "loci"
  std::string range;
  std::optional<EXTENDED> tolerance;
  std::optional<long long> max_runs;
  std::optional<EXTENDED> precision;
  bool keep_details = false;
  std::vector<std::string> data_args;  // korvel-init's options, for a data file
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
  if (text.empty() || *end != '\0' || errno == ERANGE || value < low || value > high ||
      text.find_first_not_of("0123456789") != std::string::npos) {
    throw UsageError(what + " must be a whole number from " + std::to_string(low) + " to " +
                     std::to_string(high) + ", not \"" + text + "\"");
  }
  return value;
}

EXTENDED parse_real(const std::string& text, const std::string& option) {
  char* end = nullptr;
  errno = 0;
  const EXTENDED value = std::strtold(text.c_str(), &end);
  if (text.empty() || *end != '\0' || errno == ERANGE || !std::isfinite(value)) {
    throw UsageError("\"" + text + "\" is not a number (in " + option + ")");
  }
  return value;
}

std::vector<int> parse_whole_list(const std::string& list, const std::string& option, int low, int high) {
  std::vector<int> values;
  for (const std::string& item : split_list(list, option)) {
    const int value = static_cast<int>(parse_whole(item, "each value of " + option, low, high));
    if (std::find(values.begin(), values.end(), value) != values.end()) {
      throw UsageError(option + " names " + item + " twice");
    }
    values.push_back(value);
  }
  return values;
}

Options parse_options(const std::vector<std::string>& args) {
  Options options;
  options.arguments = args;
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
    const auto flag = [&](bool& target) {
      if (has_value) throw UsageError(arg + " takes no value");
      target = true;
    };
    if (arg.rfind("-", 0) == 0 && arg.size() > 1) options.given.push_back(arg);
    if (std::find(std::begin(DATA_VALUE_OPTIONS), std::end(DATA_VALUE_OPTIONS), arg) !=
        std::end(DATA_VALUE_OPTIONS)) {
      options.data_args.push_back(arg);
      options.data_args.push_back(take());
    } else if (arg == "--pass-only" || arg == "--allow-truncated") {
      if (has_value) throw UsageError(arg + " takes no value");
      options.data_args.push_back(arg);
    } else if (arg == "--runs") options.runs = parse_whole(take(), "--runs", 1, 2147483647LL);
    else if (arg == "--find") {
      options.find = take();
      if (options.find != "sample-size" && options.find != "loci")
        throw UsageError("--find takes sample-size or loci, not \"" + options.find + "\"");
    } else if (arg == "--range") options.range = take();
    else if (arg == "--tolerance") {
      const EXTENDED tolerance = parse_real(take(), "--tolerance");
      if (!(tolerance >= 0)) throw UsageError("--tolerance must be 0 or more");
      options.tolerance = tolerance;
    } else if (arg == "--max-runs") options.max_runs = parse_whole(take(), "--max-runs", 1, 1000000000000LL);
    else if (arg == "--keep-details") flag(options.keep_details);
    else if (arg == "--precision") {
      const EXTENDED precision = parse_real(take(), "--precision");
      if (!(precision > 0 && precision < 0.5L)) throw UsageError("--precision must be above 0 and below 0.5");
      options.precision = precision;
    } else if (arg == "--fst") options.fst_list = take();
    else if (arg == "--generations") options.generations_list = take();
    else if (arg == "--sample-sizes") options.sample_sizes_list = take();
    else if (arg == "--loci") options.loci_list = take();
    else if (arg == "--ne") options.ne = static_cast<int>(parse_whole(take(), "--ne", 1, MAX_DIPLOIDS));
    else if (arg == "--target-power") {
      const EXTENDED power = parse_real(take(), "--target-power");
      if (!(power > 0.0L && power <= 1.0L)) throw UsageError("--target-power must be above 0 and at most 1");
      options.target_power = power;
    } else if (arg == "--seed") {
      const std::string text = take();
      if (text.size() > MAX_SEED_DIGITS)
        throw UsageError("--seed must be a whole number from 0 to 4294967295");
      options.seed = static_cast<std::uint32_t>(parse_whole(text, "--seed", 0, 4294967295LL));
    } else if (arg == "--title") options.title = take();
    else if (arg == "--figure") options.figure_formats = PARSE_FIGURE_FORMATS(take());
    else if (arg == "--jobs") options.jobs = static_cast<int>(parse_whole(take(), "--jobs", 1, 4096));
    else if (arg == "--threads-per-point")
      options.threads_per_point = static_cast<int>(parse_whole(take(), "--threads-per-point", 1, 4096));
    else if (arg == "--out") options.out = take();
    else if (arg == "--collect") options.collect = take();
    else if (arg == "--program") options.program = take();
    else if (arg == "--sbatch-arg") options.sbatch_args.push_back(take());
    else if (arg == "--no-null") flag(options.no_null);
    else if (arg == "--many-loci") flag(options.many_loci);
    else if (arg == "--force") flag(options.force);
    else if (arg == "--resume") flag(options.resume);
    else if (arg == "--emit-jobs") flag(options.emit_jobs);
    else if (arg == "--slurm") flag(options.slurm);
    else if (arg == "--submit") flag(options.submit);
    else if (arg == "--help" || arg == "-h") options.help = true;
    else if (arg == "--version") options.version = true;
    else if (arg.size() > 1 && arg[0] == '-') throw UsageError("unknown option " + arg);
    else if (!options.template_path.empty()) throw UsageError("more than one template: " + arg);
    else options.template_path = arg;
  }
  if (options.help || options.version) return options;
  if (!options.collect.empty()) {
    if (!options.template_path.empty()) throw UsageError("--collect takes no template");
    for (const std::string& given : options.given) {
      if (given != "--collect" && given != "--target-power" && given != "--title" && given != "--figure") {
        throw UsageError(given + " does not apply to --collect");
      }
    }
    return options;
  }
  if (!options.fst_list.empty() && !options.generations_list.empty()) {
    throw UsageError("give either --fst or --generations, not both");
  }
  if (options.force && options.resume) throw UsageError("give either --force or --resume, not both");
  if (options.emit_jobs && options.slurm) throw UsageError("give either --emit-jobs or --slurm, not both");
  if (options.submit && !options.slurm) throw UsageError("--submit needs --slurm");
  if (!options.sbatch_args.empty() && !options.slurm) throw UsageError("--sbatch-arg needs --slurm");
  if (options.template_path.empty()) throw UsageError("no template given");
  const bool searching = !options.find.empty();
  if (searching) {
    if (options.precision) throw UsageError("--precision is for grids; --find has --tolerance");
    if (options.emit_jobs || options.slurm)
      throw UsageError(
          "--find runs its probes here, one round after another; --emit-jobs and --slurm are for grids");
    if (!options.generations_list.empty()) throw UsageError("--find takes --fst, not --generations");
    if (options.fst_list.empty()) throw UsageError("--find needs --fst");
    if (!options.sample_sizes_list.empty() || !options.loci_list.empty())
      throw UsageError("--find chooses the values itself; leave out --sample-sizes and --loci");
  } else {
    const auto given = [&](const char* name) {
      return std::find(options.given.begin(), options.given.end(), name) != options.given.end();
    };
    for (const char* only : {"--range", "--tolerance"}) {
      if (given(only)) throw UsageError(std::string(only) + " needs --find");
    }
    if (given("--max-runs") && !options.precision) throw UsageError("--max-runs needs --find or --precision");
    if (options.precision && (options.emit_jobs || options.slurm))
      throw UsageError(
          "--precision runs its batches here, one round after another; leave out --emit-jobs and --slurm");
  }
  if (options.out.empty()) throw UsageError("--out needs a folder name");
  return options;
}

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

// ---- The plan ------------------------------------------------------------

struct PlannedPoint {
  PointValues values;
  std::optional<EXTENDED> target;
  std::string label;
  std::string input;  // the point's KORVEL.IN
  std::optional<std::uint32_t> seed;
};

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
         split_list(options.fst_list.empty() ? DEFAULT_FST : options.fst_list, "--fst")) {
      const EXTENDED target = parse_real(item, "--fst");
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

std::string sample_text(const SweepTemplate& tmpl, const PointValues& values) {
  if (values.sample_size) return std::to_string(*values.sample_size);
  const auto [low, high] = std::minmax_element(tmpl.facts.sample_sizes.begin(),
                                               tmpl.facts.sample_sizes.end());
  return *low == *high ? std::to_string(*low) : std::to_string(*low) + "-" + std::to_string(*high);
}

// Which point it is, in the point's second comment line (at most 80
// characters are copied to its report) and in progress lines.
std::string describe(const SweepTemplate& tmpl, const PointValues& values) {
  char buffer[160];
  std::snprintf(buffer, sizeof buffer, "F'st %.6Lf, t = %d, Ne = %d, n = %s, %d loci",
                EXPECTED_FST(values.drift_size, values.generations), values.generations, values.drift_size,
                sample_text(tmpl, values).c_str(), values.loci.value_or(tmpl.facts.loci));
  return buffer;
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
    point.input = REWRITE_TEMPLATE(tmpl, point.values, "korvel-sweep: " + describe(tmpl, point.values),
                                   point_run_settings(options));
    if (options.seed) point.seed = POINT_SEED(*options.seed, point.values);
  }
  return plan;
}

// ---- Folders -------------------------------------------------------------

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

// The further batches of a point run with --precision: batch-2, batch-3,
// ... inside its folder, in order.
std::vector<std::string> batch_folders(const fs::path& point) {
  std::vector<std::string> batches;
  std::error_code ec;
  for (int number = 2; fs::is_directory(point / ("batch-" + std::to_string(number)), ec); ++number) {
    batches.push_back("batch-" + std::to_string(number));
  }
  return batches;
}

int finished_batches(const fs::path& point) {
  int finished = 0;
  for (const std::string& name : batch_folders(point)) {
    if (!COLLECT_POINT(point.string(), name).ok) break;
    ++finished;
  }
  return finished;
}

// A point's result with the counts of its finished further batches added:
// their runs and rejections, and the mean F'st weighted by runs.
PointResult collect_with_batches(const fs::path& dir, const std::string& label) {
  PointResult point = COLLECT_POINT(dir.string(), label);
  if (!point.ok) return point;
  EXTENDED weighted_fst = std::strtold(point.mean_fst_text.c_str(), nullptr) *
                          static_cast<EXTENDED>(point.runs);
  bool added = false;
  for (const std::string& name : batch_folders(dir / label)) {
    const PointResult batch = COLLECT_POINT((dir / label).string(), name);
    if (!batch.ok) break;
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

// Removes the files a sweep makes in a point folder (and the folder when
// that leaves it empty).
void clear_point(const fs::path& folder) {
  std::error_code ec;
  fs::remove(folder / INPUT_FILE_NAME, ec);
  fs::remove(folder / SUMMARY_FILE_NAME, ec);
  for (const char* name : DETAILED_OUTPUT_FILES) fs::remove(folder / name, ec);
  fs::remove(folder / CONTTAB_FILE_NAME, ec);
  fs::remove(folder / CONSOLE_FILE_NAME, ec);
  fs::remove(folder / SEED_FILE, ec);
  for (const std::string& batch : batch_folders(folder)) {
    clear_point(folder / batch);
  }
  if (fs::is_empty(folder, ec)) fs::remove(folder, ec);
}

std::string seed_text(const std::optional<std::uint32_t>& seed) {
  return seed ? std::to_string(*seed) + "\n" : "";
}

// A point of an earlier run of the same command that has finished: the same
// KORVEL.IN and seed, and a complete report.
bool finished_point(const fs::path& dir, const PlannedPoint& point) {
  const fs::path folder = dir / point.label;
  std::string input, seed;
  if (!READ_WHOLE_FILE(folder / INPUT_FILE_NAME, input) || input != point.input) return false;
  const bool has_seed = READ_WHOLE_FILE(folder / SEED_FILE, seed);
  if (has_seed != point.seed.has_value() || (has_seed && seed != seed_text(point.seed))) return false;
  return COLLECT_POINT(dir.string(), point.label).ok;
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

// Prepares DIR and every point folder; returns the points that still have
// to run (all of them unless resuming).
std::vector<const PlannedPoint*> prepare_points(const Options& options, const fs::path& dir,
                                                const std::vector<PlannedPoint>& plan) {
  std::error_code ec;
  if (fs::exists(dir, ec)) {
    if (!options.force && !options.resume) {
      throw SweepError(options.out +
                       " already exists; choose another --out, add --resume to continue its sweep "
                       "or --force to start it again");
    }
    if (!fs::is_directory(dir, ec)) throw SweepError(options.out + " exists and is not a folder");
    refuse_template_inside(dir, options.template_path);
  } else {
    fs::create_directories(dir, ec);
    if (ec) throw SweepError("cannot create " + options.out + ": " + ec.message());
  }
  std::map<std::string, const PlannedPoint*> planned;
  for (const PlannedPoint& point : plan) planned[point.label] = &point;
  std::vector<std::string> kept;
  for (const std::string& folder : point_folders(dir)) {
    const auto found = planned.find(folder);
    if (options.resume && found != planned.end() && finished_point(dir, *found->second)) {
      kept.push_back(folder);
    } else {
      clear_point(dir / folder);
    }
  }
  for (const char* name : RESULT_FILES) fs::remove(dir / name, ec);

  std::vector<const PlannedPoint*> to_run;
  for (const PlannedPoint& point : plan) {
    if (std::find(kept.begin(), kept.end(), point.label) != kept.end()) continue;
    const fs::path folder = dir / point.label;
    fs::create_directories(folder, ec);
    if (ec) throw SweepError("cannot create " + folder.string() + ": " + ec.message());
    write_file(folder / INPUT_FILE_NAME, point.input);
    if (point.seed) write_file(folder / SEED_FILE, seed_text(point.seed));
    to_run.push_back(&point);
  }
  return to_run;
}

// ---- Results -------------------------------------------------------------

struct Settings {
  std::string title;
  EXTENDED target_power = 0.8L;
  std::vector<std::string> figure_formats{"svg"};  // from the command line, not stored
};

std::string settings_text(const Settings& settings) {
  char power[32];
  std::snprintf(power, sizeof power, "%.6Lg", settings.target_power);
  return "title=" + settings.title + "\ntarget_power=" + power + "\n";
}

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

// Writes curve.csv, the figures and design.csv, prints the design table and
// what failed or is miscalibrated; returns the exit status: 1 when a point
// failed, else 3 when the answer is flagged, as the search does.
int finish(const fs::path& dir, const std::vector<PointResult>& results, const Settings& settings) {
  const Analysis analysis = ANALYSE(results);
  const DesignTable table = DESIGN_TABLE(analysis, settings.target_power);
  write_file(dir / "curve.csv", CURVE_CSV(results, analysis));
  const std::vector<std::string> figures = draw_figures(dir, results, analysis, settings);
  write_file(dir / "design.csv", DESIGN_CSV(table));
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
  if (folders.empty()) throw SweepError("no point folders (point-NN) in " + options.collect);
  Settings settings = read_settings(dir);
  if (options.title) settings.title = *options.title;
  if (options.target_power) settings.target_power = *options.target_power;
  settings.figure_formats = options.figure_formats;
  std::vector<PointResult> results;
  for (const std::string& folder : folders) results.push_back(collect_with_batches(dir, folder));
  return finish(dir, results, settings);
}

std::vector<PointJob> point_jobs(const fs::path& dir, const SweepTemplate& tmpl,
                                 const std::vector<const PlannedPoint*>& points) {
  std::vector<PointJob> jobs;
  for (const PlannedPoint* point : points) {
    PointJob job;
    job.label = point->label;
    job.folder = (dir / point->label).string();
    job.description = describe(tmpl, point->values);
    job.generations = point->values.generations;
    job.seed = point->seed;
    jobs.push_back(job);
  }
  return jobs;
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

std::size_t stopped_points(const std::vector<JobOutcome>& outcomes) {
  return static_cast<std::size_t>(std::count_if(outcomes.begin(), outcomes.end(),
                                                [](const JobOutcome& outcome) { return outcome.stopped; }));
}

// A sweep stopped by SIGINT or SIGTERM: its running points were killed and
// stay unfinished; says how to continue. Exit status as a shell reports a
// program ended by the signal.
int stopped(const Options& options, int signal, std::size_t left) {
  std::fprintf(
      stderr,
      "korvel-sweep: stopped by %s; %zu point%s left unfinished in %s (the finished ones are kept).\n"
      "To continue: %s\n",
      signal == SIGINT ? "SIGINT" : "SIGTERM", left, left == 1 ? "" : "s", options.out.c_str(),
      RESUME_COMMAND(options.arguments).c_str());
  return 128 + signal;
}

// ---- Template or data ------------------------------------------------------

// The template the sweep works from: the file itself when it is a KORVEL.IN,
// else the one korvel-init makes from it as data.
struct Source {
  SweepTemplate tmpl;
  bool many_loci = false;
  std::string made_text;  // the template made from data
  std::string summary;    // korvel-init's summary of the data
  std::vector<std::string> data_lines;
};

#ifdef KORVEL_SWEEP_READS_DATA
Source from_data(const Options& options, const fs::path& dir) {
  std::vector<std::string> args = options.data_args;
  if (options.ne) {
    args.push_back("--ne");
    args.push_back(std::to_string(*options.ne));
  }
  if (options.runs) {
    args.push_back("--runs");
    args.push_back(std::to_string(*options.runs));
  }
  args.push_back(options.template_path);
  init::InitOptions init_options;
  try {
    init_options = init::PARSE_OPTIONS(args);
  } catch (const init::InitError& error) {
    throw UsageError(error.what());
  }
  init_options.output = (dir / "template.in").string();
  Source source;
  std::vector<std::string> lines;
  const init::InitResult made = init::MAKE_INPUT(init_options,
                                                 [&](const std::string& line) { lines.push_back(line); });
  for (const std::string& line : lines) source.summary += line + "\n";
  for (const std::string& line : made.design_summary) source.summary += line + "\n";
  std::fputs(source.summary.c_str(), stderr);
  source.many_loci = made.many_loci;
  source.made_text = made.text;
  // Resumed on another day, the template differs only in the date of its
  // first comment line: keep the one the finished probes were made from.
  const auto after_first_line = [](const std::string& text) {
    const std::size_t end = text.find('\n');
    return end == std::string::npos ? std::string() : text.substr(end);
  };
  std::string earlier;
  if (options.resume && READ_WHOLE_FILE((dir / "template.in").string(), earlier) &&
      after_first_line(earlier) == after_first_line(made.text)) {
    source.made_text = earlier;
  }
  source.tmpl = PARSE_TEMPLATE(init_options.output, source.made_text, made.many_loci);
  // The data's own line of the summary names the file, its populations and
  // individuals.
  source.data_lines.push_back(
      "data: " + (lines.empty() ? options.template_path : lines[0].substr(lines[0].find(": ") + 2)));
  if (lines.size() > 1) source.data_lines.push_back(lines[1].substr(lines[1].find_first_not_of(' ')));
  return source;
}
#endif

Source load_source(const Options& options, const fs::path& dir) {
  std::string content;
  if (!READ_WHOLE_FILE(options.template_path, content))
    throw SweepError("cannot read " + options.template_path);
  Source source;
  try {
    source.tmpl = PARSE_TEMPLATE(options.template_path, content, options.many_loci);
    source.many_loci = options.many_loci;
    if (!options.data_args.empty()) {
      throw UsageError(options.template_path + " is a KORVEL.IN template; " + options.data_args[0] +
                       " is for a data file");
    }
    return source;
  } catch (const UsageError&) {
    throw;
  } catch (const SweepError& as_template) {
#ifdef KORVEL_SWEEP_READS_DATA
    // Not a template: data, when korvel-init's options say so or the
    // content is VCF/BCF or reads as Genepop; otherwise the template's
    // fault is the one to report.
    bool data = !options.data_args.empty();
    try {
      if (!data) data = init::DETECT_FORMAT(options.template_path) == init::DataFormat::VCF;
      if (!data) {
        init::READ_GENEPOP(options.template_path);
        data = true;
      }
    } catch (const init::InitError&) {
    }
    if (!data) throw;
    try {
      return from_data(options, dir);
    } catch (const init::UsageError& error) {
      throw UsageError(error.what());
    } catch (const init::InitError& error) {
      throw SweepError(error.what());
    }
#else
    (void)dir;
    throw;
#endif
  }
}

int search(const Options& options) {
  const fs::path dir = fs::absolute(options.out).lexically_normal();
  const Source source = load_source(options, dir);
  Options chosen = options;
  chosen.many_loci = source.many_loci;
  SearchOptions search;
  search.loci_axis = options.find == "loci";
  for (const std::string& item : split_list(options.fst_list, "--fst"))
    search.fst.push_back(parse_real(item, "--fst"));
  search.range.high = search.loci_axis ? source.tmpl.facts.loci : 1000;
  search.range.low = search.loci_axis ? 1 : 2;
  if (!options.range.empty()) {
    const std::vector<std::string> ends = split_list(options.range, "--range");
    const int top = search.loci_axis ? source.tmpl.facts.loci : MAX_DIPLOIDS;
    if (ends.size() != 2) throw UsageError("--range takes LO,HI, not \"" + options.range + "\"");
    search.range.low = static_cast<int>(parse_whole(ends[0], "the low end of --range", 1, top));
    search.range.high = static_cast<int>(parse_whole(ends[1], "the high end of --range", 1, top));
    if (search.range.low >= search.range.high) throw UsageError("--range needs LO below HI");
  }
  search.range.target = options.target_power.value_or(0.8L);
  search.range.tolerance = options.tolerance;
  search.max_runs = options.max_runs;
  search.runs = options.runs;
  search.seed = options.seed;
  search.jobs = options.jobs;
  search.threads_per_point = options.threads_per_point;
  search.ne = options.ne;
  search.no_null = options.no_null;
  search.resume = options.resume;
  search.force = options.force;
  search.keep_details = options.keep_details;
  search.out = options.out;
  search.title = options.title.value_or("");
  search.figure_formats = options.figure_formats;
  search.data_lines = source.data_lines;
  search.made_template = source.made_text;
  search.data_summary = source.summary;
  search.program = find_program(chosen);
  CATCH_STOP_SIGNALS();
  try {
    return RUN_SEARCH(source.tmpl, search);
  } catch (const SweepStopped& stop) {
    return stopped(options, stop.signal, stop.left);
  }
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

// --precision: rounds of one more batch for every point whose interval is
// still wider than asked, until none is or each has spent --max-runs. A
// batch is the point's input with its seed for that batch number, so the
// rounds depend on seeded counts only; finished batches of an earlier run
// are kept with --resume.
void run_to_precision(const Options& options, const SweepTemplate& tmpl, const fs::path& dir,
                      const std::vector<PlannedPoint>& plan, const std::string& program, int parallel,
                      int threads, bool terminal, std::map<std::string, JobOutcome>& outcome_of) {
  const long long batch_runs = options.runs.value_or(tmpl.facts.runs);
  const long long budget = options.max_runs.value_or(50 * batch_runs);
  while (true) {
    bool found = false;
    std::vector<PointJob> jobs;
    std::vector<std::string> owners;
    for (const PlannedPoint& point : plan) {
      const auto outcome = outcome_of.find(point.label);
      if (outcome != outcome_of.end() && !outcome->second.ok) continue;
      const PointResult result = collect_with_batches(dir, point.label);
      if (!result.ok || widest_half_width(result) <= *options.precision || result.runs + batch_runs > budget)
        continue;
      const int number = finished_batches(dir / point.label) + 2;
      const std::string name = "batch-" + std::to_string(number);
      const fs::path folder = dir / point.label / name;
      PlannedPoint batch = point;
      batch.label = point.label + "/" + name;
      if (point.seed) batch.seed = POINT_SEED(*options.seed, point.values, number - 1);
      std::error_code ec;
      fs::create_directories(folder, ec);
      if (ec) throw SweepError("cannot create " + folder.string() + ": " + ec.message());
      if (options.resume && finished_point(dir, batch)) {
        found = true;
        continue;
      }
      clear_point(folder);
      fs::create_directories(folder, ec);
      write_file(folder / INPUT_FILE_NAME, batch.input);
      if (batch.seed) write_file(folder / SEED_FILE, seed_text(batch.seed));
      const std::vector<PointJob> one = point_jobs(dir, tmpl, {&batch});
      jobs.push_back(one.front());
      owners.push_back(point.label);
    }
    // Finished batches found again on resuming count at once: look again
    // until a round neither finds nor runs one.
    if (jobs.empty() && !found) return;
    const std::vector<JobOutcome> outcomes = RUN_JOBS(program, jobs, parallel, threads, terminal);
    for (std::size_t i = 0; i < outcomes.size(); ++i) {
      if (!outcomes[i].ok) outcome_of[owners[i]] = outcomes[i];
    }
    if (STOP_SIGNAL() != 0) return;
  }
}

int sweep(const Options& options) {
  // The library refuses an effective size the program cannot use.
  const Source source = load_source(options, fs::absolute(options.out).lexically_normal());
  const SweepTemplate& tmpl = source.tmpl;
  Options chosen = options;
  chosen.many_loci = source.many_loci;
  const int drift_size = options.ne ? *options.ne : tmpl.facts.drift_size;
  const std::vector<PlannedPoint> plan = plan_points(options, tmpl, drift_size);
  const std::string program = find_program(chosen);
  const fs::path dir = fs::absolute(options.out).lexically_normal();
  const std::vector<const PlannedPoint*> to_run = prepare_points(options, dir, plan);
  if (!source.made_text.empty()) {
    write_file(dir / "template.in", source.made_text);
    write_file(dir / "data-summary.txt", source.summary);
  }
  Settings settings;
  settings.title = options.title.value_or("");
  settings.target_power = options.target_power.value_or(0.8L);
  settings.figure_formats = options.figure_formats;
  write_file(dir / SETTINGS_FILE, settings_text(settings));
  const std::vector<PointJob> jobs = point_jobs(dir, tmpl, to_run);

  if (options.emit_jobs) {
    const int threads = options.threads_per_point > 0 ? options.threads_per_point : 1;
    for (const PointJob& job : jobs) std::printf("%s\n", JOB_COMMAND(program, job, threads).c_str());
    return 0;
  }
  if (options.slurm && !jobs.empty()) {
    SlurmSettings slurm;
    slurm.cpus_per_task = options.threads_per_point > 0 ? options.threads_per_point : 1;
    slurm.extra_lines = options.sbatch_args;
    const fs::path script = dir / SBATCH_FILE;
    write_file(script, SBATCH_SCRIPT(program, jobs, dir.string(), slurm));
    std::printf("wrote %s: %zu array tasks\n", script.c_str(), jobs.size());
    if (options.submit) return submit(dir, script);
    std::printf("submit it with: sbatch %s\nwhen it has finished: korvel-sweep --collect %s\n",
                SHELL_QUOTE(script.string()).c_str(), SHELL_QUOTE(dir.string()).c_str());
    return 0;
  }

  const bool terminal = ::isatty(STDOUT_FILENO) == 1;
  const int cores = AVAILABLE_CORES();
  int parallel = options.jobs;
  if (parallel < 1)
    parallel = std::max(1, options.threads_per_point > 0 ? cores / options.threads_per_point : cores);
  const int running = std::max(1, std::min<int>(parallel, static_cast<int>(jobs.size())));
  const int threads = options.threads_per_point > 0 ? options.threads_per_point
                                                    : std::max(1, cores / running);
  if (terminal) {
    std::printf("korvel-sweep: %zu of %zu points to run with %s, %d at a time with %d thread%s each, in %s\n",
                jobs.size(), plan.size(), fs::path(program).filename().c_str(), running, threads,
                threads == 1 ? "" : "s", dir.c_str());
    for (const PointJob& job : jobs) std::printf("  %s: %s\n", job.label.c_str(), job.description.c_str());
    std::fflush(stdout);
  }
  CATCH_STOP_SIGNALS();
  const std::vector<JobOutcome> outcomes = RUN_JOBS(program, jobs, parallel, threads, terminal);
  if (const int signal = STOP_SIGNAL(); signal != 0)
    return stopped(options, signal, stopped_points(outcomes));
  std::map<std::string, JobOutcome> outcome_of;
  for (std::size_t i = 0; i < jobs.size(); ++i) outcome_of[jobs[i].label] = outcomes[i];
  if (options.precision) {
    run_to_precision(options, tmpl, dir, plan, program, parallel, threads, terminal, outcome_of);
    if (const int signal = STOP_SIGNAL(); signal != 0)
      return stopped(options, signal, stopped_points(outcomes));
  }

  std::vector<PointResult> results;
  for (const PlannedPoint& point : plan) {
    PointResult result = collect_with_batches(dir, point.label);
    const auto found = outcome_of.find(point.label);
    if (found != outcome_of.end() && !found->second.ok) {
      result.ok = false;
      result.failure = found->second.failure;
    }
    results.push_back(result);
  }
  return finish(dir, results, settings);
}

}  // namespace

int SWEEP_MAIN(const std::vector<std::string>& args) {
  try {
    const Options options = parse_options(args);
    if (options.help) {
      std::printf("%s\n%s", USAGE, HELP);
      return 0;
    }
    if (options.version) {
      std::printf("korvel-sweep %s\n", KORVEL_VERSION);
      return 0;
    }
    if (!options.collect.empty()) return collect(options);
    return options.find.empty() ? sweep(options) : search(options);
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
