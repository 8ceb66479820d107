// The planning search (--find): for every F'st and test, the smallest sample
// size (or number of loci) whose power reaches the target, found by probing
// a few values of n in seeded batches and fitting a monotone model of power
// in n to the probes of that F'st and test.
//
// The model is a logistic curve in log n,
//   power(n) = 1 / (1 + exp(-(a + b (log n - c)))),  b >= 0,
// fitted by maximum likelihood to the binomial counts of the probes (c is
// the runs-weighted mean of log n, which only keeps a and b uncorrelated).
// It is a local model: probes far from the crossing where it does not hold
// (a false-positive floor at tiny n, a plateau below 1) are left out, end
// by end, until the deviance test accepts the fit. The answer is where the
// fit crosses the target; its 95 % interval is Fieller's interval for that
// crossing (the values of log n where the 95 % band of a + b (log n - c),
// from the observed information scaled by any overdispersion, contains the
// target's logit), so a poorly known slope gives a wide or open interval
// rather than a falsely narrow one. No answer is called `ok` before probes
// at it and just below it agree with it and the test is checked without
// drift at it.
#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "figure.h"
#include "sweep.h"

namespace korvel::sweep {

// The runs and rejections of one test at one value of n, all batches
// together.
struct ProbeCount {
  int x = 0;  // sample size or number of loci
  long long runs = 0;
  long long significant = 0;
};

struct PowerFit {
  EXTENDED a = 0, b = 0, centre = 0;
  EXTENDED var_a = 0, cov_ab = 0, var_b = 0;  // inverse observed information
  EXTENDED power(EXTENDED x) const;
};

// The maximum-likelihood logistic curve in log n with b >= 0. A small ridge
// keeps a and b finite when the counts are all 0, all 1 or separate
// perfectly; the iterations are a fixed Newton scheme with step halving, so
// the same counts always give the same fit.
PowerFit FIT_POWER(const std::vector<ProbeCount>& probes);

// Where the fit reaches `target` on a continuous n, with Fieller's 95 %
// interval; ends that the interval leaves open are absent.
// `dispersion` (at least 1) scales the fit's variances when the probes
// scatter more than binomial counts do.
struct Crossing {
  std::optional<EXTENDED> at;  // absent: the fit is flat
  std::optional<EXTENDED> low, high;
};
Crossing CROSSING(const PowerFit& fit, EXTENDED target, EXTENDED dispersion = 1);

// The deviance test of a fit against the probes it was fitted to: G2 on
// (probed values - 2) degrees of freedom and its upper-tail probability
// (1 when there are no degrees of freedom, where nothing can be checked).
struct FitCheck {
  EXTENDED deviance = 0;
  int df = 0;
  EXTENDED p = 1;
  bool checked() const { return df >= 1; }
  bool fits() const;  // checked, and not rejected at the 1 % level
  // The variance factor for the crossing: deviance per degree of freedom,
  // at least 1.
  EXTENDED dispersion() const;
};
FitCheck CHECK_FIT(const PowerFit& fit, const std::vector<ProbeCount>& probes);

// Upper-tail probability of the chi-square distribution with `df` degrees
// of freedom.
EXTENDED CHI_SQUARE_TAIL(EXTENDED statistic, int df);

// The model fitted to the probes where it holds: starting from all of
// them, while the deviance test rejects the fit, an end probe that the
// model misses on its own (deviance of 6.63 or more: a floor, a plateau) is
// left out, the one farther (in log n) from the crossing first, down to
// three values; without such an end, the farther end, down to four values.
struct LocalFit {
  std::vector<ProbeCount> used;  // ascending in x
  PowerFit fit;
  FitCheck check;
};
LocalFit FIT_LOCALLY(const std::vector<ProbeCount>& probes, EXTENDED target);

// model.csv: every curve's fitted model as the figure samples it, one row
// per sample (expected_fst, test, the axis column, power).
std::string FITTED_MODEL_CSV(const SampleSizeFigure& figure, const std::string& axis_column);

struct SearchRange {
  int low = 2, high = 1000;
  EXTENDED target = DEFAULT_TARGET_POWER;
  std::optional<EXTENDED> tolerance;  // default: max(1, 5 % of the estimate)
};

// STOPPED: a signal ended the search before the answer was settled.
// CONSERVATIVE: an answer whose test rejects far less than 5 % without
// drift at the answer.
enum class AnswerStatus { SEARCHING, OK, NOT_REACHED, BUDGET_SPENT, MISCALIBRATED, STOPPED, CONSERVATIVE };
const char* STATUS_TEXT(AnswerStatus status);  // "ok", "not reached", ...
// The statuses that come with an answer and its interval.
bool HAS_ESTIMATE(AnswerStatus status);

// Where one F'st and test stand after the probes so far: the answer and its
// interval in whole n when there is one, and while searching the values of
// n to probe next (ascending, within the range, without repeats).
struct AnswerState {
  AnswerStatus status = AnswerStatus::SEARCHING;
  std::optional<int> answer, low, high;
  std::vector<int> next;
  // The probed values the model was fitted to (0 when there is no fit).
  int fit_from = 0, fit_to = 0;
  bool fit_checked = false;    // the local fit has degrees of freedom left to test it
  bool fit_rejected = false;   // the deviance test rejects even the local fit
  std::vector<int> conflicts;  // probes that contradict the answer
};
// A state with a status and nothing else (no answer, no probes).
inline AnswerState ONLY_STATUS(AnswerStatus status) {
  AnswerState state;
  state.status = status;
  return state;
}

// Bracketing first (the range's ends and their geometric middle); then the
// estimate, the value below it and the ends of its interval until the
// interval is within the tolerance on both sides, the local fit passes its
// check, the answer and the value below it have been probed and no probe
// contradicts the answer. Power at the upper end whose whole Wilson
// interval lies below the target is `not reached`; power at the lower end
// whose whole interval lies above it answers the lower end. Values whose
// power is settled on one side of the target are not probed again; the
// geometric middle between them and the answer is probed instead.
AnswerState DECIDE(const std::vector<ProbeCount>& probes, const SearchRange& range);

// The probes that contradict `answer`: at or above it with a 95 % upper
// bound below the target, or below it with a lower bound above the target.
std::vector<int> CONTRADICTING(const std::vector<ProbeCount>& probes, int answer, EXTENDED target);

// Whether an interval lies within `tolerance` of its answer on both sides.
bool WITHIN_TOLERANCE(int answer, int low, int high, EXTENDED tolerance);

// Of the values a test wants probed next, those that fit into the budget:
// `planned` are values already in this round (free for this test), each
// new value costs one batch, and `used` plus the round never exceeds
// `budget`. `spent` when the test wanted values and none could be had.
struct RoundPlan {
  std::vector<int> added;
  bool spent = false;
};
RoundPlan PLAN_ROUND(const std::vector<int>& wanted, const std::vector<int>& planned, long long used,
                     long long batch_runs, long long budget);

// The fitted power at `samples` values of n spaced evenly in log n over
// [from, to], for the figure.
std::vector<std::pair<EXTENDED, EXTENDED>> FITTED_CURVE(const PowerFit& fit, int from, int to, int samples);

// One curve of the figure: the probes with their Wilson intervals, the fit
// sampled over the range, and the answer when there is one.
FigureCurve SEARCH_CURVE(EXTENDED expected_fst, Test test, const std::vector<ProbeCount>& counts,
                         const AnswerState& state, const SearchRange& range);

// "12 individuals per population (95 % interval 11–14) detect F'st 0.010
// with 80 % power (chi-square test)", or the status in words.
struct CaptionFacts {
  bool loci_axis = false;
  EXTENDED expected_fst = 0;
  EXTENDED target = DEFAULT_TARGET_POWER;
  Test test = Test::CHI2;
  AnswerState state;
};
std::string ANSWER_SENTENCE(const CaptionFacts& facts);

// The command: returns the exit status (0 every answer found, 1 failure, 3
// finished with a flagged answer).
// The settings a grid has too (the seed: absent, one from the clock, or
// DIR's with --resume), and the search's own.
struct SearchOptions : StudySettings {
  bool loci_axis = false;
  bool random_loci = false;   // --find loci adds the loci in a seeded random order
  bool many_loci = false;     // the template is read with korvel-ml's limits
  std::vector<EXTENDED> fst;  // targets; each gives its generations
  SearchRange range;
  bool range_given = false;
  std::string program;
  std::string title;
  std::vector<std::string> data_lines;  // where the template came from, for the caption
  // Written into DIR once it is ready: the template made from a data file
  // and korvel-init's summary of it (both empty for a template).
  std::string made_template, data_summary;
  // The command line as given, for the command that goes on after the
  // budget is spent.
  std::vector<std::string> arguments;
};
int RUN_SEARCH(const SweepTemplate& tmpl, const SearchOptions& options);

// The order in which --find loci adds the template's loci (0-based): the
// file's, or a shuffle fixed by the search's seed; the template with its
// loci in that order (the first K are then the panel of K); the order as
// DIR/locus-order.csv and in words for the console and caption.
std::vector<int> LOCUS_ORDER(int loci, std::uint32_t seed, bool random);
SweepTemplate ORDER_LOCI(const SweepTemplate& tmpl, const std::vector<int>& order, bool many_loci);
std::string LOCUS_ORDER_CSV(const std::vector<int>& order);
std::string LOCUS_ORDER_TEXT(const std::vector<int>& order, bool random);

}  // namespace korvel::sweep
