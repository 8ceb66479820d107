// The command line of korvel-init, and the design options korvel-sweep
// takes from it for a data file.
#include <algorithm>
#include <string>
#include <vector>

#include "command_line.h"
#include "common/capacity_profiles.h"
#include "init.h"
#include "input/run_settings.h"

namespace korvel::init {

const tools::ToolText TOOL{
    "korvel-init",
    "usage: korvel-init [design options] [--popmap FILE] [--pop NAME,...] [-o KORVEL.IN] [--force] DATA\n"
    "       korvel-init --help | --version\n",
    "Writes a KORVEL.IN whose base population has the allele frequencies of DATA,\n"
    "a Genepop file or a VCF/BCF (plain or bgzipped), and says which program runs it.\n"
    "\n"
    "Data:\n"
    "  --format genepop|vcf|frequencies\n"
    "                         the kind of DATA (default: Genepop or VCF/BCF, recognised from\n"
    "                         its content); frequencies: a CSV or TSV table with the header\n"
    "                         locus,allele,frequency and one row per allele of the base\n"
    "                         population (--sample or --samples required)\n"
    "  --popmap FILE          VCF: sample and population, two columns per line; samples\n"
    "                         not in it are left out (default: all samples one population)\n"
    "  --pass-only            VCF: only records whose FILTER is PASS\n"
    "  --allow-truncated      VCF: read a file that stops early (compressed data broken\n"
    "                         off, no end-of-file marker, last line cut) up to its last\n"
    "                         whole record (default: refused as cut); a malformed record\n"
    "                         is refused all the same\n"
    "  --pop NAME,...         base population pooled from these populations only, each\n"
    "                         a name or a position in DATA (a number is always a\n"
    "                         position; default: all populations pooled)\n"
    "Filters (in the base population's populations; default: none):\n"
    "  --min-maf F            leave out a locus whose alleles other than its commonest\n"
    "                         have a frequency below F together (of a biallelic locus:\n"
    "                         its minor allele's frequency); F above 0, at most 0.5\n"
    "  --max-missing F        leave out a locus whose share of individuals without a\n"
    "                         genotype is above F (0 to below 1)\n"
    "  --min-samples N        leave out a locus genotyped in fewer than N individuals of\n"
    "                         any population\n"
    "Design:\n"
    "  --populations K        subpopulations (default: the number in DATA, at least 2)\n"
    "  --sample N             diploid sample size of every subpopulation (default: the\n"
    "                         mean genotyped individuals per population in DATA, rounded)\n"
    "  --samples N1,N2,...    one sample size per subpopulation instead\n"
    "  --ne N                 effective size during drift (default 1000)\n"
    "  --fst F                generations of drift whose expected F'st is nearest F\n"
    "                         (default 0.01)\n"
    "  --generations T        generations of drift instead (0: no drift)\n"
    "  --runs R               replicate runs (default 1000)\n"
    "  --exact D,B,S          exact test: dememorization steps, batches, steps per batch\n"
    "                         (default 1000,100,1000; keep B x S at 20000 or more)\n"
    "  --tests LIST           chi2, exact or chi2,exact (default both)\n"
    "  --erase                delete the detailed output files at the end of the run\n"
    "Fitting a program:\n"
    "  --max-loci N           keep N loci: the first N, or a random N with --seed S\n"
    "  --seed S               seed for the random choice of loci\n"
    "  --max-alleles K        merge the rarest alleles of a locus into one class so that\n"
    "                         no locus has more than K (this changes the data)\n"
    "Output:\n"
    "  -o FILE                the file to write (default KORVEL.IN)\n"
    "  --force                replace FILE if it exists\n"
    "\n"
    "  --help                 this text\n"
    "  --version              the version of korvel-init\n"
    "\n"
    "Exit status: 0 written; 1 refused (the data, the design or the file); 2 bad usage.\n"};

namespace {

constexpr long long MAX_COUNT = 2147483647;

// The locus filters, each with its own range: a share of missing genotypes
// can be 0 (complete loci only), a minor allele's share cannot exceed 0.5.
void ADD_FILTER_OPTIONS(tools::CommandLine& command, LocusFilter& filter) {
  CLI::App& app = command.app();
  command.once(app.add_option("--min-maf", filter.min_maf)
                   ->check(tools::REAL_NUMBER([](long double f) { return f > 0 && f <= 0.5L; },
                                              "above 0 and at most 0.5")));
  command.once(
      app.add_option("--max-missing", filter.max_missing)
          ->check(tools::REAL_NUMBER([](long double f) { return f >= 0 && f < 1; }, "from 0 to below 1")));
  command.once(tools::ADD_WHOLE(app, "--min-samples", filter.min_samples, 1, MAX_DIPLOIDS));
}

// --format: the kind of data, when its content does not say.
void add_format_option(tools::CommandLine& command, InitOptions& o) {
  command.once(
      command.app()
          .add_option_function<std::string>("--format",
                                            [&o](const std::string& v) {
                                              o.format = v == "genepop"       ? DataFormat::GENEPOP
                                                         : v == "frequencies" ? DataFormat::FREQUENCIES
                                                                              : DataFormat::VCF;
                                            })
          ->check(tools::WORD({"genepop", "vcf", "bcf", "frequencies"}, "genepop, vcf or frequencies")));
}

}  // namespace

void ADD_DESIGN_OPTIONS(tools::CommandLine& command, InitOptions& o) {
  CLI::App& app = command.app();
  const auto list = [&](const std::string& name, auto read, const CLI::Validator& item) {
    return app
        .add_option_function<std::string>(
            name, [&o, name, read](const std::string& v) { read(o, tools::SPLIT_LIST(v, name)); })
        ->check(tools::EACH(item));
  };
  add_format_option(command, o);
  command.once(app.add_option("--popmap", o.popmap));
  command.once(app.add_flag("--pass-only", o.pass_only));
  command.once(app.add_flag("--allow-truncated", o.allow_truncated));
  command.once(list("--pop", [](InitOptions& to, std::vector<std::string> items) { to.pops = items; }, {}));
  command.once(tools::ADD_WHOLE(app, "--populations", o.populations, 2, 32767));
  CLI::Option* sample = command.once(
      app.add_option_function<std::string>("--sample",
                                           [&o](const std::string& v) { o.samples = {std::stoi(v)}; })
          ->check(tools::WHOLE_NUMBER(1, MAX_DIPLOIDS)));
  command.once(list(
                   "--samples",
                   [](InitOptions& to, const std::vector<std::string>& items) {
                     to.samples.clear();
                     for (const std::string& item : items) to.samples.push_back(std::stoi(item));
                   },
                   tools::WHOLE_NUMBER(1, MAX_DIPLOIDS))
                   ->excludes(sample));
  command.once(tools::ADD_WHOLE(app, "--ne", o.ne, 1, MAX_DIPLOIDS));
  command.once(
      list(
          "--exact",
          [](InitOptions& to, const std::vector<std::string>& items) {
            for (std::size_t i = 0; i < 3; ++i) to.exact[i] = std::stoll(items[i]);
          },
          tools::WHOLE_NUMBER(1, MAX_COUNT))
          ->check(CLI::Validator(
              [](std::string& v) {
                return std::count(v.begin(), v.end(), ',') == 2
                           ? std::string()
                           : "takes three numbers, dememorization steps, batches and steps per batch, "
                             "as in 1000,100,1000, not \"" +
                                 v + "\"";
              },
              "D,B,S")));
  command.once(list(
      "--tests",
      [](InitOptions& to, const std::vector<std::string>& items) {
        to.chi2 = std::count(items.begin(), items.end(), "chi2") > 0;
        to.exact_test = std::count(items.begin(), items.end(), "exact") > 0;
      },
      tools::WORD({"chi2", "exact"}, "chi2, exact or chi2,exact")));
  ADD_FILTER_OPTIONS(command, o.filter);
  command.once(tools::ADD_WHOLE(app, "--max-loci", o.max_loci, 1, 32767));
  command.once(tools::ADD_WHOLE(app, "--max-alleles", o.max_alleles, 2, 32767));
}

InitOptions PARSE_OPTIONS(const std::vector<std::string>& args) {
  InitOptions o;
  tools::CommandLine command(TOOL);
  CLI::App& app = command.app();
  ADD_DESIGN_OPTIONS(command, o);
  CLI::Option* fst = command.once(app.add_option("--fst", o.fst)
                                      ->check(tools::REAL_NUMBER([](long double f) { return f > 0 && f < 1; },
                                                                 "between 0 and 1 (exclusive)")));
  command.once(tools::ADD_WHOLE(app, "--generations", o.generations, 0, MAX_GENERATIONS)->excludes(fst));
  command.once(tools::ADD_WHOLE(app, "--runs", o.runs, 1, MAX_COUNT));
  command.once(app.add_option_function<std::string>(
                      "--seed", [&o](const std::string& v) { o.seed = PARSE_SEED_TEXT(v); })
                   ->check(tools::SEED()));
  command.once(app.add_flag("--erase", o.erase));
  command.once(app.add_option("-o,--output", o.output));
  command.once(app.add_flag("--force", o.force));
  command.parse(args);
  o.help = command.help();
  o.version = command.version();
  if (o.help || o.version) return o;
  // The options as typed, for the input file's comment line.
  for (const auto& [option, value] : command.given()) {
    if (option->get_name() == "--output" || option->get_name() == "--force") continue;
    o.given.push_back(value.empty() ? option->get_name() : option->get_name() + " " + value);
  }
  if (command.operands().size() > 1) {
    throw tools::UsageError("one data file only; " + command.operands()[0] + " and " + command.operands()[1] +
                            " given");
  }
  if (command.operands().empty()) throw tools::UsageError("no data file given");
  o.data = command.operands()[0];
  if (o.seed && !o.max_loci) {
    throw tools::UsageError("--seed chooses the loci that --max-loci keeps; give --max-loci too");
  }
  return o;
}

}  // namespace korvel::init
