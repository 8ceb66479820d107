// The command line of korvel-init.
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "common/capacity_profiles.h"
#include "init.h"

namespace korvel::init {

const char* const USAGE =
    "usage: korvel-init [design options] [--popmap FILE] [--pop NAME,...] [-o KORVEL.IN] [--force] DATA\n"
    "       korvel-init --help | --version\n";

const char* const HELP =
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
    "  --force                replace FILE if it exists\n";

namespace {

long long WHOLE(const std::string& option, const std::string& text, long long low, long long high) {
  char* end = nullptr;
  errno = 0;
  const long long value = std::strtoll(text.c_str(), &end, 10);
  const bool digits = !text.empty() && (std::isdigit(static_cast<unsigned char>(text[0])) || text[0] == '-');
  if (!digits || *end != '\0' || errno == ERANGE || value < low || value > high) {
    throw UsageError(option + " takes a whole number from " + std::to_string(low) + " to " +
                     std::to_string(high) + ", not \"" + text + "\"");
  }
  return value;
}

std::vector<std::string> ITEMS(const std::string& option, const std::string& list) {
  std::vector<std::string> items;
  std::size_t start = 0;
  for (;;) {
    const std::size_t comma = list.find(',', start);
    items.push_back(list.substr(start, comma == std::string::npos ? std::string::npos : comma - start));
    if (items.back().empty()) throw UsageError(option + " has an empty item in \"" + list + "\"");
    if (comma == std::string::npos) return items;
    start = comma + 1;
  }
}

// Options that take a value, each with what it does to the options.
using Setter = std::function<void(InitOptions&, const std::string& option, const std::string& value)>;

const std::map<std::string, Setter>& VALUE_OPTIONS() {
  static const std::map<std::string, Setter> options{
      {"--format",
       [](InitOptions& o, const std::string& opt, const std::string& v) {
         if (v == "genepop") o.format = DataFormat::GENEPOP;
         else if (v == "vcf" || v == "bcf") o.format = DataFormat::VCF;
         else throw UsageError(opt + " takes genepop or vcf, not \"" + v + "\"");
       }},
      {"--popmap", [](InitOptions& o, const std::string&, const std::string& v) { o.popmap = v; }},
      {"--pop", [](InitOptions& o, const std::string& opt, const std::string& v) { o.pops = ITEMS(opt, v); }},
      {"--populations",
       [](InitOptions& o, const std::string& opt, const std::string& v) {
         o.populations = static_cast<int>(WHOLE(opt, v, 2, 32767));
       }},
      {"--sample",
       [](InitOptions& o, const std::string& opt, const std::string& v) {
         o.samples = {static_cast<int>(WHOLE(opt, v, 1, MAX_DIPLOIDS))};
       }},
      {"--samples",
       [](InitOptions& o, const std::string& opt, const std::string& v) {
         o.samples.clear();
         for (const std::string& item : ITEMS(opt, v))
           o.samples.push_back(static_cast<int>(WHOLE(opt, item, 1, MAX_DIPLOIDS)));
       }},
      {"--ne", [](InitOptions& o, const std::string& opt,
                  const std::string& v) { o.ne = static_cast<int>(WHOLE(opt, v, 1, MAX_DIPLOIDS)); }},
      {"--generations",
       [](InitOptions& o, const std::string& opt, const std::string& v) {
         o.generations = static_cast<int>(WHOLE(opt, v, 0, MAX_GENERATIONS));
       }},
      {"--fst",
       [](InitOptions& o, const std::string& opt, const std::string& v) {
         char* end = nullptr;
         const long double value = std::strtold(v.c_str(), &end);
         if (v.empty() || *end != '\0' || !(value > 0.0L && value < 1.0L)) {
           throw UsageError(opt + " takes an F'st between 0 and 1 (exclusive), not \"" + v + "\"");
         }
         o.fst = value;
       }},
      {"--runs", [](InitOptions& o, const std::string& opt,
                    const std::string& v) { o.runs = WHOLE(opt, v, 1, 2147483647); }},
      {"--exact",
       [](InitOptions& o, const std::string& opt, const std::string& v) {
         const std::vector<std::string> items = ITEMS(opt, v);
         if (items.size() != 3) {
           throw UsageError(opt +
                            " takes three numbers, dememorization steps, batches and steps per batch, "
                            "as in 1000,100,1000");
         }
         for (int i = 0; i < 3; ++i)
           o.exact[i] = WHOLE(opt, items[static_cast<std::size_t>(i)], 1, 2147483647);
       }},
      {"--tests",
       [](InitOptions& o, const std::string& opt, const std::string& v) {
         o.chi2 = o.exact_test = false;
         for (const std::string& item : ITEMS(opt, v)) {
           if (item == "chi2") o.chi2 = true;
           else if (item == "exact") o.exact_test = true;
           else throw UsageError(opt + " takes chi2, exact or chi2,exact, not \"" + item + "\"");
         }
       }},
      {"--max-loci", [](InitOptions& o, const std::string& opt,
                        const std::string& v) { o.max_loci = static_cast<int>(WHOLE(opt, v, 1, 32767)); }},
      {"--seed",
       [](InitOptions& o, const std::string& opt, const std::string& v) {
         o.seed = static_cast<std::uint32_t>(WHOLE(opt, v, 0, 4294967295LL));
       }},
      {"--max-alleles",
       [](InitOptions& o, const std::string& opt, const std::string& v) {
         o.max_alleles = static_cast<int>(WHOLE(opt, v, 2, 32767));
       }},
      {"-o", [](InitOptions& o, const std::string&, const std::string& v) { o.output = v; }},
      {"--output", [](InitOptions& o, const std::string&, const std::string& v) { o.output = v; }},
  };
  return options;
}

}  // namespace

InitOptions PARSE_OPTIONS(const std::vector<std::string>& args) {
  InitOptions options;
  std::map<std::string, int> seen;
  for (std::size_t i = 0; i < args.size(); ++i) {
    std::string option = args[i];
    std::optional<std::string> value;
    if (option.rfind("--", 0) == 0 && option.find('=') != std::string::npos) {
      value = option.substr(option.find('=') + 1);
      option.resize(option.find('='));
    }
    if (option == "--help" || option == "-h") {
      options.help = true;
      continue;
    }
    if (option == "--version") {
      options.version = true;
      continue;
    }
    const auto setter = VALUE_OPTIONS().find(option);
    if (setter != VALUE_OPTIONS().end()) {
      if (!value) {
        if (i + 1 >= args.size()) throw UsageError(option + " needs a value");
        value = args[++i];
      }
      setter->second(options, option, *value);
      if (option != "-o" && option != "--output") options.given.push_back(option + " " + *value);
    } else if (option == "--force" || option == "--erase" || option == "--pass-only" ||
               option == "--allow-truncated") {
      if (value) throw UsageError(option + " takes no value");
      if (option == "--force") options.force = true;
      if (option == "--erase") options.erase = true;
      if (option == "--pass-only") options.pass_only = true;
      if (option == "--allow-truncated") options.allow_truncated = true;
      if (option != "--force") options.given.push_back(option);
    } else if (option.size() > 1 && option[0] == '-') {
      throw UsageError("unknown option " + option);
    } else if (!options.data.empty()) {
      throw UsageError("one data file only; " + options.data + " and " + option + " given");
    } else {
      options.data = option;
      continue;
    }
    if (++seen[option == "--output" ? "-o" : option == "--sample" ? "--samples" : option] > 1) {
      throw UsageError(option + " is given twice");
    }
  }
  if (options.help || options.version) return options;
  if (options.data.empty()) throw UsageError("no data file given");
  if (seen.count("--fst") && seen.count("--generations"))
    throw UsageError("give --fst or --generations, not both");
  if (seen.count("--seed") && !seen.count("--max-loci")) {
    throw UsageError("--seed chooses the loci that --max-loci keeps; give --max-loci too");
  }
  if (options.output.empty()) throw UsageError("-o needs a file name");
  return options;
}

}  // namespace korvel::init
