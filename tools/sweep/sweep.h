// korvel-sweep: runs the simulation program once per point of a study (a
// grid of differentiation x sample size and/or number of loci, or the
// search's probes), locally, as a job list or as a Slurm job array, and
// turns the summary reports into power curves (curve.csv and the figures)
// and the planning answer (design.csv): the smallest sample size or number
// of loci that reaches a target power.
//
// Its pieces by job, each usable on its own (the tests link them directly):
//  - sweep.h (this file), points and their folders: the settings a study
//    asks, the input template and its rewrite, seeds and descriptions, the
//    summary report, binomial intervals and calibration, a point's result
//    and the warnings of points;
//  - running.h: running points as child processes with progress, stopping,
//    the job list and the Slurm job array;
//  - results.h: the curves, curve.csv and the design table;
//  - figure.h: the figures; search.h: the search;
//  - sweep_main.h: the whole program.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "input/drift_arithmetic.h"
#include "input/input_document.h"
#include "input/run_settings.h"
#include "input/shared_names.h"
#include "tool_main.h"
#include "whole_file.h"

namespace korvel::sweep {

using EXTENDED = long double;

// Any fault the sweep reports to its user: an unreadable template, a report
// it cannot make sense of, a folder it cannot write.
class SweepError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// A mistake on the command line (exit status 2), also found once the
// template is read.
using tools::UsageError;

// The power a design must reach when --target-power is not given: the
// planning convention of four chances in five to detect a real difference.
inline constexpr EXTENDED DEFAULT_TARGET_POWER = 0.8L;
// The runs a point (--precision) or an answer (--find) may spend when
// --max-runs is not given, in batches of one run of the template each:
// bounds the time to fifty times a plain run.
inline constexpr long long DEFAULT_BUDGET_BATCHES = 50;

// What a study asks of its runs, a grid and a search alike, as the command
// line gives it; each mode's own options come beside it.
struct StudySettings {
  std::optional<long long> runs;      // per point or probe batch; unset: the template's
  std::optional<long long> max_runs;  // per point (--precision) or per answer (--find)
  std::optional<std::uint32_t> seed;  // unset: the program seeds itself (a search picks one)
  int jobs = 0;                       // points at once; 0: as the cores allow
  int threads_per_point = 0;          // 0: the cores shared out
  std::optional<int> ne;              // unset: the template's effective size
  bool no_null = false;
  bool resume = false;
  bool force = false;
  bool keep_details = false;
  std::string out = "sweep";
  std::vector<std::string> figure_formats{"svg"};
};

// The study's folder (--out) as an absolute path, made when missing; one
// that exists is refused unless --force or --resume says what to do with
// it (`mode`, "sweep" or "search", names the study in the message).
// Nothing in it is written or removed here.
std::filesystem::path OPEN_STUDY_FOLDER(const StudySettings& settings, const std::string& mode);
// Beside the points or probes: the template made from a data file and
// korvel-init's summary of the data (nothing when the study ran from a
// template).
void WRITE_SOURCE_FILES(const std::filesystem::path& dir, const std::string& made_template,
                        const std::string& data_summary);

// ---- Input template -----------------------------------------------------

// What one point changes in the template. Unset values keep the template's.
struct PointValues {
  int drift_size = 0;
  int generations = 0;
  std::optional<int> sample_size;  // every population's diploid sample size
  std::optional<int> loci;         // the first k loci of the template
};

// How a point runs, beside its values; unset keeps the template's. Neither
// enters the point's seed.
struct RunSettings {
  std::optional<long long> runs;  // replicate runs (line 12)
  std::optional<bool> erase;      // erase the detailed files (line 5); KORVEL.OUT stays
};

// The facts of a KORVEL.IN that the sweep needs.
struct InputFacts {
  int loci = 0;
  int pops = 0;
  int drift_size = 0;
  int generations = 0;
  std::vector<int> sample_sizes;
  long long runs = 0;
  long long iter1 = 0, iter2 = 0, iter3 = 0;
  bool chi2_on = false;
  bool fisher_on = false;
  std::string comment1;
};

// A template as the program reads it: its bytes, its values and where each
// value stands.
struct SweepTemplate {
  INPUT_DOCUMENT document;
  InputFacts facts;
};

// Reads a template with the program's input library and checks it as the
// program that will run it (korvel, or korvel-ml with many_loci) would;
// throws SweepError with the program's reason, file and line.
SweepTemplate PARSE_TEMPLATE(std::string_view name, std::string text, bool many_loci = false);
SweepTemplate READ_TEMPLATE(const std::string& path, bool many_loci = false);
// A point's KORVEL.IN, as either program accepts it.
InputFacts READ_POINT_INPUT(const std::string& path);

// The point's KORVEL.IN: the template with DRIFT_SIZE, STOP_T and, when set,
// every sample size and the number of loci replaced (loci beyond k are
// dropped) and the second comment line replaced by `comment2`; every other
// byte is kept.
std::string REWRITE_TEMPLATE(const SweepTemplate& tmpl, const PointValues& values, std::string_view comment2,
                             const RunSettings& settings = {});

// ---- Drift arithmetic ---------------------------------------------------

// The program's generations for a target F'st (GENERATIONS_FOR_FST), and 0
// for a target of exactly 0 (no drift); a target it refuses is a
// UsageError.
int GENERATIONS_FOR_TARGET(EXTENDED target_fst, int drift_size);
using korvel::EXPECTED_FST;

// The generator seed of a point: derived from the sweep's seed and the
// point's values only, so that the same command gives the same seeds
// whatever the order, the number of jobs or the scheduler.
// A batch after the first (batch > 0) of the same values gets a seed of
// its own; batch 0 is the point's seed.
std::uint32_t POINT_SEED(std::uint32_t sweep_seed, const PointValues& values, int batch = 0);
// A seed as a run folder's seed.txt holds it; "" for none (the program
// seeds itself).
std::string SEED_TEXT(std::optional<std::uint32_t> seed);

// A point's values in words, for the progress lines and (after
// POINT_COMMENT_PREFIX) its KORVEL.IN's second comment line, of which the
// program copies at most 80 characters to its report:
// "F'st 0.009955, t = 10, Ne = 500, n = 30, 10 loci". Unset values are the
// template's (n as its range when its sample sizes differ).
std::string DESCRIBE_POINT(const InputFacts& facts, const PointValues& values);
inline constexpr const char* POINT_COMMENT_PREFIX = "korvel-sweep: ";

// ---- Summary report -----------------------------------------------------

struct SummaryReport {
  bool chi2_on = false;
  bool fisher_on = false;
  std::optional<int> generations;  // "Generations of drift = "
  std::optional<int> drift_size;   // "Effective size when drifting apart = " (only with drift)
  long long runs = 0;              // total row
  long long chi2_significant = 0;
  long long fisher_significant = 0;
  std::string mean_fst_text;      // "Average F'st over all the R runs = ", as written
  std::string expected_fst_text;  // "Expected Fst = ", as written
};

// Reads the parts of a finished KORVEL.OUT that the curve needs. Throws
// SweepError naming `name` when the report is incomplete (a run that did
// not finish has no final lines) or does not have the expected layout.
SummaryReport PARSE_SUMMARY_REPORT(std::string_view name, std::string_view text);

// ---- Confidence intervals and calibration -------------------------------

struct Interval {
  EXTENDED low = 0;
  EXTENDED high = 0;
};

// The 0.975 quantile of the standard normal distribution: every 95 %
// interval of the sweep (Wilson's, and Fieller's for a search's answer).
inline constexpr EXTENDED Z_95 = 1.95996398454005423552L;

// Wilson score interval for a binomial proportion k/n at 95 %.
Interval WILSON_INTERVAL(long long successes, long long trials);

// The largest number of rejections in `runs` runs that a test rejecting
// with probability 0.05 gives with 99 % probability (the upper end of the
// central 99 % binomial range). More rejections at F'st 0 mark the test as
// miscalibrated.
long long NULL_REJECTION_LIMIT(long long runs);
// The largest number of rejections in `runs` runs that a test rejecting
// with probability 0.05 reaches with at most 0.5 % probability (the lower
// end of the same central 99 % range); -1 when even 0 is more likely.
long long NULL_CONSERVATIVE_LIMIT(long long runs);

// The verdict on a test from its rejections without drift: above the upper
// limit it is miscalibrated (its power means nothing), at or below the
// lower limit conservative (it rarely rejects even at the 5 % level, so
// its power understates what a calibrated test would find). Grids and the
// search both judge by this one function.
enum class Calibration { OK, MISCALIBRATED, CONSERVATIVE };
Calibration CALIBRATION_VERDICT(long long significant, long long runs);
const char* CALIBRATION_TEXT(Calibration verdict);  // "ok", "miscalibrated", "conservative"
// Why a test is conservative and what to do about it, in one sentence.
extern const char* const CONSERVATIVE_EXPLANATION;

// ---- Points -------------------------------------------------------------

struct TestPower {
  long long significant = 0;
  EXTENDED power = 0;
  Interval interval;
};

enum class Test { CHI2, FISHER };
inline constexpr Test TESTS[] = {Test::CHI2, Test::FISHER};
// Each test has one name in every file, table and figure of grids and
// searches alike: "chi2" / "exact" in the files (and as the prefix of the
// test's columns), "chi-square test" / "exact test" in sentences. They are
// the Chi2 and Fisher columns of KORVEL.OUT.
inline const char* TEST_NAME(Test test) { return test == Test::CHI2 ? "chi2" : "exact"; }
inline const char* TEST_WORDS(Test test) { return test == Test::CHI2 ? "chi-square test" : "exact test"; }

// ---- Small helpers ------------------------------------------------------

// What the program printed while running a point, in the point's folder.
inline constexpr const char* CONSOLE_FILE_NAME = "console.log";

// The whole file; false when it cannot be read.
using korvel::tools::READ_WHOLE_FILE;
// Replaces a file by a rename from a scratch file beside it, never in place.
using korvel::tools::WRITE_WHOLE_FILE;
// A real with `decimals` decimals, as the result files write it.
std::string FIXED_TEXT(EXTENDED value, int decimals);

struct PointResult {
  std::string folder;  // e.g. "point-03"
  InputFacts input;    // from the point's KORVEL.IN
  EXTENDED expected_fst = 0;
  bool ok = false;
  std::string failure;  // why the point has no result
  std::string mean_fst_text;
  long long runs = 0;
  bool chi2_on = false;
  bool fisher_on = false;
  TestPower chi2;
  TestPower fisher;

  bool on(Test test) const { return test == Test::CHI2 ? chi2_on : fisher_on; }
  const TestPower& power(Test test) const { return test == Test::CHI2 ? chi2 : fisher; }
  // Every population's sample size when they are all the same, else 0.
  int common_sample_size() const;
};

// Turns a point folder into a result: its KORVEL.IN gives the design, its
// KORVEL.OUT the counts. A missing or unfinished report makes a failed
// point whose message comes from the program's console log when there is
// one.
PointResult COLLECT_POINT(const std::string& dir, const std::string& folder);

// The file a run folder records its generator seed in.
inline constexpr const char* SEED_FILE = "seed.txt";

// A run folder of an earlier sweep or search that finished: the same
// KORVEL.IN, the same seed file (`seed_text`; none when it is empty) and a
// complete report. One killed after its report but before the program
// erased its details has finished too; unless keep_details, those are
// removed, and its contingency-table file always, so that the folder is as
// an uninterrupted run leaves it.
bool FINISHED_RUN(const std::string& folder, const std::string& input, const std::string& seed_text,
                  bool keep_details);

// Removes what a run of the program leaves beside its report when it is
// stopped before its own clean-up: the detailed output files (unless
// keep_details) and the contingency-table file.
void REMOVE_WORKING_FILES(const std::string& folder, bool keep_details);

// The last lines the program wrote that say something (blank lines and
// per-run progress lines left out), joined by " / ".
std::string PROGRAM_MESSAGE(std::string_view console_text);

// The warnings of points: each `warning:` line of their console text, once
// per kind (the line with its numbers left out), with the points that gave
// it in the order met.
struct PointWarning {
  std::string text;  // the first line of the kind as met
  std::vector<std::string> points;
  bool resolution = false;  // the exact test's resolution warning
};
struct PointConsole {
  std::string label;
  std::string text;
};
std::vector<PointWarning> GATHER_WARNINGS(const std::vector<PointConsole>& consoles);
// Says each kind on standard error once, with the points (or probes: the
// `noun`) that gave it; true when the exact test's resolution warning was
// among them.
bool REPORT_WARNINGS(const std::vector<PointConsole>& consoles, const std::string& noun);

}  // namespace korvel::sweep
