// One round of batches, for grids and searches alike: each batch's folder
// made ready (its KORVEL.IN and seed.txt) unless --resume finds it
// finished, the batches run several at a time, a stop or a failure
// reported, and every finished batch read back.
#pragma once

#include <cstddef>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "running.h"
#include "sweep.h"

namespace korvel::sweep {

// A batch to run: the job (its absolute folder, label, description,
// generations and seed) and the KORVEL.IN it runs.
struct RoundBatch {
  PointJob job;
  std::string input;
};

struct RoundSettings {
  std::string program;
  int jobs = 0;               // --jobs: at most this many at once (0: as the cores allow)
  int threads_per_point = 0;  // 0: the cores shared out
  bool terminal = false;      // a progress line on standard output
  bool resume = false;        // keep the batches an earlier run finished
  bool keep_details = false;
  // Empties a batch's folder before it is written again: a grid's point
  // folder loses only the files a sweep makes, a search's probe folder
  // (the sweep's alone) everything.
  std::function<void(const std::filesystem::path&)> clear;
};

struct BatchOutcome {
  bool reused = false;  // --resume found it finished; it did not run
  JobOutcome run;       // ok when reused
};

struct RoundOutcome {
  std::vector<BatchOutcome> batches;  // by batch, in the order given
  std::size_t ran = 0;                // batches run (not reused)
  int stop_signal = 0;                // SIGINT or SIGTERM caught while they ran, else 0
  std::size_t stopped = 0;            // batches killed or never started by that stop
};

// Makes the folders of the batches ready: a batch --resume finds finished
// (the same KORVEL.IN and seed, a readable report) is kept, any other is
// cleared and written afresh. Returns the indexes of the batches to run.
std::vector<std::size_t> PREPARE_BATCHES(const std::vector<RoundBatch>& batches,
                                         const RoundSettings& settings);

// Runs the batches at `to_run` (prepared) and reports how each ended.
RoundOutcome RUN_PREPARED(const std::vector<RoundBatch>& batches, const std::vector<std::size_t>& to_run,
                          const RoundSettings& settings);

// PREPARE_BATCHES, then RUN_PREPARED.
RoundOutcome RUN_ROUND(const std::vector<RoundBatch>& batches, const RoundSettings& settings);

// A batch's result, read back from its folder.
PointResult COLLECT_BATCH(const RoundBatch& batch);

}  // namespace korvel::sweep
