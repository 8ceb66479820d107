// The command line of korvel-sweep: its usage and help texts, and the
// options read into one record; every mistake is a UsageError.
#include <algorithm>

#include "command_line.h"
#include "common/capacity_profiles.h"
#include "figure.h"
#include "sweep_command.h"
#ifdef KORVEL_SWEEP_READS_DATA
#include "init.h"
#include "sweep_main.h"
#endif

namespace korvel::sweep {

const tools::ToolText TOOL{
    "korvel-sweep",
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
    "       korvel-sweep --help | --version\n",

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
    "                         (a run's own folder, with KORVEL.OUT: its power.csv)\n"
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
    "sample size (or number of loci, the first K in --locus-order) whose power reaches the target,\n"
    "with a 95 % interval, probing a few values in seeded batches. It runs here only.\n"
    "  --range LO,HI          values searched (default 2,1000; loci: 1 to the template's)\n"
    "  --tolerance K          stop when the interval is within +-K of the answer (default: the\n"
    "                         larger of 1 and 5 % of the answer)\n"
    "  --max-runs R           replicate runs allowed per answer (default 50 batches)\n"
    "  --locus-order random|file\n"
    "                         --find loci: add the loci in an order shuffled by the seed (default;\n"
    "                         neighbouring SNPs are linked) or in the template's order; the order\n"
    "                         is written to DIR/locus-order.csv\n"
    "\n"
    "Instead of a template, a Genepop, VCF or BCF file can be given with korvel-init's design\n"
    "options (--populations, --sample(s), --ne, --exact, --tests, --pop, --popmap, --pass-only,\n"
    "--allow-truncated, --min-maf, --max-missing, --min-samples, --max-loci, --max-alleles,\n"
    "--format); the template made is written to DIR/template.in.\n"
    "\n"
    "  --help                 this text\n"
    "  --version              the version of korvel-sweep\n"
    "\n"
    "Exit status: 0 done; 1 a point failed or nothing could be done; 2 bad usage; 3 the grid,\n"
    "--collect or search finished but its answer is flagged: a miscalibrated test, a point that\n"
    "warned about the exact test's resolution, a target not reached in the range tried, or (the\n"
    "search) its budget spent. Stopped by SIGINT or SIGTERM: 130 or 143.\n"};

}  // namespace korvel::sweep

namespace korvel::sweep::command {

namespace {

// How the options bear on each other once read.
void check_combinations(const Options& options) {
  const auto given = [&](const std::string& name) {
    return std::find(options.given.begin(), options.given.end(), name) != options.given.end();
  };
  if (!options.collect.empty()) {
    if (!options.template_path.empty()) throw UsageError("--collect takes no template");
    for (const std::string& name : options.given) {
      if (name != "--collect" && name != "--target-power" && name != "--title" && name != "--figure")
        throw UsageError(name + " does not apply to --collect");
    }
    return;
  }
  if (options.template_path.empty()) throw UsageError("no template given");
  if (!options.find.empty()) {
    if (options.precision) throw UsageError("--precision is for grids; --find has --tolerance");
    if (options.emit_jobs || options.slurm)
      throw UsageError(
          "--find runs its probes here, one round after another; --emit-jobs and --slurm are for grids");
    if (!options.generations_list.empty()) throw UsageError("--find takes --fst, not --generations");
    if (options.fst_list.empty()) throw UsageError("--find needs --fst");
    if (!options.sample_sizes_list.empty() || !options.loci_list.empty())
      throw UsageError("--find chooses the values itself; leave out --sample-sizes and --loci");
    if (given("--locus-order") && options.find != "loci") throw UsageError("--locus-order needs --find loci");
  } else {
    for (const char* only : {"--range", "--tolerance", "--locus-order"}) {
      if (given(only)) throw UsageError(std::string(only) + " needs --find");
    }
    if (given("--max-runs") && !options.precision) throw UsageError("--max-runs needs --find or --precision");
    if (options.precision && (options.emit_jobs || options.slurm))
      throw UsageError(
          "--precision runs its batches here, one round after another; leave out --emit-jobs and --slurm");
  }
}

}  // namespace

std::vector<int> parse_whole_list(const std::string& list, const std::string& option, int low, int high) {
  std::vector<int> values;
  for (const std::string& item : tools::SPLIT_LIST(list, option)) {
    const int value = static_cast<int>(tools::PARSE_WHOLE(item, option, low, high));
    if (std::find(values.begin(), values.end(), value) != values.end()) {
      throw UsageError(option + " names " + item + " twice");
    }
    values.push_back(value);
  }
  return values;
}

namespace {

// What a study asks: its points or search, their runs and the results.
void add_study_options(CLI::App& app, Options& o) {
  tools::ADD_WHOLE(app, "--runs", o.runs, 1, 2147483647LL);
  app.add_option("--find", o.find)->check(tools::WORD({"sample-size", "loci"}, "sample-size or loci"));
  app.add_option("--range", o.range)->check(tools::EACH());
  app.add_option("--locus-order", o.locus_order)->check(tools::WORD({"random", "file"}, "random or file"));
  app.add_option("--tolerance", o.tolerance)
      ->check(tools::REAL_NUMBER([](EXTENDED t) { return t >= 0; }, "of 0 or more"));
  tools::ADD_WHOLE(app, "--max-runs", o.max_runs, 1, 1000000000000LL);
  app.add_flag("--keep-details", o.keep_details);
  app.add_option("--precision", o.precision)
      ->check(tools::REAL_NUMBER([](EXTENDED w) { return w > 0 && w < 0.5L; }, "above 0 and below 0.5"));
  CLI::Option* fst = app.add_option("--fst", o.fst_list)
                         ->check(tools::EACH(tools::REAL_NUMBER([](EXTENDED f) { return f >= 0 && f < 1; },
                                                                "from 0 to below 1")));
  app.add_option("--generations", o.generations_list)
      ->check(tools::EACH(tools::WHOLE_NUMBER(0, MAX_GENERATIONS)))
      ->excludes(fst);
  app.add_option("--sample-sizes", o.sample_sizes_list)
      ->check(tools::EACH(tools::WHOLE_NUMBER(1, MAX_DIPLOIDS)));
  app.add_option("--loci", o.loci_list)->check(tools::EACH(tools::WHOLE_NUMBER(1, 32767)));
  app.add_option("--target-power", o.target_power)
      ->check(tools::REAL_NUMBER([](EXTENDED p) { return p > 0 && p <= 1; }, "above 0 and at most 1"));
  app.add_option_function<std::string>("--seed", [&](const std::string& v) { o.seed = PARSE_SEED_TEXT(v); })
      ->check(tools::SEED());
  app.add_option("--title", o.title);
  app.add_option_function<std::string>(
         "--figure", [&](const std::string& v) { o.figure_formats = PARSE_FIGURE_FORMATS(v); })
      ->check(tools::EACH(tools::WORD({"svg", "png", "pdf"}, "svg, png and/or pdf separated by commas")));
}

// Where and how the points run.
void add_running_options(CLI::App& app, Options& o) {
  tools::ADD_WHOLE(app, "--jobs", o.jobs, 1, 4096);
  tools::ADD_WHOLE(app, "--threads-per-point", o.threads_per_point, 1, 4096);
  app.add_option("--out", o.out);
  app.add_option("--collect", o.collect);
  app.add_option("--program", o.program);
  app.add_flag("--no-null", o.no_null);
  app.add_flag("--many-loci", o.many_loci);
  app.add_flag("--force", o.force)->excludes(app.add_flag("--resume", o.resume));
  CLI::Option* slurm = app.add_flag("--slurm", o.slurm);
  app.add_flag("--emit-jobs", o.emit_jobs)->excludes(slurm);
  app.add_flag("--submit", o.submit)->needs(slurm);
  app.add_option("--sbatch-arg", o.sbatch_args)
      ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll)
      ->needs(slurm);
}

// What to say about a second operand. A number right after an option's
// value is a list typed with a blank instead of a comma ("--fst 0.005
// 0.01"): it is named with the list written as it should be.
std::string extra_operand(const std::vector<std::string>& args, const std::vector<std::string>& operands) {
  for (const std::string& operand : operands) {
    const bool number = !operand.empty() && operand.find_first_not_of("0123456789.eE+-") == std::string::npos;
    const auto at = std::find(args.begin(), args.end(), operand);
    if (!number || at == args.end() || at - args.begin() < 2) continue;
    const std::string& option = *(at - 2);
    if (option.rfind("--", 0) != 0 || option.find('=') != std::string::npos) continue;
    return "\"" + operand + "\" after " + option + " " + *(at - 1) +
           " is neither an option nor a file; values of a list are separated by commas without blanks, as in " +
           option + " " + *(at - 1) + "," + operand;
  }
  return "more than one template: " + operands[1];
}

}  // namespace

Options parse_options(const std::vector<std::string>& args) {
  Options options;
  options.arguments = args;
  Options& o = options;
  tools::CommandLine command(TOOL);
  CLI::App& app = command.app();

  // korvel-init's design options, for a data file: their values are checked
  // here and handed on as typed (korvel-init reads them again). --ne is
  // also the sweep's own.
  std::vector<const CLI::Option*> design;
#ifdef KORVEL_SWEEP_READS_DATA
  init::InitOptions checked;
  const std::size_t before = app.get_options().size();
  init::ADD_DESIGN_OPTIONS(command, checked);
  const std::vector<CLI::Option*> added = app.get_options();
  for (std::size_t i = before; i < added.size(); ++i) {
    if (added[i]->get_name() != "--ne") design.push_back(added[i]);
  }
  const auto sweep_ne = [&] { o.ne = checked.ne; };
#else
  tools::ADD_WHOLE(app, "--ne", o.ne, 1, MAX_DIPLOIDS);
  const auto sweep_ne = [] {};
#endif

  add_study_options(app, o);
  add_running_options(app, o);

  command.parse(args);
  o.help = command.help();
  o.version = command.version();
  if (o.help || o.version) return options;
  if (app.count("--ne") > 0) sweep_ne();
  for (const auto& [option, value] : command.given()) {
    o.given.push_back(option->get_name());
    if (std::find(design.begin(), design.end(), option) == design.end()) continue;
    o.data_args.push_back(option->get_name());
    if (!value.empty()) o.data_args.push_back(value);
  }
  if (command.operands().size() > 1) throw UsageError(extra_operand(args, command.operands()));
  if (!command.operands().empty()) o.template_path = command.operands()[0];
  check_combinations(options);
  return options;
}

}  // namespace korvel::sweep::command
