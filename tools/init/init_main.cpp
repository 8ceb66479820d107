// korvel-init's run: read the data, form the base population and the
// design, choose the program whose limits hold it, write KORVEL.IN with the
// program's own writer and read it back with the program's own reader
// before anything is put in place.

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "common/capacity_profiles.h"
#include "init.h"
#include "input/capacity_fit.h"
#include "input/drift_arithmetic.h"
#include "input/exact_adequacy.h"
#include "input/input_document.h"
#include "text_lines.h"
#include "whole_file.h"

namespace korvel::init {

namespace {

namespace fs = std::filesystem;

struct Design {
  int populations = 0;
  std::vector<int> samples;
  int generations = 0;
  EXTENDED expected_fst = 0;
};

// The date the comment line records: today (UTC), or SOURCE_DATE_EPOCH when
// it is set, so that a file can be made again byte for byte.
std::string TODAY() {
  std::time_t now = std::time(nullptr);
  if (const char* epoch = std::getenv("SOURCE_DATE_EPOCH"); epoch != nullptr && *epoch != '\0') {
    char* end = nullptr;
    const long long seconds = std::strtoll(epoch, &end, 10);
    if (*end == '\0') now = static_cast<std::time_t>(seconds);
  }
  std::tm utc{};
  gmtime_r(&now, &utc);
  char buffer[32];
  std::strftime(buffer, sizeof buffer, "%Y-%m-%d", &utc);
  return buffer;
}

// ---- Before reading ---------------------------------------------------------

void REFUSE_EXISTING_OUTPUT(const InitOptions& options) {
  std::error_code ec;
  if (!options.force && fs::exists(options.output, ec)) {
    throw InitError(options.output +
                    " already exists; add --force to replace it, or name another file with -o");
  }
  if (fs::is_directory(options.output, ec))
    throw InitError(options.output + " is a folder; -o names the file to write");
  for (const std::string* input : {&options.data, &options.popmap}) {
    if (!input->empty() && fs::equivalent(options.output, *input, ec)) {
      throw InitError("-o " + options.output + " is the input file " + *input + "; name another file");
    }
  }
}

// Reads the data and forms the base population. A VCF hands each locus to
// the base population as it is read, so that memory holds the loci kept,
// not the sites read; its populations are known before it is read.
GenotypeData READ_DATA(const InitOptions& options, PopulationMap& popmap, BasePopulation& base) {
  const DataFormat format = options.format ? *options.format : DETECT_FORMAT(options.data);
  if (format == DataFormat::FREQUENCIES) return READ_FREQUENCY_TABLE(options, base);
  BaseChoice choice{{}, options.max_loci, options.seed, options.filter};
  if (format == DataFormat::GENEPOP) {
    if (!options.popmap.empty()) {
      throw UsageError("--popmap is for VCF data; a Genepop file names its populations with Pop lines");
    }
    if (options.pass_only) throw UsageError("--pass-only is for VCF data; a Genepop file has no FILTER");
    if (options.allow_truncated) throw UsageError("--allow-truncated is for VCF or BCF data");
    GenotypeData data = READ_GENEPOP(options.data);
    choice.populations = FIND_POPULATIONS(data.populations, data.source, options.pops);
    BaseBuilder builder(data.populations, choice);
    for (const LocusCounts& locus : data.loci) builder.add(locus);
    base = builder.finish();
    return data;
  }
  VcfOptions vcf;
  vcf.pass_only = options.pass_only;
  vcf.allow_truncated = options.allow_truncated;
  if (!options.popmap.empty()) {
    popmap = READ_POPMAP(options.popmap);
    vcf.popmap = &popmap;
    vcf.popmap_name = options.popmap;
  }
  const std::vector<std::string> populations = VCF_POPULATIONS(vcf.popmap);
  choice.populations = FIND_POPULATIONS(populations, options.data, options.pops);
  BaseBuilder builder(populations, choice);
  vcf.base = &builder;
  GenotypeData data = READ_VCF(options.data, vcf);
  base = builder.finish();
  return data;
}

// ---- The design -----------------------------------------------------------------

int DEFAULT_SAMPLE(const GenotypeData& data) {
  long long genotyped = 0;
  for (long long count : data.genotyped) genotyped += count;
  const auto populations = static_cast<long long>(data.populations.size());
  const long long mean = std::max(1LL,
                                  (2 * genotyped + populations) / (2 * populations));  // rounded, half up
  if (mean > MAX_DIPLOIDS) {
    throw InitError("the data's mean of " + std::to_string(mean) +
                    " genotyped individuals per population is above " + std::to_string(MAX_DIPLOIDS) +
                    ", the largest sample the program draws; give --sample");
  }
  return static_cast<int>(mean);
}

Design MAKE_DESIGN(const InitOptions& options, const GenotypeData& data) {
  Design design;
  design.populations = options.populations ? *options.populations
                                           : std::max(2, static_cast<int>(data.populations.size()));
  if (options.samples.size() > 1 && options.samples.size() != static_cast<std::size_t>(design.populations)) {
    throw UsageError("--samples gives " + std::to_string(options.samples.size()) + " sizes for " +
                     std::to_string(design.populations) + " populations");
  }
  if (options.samples.size() > 1) {
    design.samples = options.samples;
  } else {
    design.samples.assign(static_cast<std::size_t>(design.populations),
                          options.samples.empty() ? DEFAULT_SAMPLE(data) : options.samples[0]);
  }
  if (options.generations) {
    design.generations = *options.generations;
  } else {
    try {
      design.generations = GENERATIONS_FOR_FST(options.fst ? *options.fst : DEFAULT_FST, options.ne);
    } catch (const std::invalid_argument& error) {
      throw UsageError(std::string(error.what()) + "; choose a larger --ne or a smaller --fst");
    }
  }
  design.expected_fst = EXPECTED_FST(options.ne, design.generations);
  return design;
}

std::string OPTIONS_TEXT(const InitOptions& options) {
  std::string text;
  for (const std::string& given : options.given) text += (text.empty() ? "" : " ") + given;
  return text.empty() ? "default design" : text;
}

INPUT_DOCUMENT MAKE_DOCUMENT(const InitOptions& options, const Design& design, const BasePopulation& base) {
  INPUT_DOCUMENT document;
  document.NAME = options.output;
  std::string pops;
  for (const std::string& pop : options.pops) pops += (pops.empty() ? "" : ",") + pop;
  document.COMMENT1 = "korvel-init " + TODAY() + " from " + fs::path(options.data).filename().string() +
                      (pops.empty()               ? ""
                       : options.pops.size() == 1 ? " (population " + pops + ")"
                                                  : " (populations " + pops + ")");
  document.COMMENT2 = "Options: " + OPTIONS_TEXT(options);
  document.ITER1 = static_cast<INT32>(options.exact[0]);
  document.ITER2 = static_cast<INT32>(options.exact[1]);
  document.ITER3 = static_cast<INT32>(options.exact[2]);
  document.RUN_CHI2 = options.chi2 ? 1 : 0;
  document.RUN_FISHER = options.exact_test ? 1 : 0;
  document.ERASE_DETAILED_OUTPUT = options.erase ? 1 : 0;
  document.NUMBLOCI = static_cast<INT16>(base.loci.size());
  document.NUMBPOPS = static_cast<INT16>(design.populations);
  document.DRIFT_SIZE = static_cast<INT16>(options.ne);
  document.STOP_T = static_cast<INT16>(design.generations);
  for (int sample : design.samples) document.SAMPLESIZE.push_back(static_cast<INT16>(sample));
  document.STOP_RUNS = static_cast<INT32>(options.runs);
  for (const BaseLocus& locus : base.loci) {
    LOCUS_DOCUMENT line;
    line.ALLELES = static_cast<INT16>(locus.counts.size());
    line.FREQUENCIES = locus.frequencies();
    document.LOCI.push_back(std::move(line));
  }
  return document;
}

// ---- Which program ----------------------------------------------------------------

// What would make `profile` hold the design, in korvel-init's options.
std::string SHORTFALL_TEXT(const CAPACITY_SHORTFALL& shortfall, const BasePopulation& base) {
  const std::string maximum = std::to_string(shortfall.MAXIMUM);
  switch (shortfall.WHAT) {
    case CAPACITY_SHORTFALL::LOCI:
      return "holds at most " + maximum + " loci and the data keep " + std::to_string(shortfall.VALUE) +
             " (--max-loci " + maximum + " keeps the first, add --seed S for a random choice)";
    case CAPACITY_SHORTFALL::ALLELES:
      return "holds at most " + maximum + " alleles per locus and " +
             PLURAL(shortfall.LOCI_OVER, "locus has", "loci have") + " more (locus " +
             base.loci[static_cast<std::size_t>(shortfall.WIDEST)].name + " has " +
             std::to_string(shortfall.VALUE) + "; --max-alleles " + maximum +
             " merges the rarest, which changes the data)";
    case CAPACITY_SHORTFALL::POPULATIONS:
      return "holds at most " + maximum + " populations and the design has " +
             std::to_string(shortfall.VALUE) + " (--populations " + maximum + " or fewer)";
  }
  return {};
}

const CAPACITY_PROFILE& CHOOSE_PROGRAM(const BasePopulation& base, const Design& design) {
  DESIGN_SHAPE shape;
  for (const BaseLocus& locus : base.loci) shape.ALLELES.push_back(static_cast<int>(locus.counts.size()));
  shape.POPULATIONS = design.populations;
  const CAPACITY_FIT fit = FIT_CAPACITY(shape);
  if (fit.PROFILE != nullptr) return *fit.PROFILE;
  std::string why;
  for (const auto& [profile, shortfalls] : fit.WHY_NOT)
    for (const CAPACITY_SHORTFALL& shortfall : shortfalls)
      why += std::string("\n  ") + profile->BUILD_NAME + " " + SHORTFALL_TEXT(shortfall, base);
  throw InitError("neither program can run this design:" + why);
}

// ---- Writing ------------------------------------------------------------------------

// The document as read back must be the document meant: same counts, same
// settings, the very same frequencies, every locus passing the sum check.
void CHECK_READ_BACK(const INPUT_DOCUMENT& meant, const INPUT_DOCUMENT& read) {
  const auto fail = [&](const std::string& what) {
    throw InitError("internal fault: " + read.NAME + " as written reads back with " + what +
                    "; nothing was written");
  };
  if (read.NUMBLOCI != meant.NUMBLOCI || read.NUMBPOPS != meant.NUMBPOPS ||
      read.DRIFT_SIZE != meant.DRIFT_SIZE || read.STOP_T != meant.STOP_T ||
      read.STOP_RUNS != meant.STOP_RUNS || read.SAMPLESIZE != meant.SAMPLESIZE || read.ITER1 != meant.ITER1 ||
      read.ITER2 != meant.ITER2 || read.ITER3 != meant.ITER3 || read.RUN_CHI2 != meant.RUN_CHI2 ||
      read.RUN_FISHER != meant.RUN_FISHER || read.ERASE_DETAILED_OUTPUT != meant.ERASE_DETAILED_OUTPUT ||
      read.LOCI.size() != meant.LOCI.size()) {
    fail("other settings");
  }
  for (std::size_t l = 0; l < meant.LOCI.size(); ++l) {
    if (read.LOCI[l].FREQUENCIES != meant.LOCI[l].FREQUENCIES)
      fail("other frequencies at locus " + std::to_string(l + 1));
    if (!FREQUENCY_SUM_PASSES(FREQUENCY_SUM(read.LOCI[l].FREQUENCIES))) {
      fail("a frequency sum off 1 at locus " + std::to_string(l + 1));
    }
  }
}

void WRITE_CHECKED(const InitOptions& options, const INPUT_DOCUMENT& document,
                   const CAPACITY_PROFILE& profile) {
  const std::string text = WRITE_INPUT_TEXT(document);
  CHECK_READ_BACK(document, READ_INPUT_TEXT(options.output, text, profile));
  tools::ScratchFile scratch(options.output);
  scratch.write(text);
  INPUT_DOCUMENT on_disk = READ_INPUT_FILE(scratch.path(), profile);
  on_disk.NAME = options.output;
  CHECK_READ_BACK(document, on_disk);
  if (!scratch.place(options.force))
    throw InitError(options.output +
                    " already exists; add --force to replace it, or name another file with -o");
}

// ---- Summary ----------------------------------------------------------------------------

// Where the summary goes: standard error, or while MAKE_INPUT runs, its
// caller's sink.
const SummarySink* summary_sink = nullptr;

void SAY(const std::string& line) {
  if (summary_sink != nullptr) (*summary_sink)(line);
  else std::fprintf(stderr, "%s\n", line.c_str());
}

void DESIGN_SUMMARY(const InitOptions& options, const Design& design) {
  const bool equal_samples = std::all_of(design.samples.begin(), design.samples.end(),
                                         [&](int sample) { return sample == design.samples[0]; });
  std::vector<std::string> samples;
  for (int sample : design.samples) samples.push_back(std::to_string(sample));
  std::string tests = options.chi2 && options.exact_test ? "chi-square and exact tests"
                      : options.chi2                     ? "chi-square test"
                                                         : "exact test";
  if (options.exact_test) {
    tests += " (exact: " + std::to_string(options.exact[0]) + " / " + std::to_string(options.exact[1]) +
             " / " + std::to_string(options.exact[2]) + ")";
  }
  SAY("  design: " + std::to_string(design.populations) + " populations, samples of " +
      (equal_samples ? samples[0] : LIST(samples, 50)) + ", Ne " + std::to_string(options.ne) + ", " +
      PLURAL(design.generations, "generation", "generations") + " of drift, " +
      PLURAL(options.runs, "run", "runs") + ", " + tests + (options.erase ? ", detailed files erased" : ""));
  SAY("  expected F'st: " + FIXED(design.expected_fst, 4) +
      (options.generations ? "" : " (target " + FIXED(options.fst ? *options.fst : DEFAULT_FST, 4) + ")"));
  if (options.exact_test && options.exact[1] * options.exact[2] < ADEQUATE_COUNTED_STEPS) {
    SAY("  warning: " + std::to_string(options.exact[1]) + " batches x " + std::to_string(options.exact[2]) +
        " steps are fewer than " + std::to_string(ADEQUATE_COUNTED_STEPS) +
        " counted steps per locus; loci whose estimated P is 0 will make the combined exact test "
        "reject too often (use --exact 1000,100,1000)");
  }
}

void WRITTEN_SUMMARY(const InitOptions& options, const CAPACITY_PROFILE& profile) {
  SAY("korvel-init: wrote " + options.output + "; run " + profile.BUILD_NAME +
      " in its folder (it holds up to " + std::to_string(profile.MAX_LOCI) + " loci, " +
      std::to_string(profile.MAX_ALLELES) + " alleles per locus, " + std::to_string(profile.MAX_POPS) +
      " populations)");
}

struct Made {
  INPUT_DOCUMENT document;
  const CAPACITY_PROFILE* profile = nullptr;
  std::vector<std::string> design_summary;
};

// Everything but the writing: the data read, the base population and the
// design summarised through SAY, and the design's own summary kept aside.
Made MAKE(const InitOptions& options) {
  PopulationMap popmap;
  BasePopulation base;
  const GenotypeData data = READ_DATA(options, popmap, base);
  const SummarySink say = [](const std::string& line) { SAY(line); };
  DATA_SUMMARY(data, base, options, say);
  if (base.loci.empty() && base.polymorphic > 0 && options.filter.any()) {
    throw InitError("the filters leave out all " +
                    PLURAL(base.polymorphic, "polymorphic locus", "polymorphic loci") + " of " +
                    base.drawn_from + " of " + data.source + ", so there is nothing to simulate; relax " +
                    "--min-maf, --max-missing or --min-samples; nothing written");
  }
  if (base.loci.empty()) {
    throw InitError("no locus is polymorphic in " + base.drawn_from + " of " + data.source +
                    ", so there is nothing to simulate; nothing written");
  }
  const int merged = options.max_alleles ? MERGE_RARE_ALLELES(base, *options.max_alleles) : 0;
  BASE_SUMMARY(base, merged, options, say);
  const Design design = MAKE_DESIGN(options, data);
  Made made;
  made.profile = &CHOOSE_PROGRAM(base, design);
  made.document = MAKE_DOCUMENT(options, design, base);
  const SummarySink* outer = summary_sink;
  const SummarySink keep = [&](const std::string& line) { made.design_summary.push_back(line); };
  summary_sink = &keep;
  DESIGN_SUMMARY(options, design);
  summary_sink = outer;
  return made;
}

int RUN(const InitOptions& options) {
  REFUSE_EXISTING_OUTPUT(options);
  const Made made = MAKE(options);
  WRITE_CHECKED(options, made.document, *made.profile);
  for (const std::string& line : made.design_summary) SAY(line);
  WRITTEN_SUMMARY(options, *made.profile);
  return 0;
}

}  // namespace

InitResult MAKE_INPUT(const InitOptions& options, const SummarySink& say) {
  // The sink is restored however MAKE ends.
  struct Restore {
    const SummarySink* outer;
    ~Restore() { summary_sink = outer; }
  } restore{summary_sink};
  summary_sink = &say;
  const Made made = MAKE(options);
  InitResult result;
  result.text = WRITE_INPUT_TEXT(made.document);
  CHECK_READ_BACK(made.document, READ_INPUT_TEXT(options.output, result.text, *made.profile));
  result.program = made.profile->BUILD_NAME;
  result.many_loci = made.profile == &MANY_LOCI_CAPACITY;
  result.design_summary = made.design_summary;
  return result;
}

int INIT_MAIN(const std::vector<std::string>& args) {
  const InitOptions options = PARSE_OPTIONS(args);
  if (options.help) return tools::PRINT_HELP(TOOL);
  if (options.version) return tools::PRINT_VERSION(TOOL);
  try {
    return RUN(options);
  } catch (const INPUT_FAULT& fault) {
    throw InitError("internal fault: the file made does not read back (" + fault.SUMMARY() +
                    "); nothing written");
  }
}

}  // namespace korvel::init
