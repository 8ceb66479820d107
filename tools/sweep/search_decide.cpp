// The search's decisions between rounds: from the counts so far, the answer
// and its interval, whether it may stop, and which values to probe next.
// Plain arithmetic on counts: the same counts give the same decisions.
#include <algorithm>
#include <cmath>

#include "search.h"

namespace korvel::sweep {

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

// A value whose Wilson interval lies wholly on one side of the target: more
// runs there would not move the answer.
bool settled(const std::vector<ProbeCount>& probes, int x, EXTENDED target) {
  const ProbeCount* probe = probe_at(probes, x);
  if (probe == nullptr) return false;
  const Interval interval = WILSON_INTERVAL(probe->significant, probe->runs);
  return interval.high < target || interval.low > target;
}

// The first round: the range's ends and their geometric middle.
AnswerState bracket(const SearchRange& range) {
  AnswerState state;
  state.next = {range.low, geometric_middle(range.low, range.high), range.high};
  state.next.erase(std::unique(state.next.begin(), state.next.end()), state.next.end());
  return state;
}

// The answer and its interval from the local fit; `next` holds the range's
// upper end when the fit does not cross the target within the range.
AnswerState estimate(const std::vector<ProbeCount>& probes, const SearchRange& range) {
  AnswerState state;
  const LocalFit local = FIT_LOCALLY(probes, range.target);
  state.fit_from = local.used.front().x;
  state.fit_to = local.used.back().x;
  state.fit_checked = local.check.checked();
  state.fit_rejected = local.check.checked() && !local.check.fits();
  const Crossing crossing = CROSSING(local.fit, range.target, local.check.dispersion());
  if (!crossing.at || *crossing.at > static_cast<EXTENDED>(range.high)) {
    state.answer = range.high;
    state.next = {range.high};
  } else {
    state.answer = whole_at_or_above(*crossing.at, range);
  }
  state.low = crossing.low ? whole_at_or_above(*crossing.low, range) : range.low;
  state.high = crossing.high ? whole_at_or_above(*crossing.high, range) : range.high;
  state.conflicts = CONTRADICTING(probes, *state.answer, range.target);
  return state;
}

// The values to probe next: the answer and the value below it (which
// confirm it), the ends of its interval and any contradicting probe. An
// interval end whose power is already settled gives way to the geometric
// middle between it and the answer.
std::vector<int> next_values(const std::vector<ProbeCount>& probes, const AnswerState& state,
                             const SearchRange& range) {
  const int answer = *state.answer;
  std::vector<int> next;
  if (!settled(probes, answer, range.target) || probe_at(probes, answer) == nullptr) add_probe(next, answer);
  if (answer > range.low && probe_at(probes, answer - 1) == nullptr) add_probe(next, answer - 1);
  for (int end : {*state.low, *state.high}) {
    if (end == answer) continue;
    if (!settled(probes, end, range.target)) {
      add_probe(next, end);
      continue;
    }
    const int middle = geometric_middle(std::min(end, answer), std::max(end, answer));
    if (middle != end && middle != answer && !settled(probes, middle, range.target)) add_probe(next, middle);
  }
  for (int x : state.conflicts) add_probe(next, x);
  // Nothing left that would tell more: more runs at the answer itself.
  if (next.empty()) next.push_back(answer);
  std::sort(next.begin(), next.end());
  return next;
}

}  // namespace

std::vector<int> CONTRADICTING(const std::vector<ProbeCount>& probes, int answer, EXTENDED target) {
  std::vector<int> conflicts;
  for (const ProbeCount& probe : probes) {
    if (probe.runs <= 0) continue;
    const Interval interval = WILSON_INTERVAL(probe.significant, probe.runs);
    if ((probe.x >= answer && interval.high < target) || (probe.x < answer && interval.low > target))
      conflicts.push_back(probe.x);
  }
  return conflicts;
}

bool WITHIN_TOLERANCE(int answer, int low, int high, EXTENDED tolerance) {
  return static_cast<EXTENDED>(answer - low) <= tolerance &&
         static_cast<EXTENDED>(high - answer) <= tolerance;
}

AnswerState DECIDE(const std::vector<ProbeCount>& probes, const SearchRange& range) {
  const ProbeCount* at_low = probe_at(probes, range.low);
  const ProbeCount* at_high = probe_at(probes, range.high);
  if (at_low == nullptr || at_high == nullptr) return bracket(range);
  AnswerState state;
  if (WILSON_INTERVAL(at_high->significant, at_high->runs).high < range.target) {
    state.status = AnswerStatus::NOT_REACHED;
    return state;
  }
  if (WILSON_INTERVAL(at_low->significant, at_low->runs).low >= range.target) {
    state.status = AnswerStatus::OK;
    state.answer = state.low = state.high = range.low;
    return state;
  }
  state = estimate(probes, range);
  // A fit that stays below the target over the range needs more runs at
  // the upper end before the answer is that end.
  if (!state.next.empty()) return state;
  // The fit says the lower end already reaches the target, but its own
  // counts do not show it yet.
  if (*state.answer == range.low) {
    state.next = {range.low};
    return state;
  }
  const EXTENDED tolerance = range.tolerance.value_or(
      std::max(1.0L, 0.05L * static_cast<EXTENDED>(*state.answer)));
  const bool confirmed = probe_at(probes, *state.answer) != nullptr &&
                         probe_at(probes, *state.answer - 1) != nullptr && state.conflicts.empty();
  const bool fits = state.fit_checked && !state.fit_rejected;
  if (confirmed && fits && WITHIN_TOLERANCE(*state.answer, *state.low, *state.high, tolerance)) {
    state.status = AnswerStatus::OK;
    return state;
  }
  state.next = next_values(probes, state, range);
  return state;
}

RoundPlan PLAN_ROUND(const std::vector<int>& wanted, const std::vector<int>& planned, long long used,
                     long long batch_runs, long long budget) {
  RoundPlan plan;
  long long cost = used + batch_runs * static_cast<long long>(planned.size());
  bool any = false;
  for (int x : wanted) {
    if (std::find(planned.begin(), planned.end(), x) != planned.end()) {
      any = true;
      continue;
    }
    if (cost + batch_runs > budget) break;
    plan.added.push_back(x);
    cost += batch_runs;
    any = true;
  }
  plan.spent = !wanted.empty() && !any;
  return plan;
}

}  // namespace korvel::sweep
