#include "control/run_pipeline.h"

#include <cstdlib>
#include <utility>

#include "common/console.h"
#include "common/failure.h"
#include "common/tables.h"
#include "output/test_result_files.h"
#include "tests/conttab_handoff.h"
#include "tests/locus_tests.h"

namespace korvel {

namespace {

// Chains the main sequence may run ahead of the results consumed, per
// thread; and a bound on all records, for runs that are thrown away again
// and again while a chain is still running.
constexpr std::size_t CHAINS_AHEAD_PER_THREAD = 4;
constexpr std::size_t MAX_RECORDS = 4096;

// A lone thread gains nothing from running ahead of its own chains: each
// record is carried out at once, and nothing is held back.
std::size_t WINDOW_FOR(int threads) {
  return threads <= 1 ? 0 : CHAINS_AHEAD_PER_THREAD * static_cast<std::size_t>(threads);
}

// The console gate is a plain function: it finds the pipeline here.
RUN_PIPELINE* ACTIVE = nullptr;

}  // namespace

RUN_PIPELINE::RUN_PIPELINE(int threads) : pool_(threads), window_(WINDOW_FOR(threads)) {
  ACTIVE = this;
  SET_CONSOLE_GATE(GATE);
  // A runtime error or stop ends the program with exit(): no chain is left
  // running after it.
  static const bool registered = std::atexit(STOP_AT_EXIT) == 0;
  (void)registered;
}

RUN_PIPELINE::~RUN_PIPELINE() {
  SET_CONSOLE_GATE(nullptr);
  ACTIVE = nullptr;
  pool_.STOP();
}

void RUN_PIPELINE::STOP_AT_EXIT() {
  if (ACTIVE != nullptr) ACTIVE->pool_.STOP();
}

// Console text of the main sequence itself (or the end of the program)
// comes after every record made before it.
void RUN_PIPELINE::GATE() {
  if (ACTIVE != nullptr && !ACTIVE->carrying_out_) ACTIVE->DRAIN();
}

// A record with nothing before it and no chain is carried out at once; it
// is never held.
void RUN_PIPELINE::ADD(RECORD record) {
  if (records_.empty() && !record.chain) CARRY_OUT_GUARDED(record);
  else records_.push_back(std::move(record));
}

void RUN_PIPELINE::SAY(const std::string& line) {
  RECORD record{KIND::CONSOLE};
  record.text = line;
  ADD(std::move(record));
}

void RUN_PIPELINE::WRITE(TextOut& file, void (*write)()) {
  if (records_.empty()) {
    write();
    return;
  }
  RECORD record{KIND::FILE_LINES};
  record.file = &file;
  file.HOLD_LINES(&record.text);
  struct RELEASE {
    TextOut& file;
    ~RELEASE() { file.HOLD_LINES(nullptr); }
  } release{file};
  write();
  ADD(std::move(record));
}

void RUN_PIPELINE::TEST_EVERY_LOCUS_OF_THE_RUN() {
  for (J = 1; J <= NUMBLOCI; ++J) {
    if (FIXED_LOCUS[J] == 0) {
      TEST_LOCUS();
    } else {
      RECORD record{KIND::LOCUS};
      record.result.RUN = RUN;
      record.result.LOCUS = J;
      record.result.FIXED = true;
      ADD(std::move(record));
    }
    KEEP_WINDOW();
  }
  RECORD end{KIND::END_OF_RUN};
  end.result.RUN = RUN;
  ADD(std::move(end));
  CARRY_OUT_READY();
}

// The tests of locus J, with the chain handed to the pool.
void RUN_PIPELINE::TEST_LOCUS() {
  const std::string TEXT = MAKE_CONTTAB_TEXT();
  // Written before the tests read it, as the file's convention has it.
  RECORD write{KIND::CONTTAB};
  write.text = TEXT;
  ADD(std::move(write));
  LOCUS_TEST TESTED = TEST_LOCUS_X(TEXT);
  RECORD record{KIND::LOCUS};
  record.result = TESTED.RESULT;
  record.chain = std::move(TESTED.CHAIN);
  if (record.chain) {
    pool_.SUBMIT(*record.chain);
    ++chains_pending_;
  }
  ADD(std::move(record));
}

bool RUN_PIPELINE::READY(RECORD& record) { return !record.chain || pool_.DONE(*record.chain); }

void RUN_PIPELINE::CARRY_OUT(RECORD& record) {
  switch (record.kind) {
    case KIND::CONSOLE:
      CONSOLE_LINE(record.text);
      return;
    case KIND::FILE_LINES:
      record.file->WRITE_HELD_LINES(record.text);
      return;
    case KIND::CONTTAB:
      WRITE_CONTTAB(record.text);
      return;
    case KIND::LOCUS:
      if (record.chain) {
        record.result.GEXACT_P = record.chain->STATE.HM;
        record.result.SE = record.chain->STATE.HECA;
      }
      WRITE_TO_LOCUSTST(record.result);
      if (!record.result.FIXED) SUM_FOR_TOTAL_P(sums_, record.result);
      return;
    case KIND::END_OF_RUN:
      WRITE_TO_SUMTEST(record.result.RUN, sums_);
      sums_ = RUN_SUMS{};
      return;
  }
}

// Console text of a record (a pause while combining the loci, a runtime
// error of a write) belongs to the record itself: it does not pass the gate.
void RUN_PIPELINE::CARRY_OUT_GUARDED(RECORD& record) {
  carrying_out_ = true;
  struct DONE_CARRYING {
    bool& flag;
    ~DONE_CARRYING() { flag = false; }
  } done{carrying_out_};
  CARRY_OUT(record);
}

void RUN_PIPELINE::CARRY_OUT_FRONT() {
  RECORD& front = records_.front();
  if (front.chain) pool_.WAIT_FOR(*front.chain);
  CARRY_OUT_GUARDED(front);
  if (front.chain) --chains_pending_;
  records_.pop_front();
}

void RUN_PIPELINE::CARRY_OUT_READY() {
  while (!records_.empty() && READY(records_.front())) CARRY_OUT_FRONT();
}

void RUN_PIPELINE::KEEP_WINDOW() {
  CARRY_OUT_READY();
  while (!records_.empty() && (chains_pending_ >= window_ || records_.size() >= MAX_RECORDS))
    CARRY_OUT_FRONT();
}

void RUN_PIPELINE::DRAIN() {
  while (!records_.empty()) CARRY_OUT_FRONT();
}

void RUN_PIPELINE::FINISH() { DRAIN(); }

}  // namespace korvel
