// korvel-init: turns genotypes a user already has (a Genepop file, or a VCF
// or BCF with an optional population map) into a ready KORVEL.IN.
//
// The pieces, each usable on its own (the tests link them directly):
//  - the readers: Genepop text, and VCF/BCF through htslib, both giving
//    allele counts per locus and population (GenotypeData);
//  - the population map;
//  - the base population: pooled or one population's frequencies, loci
//    without information left out, rare alleles merged, loci chosen;
//  - the design: the options with their defaults, and which program's
//    limits it fits;
//  - the command line, which writes the file and reads it back.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <random>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "tool_main.h"

namespace korvel::tools {
class CommandLine;
}

namespace korvel::init {

// Any fault reported to the user: unreadable data, a bad option, a design
// no program can run. The text names the file and line or record.
class InitError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// ---- Counted genotypes ----------------------------------------------------

// One locus of the data: its alleles in output order and the gene copies of
// each allele counted per population.
struct LocusCounts {
  std::string name;
  std::vector<std::string> alleles;            // labels, in output order
  std::vector<std::vector<long long>> counts;  // [population][allele]
  std::vector<long long> missing;              // [population] individuals without a call
  std::vector<long long> called{};             // [population] individuals with a call
};

struct GenotypeData {
  std::string source;  // the data file as named by the user
  std::string format;  // "Genepop", "VCF", "BCF"
  std::string ploidy;  // "diploid", "haploid" or "mixed ploidy"
  std::vector<std::string> populations;
  std::vector<long long> individuals;  // [population] individuals read
  std::vector<long long> genotyped;    // [population] individuals with a call at some locus
  std::vector<LocusCounts> loci;
  std::vector<std::string> notes;  // what the reader left out, for the summary
};

// Reads a Genepop file. `text` is its content, `name` names it in messages.
GenotypeData READ_GENEPOP_TEXT(std::string_view name, std::string_view text);
GenotypeData READ_GENEPOP(const std::string& path);

// ---- Population map ---------------------------------------------------------

// Sample name -> population, with the populations in order of first mention.
struct PopulationMap {
  std::vector<std::string> populations;
  std::map<std::string, std::size_t> population_of;  // sample -> index into populations
  std::map<std::string, int> line_of;                // sample -> line of the map
};

// Two columns per line, sample and population, separated by blanks or tabs;
// blank lines and lines starting with '#' are skipped.
PopulationMap READ_POPMAP_TEXT(std::string_view name, std::string_view text);
PopulationMap READ_POPMAP(const std::string& path);

// ---- VCF / BCF --------------------------------------------------------------

class BaseBuilder;

struct VcfOptions {
  bool pass_only = false;
  bool allow_truncated = false;           // read a compressed file without its end marker
  const PopulationMap* popmap = nullptr;  // null: all samples one population
  std::string popmap_name;                // for messages
  // Null: every locus goes into GenotypeData::loci. Else each locus goes to
  // the builder as it is read and GenotypeData::loci stays empty, so that
  // memory holds the loci kept, not the sites read.
  BaseBuilder* base = nullptr;
};

// The populations a VCF reader gives, in order, before anything is read.
std::vector<std::string> VCF_POPULATIONS(const PopulationMap* popmap);

// Reads VCF or BCF, plain or bgzipped, through htslib.
GenotypeData READ_VCF(const std::string& path, const VcfOptions& options);

// ---- Format recognition -------------------------------------------------------

enum class DataFormat { GENEPOP, VCF, FREQUENCIES };

// VCF and BCF are recognised by htslib from the content; anything else that
// is text is taken for Genepop.
DataFormat DETECT_FORMAT(const std::string& path);

// ---- Base population ------------------------------------------------------------

struct BaseLocus {
  std::string name;
  std::vector<std::string> alleles;
  std::vector<long long> counts;  // gene copies per allele, all > 0
  int merged_alleles = 0;         // alleles folded into the last class by --max-alleles (0: none)
  std::vector<double> given{};    // frequencies read from a table (empty: from counts)
  long long total() const;
  std::vector<double> frequencies() const;
};

struct LeftOutLocus {
  std::string name;
  std::string why;  // "monomorphic", "no genotypes"
};

// The loci the filters left out, each counted under the first filter it
// fails, in this order.
struct FilteredLoci {
  long long missing = 0;  // --max-missing
  long long samples = 0;  // --min-samples
  long long rare = 0;     // --min-maf
};

struct BasePopulation {
  std::vector<BaseLocus> loci;
  std::vector<LeftOutLocus> left_out;  // the first few of left_out_count
  long long left_out_count = 0;
  long long loci_read = 0;
  long long missing = 0;                         // individuals without a call, summed over the loci read
  std::vector<long long> missing_by_population;  // the same per population of the data
  // The least and the most missing genotypes of one locus, as a share of
  // its individuals in all populations, over the loci read.
  double least_missing = 0;
  double most_missing = 0;
  long long polymorphic = 0;  // loci with two alleles or more in the base population
  FilteredLoci filtered;
  long long informative = 0;  // loci kept by the filters, before --max-loci chose among them
  std::string drawn_from;     // "pooled over 3 populations" / "population 2 (X)"
};

// The share of a locus's gene copies not of its commonest allele: the
// minor allele's frequency of a biallelic locus, and of a multi-allelic one
// the frequency of all its alleles but the commonest together.
double MINOR_ALLELE_SHARE(const std::vector<long long>& counts);

// What a locus must show in the base population's populations to be kept.
struct LocusFilter {
  std::optional<long double> min_maf;      // MINOR_ALLELE_SHARE at least this
  std::optional<long double> max_missing;  // share of individuals without a call at most this
  std::optional<int> min_samples;          // individuals with a call in every population, at least
  bool any() const { return min_maf || max_missing || min_samples; }
};

inline constexpr std::size_t LEFT_OUT_SHOWN = 10;

// Which loci of a stream to keep, deciding as each arrives: without a seed
// the first `wanted`; with one, a reservoir draw (the i-th locus, counted
// from 0, takes a slot when a draw in 0..i falls below `wanted`, replacing
// the locus there), which leaves every subset equally likely.
class LociDraw {
 public:
  static constexpr std::size_t NOT_KEPT = static_cast<std::size_t>(-1);
  LociDraw(std::optional<int> wanted, std::optional<std::uint32_t> seed);
  // The slot the next locus takes (0..wanted-1), or NOT_KEPT.
  std::size_t offer();

 private:
  std::uint64_t uniform_below(std::uint64_t range);
  std::optional<std::size_t> wanted_;
  bool random_;
  std::mt19937 generator_;
  std::uint64_t offered_ = 0;
};

// Which populations form the base population and how many loci it keeps.
struct BaseChoice {
  std::vector<std::size_t> populations;  // pooled; empty: every population
  std::optional<int> max_loci;
  std::optional<std::uint32_t> seed;  // with max_loci: a random choice
  LocusFilter filter{};               // none unless given
};

// Forms the base population one locus at a time: counts pooled over the
// chosen populations (each weighted by its genotyped gene copies), alleles
// not seen there dropped, loci with no genotypes or a single allele left
// out, then the loci the filters refuse, and of the rest at most max_loci
// kept, chosen as SELECT_LOCI chooses. Only the loci kept stay in memory.
class BaseBuilder {
 public:
  BaseBuilder(const std::vector<std::string>& population_names, BaseChoice choice);
  void add(const LocusCounts& locus);
  BasePopulation finish();

 private:
  void tally_missing(const LocusCounts& locus);
  // Why the filters leave the locus out; empty when they keep it.
  std::string filtered_out(const LocusCounts& locus);
  void leave_out(const std::string& name, const std::string& why);
  BaseChoice choice_;
  BasePopulation base_;
  LociDraw draw_;
  std::vector<std::string> names_;
  BaseLocus candidate_;                                // reused for every locus
  std::vector<std::pair<long long, BaseLocus>> kept_;  // (place among the informative loci, locus)
};

// The straightforward form: every locus of `data`, nothing chosen.
BasePopulation BASE_POPULATION(const GenotypeData& data, const std::vector<std::size_t>& populations);

// Folds the rarest alleles of every locus with more than `max_alleles`
// into one class, so that each keeps `max_alleles` classes: the
// max_alleles - 1 most frequent alleles (ties: the earlier allele) in their
// order, then the merged class. Returns the number of loci changed.
int MERGE_RARE_ALLELES(BasePopulation& base, int max_alleles);

// Keeps `max_loci` loci: the first ones, or with a seed a random choice
// (every subset equally likely), kept in data order. The random choice is a
// reservoir draw over the loci in data order, so that a reader can make it
// while reading: the same seed picks the same loci either way.
void SELECT_LOCI(BasePopulation& base, int max_loci, std::optional<std::uint32_t> seed);

// Which populations the items of --pop mean: a number is always a position
// (1-based) in the data; anything else must be the name of exactly one
// population. `source` names the data in messages.
std::vector<std::size_t> FIND_POPULATIONS(const std::vector<std::string>& populations,
                                          const std::string& source, const std::vector<std::string>& items);

}  // namespace korvel::init

namespace korvel::init {

// ---- Command line -------------------------------------------------------------

struct InitOptions {
  std::string data;
  std::optional<DataFormat> format;
  std::string popmap;
  bool pass_only = false;
  bool allow_truncated = false;
  std::vector<std::string> pops;  // --pop: names or positions, pooled
  std::optional<int> populations;
  std::vector<int> samples;  // one value: every population
  int ne = 1000;
  std::optional<int> generations;
  std::optional<long double> fst;  // default 0.01 when neither is given
  long long runs = 1000;
  long long exact[3] = {1000, 100, 1000};
  bool chi2 = true;
  bool exact_test = true;
  bool erase = false;
  std::optional<int> max_loci;
  std::optional<std::uint32_t> seed;
  std::optional<int> max_alleles;
  LocusFilter filter;  // --min-maf, --max-missing, --min-samples
  std::string output = "KORVEL.IN";
  bool force = false;
  bool help = false;
  bool version = false;
  std::vector<std::string> given;  // the options as typed, for the comment line
};

inline constexpr long double DEFAULT_FST = 0.01L;

// A mistake on the command line (exit status 2), also found while the
// design is made.
using tools::UsageError;
// Throws UsageError for anything malformed or contradictory.
InitOptions PARSE_OPTIONS(const std::vector<std::string>& args);

// The options that shape the design made from a data file, added to a
// command line and read into `options`; korvel-sweep offers them too.
void ADD_DESIGN_OPTIONS(tools::CommandLine& command, InitOptions& options);

extern const tools::ToolText TOOL;

// What korvel-init makes from the options, without writing it: the
// KORVEL.IN text (checked by reading it back), the program whose limits
// hold it, and the summary lines of the design. The summary of the data and
// the base population goes to `say` line by line as it is made, so that it
// comes before any fault found later.
struct InitResult {
  std::string text;
  std::string program;  // "korvel" or "korvel-ml"
  bool many_loci = false;
  std::vector<std::string> design_summary;
};
using SummarySink = std::function<void(const std::string&)>;
InitResult MAKE_INPUT(const InitOptions& options, const SummarySink& say);

// The summary of the data read and of the base population formed from it:
// individuals, missing genotypes, loci left out and why, and plain notes on
// what the data imply for the design (genotypes missing, rare alleles).
void DATA_SUMMARY(const GenotypeData& data, const BasePopulation& base, const InitOptions& options,
                  const SummarySink& say);
void BASE_SUMMARY(const BasePopulation& base, int merged, const InitOptions& options, const SummarySink& say);

// Above this share of missing genotypes the summary says what it means for
// the sample size; with at least this share of loci whose minor allele is
// below 5 % it says what rare alleles do to the combined exact test.
inline constexpr long double HIGH_MISSING_SHARE = 0.10L;
inline constexpr long double MANY_RARE_LOCI_SHARE = 0.20L;

// ---- A table of allele frequencies ----------------------------------------------

inline const std::string FREQUENCY_TABLE = "frequency table";  // GenotypeData::format

// Reads DATA as a CSV or TSV table (header locus,allele,frequency; one row
// per allele) straight into `base`; the options that read genotypes are
// refused, and a sample size must be given.
GenotypeData READ_FREQUENCY_TABLE(const InitOptions& options, BasePopulation& base);
std::string FREQUENCY_TABLE_SUMMARY(const GenotypeData& data, const BasePopulation& base);

// The whole program, run through tools::RUN_TOOL: returns 0 when the file
// is written; a refusal is thrown (exit status 1), a mistake on the command
// line thrown as UsageError (2). The summary goes to standard error.
int INIT_MAIN(const std::vector<std::string>& args);

}  // namespace korvel::init
