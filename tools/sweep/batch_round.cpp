// A round of batches, the one way both modes run their points.
#include "batch_round.h"

#include <system_error>

#include "input/shared_names.h"
#include "whole_file.h"

namespace korvel::sweep {

namespace fs = std::filesystem;

namespace {

bool finished(const RoundBatch& batch, const RoundSettings& settings) {
  return settings.resume &&
         FINISHED_RUN(batch.job.folder, batch.input, SEED_TEXT(batch.job.seed), settings.keep_details);
}

void write_batch(const RoundBatch& batch, const RoundSettings& settings) {
  const fs::path folder = batch.job.folder;
  settings.clear(folder);
  std::error_code ec;
  fs::create_directories(folder, ec);
  if (ec) throw SweepError("cannot create " + folder.string() + ": " + ec.message());
  WRITE_WHOLE_FILE(folder / INPUT_FILE_NAME, batch.input);
  if (batch.job.seed) WRITE_WHOLE_FILE(folder / SEED_FILE, SEED_TEXT(batch.job.seed));
}

}  // namespace

std::vector<std::size_t> PREPARE_BATCHES(const std::vector<RoundBatch>& batches,
                                         const RoundSettings& settings) {
  std::vector<std::size_t> to_run;
  for (std::size_t i = 0; i < batches.size(); ++i) {
    if (finished(batches[i], settings)) continue;
    write_batch(batches[i], settings);
    to_run.push_back(i);
  }
  return to_run;
}

RoundOutcome RUN_PREPARED(const std::vector<RoundBatch>& batches, const std::vector<std::size_t>& to_run,
                          const RoundSettings& settings) {
  RoundOutcome round;
  round.batches.resize(batches.size());
  for (BatchOutcome& batch : round.batches) {
    batch.reused = true;
    batch.run.ok = true;
  }
  std::vector<PointJob> jobs;
  for (std::size_t i : to_run) jobs.push_back(batches[i].job);
  if (!jobs.empty()) {
    const CoreShare share = SHARE_CORES(settings.jobs, settings.threads_per_point, jobs.size());
    const std::vector<JobOutcome> outcomes = RUN_JOBS(settings.program, jobs, share.parallel, share.threads,
                                                      settings.terminal);
    for (std::size_t k = 0; k < to_run.size(); ++k) {
      round.batches[to_run[k]] = {false, outcomes[k]};
      if (outcomes[k].stopped) ++round.stopped;
    }
  }
  round.ran = jobs.size();
  round.stop_signal = STOP_SIGNAL();
  return round;
}

RoundOutcome RUN_ROUND(const std::vector<RoundBatch>& batches, const RoundSettings& settings) {
  return RUN_PREPARED(batches, PREPARE_BATCHES(batches, settings), settings);
}

PointResult COLLECT_BATCH(const RoundBatch& batch) {
  const fs::path folder = batch.job.folder;
  return COLLECT_POINT(folder.parent_path().string(), folder.filename().string());
}

}  // namespace korvel::sweep
