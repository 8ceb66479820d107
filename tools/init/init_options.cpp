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
    "  --format genepop|vcf   the kind of DATA (default: recognised from its content)\n"
    "  --popmap FILE          VCF: sample and population, two columns per line; samples\n"
    "                         not in it are left out (default: all samples one population)\n"
    "  --pass-only            VCF: only records whose FILTER is PASS\n"
    "  --allow-truncated      VCF: read a compressed file that lacks its end-of-file\n"
    "                         marker as far as it goes (default: refused as truncated)\n"
    "  --pop NAME,...         base population pooled from these populations only, each\n"
    "                         a name or a position in DATA (a number is always a\n"
    "                         position; default: all populations pooled)\n"
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

// A value its validator has passed.
int WHOLE(const std::string& text) { return std::stoi(text); }

}  // namespace

void ADD_DESIGN_OPTIONS(tools::CommandLine& command, InitOptions& o) {
  CLI::App& app = command.app();
  const auto once = [&](CLI::Option* option) { command.once(option); };
  once(app.add_option_function<std::string>("--format",
                                            [&o](const std::string& v) {
                                              o.format = v == "genepop" ? DataFormat::GENEPOP
                                                                        : DataFormat::VCF;
                                            })
           ->check(tools::WORD({"genepop", "vcf", "bcf"}, "genepop or vcf")));
  once(app.add_option("--popmap", o.popmap));
  once(app.add_flag("--pass-only", o.pass_only));
  once(app.add_flag("--allow-truncated", o.allow_truncated));
  once(app.add_option_function<std::string>(
              "--pop", [&o](const std::string& v) { o.pops = tools::SPLIT_LIST(v, "--pop"); })
           ->check(tools::EACH()));
  once(app.add_option_function<std::string>("--populations",
                                            [&o](const std::string& v) { o.populations = WHOLE(v); })
           ->check(tools::WHOLE_NUMBER(2, 32767)));
  CLI::Option* sample = app.add_option_function<std::string>(
                               "--sample", [&o](const std::string& v) { o.samples = {WHOLE(v)}; })
                            ->check(tools::WHOLE_NUMBER(1, MAX_DIPLOIDS));
  CLI::Option* samples = app.add_option_function<std::string>(
                                "--samples",
                                [&o](const std::string& v) {
                                  o.samples.clear();
                                  for (const std::string& item : tools::SPLIT_LIST(v, "--samples"))
                                    o.samples.push_back(WHOLE(item));
                                })
                             ->check(tools::EACH(tools::WHOLE_NUMBER(1, MAX_DIPLOIDS)));
  once(sample->excludes(samples));
  once(samples);
  once(app.add_option_function<std::string>("--ne", [&o](const std::string& v) { o.ne = WHOLE(v); })
           ->check(tools::WHOLE_NUMBER(1, MAX_DIPLOIDS)));
  once(app.add_option_function<std::string>("--exact",
                                            [&o](const std::string& v) {
                                              const std::vector<std::string> items = tools::SPLIT_LIST(
                                                  v, "--exact");
                                              for (std::size_t i = 0; i < 3; ++i)
                                                o.exact[i] = std::stoll(items[i]);
                                            })
           ->check(CLI::Validator(
               [](std::string& v) {
                 return std::count(v.begin(), v.end(), ',') == 2
                            ? std::string()
                            : "takes three numbers, dememorization steps, batches and steps per batch, "
                              "as in 1000,100,1000, not \"" +
                                  v + "\"";
               },
               "D,B,S"))
           ->check(tools::EACH(tools::WHOLE_NUMBER(1, MAX_COUNT))));
  once(app.add_option_function<std::string>(
              "--tests",
              [&o](const std::string& v) {
                const std::vector<std::string> items = tools::SPLIT_LIST(v, "--tests");
                o.chi2 = std::count(items.begin(), items.end(), "chi2") > 0;
                o.exact_test = std::count(items.begin(), items.end(), "exact") > 0;
              })
           ->check(tools::EACH(tools::WORD({"chi2", "exact"}, "chi2, exact or chi2,exact"))));
  once(app.add_option_function<std::string>("--max-loci",
                                            [&o](const std::string& v) { o.max_loci = WHOLE(v); })
           ->check(tools::WHOLE_NUMBER(1, 32767)));
  once(app.add_option_function<std::string>("--max-alleles",
                                            [&o](const std::string& v) { o.max_alleles = WHOLE(v); })
           ->check(tools::WHOLE_NUMBER(2, 32767)));
}

InitOptions PARSE_OPTIONS(const std::vector<std::string>& args) {
  InitOptions options;
  tools::CommandLine command(TOOL);
  CLI::App& app = command.app();
  ADD_DESIGN_OPTIONS(command, options);
  InitOptions& o = options;
  const auto once = [&](CLI::Option* option) { command.once(option); };
  CLI::Option* fst = app.add_option_function<std::string>(
                            "--fst", [&o](const std::string& v) { o.fst = tools::PARSE_REAL(v, "--fst"); })
                         ->check(tools::REAL_NUMBER([](long double f) { return f > 0 && f < 1; },
                                                    "between 0 and 1 (exclusive)"));
  once(app.add_option_function<std::string>("--generations",
                                            [&o](const std::string& v) { o.generations = WHOLE(v); })
           ->check(tools::WHOLE_NUMBER(0, MAX_GENERATIONS))
           ->excludes(fst));
  once(fst);
  once(app.add_option_function<std::string>("--runs", [&o](const std::string& v) { o.runs = std::stoll(v); })
           ->check(tools::WHOLE_NUMBER(1, MAX_COUNT)));
  once(app.add_option_function<std::string>("--seed",
                                            [&o](const std::string& v) { o.seed = PARSE_SEED_TEXT(v); })
           ->check(tools::SEED()));
  once(app.add_flag("--erase", o.erase));
  once(app.add_option("-o,--output", o.output));
  once(app.add_flag("--force", o.force));
  command.parse(args);
  o.help = command.help();
  o.version = command.version();
  if (o.help || o.version) return options;
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
  return options;
}

}  // namespace korvel::init
