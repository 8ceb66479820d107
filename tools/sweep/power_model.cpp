// The search's model of power in n, its crossing of the target, and the
// choice of the next probes. Everything here is plain arithmetic on counts:
// the same counts give the same fit, answer and probes.
#include <algorithm>
#include <cmath>
#include <cstdio>

#include "search.h"

namespace korvel::sweep {

namespace {

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

Crossing CROSSING(const PowerFit& fit, EXTENDED target, EXTENDED dispersion) {
  Crossing crossing;
  const EXTENDED level = std::log(target / (1.0L - target));
  const EXTENDED d = fit.a - level;
  if (fit.b > 1e-9L) crossing.at = std::exp(fit.centre - d / fit.b);
  // (d + b u)^2 <= z^2 phi (var_a + 2 u cov + u^2 var_b), a quadratic in u.
  const EXTENDED z2 = Z_95 * Z_95 * std::max(1.0L, dispersion);
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

namespace {

// The deviance of one probe's count against the fitted power.
EXTENDED probe_deviance(const ProbeCount& probe, EXTENDED p) {
  const EXTENDED m = static_cast<EXTENDED>(probe.runs), k = static_cast<EXTENDED>(probe.significant);
  p = std::clamp(p, 1e-300L, 1.0L - 1e-18L);
  EXTENDED g = 0;
  if (k > 0) g += k * std::log(k / (m * p));
  if (m - k > 0) g += (m - k) * std::log((m - k) / (m * (1.0L - p)));
  return 2.0L * g;
}

// P(Gamma(s) > x) for the regularised incomplete gamma function: its series
// below s + 1, Lentz's continued fraction above (both converge fast there).
EXTENDED gamma_upper(EXTENDED s, EXTENDED x) {
  if (x <= 0) return 1;
  const EXTENDED log_front = s * std::log(x) - x - std::lgamma(s);
  if (x < s + 1) {
    EXTENDED term = 1.0L / s, sum = term;
    for (int n = 1; n < 1000 && std::fabs(term) > 1e-19L * std::fabs(sum); ++n) {
      term *= x / (s + n);
      sum += term;
    }
    return std::clamp(1.0L - sum * std::exp(log_front), 0.0L, 1.0L);
  }
  constexpr EXTENDED TINY = 1e-300L;
  EXTENDED b = x + 1 - s, c = 1.0L / TINY, d = 1.0L / b, h = d;
  for (int i = 1; i < 1000; ++i) {
    const EXTENDED an = -i * (i - s);
    b += 2;
    d = an * d + b;
    d = std::fabs(d) < TINY ? 1.0L / TINY : 1.0L / d;
    c = b + an / c;
    if (std::fabs(c) < TINY) c = TINY;
    const EXTENDED delta = d * c;
    h *= delta;
    if (std::fabs(delta - 1.0L) < 1e-19L) break;
  }
  return std::clamp(std::exp(log_front) * h, 0.0L, 1.0L);
}

// The level below which the deviance test rejects the model.
constexpr EXTENDED FIT_LEVEL = 0.01L;
// An end probe's own deviance at which it alone rejects the model at that
// level (the 99 % point of chi-square with 1 degree of freedom).
constexpr EXTENDED END_MISFIT = 6.6348966L;

}  // namespace

EXTENDED CHI_SQUARE_TAIL(EXTENDED statistic, int df) {
  if (df < 1) return 1;
  return gamma_upper(0.5L * static_cast<EXTENDED>(df), 0.5L * statistic);
}

bool FitCheck::fits() const { return checked() && p >= FIT_LEVEL; }

EXTENDED FitCheck::dispersion() const {
  return checked() ? std::max(1.0L, deviance / static_cast<EXTENDED>(df)) : 1.0L;
}

FitCheck CHECK_FIT(const PowerFit& fit, const std::vector<ProbeCount>& probes) {
  FitCheck check;
  int values = 0;
  for (const ProbeCount& probe : probes) {
    if (probe.runs <= 0) continue;
    ++values;
    check.deviance += probe_deviance(probe, fit.power(static_cast<EXTENDED>(probe.x)));
  }
  check.df = std::max(0, values - 2);
  check.p = CHI_SQUARE_TAIL(check.deviance, check.df);
  return check;
}

LocalFit FIT_LOCALLY(const std::vector<ProbeCount>& probes, EXTENDED target) {
  LocalFit local;
  for (const ProbeCount& probe : probes)
    if (probe.runs > 0) local.used.push_back(probe);
  std::sort(local.used.begin(), local.used.end(),
            [](const ProbeCount& x, const ProbeCount& y) { return x.x < y.x; });
  for (;;) {
    local.fit = FIT_POWER(local.used);
    local.check = CHECK_FIT(local.fit, local.used);
    if (!local.check.checked() || local.check.fits() || local.used.size() <= 3) break;
    // Leave out an end that the model misses on its own (a floor, a
    // plateau): the one farther from where the fit crosses the target (from
    // the probes' centre when it does not cross) first.
    const Crossing crossing = CROSSING(local.fit, target);
    const EXTENDED middle = crossing.at ? std::log(*crossing.at) : local.fit.centre;
    const EXTENDED below = middle - std::log(static_cast<EXTENDED>(local.used.front().x));
    const EXTENDED above = std::log(static_cast<EXTENDED>(local.used.back().x)) - middle;
    const auto missed = [&](const ProbeCount& probe) {
      return probe_deviance(probe, local.fit.power(static_cast<EXTENDED>(probe.x))) >= END_MISFIT;
    };
    bool first = missed(local.used.front()), last = missed(local.used.back());
    if (!first && !last) {
      // No end stands out: narrow the window while enough values remain to
      // keep the slope known.
      if (local.used.size() <= 4) break;
      first = below >= above;
      last = !first;
    }
    if (first && (below >= above || !last)) {
      local.used.erase(local.used.begin());
    } else {
      local.used.pop_back();
    }
  }
  return local;
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
    case AnswerStatus::STOPPED:
      return "stopped";
    case AnswerStatus::CONSERVATIVE:
      return "conservative";
  }
  return "";
}

bool HAS_ESTIMATE(AnswerStatus status) {
  return status == AnswerStatus::OK || status == AnswerStatus::BUDGET_SPENT ||
         status == AnswerStatus::STOPPED || status == AnswerStatus::CONSERVATIVE;
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
  if (HAS_ESTIMATE(state.status) && !state.answer) {
    return "no estimate yet for " + goal +
           (state.status == AnswerStatus::STOPPED ? ": the search was stopped" : ": the run budget is spent");
  }
  std::string sentence;
  if (HAS_ESTIMATE(state.status)) {
    sentence = unit(*state.answer) + " (95 % interval " + std::to_string(*state.low) + "\u2013" +
               std::to_string(*state.high) + ") " + (*state.answer == 1 ? "detects " : "detect ") + goal;
  }
  switch (state.status) {
    case AnswerStatus::OK:
      return sentence;
    case AnswerStatus::BUDGET_SPENT:
      return sentence + "; the run budget was spent before the interval was narrow enough";
    case AnswerStatus::STOPPED:
      return sentence + "; the search was stopped before the interval was narrow enough";
    case AnswerStatus::CONSERVATIVE:
      return sentence + "; the test is conservative: " + CONSERVATIVE_EXPLANATION;
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
