// The search's model of power in n, its crossing of the target, and the
// choice of the next probes. Everything here is plain arithmetic on counts:
// the same counts give the same fit, answer and probes.
#include <algorithm>
#include <cmath>
#include <cstdio>

#include "search.h"

namespace korvel::sweep {

namespace {

constexpr EXTENDED Z_95 = 1.95996398454005423552L;
// Keeps the fit finite for all-0, all-1 and perfectly separated counts;
// small enough to move no answer fitted to real counts.
constexpr EXTENDED RIDGE = 1e-4L;
constexpr int NEWTON_STEPS = 100;
constexpr int HALVINGS = 40;

EXTENDED logistic(EXTENDED eta) {
  return eta >= 0 ? 1.0L / (1.0L + std::exp(-eta)) : std::exp(eta) / (1.0L + std::exp(eta));
}

EXTENDED log1p_exp(EXTENDED eta) {
  return eta > 0 ? eta + std::log1p(std::exp(-eta)) : std::log1p(std::exp(eta));
}

struct Sums {
  EXTENDED log_likelihood = 0;
  EXTENDED g_a = 0, g_b = 0;              // gradient
  EXTENDED h_aa = 0, h_ab = 0, h_bb = 0;  // information (minus the Hessian)
};

Sums sums_at(const std::vector<ProbeCount>& probes, EXTENDED centre, EXTENDED a, EXTENDED b) {
  Sums s;
  for (const ProbeCount& probe : probes) {
    if (probe.runs <= 0) continue;
    const EXTENDED u = std::log(static_cast<EXTENDED>(probe.x)) - centre;
    const EXTENDED eta = a + b * u;
    const EXTENDED m = static_cast<EXTENDED>(probe.runs), k = static_cast<EXTENDED>(probe.significant);
    const EXTENDED p = logistic(eta);
    s.log_likelihood += k * eta - m * log1p_exp(eta);
    const EXTENDED residual = k - m * p, weight = m * p * (1.0L - p);
    s.g_a += residual;
    s.g_b += residual * u;
    s.h_aa += weight;
    s.h_ab += weight * u;
    s.h_bb += weight * u * u;
  }
  s.log_likelihood -= 0.5L * RIDGE * (a * a + b * b);
  s.g_a -= RIDGE * a;
  s.g_b -= RIDGE * b;
  s.h_aa += RIDGE;
  s.h_bb += RIDGE;
  return s;
}

// One Newton step from (a, b), b kept at 0 or above (then only a moves).
std::pair<EXTENDED, EXTENDED> newton_step(const Sums& s, EXTENDED b) {
  const EXTENDED det = s.h_aa * s.h_bb - s.h_ab * s.h_ab;
  EXTENDED da = (s.h_bb * s.g_a - s.h_ab * s.g_b) / det;
  EXTENDED db = (s.h_aa * s.g_b - s.h_ab * s.g_a) / det;
  if (b + db < 0) {
    db = -b;
    da = (s.g_a - s.h_ab * db) / s.h_aa;
  }
  return {da, db};
}

}  // namespace

EXTENDED PowerFit::power(EXTENDED x) const { return logistic(a + b * (std::log(x) - centre)); }

PowerFit FIT_POWER(const std::vector<ProbeCount>& probes) {
  PowerFit fit;
  EXTENDED runs = 0, weighted = 0, significant = 0;
  for (const ProbeCount& probe : probes) {
    if (probe.runs <= 0) continue;
    runs += static_cast<EXTENDED>(probe.runs);
    weighted += static_cast<EXTENDED>(probe.runs) * std::log(static_cast<EXTENDED>(probe.x));
    significant += static_cast<EXTENDED>(probe.significant);
  }
  if (runs <= 0) return fit;
  fit.centre = weighted / runs;
  // Start from the pooled power, kept off 0 and 1, on a flat curve.
  const EXTENDED pooled = std::clamp((significant + 0.5L) / (runs + 1.0L), 1e-6L, 1.0L - 1e-6L);
  fit.a = std::log(pooled / (1.0L - pooled));
  Sums s = sums_at(probes, fit.centre, fit.a, fit.b);
  for (int step = 0; step < NEWTON_STEPS; ++step) {
    auto [da, db] = newton_step(s, fit.b);
    // Halve the step until the likelihood does not fall.
    for (int halving = 0; halving < HALVINGS; ++halving) {
      const Sums next = sums_at(probes, fit.centre, fit.a + da, fit.b + db);
      if (next.log_likelihood >= s.log_likelihood) {
        fit.a += da;
        fit.b += db;
        s = next;
        break;
      }
      da *= 0.5L;
      db *= 0.5L;
    }
    if (std::fabs(da) < 1e-14L && std::fabs(db) < 1e-14L) break;
  }
  const EXTENDED det = s.h_aa * s.h_bb - s.h_ab * s.h_ab;
  fit.var_a = s.h_bb / det;
  fit.var_b = s.h_aa / det;
  fit.cov_ab = -s.h_ab / det;
  return fit;
}

Crossing CROSSING(const PowerFit& fit, EXTENDED target) {
  Crossing crossing;
  const EXTENDED level = std::log(target / (1.0L - target));
  const EXTENDED d = fit.a - level;
  if (fit.b > 1e-9L) crossing.at = std::exp(fit.centre - d / fit.b);
  // (d + b u)^2 <= z^2 (var_a + 2 u cov + u^2 var_b), a quadratic in u.
  const EXTENDED z2 = Z_95 * Z_95;
  const EXTENDED qa = fit.b * fit.b - z2 * fit.var_b;
  const EXTENDED qb = 2.0L * (d * fit.b - z2 * fit.cov_ab);
  const EXTENDED qc = d * d - z2 * fit.var_a;
  const EXTENDED discriminant = qb * qb - 4.0L * qa * qc;
  if (qa > 0 && discriminant >= 0) {
    const EXTENDED root = std::sqrt(discriminant);
    crossing.low = std::exp(fit.centre + (-qb - root) / (2.0L * qa));
    crossing.high = std::exp(fit.centre + (-qb + root) / (2.0L * qa));
  }
  // Otherwise the slope is not clearly above 0: the interval is open (or
  // the whole line), and only more probes can close it.
  return crossing;
}

const char* STATUS_TEXT(AnswerStatus status) {
  switch (status) {
    case AnswerStatus::SEARCHING:
      return "searching";
    case AnswerStatus::OK:
      return "ok";
    case AnswerStatus::NOT_REACHED:
      return "not reached";
    case AnswerStatus::BUDGET_SPENT:
      return "budget spent";
    case AnswerStatus::MISCALIBRATED:
      return "miscalibrated";
  }
  return "";
}

namespace {

const ProbeCount* probe_at(const std::vector<ProbeCount>& probes, int x) {
  for (const ProbeCount& probe : probes) {
    if (probe.x == x && probe.runs > 0) return &probe;
  }
  return nullptr;
}

int geometric_middle(int low, int high) {
  return static_cast<int>(std::lround(std::sqrt(static_cast<EXTENDED>(low) * static_cast<EXTENDED>(high))));
}

// The smallest whole n at or above a continuous value, within the range.
int whole_at_or_above(EXTENDED value, const SearchRange& range) {
  if (!(value < static_cast<EXTENDED>(range.high))) return range.high;
  if (!(value > static_cast<EXTENDED>(range.low))) return range.low;
  return static_cast<int>(std::ceil(value - 1e-9L));
}

void add_probe(std::vector<int>& next, int x) {
  if (std::find(next.begin(), next.end(), x) == next.end()) next.push_back(x);
}

}  // namespace

AnswerState DECIDE(const std::vector<ProbeCount>& probes, const SearchRange& range) {
  AnswerState state;
  const ProbeCount* at_low = probe_at(probes, range.low);
  const ProbeCount* at_high = probe_at(probes, range.high);
  if (at_low == nullptr || at_high == nullptr) {
    state.next = {range.low, geometric_middle(range.low, range.high), range.high};
    state.next.erase(std::unique(state.next.begin(), state.next.end()), state.next.end());
    return state;
  }
  if (WILSON_INTERVAL(at_high->significant, at_high->runs).high < range.target) {
    state.status = AnswerStatus::NOT_REACHED;
    return state;
  }
  if (WILSON_INTERVAL(at_low->significant, at_low->runs).low >= range.target) {
    state.status = AnswerStatus::OK;
    state.answer = state.low = state.high = range.low;
    return state;
  }
  const PowerFit fit = FIT_POWER(probes);
  const Crossing crossing = CROSSING(fit, range.target);
  // A fit that stays below the target over the range, or above it, needs
  // more runs at the end concerned before the answer is that end.
  if (!crossing.at || *crossing.at > static_cast<EXTENDED>(range.high)) {
    state.answer = range.high;
    state.next = {range.high};
  } else {
    state.answer = whole_at_or_above(*crossing.at, range);
  }
  state.low = crossing.low ? whole_at_or_above(*crossing.low, range) : range.low;
  state.high = crossing.high ? whole_at_or_above(*crossing.high, range) : range.high;
  if (!state.next.empty()) return state;
  if (*state.answer == range.low) {
    // The fit says the lower end already reaches the target, but its own
    // counts do not show it yet.
    state.next = {range.low};
    return state;
  }
  const EXTENDED tolerance = range.tolerance.value_or(
      std::max(1.0L, 0.05L * static_cast<EXTENDED>(*state.answer)));
  if (static_cast<EXTENDED>(*state.answer - *state.low) <= tolerance &&
      static_cast<EXTENDED>(*state.high - *state.answer) <= tolerance) {
    state.status = AnswerStatus::OK;
    state.next.clear();
    return state;
  }
  add_probe(state.next, *state.answer);
  add_probe(state.next, *state.low);
  add_probe(state.next, *state.high);
  std::sort(state.next.begin(), state.next.end());
  return state;
}

std::vector<std::pair<EXTENDED, EXTENDED>> FITTED_CURVE(const PowerFit& fit, int from, int to, int samples) {
  std::vector<std::pair<EXTENDED, EXTENDED>> curve;
  const EXTENDED start = std::log(static_cast<EXTENDED>(from)), end = std::log(static_cast<EXTENDED>(to));
  for (int i = 0; i < samples; ++i) {
    const EXTENDED share = samples == 1 ? 0 : static_cast<EXTENDED>(i) / static_cast<EXTENDED>(samples - 1);
    const EXTENDED x = std::exp(start + share * (end - start));
    curve.emplace_back(x, fit.power(x));
  }
  return curve;
}

std::string ANSWER_SENTENCE(const CaptionFacts& facts) {
  char fst[32], power[32];
  std::snprintf(fst, sizeof fst, "%.3Lf", facts.expected_fst);
  std::snprintf(power, sizeof power, "%.0Lf", 100.0L * facts.target);
  const std::string test = std::string("(") + TEST_WORDS(facts.test) + ")";
  const std::string goal = std::string("F'st ") + fst + " with " + power + " % power " + test;
  const AnswerState& state = facts.state;
  const auto unit = [&](int value) {
    return std::to_string(value) +
           (facts.loci_axis ? (value == 1 ? " locus" : " loci")
                            : (value == 1 ? " individual per population" : " individuals per population"));
  };
  switch (state.status) {
    case AnswerStatus::OK:
    case AnswerStatus::BUDGET_SPENT: {
      if (!state.answer) return "no estimate yet for " + goal + ": the run budget is spent";
      std::string sentence = unit(*state.answer) + " (95 % interval " + std::to_string(*state.low) +
                             "\u2013" + std::to_string(*state.high) + ") " +
                             (*state.answer == 1 ? "detects " : "detect ") + goal;
      if (state.status == AnswerStatus::BUDGET_SPENT)
        sentence += "; the run budget was spent before the interval was narrow enough";
      return sentence;
    }
    case AnswerStatus::NOT_REACHED:
      return "the range searched does not reach " + goal;
    case AnswerStatus::MISCALIBRATED:
      return "no answer for " + goal + ": the test rejects too often without drift";
    case AnswerStatus::SEARCHING:
      break;
  }
  return "no answer yet for " + goal;
}

}  // namespace korvel::sweep
