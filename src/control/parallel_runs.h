// The replicate runs with the exact tests' chains on several threads, and
// every output exactly as the single-threaded program makes it.
//
// The main sequence (drift, samples, fixed loci, the contingency tables
// with their seeds, the chi-square tests, the exact test's table reader)
// stays on the calling thread and in program order; it is all the
// program-wide generator decides. The chain of each tested locus depends
// only on its table and seeds, so it goes to a pool of threads. Everything
// the program shows or writes, and every step that needs a chain's result
// (WRITE_TO_LOCUSTST, SUM_FOR_TOTAL_P, WRITE_TO_SUMTEST), is kept as a
// record in program order and carried out on the calling thread in that
// order once the results before it are in. The main sequence runs at most
// a window of a few chains per thread ahead of them.
//
// Console text that the main sequence makes itself (a numerical pause, a
// message of the table reader, a stop or runtime error) first lets all
// records before it out, through the console gate.
#pragma once

#include <deque>
#include <memory>
#include <string>

#include "common/number_types.h"
#include "common/text_file.h"
#include "tests/chain_pool.h"

namespace korvel {

class PARALLEL_RUNS {
 public:
  explicit PARALLEL_RUNS(int threads);
  ~PARALLEL_RUNS();
  PARALLEL_RUNS(const PARALLEL_RUNS&) = delete;
  PARALLEL_RUNS& operator=(const PARALLEL_RUNS&) = delete;

  // A console line, in its place.
  void SAY(const std::string& line);
  // Runs `write`, which writes lines to `file`; the lines reach the file in
  // their place.
  void WRITE(TextOut& file, void (*write)());
  // The per-locus loop of a kept run and its WRITE_TO_SUMTEST.
  void TEST_EVERY_LOCUS_OF_THE_RUN();
  // Carries out every record and leaves the program-wide values as the
  // single-threaded program leaves them after its last run.
  void FINISH();

 private:
  enum class KIND { CONSOLE, FILE_LINES, CLEAR_SUMS, CONTTAB, LOCUS, END_OF_RUN };
  struct RECORD {
    explicit RECORD(KIND k) : kind(k) {}
    KIND kind;
    std::string text;  // console line, file lines or table text
    TextOut* file = nullptr;
    INT32 run = 0;
    INT16 locus = 0;
    INT16 fixed = 0;
    EXTENDED chisq = 0.0L, df = 0.0L, prob = 0.0L;
    std::unique_ptr<CHAIN_TASK> task;
  };
  // The values of the steps that consume results, as they were left by
  // the last record carried out (see EXCHANGE_VIEW in the source).
  struct CONSUMER_VIEW {
    INT32 RUN = 0;
    INT16 J = 0;
    INT16 NUMB_NONFIXED_LOCI = 0;
    EXTENDED CHISQ = 0.0L, DF = 0.0L, PROB = 0.0L, HM = 0.0L, HECA = 0.0L;
  };

  void ADD(RECORD record);
  void TEST_LOCUS();
  bool READY(RECORD& record);
  void CARRY_OUT(RECORD& record);
  void CARRY_OUT_FRONT();
  void CARRY_OUT_READY();
  void KEEP_WINDOW();
  void DRAIN();
  void EXCHANGE_VIEW();
  static void GATE();
  static void STOP_AT_EXIT();

  CHAIN_POOL pool_;
  std::deque<RECORD> records_;
  std::size_t window_;
  std::size_t chains_pending_ = 0;
  bool carrying_out_ = false;
  CONSUMER_VIEW view_;
};

}  // namespace korvel
