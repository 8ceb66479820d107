// The search's files and console lines from its record, and the curves of
// its figure.
#include <algorithm>
#include <cstdio>
#include <map>

#include "search_run.h"
#include "study_csv.h"

namespace korvel::sweep {

namespace {

void curve_rows(const SearchRecord& record, std::vector<CurveRow>& rows, EXTENDED expected_fst,
                int generations, const std::vector<Batch>& batches) {
  const std::vector<ProbeCount> counts[2] = {COUNTS_OF(batches, Test::CHI2),
                                             COUNTS_OF(batches, Test::FISHER)};
  for (std::size_t i = 0; i < counts[0].size(); ++i) {
    const int x = counts[0][i].x;
    // Every batch at x ran the same design; a counted one was read.
    const auto read = std::find_if(batches.begin(), batches.end(),
                                   [&](const Batch& b) { return b.x == x && b.result.ok; });
    CurveRow row;
    row.expected_fst = expected_fst;
    row.generations = generations;
    row.sample_size = read->result.common_sample_size();
    row.loci = read->result.input.loci;
    row.runs = counts[0][i].runs;
    row.batches = static_cast<int>(
        std::count_if(batches.begin(), batches.end(), [&](const Batch& b) { return b.x == x; }));
    for (Test test : TESTS) {
      const int t = static_cast<int>(test);
      if (record.on[t]) row.tests[t] = TestCount{counts[t][i].significant, counts[t][i].runs};
    }
    rows.push_back(std::move(row));
  }
}

}  // namespace

std::string REAL_TEXT(EXTENDED value) {
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%.6Lg", value);
  return buffer;
}

std::string SEARCH_AXIS_COLUMN(const SearchOptions& options) {
  return options.loci_axis ? "loci" : "sample_size";
}

std::vector<ProbeCount> COUNTS_OF(const std::vector<Batch>& batches, Test test) {
  std::map<int, ProbeCount> by_x;
  for (const Batch& batch : batches) {
    if (!batch.result.ok) continue;  // not run (yet)
    ProbeCount& count = by_x[batch.x];
    count.x = batch.x;
    count.runs += batch.result.runs;
    count.significant += batch.result.power(test).significant;
  }
  std::vector<ProbeCount> counts;
  for (const auto& [x, count] : by_x) counts.push_back(count);
  return counts;
}

std::string SEARCH_DESIGN_CSV(const SearchRecord& record) {
  std::vector<DesignRow> rows;
  for (const LevelState& level : record.levels) {
    for (Test test : TESTS) {
      if (!record.on[static_cast<int>(test)]) continue;
      const TestAnswer& answer = level.answers[static_cast<int>(test)];
      const AnswerState& state = answer.state;
      const bool shown = HAS_ESTIMATE(state.status);
      const auto value = [&](const std::optional<int>& v) {
        return shown && v ? std::to_string(*v) : std::string();
      };
      DesignRow row;
      row.expected_fst = level.expected_fst;
      row.generations = level.generations;
      row.test = test;
      row.target_power = record.options.range.target;
      row.smallest = value(state.answer);
      row.ci_low = value(state.low);
      row.ci_high = value(state.high);
      row.runs = std::to_string(answer.runs);
      row.probes = std::to_string(answer.probes);
      row.status = STATUS_TEXT(state.status);
      rows.push_back(std::move(row));
    }
  }
  return DESIGN_CSV(SearchDesignLayout{SEARCH_AXIS_COLUMN(record.options)}, rows);
}

std::string SEARCH_CURVE_CSV(const SearchRecord& record) {
  std::vector<CurveRow> rows;
  if (!record.null.empty()) curve_rows(record, rows, 0, 0, record.null);
  for (const LevelState& level : record.levels)
    curve_rows(record, rows, level.expected_fst, level.generations, level.batches);
  return CURVE_CSV(SearchCurveLayout{{record.on[0], record.on[1]}}, rows);
}

std::string ANSWER_LINE(const SearchRecord& record, const LevelState& level, Test test) {
  const AnswerState& state = level.answers[static_cast<int>(test)].state;
  const std::string unit = record.options.loci_axis ? " loci" : "";
  const std::string prefix = record.options.loci_axis ? "" : "n = ";
  const auto estimate = [&] {
    return prefix + std::to_string(*state.answer) + unit + " (95 % interval " + std::to_string(*state.low) +
           "\u2013" + std::to_string(*state.high) + ")";
  };
  switch (state.status) {
    case AnswerStatus::OK:
      return estimate();
    case AnswerStatus::BUDGET_SPENT:
      return state.answer ? "budget spent: " + estimate() + ", not yet within the tolerance"
                          : "budget spent before any estimate";
    case AnswerStatus::STOPPED:
      return state.answer ? "stopped: " + estimate() + " so far, not yet within the tolerance"
                          : "stopped before any estimate";
    case AnswerStatus::CONSERVATIVE:
      return "conservative: " + estimate() + "; " + CONSERVATIVE_EXPLANATION;
    case AnswerStatus::NOT_REACHED:
      return "not reached: power stays below the target up to " + prefix +
             std::to_string(record.options.range.high) + unit;
    case AnswerStatus::MISCALIBRATED:
      return "miscalibrated: it rejects too often without drift; no answer";
    case AnswerStatus::SEARCHING:
      break;
  }
  return "no answer";
}

bool PRINT_CALIBRATION(const SearchRecord& record) {
  bool conservative[2] = {false, false};
  for (Test test : TESTS) {
    if (!record.on[static_cast<int>(test)]) continue;
    // The batches at a value judged together, as the search judged them.
    for (const ProbeCount& count : COUNTS_OF(record.null, test)) {
      const Calibration verdict = CALIBRATION_VERDICT(count.significant, count.runs);
      conservative[static_cast<int>(test)] |= verdict == Calibration::CONSERVATIVE;
      std::printf("  %s without drift (%s = %d): rejects %lld of %lld runs (calibrated at most %lld)%s%s\n",
                  TEST_WORDS(test), record.options.loci_axis ? "loci" : "n", count.x, count.significant,
                  count.runs, NULL_REJECTION_LIMIT(count.runs), verdict == Calibration::OK ? "" : ": ",
                  verdict == Calibration::OK ? "" : CALIBRATION_TEXT(verdict));
    }
  }
  std::fflush(stdout);
  for (Test test : TESTS) {
    if (conservative[static_cast<int>(test)])
      std::fprintf(stderr, "korvel-sweep: the %s is conservative: %s\n", TEST_WORDS(test),
                   CONSERVATIVE_EXPLANATION);
  }
  return conservative[0] || conservative[1];
}

FigureCurve SEARCH_CURVE(EXTENDED expected_fst, Test test, const std::vector<ProbeCount>& counts,
                         const AnswerState& state, const SearchRange& range) {
  constexpr int FITTED_SAMPLES = 200;
  FigureCurve curve;
  curve.expected_fst = expected_fst;
  curve.test = test;
  curve.label = "F'st " + FIXED_TEXT(expected_fst, 3) + ", " + TEST_WORDS(test);
  curve.miscalibrated = state.status == AnswerStatus::MISCALIBRATED;
  for (const ProbeCount& count : counts) {
    curve.points.push_back({count.x, count.runs, count.significant,
                            static_cast<EXTENDED>(count.significant) / static_cast<EXTENDED>(count.runs),
                            WILSON_INTERVAL(count.significant, count.runs)});
  }
  // A miscalibrated test's power means nothing: its probes are shown, but
  // no model and no answer.
  // The model is drawn only over the probes it was fitted to.
  if (counts.size() >= 2 && !curve.miscalibrated) {
    const LocalFit local = FIT_LOCALLY(counts, range.target);
    if (local.used.back().x > local.used.front().x) {
      curve.fitted = FITTED_CURVE(local.fit, local.used.front().x, local.used.back().x, FITTED_SAMPLES);
    }
  }
  if (HAS_ESTIMATE(state.status) && state.answer) {
    curve.answer = FigureAnswer{static_cast<EXTENDED>(*state.answer), static_cast<EXTENDED>(*state.low),
                                static_cast<EXTENDED>(*state.high)};
  }
  return curve;
}

}  // namespace korvel::sweep
