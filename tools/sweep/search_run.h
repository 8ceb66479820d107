// What a running search holds between rounds (its batches and answers per
// F'st), and the files and lines written from it.
#pragma once

#include <string>
#include <vector>

#include "search.h"

namespace korvel::sweep {

struct Batch {
  int generations = 0;
  int x = 0;
  int batch = 0;
  std::string label;  // folder name under DIR/probes
  PointResult result;
};

struct TestAnswer {
  AnswerState state;
  long long runs = 0;  // of the level's probes when the answer was settled
  int probes = 0;
  bool settled() const { return state.status != AnswerStatus::SEARCHING; }
};

struct LevelState {
  int generations = 0;
  EXTENDED expected_fst = 0;
  std::vector<Batch> batches;
  TestAnswer answers[2];  // by Test

  long long runs() const {
    long long total = 0;
    for (const Batch& batch : batches) total += batch.result.runs;
    return total;
  }
  int batches_at(int x) const {
    return static_cast<int>(
        std::count_if(batches.begin(), batches.end(), [&](const Batch& b) { return b.x == x; }));
  }
};

// The counts of one test at each probed value, batches added up, by value;
// batches not run (yet) are left out.
std::vector<ProbeCount> COUNTS_OF(const std::vector<Batch>& batches, Test test);

// A real number as the search's files and messages write it ("%.6Lg").
std::string REAL_TEXT(EXTENDED value);

// The name of the searched column: "sample_size" or "loci".
std::string SEARCH_AXIS_COLUMN(const SearchOptions& options);

// A search's state as its results see it.
struct SearchRecord {
  const SearchOptions& options;
  const bool* on;  // by Test
  const std::vector<LevelState>& levels;
  const std::vector<Batch>& null;  // the no-drift probes
};

// design.csv and curve.csv, as rows of the writer both modes use (study_csv.h).
std::string SEARCH_DESIGN_CSV(const SearchRecord& record);
std::string SEARCH_CURVE_CSV(const SearchRecord& record);
// "n = 12 (95 % interval 11–14)" or the status in words, for the console.
std::string ANSWER_LINE(const SearchRecord& record, const LevelState& level, Test test);
// The no-drift probes' counts against the limits of a calibrated test, and
// why a conservative test is; true when a test is conservative.
bool PRINT_CALIBRATION(const SearchRecord& record);

}  // namespace korvel::sweep
