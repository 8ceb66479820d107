// The command line of korvel-sweep: its usage and help texts, and the
// options read into one record; every mistake is a UsageError.
#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <iterator>

#include "common/capacity_profiles.h"
#include "figure.h"
#include "sweep_command.h"

namespace korvel::sweep::command {

namespace {

// korvel-init's options that shape the template made from a data file;
// --ne is also the sweep's own.
constexpr const char* DATA_VALUE_OPTIONS[] = {"--populations", "--sample", "--samples", "--exact",
                                              "--tests",       "--pop",    "--popmap",  "--max-loci",
                                              "--max-alleles", "--format"};

constexpr int MAX_SEED_DIGITS = 10;

}  // namespace

const char* const USAGE =
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

const char* const HELP =
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

}  // namespace korvel::sweep::command
