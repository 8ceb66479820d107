// The replicate runs as one pipeline, for any number of threads.
//
// The main sequence (drift, samples, fixed loci, the contingency tables
// with their seeds, the chi-square tests, the exact test's table reader)
// stays on the calling thread and in program order; it is all the
// program-wide generator decides. The chain of each tested locus depends
// only on its table and seeds, so it goes to a pool of threads. Everything
// the program shows or writes, and every step that needs a chain's result
// (WRITE_TO_LOCUSTST, SUM_FOR_TOTAL_P, WRITE_TO_SUMTEST), is a record
// carried out on the calling thread in program order once the results
// before it are in; a locus's record carries its results, so these steps
// read nothing the main sequence has moved on since. With more than one
// thread the main sequence runs at most a window of a few chains per
// thread ahead of the records; with one, the pool starts no thread and
// every record is carried out as soon as it is made.
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
#include "tests/combine_loci.h"
#include "tests/locus_result.h"

namespace korvel {

class RUN_PIPELINE {
 public:
  explicit RUN_PIPELINE(int threads);
  ~RUN_PIPELINE();
  RUN_PIPELINE(const RUN_PIPELINE&) = delete;
  RUN_PIPELINE& operator=(const RUN_PIPELINE&) = delete;

  // A console line, in its place.
  void SAY(const std::string& line);
  // Runs `write`, which writes lines to `file`; the lines reach the file in
  // their place.
  void WRITE(TextOut& file, void (*write)());
  // The per-locus loop of a kept run (run RUN) and its WRITE_TO_SUMTEST.
  void TEST_EVERY_LOCUS_OF_THE_RUN();
  // Carries out every record.
  void FINISH();

 private:
  enum class KIND { CONSOLE, FILE_LINES, CONTTAB, LOCUS, END_OF_RUN };
  struct RECORD {
    explicit RECORD(KIND k) : kind(k) {}
    KIND kind;
    std::string text;  // console line, file lines or table text
    TextOut* file = nullptr;
    LOCUS_RESULT result;  // LOCUS; END_OF_RUN uses its RUN
    std::unique_ptr<CHAIN_TASK> chain;
  };

  void ADD(RECORD record);
  void TEST_LOCUS();
  bool READY(RECORD& record);
  void CARRY_OUT(RECORD& record);
  void CARRY_OUT_GUARDED(RECORD& record);
  void CARRY_OUT_FRONT();
  void CARRY_OUT_READY();
  void KEEP_WINDOW();
  void DRAIN();
  static void GATE();
  static void STOP_AT_EXIT();

  CHAIN_POOL pool_;
  std::deque<RECORD> records_;
  std::size_t window_;
  std::size_t chains_pending_ = 0;
  bool carrying_out_ = false;
  // The sums of the run whose records are being carried out.
  RUN_SUMS sums_;
};

}  // namespace korvel
