// The planning search as a command: rounds of probes run here, several at a
// time, each probe a folder of DIR/probes named by its values and batch and
// seeded from the sweep's seed and those values. Every decision is taken
// between rounds from finished counts only, so the same command makes the
// same probes and files whatever the number of jobs, and a resumed search
// replays the same rounds, finding their finished folders instead of
// running them again.
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <map>
#include <optional>
#include <string>

#include "batch_round.h"
#include "input/shared_names.h"
#include "running.h"
#include "search.h"
#include "search_run.h"
#include "study_csv.h"

namespace korvel::sweep {

namespace {

namespace fs = std::filesystem;

constexpr const char* PROBE_FOLDER = "probes";
constexpr int MAX_ROUNDS = 200;
constexpr int NULL_CONFIRM_BATCHES = 3;  // no-drift batches at most behind a verdict other than ok

// The seed an earlier search kept in DIR/seed.txt, for --resume without
// --seed.
std::uint32_t recorded_seed(const std::string& text, const std::string& path) {
  std::string digits = text;
  while (!digits.empty() && (digits.back() == '\n' || digits.back() == '\r')) digits.pop_back();
  const bool whole = !digits.empty() && digits.size() <= 10 &&
                     digits.find_first_not_of("0123456789") == std::string::npos &&
                     std::stoull(digits) <= 4294967295ULL;
  if (!whole) throw SweepError(path + " holds \"" + digits + "\", not a seed; give --seed");
  return static_cast<std::uint32_t>(std::stoull(digits));
}

class Search {
 public:
  Search(const SweepTemplate& tmpl, const SearchOptions& options)
      : tmpl_(tmpl), options_(options), dir_(fs::absolute(options.out).lexically_normal()) {
    drift_size_ = options.ne.value_or(tmpl.facts.drift_size);
    batch_runs_ = options.runs.value_or(tmpl.facts.runs);
    budget_ = options.max_runs.value_or(DEFAULT_BUDGET_BATCHES * batch_runs_);
    if (budget_ < batch_runs_) {
      throw UsageError("--max-runs " + std::to_string(budget_) + " is less than one batch of " +
                       std::to_string(batch_runs_) + " runs");
    }
    for (Test test : TESTS)
      on_[static_cast<int>(test)] = test == Test::CHI2 ? tmpl.facts.chi2_on : tmpl.facts.fisher_on;
    for (EXTENDED target : options.fst) add_level(target);
  }

  int run() {
    prepare_folder();
    if (options_.loci_axis) order_loci();
    if (!options_.no_null) null_.push_back(make_batch(0, options_.range.high, 0));
    try {
      for (int number = 1;; ++number) {
        for (LevelState& level : levels_) {
          for (const int x : next_probes(level, number > MAX_ROUNDS))
            level.batches.push_back(make_batch(level.generations, x, level.batches_at(x)));
        }
        const std::vector<Batch*> round = unfinished();
        if (round.empty()) break;
        const auto started = std::chrono::steady_clock::now();
        const std::size_t ran = run_round(round);
        check_calibration();
        report_progress(number, ran, std::chrono::steady_clock::now() - started);
      }
    } catch (const SweepStopped&) {
      // What is known so far is written before the stop is reported.
      stopped_ = true;
      for (LevelState& level : levels_) {
        for (TestAnswer& answer : level.answers) {
          if (!answer.settled()) answer.state.status = AnswerStatus::STOPPED;
        }
      }
      finish();
      throw;
    }
    return finish();
  }

 private:
  void add_level(EXTENDED target) {
    if (target <= 0) throw UsageError("--fst with --find takes values above 0, not " + REAL_TEXT(target));
    const int generations = GENERATIONS_FOR_TARGET(target, drift_size_);
    for (const LevelState& level : levels_) {
      if (level.generations == generations) {
        std::fprintf(
            stderr,
            "korvel-sweep: F'st %s needs the same %d generations as an earlier one; it is searched once\n",
            REAL_TEXT(target).c_str(), generations);
        return;
      }
    }
    LevelState level;
    level.generations = generations;
    level.expected_fst = EXPECTED_FST(drift_size_, generations);
    levels_.push_back(level);
  }

  PointValues values_of(int generations, int x) const {
    PointValues values;
    values.drift_size = drift_size_;
    values.generations = generations;
    if (options_.loci_axis) {
      values.loci = x;
    } else {
      values.sample_size = x;
      values.loci = tmpl_.facts.loci;
    }
    return values;
  }

  std::string axis_letter() const { return options_.loci_axis ? "k" : "n"; }

  Batch make_batch(int generations, int x, int number) const {
    Batch batch;
    batch.generations = generations;
    batch.x = x;
    batch.batch = number;
    batch.label = "t" + std::to_string(generations) + "-" + axis_letter() + std::to_string(x) + "-b" +
                  std::to_string(number);
    return batch;
  }

  // After the first round that ran batches, what the whole search may cost
  // at its pace; after every later round, the runs spent and the time left
  // at most (the rest of every F'st's budget at the pace so far). Batches
  // reused from an earlier run set no pace: a resumed search whose first
  // rounds were all reused gives its estimate once it has timed real work.
  void report_progress(int round, std::size_t batches, std::chrono::steady_clock::duration took) {
    const long long budget = budget_ * static_cast<long long>(levels_.size());
    long long spent = 0;
    for (const LevelState& level : levels_) spent += level.runs();
    if (batches == 0) {
      std::fprintf(stderr, "korvel-sweep: round %d: every batch reused, %lld runs spent\n", round, spent);
      return;
    }
    ran_runs_ += static_cast<long long>(batches) * batch_runs_;
    ran_seconds_ += std::chrono::duration<double>(took).count();
    const double pace = ran_seconds_ / static_cast<double>(ran_runs_);
    const std::string left = CLOCK_TEXT(pace * static_cast<double>(std::max(0LL, budget - spent)));
    if (!estimated_) {
      estimated_ = true;
      const std::string which = round == 1 ? "the first round" : "round " + std::to_string(round);
      std::fprintf(stderr,
                   "korvel-sweep: %s took %s for %zu batches; the search may spend up to %lld "
                   "runs (%lld per F'st), at most %s more at this pace, less when its answers settle early\n",
                   which.c_str(), CLOCK_TEXT(ran_seconds_).c_str(), batches, budget, budget_, left.c_str());
    } else {
      std::fprintf(stderr, "korvel-sweep: round %d: %lld of at most %lld runs spent, at most %s left\n",
                   round, spent, budget, left.c_str());
    }
  }

  // The batches of this round: the ones planned but not run yet.
  std::vector<Batch*> unfinished() {
    std::vector<Batch*> round;
    const auto pending = [](const Batch& batch) { return !batch.result.ok && batch.result.failure.empty(); };
    for (Batch& batch : null_)
      if (pending(batch)) round.push_back(&batch);
    for (LevelState& level : levels_) {
      for (Batch& batch : level.batches)
        if (pending(batch)) round.push_back(&batch);
    }
    return round;
  }

  // The values to probe next at a level, within what is left of its budget.
  std::vector<int> next_probes(LevelState& level, bool out_of_rounds) {
    std::vector<int> wanted;
    const long long used = level.runs();
    for (Test test : TESTS) {
      TestAnswer& answer = level.answers[static_cast<int>(test)];
      if (!on_[static_cast<int>(test)] || answer.settled()) continue;
      answer.state = DECIDE(COUNTS_OF(level.batches, test), options_.range);
      answer.runs = used;
      answer.probes = static_cast<int>(level.batches.size());
      if (answer.state.status == AnswerStatus::OK) judge_calibration(answer, test);
      if (answer.settled() || answer.state.next.empty()) continue;
      const RoundPlan plan = out_of_rounds
                                 ? RoundPlan{{}, true}
                                 : PLAN_ROUND(answer.state.next, wanted, used, batch_runs_, budget_);
      wanted.insert(wanted.end(), plan.added.begin(), plan.added.end());
      if (plan.spent) answer.state.status = AnswerStatus::BUDGET_SPENT;
    }
    std::sort(wanted.begin(), wanted.end());
    return wanted;
  }

  // An answer is only given once its test has been checked without drift
  // at the answer itself: until that check is done the answer waits (no
  // further probes of its own); then the verdict decides its status.
  void judge_calibration(TestAnswer& answer, Test test) {
    if (options_.no_null) return;
    const std::optional<Calibration> verdict = null_verdict(*answer.state.answer, test);
    if (!verdict) {
      answer.state.status = AnswerStatus::SEARCHING;
      answer.state.next.clear();
    } else if (*verdict == Calibration::MISCALIBRATED) {
      answer.state = ONLY_STATUS(AnswerStatus::MISCALIBRATED);
    } else if (*verdict == Calibration::CONSERVATIVE) {
      answer.state.status = AnswerStatus::CONSERVATIVE;
    }
  }

  // The verdict of the no-drift batches at x added up, or none while one is
  // still to run. One batch is a noisy verdict (a test that rejects 6.5 %
  // of runs exceeds the limit for 100 runs in about one batch in 35), so a
  // batch outside the calibrated band is confirmed by more batches at x,
  // judged together, before it condemns or flags the test.
  std::optional<Calibration> null_verdict(int x, Test test) {
    int batches = 0;
    for (const Batch& batch : null_) {
      if (batch.x != x) continue;
      if (!batch.result.ok) return std::nullopt;
      ++batches;
    }
    if (batches == 0) {
      null_.push_back(make_batch(0, x, 0));
      return std::nullopt;
    }
    ProbeCount pooled;
    for (const ProbeCount& count : COUNTS_OF(null_, test))
      if (count.x == x) pooled = count;
    const Calibration verdict = CALIBRATION_VERDICT(pooled.significant, pooled.runs);
    if (verdict != Calibration::OK && batches < NULL_CONFIRM_BATCHES) {
      null_.push_back(make_batch(0, x, batches));
      return std::nullopt;
    }
    return verdict;
  }

  // The probe in words: its point's values and its batch.
  std::string describe(int generations, int x, int batch) const {
    return DESCRIBE_POINT(tmpl_.facts, values_of(generations, x)) + ", batch " + std::to_string(batch + 1);
  }

  // Runs the batches of a round that an earlier run of the same search has
  // not finished, then reads every one of them. A stop or a failure ends
  // the search; the finished batches stay for --resume.
  std::size_t run_round(const std::vector<Batch*>& round) {
    std::vector<RoundBatch> batches;
    for (const Batch* batch : round) {
      const PointValues values = values_of(batch->generations, batch->x);
      RoundBatch prepared;
      prepared.job.folder = (dir_ / PROBE_FOLDER / batch->label).string();
      prepared.job.label = batch->label;
      prepared.job.description = describe(batch->generations, batch->x, batch->batch);
      prepared.job.generations = batch->generations;
      prepared.job.seed = POINT_SEED(seed_, values, batch->batch);
      prepared.input = REWRITE_TEMPLATE(tmpl_, values, POINT_COMMENT_PREFIX + prepared.job.description,
                                        RunSettings{options_.runs, !options_.keep_details});
      batches.push_back(std::move(prepared));
    }
    const RoundOutcome outcome = RUN_ROUND(batches, round_settings());
    // A stop while nothing ran is met by the next round's run.
    if (outcome.ran > 0 && outcome.stop_signal != 0) throw SweepStopped(outcome.stop_signal, outcome.stopped);
    for (std::size_t i = 0; i < batches.size(); ++i) {
      if (!outcome.batches[i].run.ok) {
        throw SweepError(batches[i].job.folder + " failed: " + outcome.batches[i].run.failure +
                         " (fix the cause and add --resume to go on)");
      }
    }
    for (std::size_t i = 0; i < batches.size(); ++i) {
      Batch& batch = *round[i];
      batch.result = COLLECT_BATCH(batches[i]);
      if (!batch.result.ok)
        throw SweepError(batches[i].job.folder + " has no result: " + batch.result.failure);
      std::string console;
      READ_WHOLE_FILE((fs::path(batches[i].job.folder) / CONSOLE_FILE_NAME).string(), console);
      consoles_.push_back({std::string(PROBE_FOLDER) + "/" + batch.label, console});
    }
    return outcome.ran;
  }

  RoundSettings round_settings() const {
    RoundSettings settings;
    settings.program = options_.program;
    settings.jobs = options_.jobs;
    settings.threads_per_point = options_.threads_per_point;
    settings.terminal = ::isatty(STDOUT_FILENO) == 1;
    settings.resume = options_.resume;
    settings.keep_details = options_.keep_details;
    // The probe folders are the search's alone.
    settings.clear = [](const fs::path& folder) { fs::remove_all(folder); };
    return settings;
  }

  // A test whose no-drift batches at the range's upper end reject more
  // often than a calibrated test would gets no answer at any F'st.
  void check_calibration() {
    if (null_.empty() || !null_.front().result.ok) return;
    for (Test test : TESTS) {
      if (!on_[static_cast<int>(test)] ||
          null_verdict(null_.front().x, test) != std::optional(Calibration::MISCALIBRATED))
        continue;
      for (LevelState& level : levels_)
        level.answers[static_cast<int>(test)].state = ONLY_STATUS(AnswerStatus::MISCALIBRATED);
    }
  }

  void prepare_folder() {
    OPEN_STUDY_FOLDER(options_, "search");
    WRITE_SOURCE_FILES(dir_, options_.made_template, options_.data_summary);
    std::error_code ec;
    if (options_.force) fs::remove_all(dir_ / PROBE_FOLDER, ec);
    fs::create_directories(dir_ / PROBE_FOLDER, ec);
    if (ec) throw SweepError("cannot create " + (dir_ / PROBE_FOLDER).string() + ": " + ec.message());
    seed_ = options_.seed.value_or(0);
    std::string recorded;
    if (!options_.seed) {
      if (options_.resume && READ_WHOLE_FILE((dir_ / SEED_FILE).string(), recorded)) {
        seed_ = recorded_seed(recorded, (dir_ / SEED_FILE).string());
      } else {
        const auto now = std::chrono::system_clock::now().time_since_epoch().count();
        seed_ = static_cast<std::uint32_t>(static_cast<unsigned long long>(now) ^
                                           static_cast<unsigned long long>(::getpid()));
        std::fprintf(stderr, "korvel-sweep: seed %u (give --seed %u to search again the same way)\n", seed_,
                     seed_);
      }
    }
    WRITE_WHOLE_FILE(dir_ / SEED_FILE, SEED_TEXT(seed_));
    for (const char* name : {DESIGN_FILE, CURVE_FILE, "model.csv", "caption.txt", "curve.svg", "curve.png",
                             "curve.pdf", "locus-order.csv"})
      fs::remove(dir_ / name, ec);
  }

  // The loci in the order they are added, fixed by the search's seed so
  // that --resume and the same --seed add them alike.
  void order_loci() {
    const std::vector<int> order = LOCUS_ORDER(tmpl_.facts.loci, seed_, options_.random_loci);
    if (options_.random_loci) tmpl_ = ORDER_LOCI(tmpl_, order, options_.many_loci);
    WRITE_WHOLE_FILE(dir_ / "locus-order.csv", LOCUS_ORDER_CSV(order));
    locus_order_text_ = LOCUS_ORDER_TEXT(order, options_.random_loci);
    std::fprintf(stderr, "korvel-sweep: %s (all in %s)\n", locus_order_text_.c_str(),
                 (dir_ / "locus-order.csv").c_str());
  }

  SearchRecord record() const { return {options_, on_, levels_, null_}; }

  SampleSizeFigure figure() const {
    SampleSizeFigure figure;
    figure.axis_label = options_.loci_axis ? "loci" : "individuals sampled per population";
    figure.title = options_.title;
    figure.target_power = options_.range.target;
    figure.caption = options_.data_lines;
    figure.caption.push_back(design_line());
    if (options_.loci_axis) figure.caption.push_back(locus_order_text_ + " (locus-order.csv)");
    for (const LevelState& level : levels_) {
      for (Test test : TESTS) {
        if (!on_[static_cast<int>(test)]) continue;
        const AnswerState& state = level.answers[static_cast<int>(test)].state;
        const FigureCurve curve = SEARCH_CURVE(level.expected_fst, test, COUNTS_OF(level.batches, test),
                                               state, options_.range);
        figure.curves.push_back(curve);
        figure.caption.push_back(
            ANSWER_SENTENCE({options_.loci_axis, level.expected_fst, options_.range.target, test, state}));
      }
    }
    return figure;
  }

  std::string design_line() const {
    return std::to_string(tmpl_.facts.pops) + " populations, Ne " + std::to_string(drift_size_) + ", " +
           (options_.loci_axis ? "up to " + std::to_string(tmpl_.facts.loci) + " loci of the template"
                               : std::to_string(tmpl_.facts.loci) + " loci") +
           ", " + std::to_string(batch_runs_) + " runs per probe, range " +
           std::to_string(options_.range.low) + ".." + std::to_string(options_.range.high) + ", seed " +
           std::to_string(seed_);
  }

  // The command that goes on where the budget ran out: the same
  // arguments with --resume and twice the budget.
  std::string larger_budget_command() const {
    std::vector<std::string> kept;
    for (std::size_t i = 0; i < options_.arguments.size(); ++i) {
      const std::string& arg = options_.arguments[i];
      if (arg == "--max-runs") {
        ++i;
        continue;
      }
      if (arg.rfind("--max-runs=", 0) != 0) kept.push_back(arg);
    }
    return RESUME_COMMAND(kept) + " --max-runs " + std::to_string(2 * budget_);
  }

  int finish() {
    WRITE_STUDY_TABLES(dir_, SEARCH_CURVE_CSV(record()), SEARCH_DESIGN_CSV(record()));
    const SampleSizeFigure drawn = figure();
    DRAW_SAMPLE_SIZE_FIGURE(drawn, (dir_ / "curve").string(), options_.figure_formats);
    WRITE_WHOLE_FILE(dir_ / "model.csv", FITTED_MODEL_CSV(drawn, SEARCH_AXIS_COLUMN(options_)));
    // The caption as text too, for a report or a paper.
    std::string caption;
    for (const std::string& line : drawn.caption) caption += line + "\n";
    WRITE_WHOLE_FILE(dir_ / "caption.txt", caption);
    bool flagged = false;
    for (const LevelState& level : levels_) {
      for (Test test : TESTS) {
        if (!on_[static_cast<int>(test)]) continue;
        std::printf("F'st %s (t = %d), %s: %s\n", FIXED_TEXT(level.expected_fst, 4).c_str(),
                    level.generations, TEST_WORDS(test), ANSWER_LINE(record(), level, test).c_str());
        flagged = flagged || level.answers[static_cast<int>(test)].state.status != AnswerStatus::OK;
      }
    }
    flagged = PRINT_CALIBRATION(record()) || flagged;
    const bool spent = std::any_of(levels_.begin(), levels_.end(), [](const LevelState& level) {
      return std::any_of(std::begin(level.answers), std::end(level.answers), [](const TestAnswer& answer) {
        return answer.state.status == AnswerStatus::BUDGET_SPENT;
      });
    });
    if (spent) std::fprintf(stderr, "To go on with a larger budget: %s\n", larger_budget_command().c_str());
    std::printf("results: %s, %s and the figure %s\n", (dir_ / DESIGN_FILE).c_str(),
                (dir_ / CURVE_FILE).c_str(), (dir_ / "curve").c_str());
    std::fflush(stdout);
    if (REPORT_WARNINGS(consoles_, "probe")) flagged = true;
    if (flagged && !stopped_) {
      std::fprintf(stderr,
                   "korvel-sweep: the search finished but not every answer is sound (exit status 3)\n");
    }
    return flagged ? 3 : 0;
  }

  SweepTemplate tmpl_;  // with --find loci, its loci in the order they are added
  const SearchOptions& options_;
  fs::path dir_;
  int drift_size_ = 0;
  long long batch_runs_ = 0;
  long long budget_ = 0;
  std::uint32_t seed_ = 0;
  bool stopped_ = false;
  long long ran_runs_ = 0;  // runs of batches run (not reused) and their time
  double ran_seconds_ = 0;
  bool estimated_ = false;  // the cost estimate has been given
  std::string locus_order_text_;
  bool on_[2] = {false, false};
  std::vector<LevelState> levels_;
  std::vector<Batch> null_;
  std::vector<PointConsole> consoles_;
};

}  // namespace

int RUN_SEARCH(const SweepTemplate& tmpl, const SearchOptions& options) {
  if (!tmpl.facts.chi2_on && !tmpl.facts.fisher_on)
    throw SweepError(tmpl.document.NAME + " switches both tests off");
  Search search(tmpl, options);
  return search.run();
}

}  // namespace korvel::sweep
