// korvel-sweep: runs the simulation program once per level of
// differentiation, in parallel, and turns the summary reports into a power
// curve (curve.csv and curve.svg).
//
// The pieces, each usable on its own (the tests link them directly):
//  - drift arithmetic: generations of drift for a target F'st and back;
//  - the input template: finding DRIFT_SIZE and STOP_T with the reading
//    rules of the program, and rewriting only those two tokens;
//  - the summary report: the parameters and the total row of KORVEL.OUT;
//  - binomial confidence intervals for a power estimate;
//  - the curve files;
//  - running the points as child processes, with progress;
//  - the command line.
#pragma once

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "common/capacity_profiles.h"
#include "control/drift_arithmetic.h"

namespace korvel::sweep {

using EXTENDED = long double;

// Any fault the sweep reports to its user: bad options, an unreadable
// template, a report it cannot make sense of.
class SweepError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// ---- Drift arithmetic ---------------------------------------------------

// The program's own limits and drift arithmetic (the input library).
inline constexpr int MAX_DRIFT_SIZE = korvel::MAX_DIPLOIDS;
inline constexpr int MAX_GENERATIONS = korvel::MAX_GENERATIONS;
using korvel::EXPECTED_FST;

// The library's GENERATIONS_FOR_FST, its refusals reported as SweepError.
int GENERATIONS_FOR_FST(EXTENDED target_fst, int drift_size);

// ---- Input template -----------------------------------------------------

// Where a number stands in the template text.
struct TemplateToken {
  std::size_t offset = 0;
  std::size_t length = 0;
  long long value = 0;
  int line = 0;
};

struct SweepTemplate {
  std::string text;  // the template's bytes, unchanged
  TemplateToken drift_size;
  TemplateToken stop_t;
  int run_chi2 = 0;
  int run_fisher = 0;
  long long stop_runs = 0;
};

// Reads a template with the program's rules: numbers separated by any
// character of code 32 or below, a group's numbers may continue on later
// lines, each group ends by skipping to the next line. `name` is used in
// messages. Throws SweepError when a number up to the runs is missing or
// malformed.
SweepTemplate PARSE_TEMPLATE(std::string_view name, std::string text);
SweepTemplate READ_TEMPLATE(const std::string& path);

// The template with the DRIFT_SIZE and STOP_T tokens replaced by the given
// values; every other byte is kept.
std::string REWRITE_TEMPLATE(const SweepTemplate& tmpl, int drift_size, int generations);

// ---- Summary report -----------------------------------------------------

struct SummaryReport {
  bool chi2_on = false;
  bool fisher_on = false;
  std::optional<int> generations;  // "Generations of drift = "
  std::optional<int> drift_size;   // "Effective size when drifting apart = " (only with drift)
  long long runs = 0;              // total row
  long long chi2_significant = 0;
  long long fisher_significant = 0;
  std::string mean_fst_text;       // "Average F'st over all the R runs = ", as written
  std::string expected_fst_text;   // "Expected Fst = ", as written
};

// Reads the parts of a finished KORVEL.OUT that the curve needs. Throws
// SweepError naming `name` when the report is incomplete (a run that did
// not finish has no total row) or does not have the expected layout.
SummaryReport PARSE_SUMMARY_REPORT(std::string_view name, std::string_view text);

// ---- Confidence intervals -----------------------------------------------

struct Interval {
  EXTENDED low = 0;
  EXTENDED high = 0;
};

// Wilson score interval for a binomial proportion k/n at 95 % (z is the
// 0.975 quantile of the standard normal). Unlike the Wald interval it stays
// within [0, 1] and has a sensible width at powers of 0 and 1, which is
// where power curves spend much of their length.
Interval WILSON_INTERVAL(long long successes, long long trials);

// ---- Points and curve files ---------------------------------------------

struct TestPower {
  long long significant = 0;
  EXTENDED power = 0;
  Interval interval;
};

struct PointResult {
  std::string folder;      // e.g. "point-03"
  int generations = 0;
  int drift_size = 0;
  EXTENDED expected_fst = 0;
  bool ok = false;
  std::string failure;     // why the point has no result
  std::string mean_fst_text;
  long long runs = 0;
  bool chi2_on = false;
  bool fisher_on = false;
  TestPower chi2;
  TestPower fisher;
};

// Turns a point folder into a result: its KORVEL.IN gives N and t, its
// KORVEL.OUT the counts. A missing or unfinished report makes a failed
// point whose message comes from the program's console log when there is
// one.
PointResult COLLECT_POINT(const std::string& dir, const std::string& folder);

std::string CURVE_CSV(const std::vector<PointResult>& points);
std::string CURVE_SVG(const std::vector<PointResult>& points);

// The last lines the program wrote that say something (blank lines and
// per-run progress lines left out), joined by " / ".
std::string PROGRAM_MESSAGE(std::string_view console_text);

// ---- Running ------------------------------------------------------------

struct PointJob {
  std::string folder;  // absolute path of the point folder
  std::string label;   // e.g. "point-03"
  std::string description;  // e.g. "t = 10, N = 500, expected F'st 0.0099"
  int generations = 0;  // for the estimate of the time left
};

struct JobOutcome {
  bool ok = false;
  std::string failure;
  double seconds = 0;
};

// Runs `program` once in each job's folder, at most `jobs` at a time, with
// standard input from /dev/null and its console text in console.log. With
// `terminal` a progress line is kept up to date on standard output; one
// line per finished point is written either way.
std::vector<JobOutcome> RUN_JOBS(const std::string& program, const std::vector<PointJob>& points,
                                 int jobs, bool terminal);

// The shell command that runs one point, for --emit-jobs.
std::string JOB_COMMAND(const std::string& program, const std::string& folder);
std::string SHELL_QUOTE(std::string_view text);

// "1:05" / "1:02:03" for a duration in seconds.
std::string CLOCK_TEXT(double seconds);

// ---- Command line -------------------------------------------------------

// The whole program; returns its exit status (0 all points done, 1 some
// point failed or nothing could be done, 2 bad usage).
int SWEEP_MAIN(const std::vector<std::string>& args);

}  // namespace korvel::sweep
