// The planning search (--find): for every F'st and test, the smallest sample
// size (or number of loci) whose power reaches the target, found by probing
// a few values of n in seeded batches and fitting a monotone model of power
// in n to every probe of that F'st and test.
//
// The model is a logistic curve in log n,
//   power(n) = 1 / (1 + exp(-(a + b (log n - c)))),  b >= 0,
// fitted by maximum likelihood to the binomial counts of the probes (c is
// the runs-weighted mean of log n, which only keeps a and b uncorrelated).
// The answer is where the fit crosses the target; its 95 % interval is
// Fieller's interval for that crossing (the values of log n where the 95 %
// band of a + b (log n - c), from the observed information, contains the
// target's logit), so a poorly known slope gives a wide or open interval
// rather than a falsely narrow one.
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
struct Crossing {
  std::optional<EXTENDED> at;  // absent: the fit is flat
  std::optional<EXTENDED> low, high;
};
Crossing CROSSING(const PowerFit& fit, EXTENDED target);

struct SearchRange {
  int low = 2, high = 1000;
  EXTENDED target = 0.8L;
  std::optional<EXTENDED> tolerance;  // default: max(1, 5 % of the estimate)
};

enum class AnswerStatus { SEARCHING, OK, NOT_REACHED, BUDGET_SPENT, MISCALIBRATED };
const char* STATUS_TEXT(AnswerStatus status);  // "ok", "not reached", ...

// Where one F'st and test stand after the probes so far: the answer and its
// interval in whole n when there is one, and while searching the values of
// n to probe next (ascending, within the range, without repeats).
struct AnswerState {
  AnswerStatus status = AnswerStatus::SEARCHING;
  std::optional<int> answer, low, high;
  std::vector<int> next;
};

// Bracketing first (the range's ends and their geometric middle); then the
// estimate and the ends of its interval until the interval is within the
// tolerance. Power at the upper end whose whole Wilson interval lies below
// the target is `not reached`; power at the lower end whose whole interval
// lies above it answers the lower end.
AnswerState DECIDE(const std::vector<ProbeCount>& probes, const SearchRange& range);

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
  EXTENDED target = 0.8L;
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
  std::vector<EXTENDED> fst;  // targets; each gives its generations
  SearchRange range;
  bool range_given = false;
  std::string program;
  std::string title;
  std::vector<std::string> data_lines;  // where the template came from, for the caption
  // Written into DIR once it is ready: the template made from a data file
  // and korvel-init's summary of it (both empty for a template).
  std::string made_template, data_summary;
};
int RUN_SEARCH(const SweepTemplate& tmpl, const SearchOptions& options);

}  // namespace korvel::sweep
