#include "control/parallel_runs.h"

#include <cstdlib>
#include <utility>

#include "common/console.h"
#include "common/failure.h"
#include "common/tables.h"
#include "output/test_result_files.h"
#include "tests/chisquare_test.h"
#include "tests/combine_loci.h"
#include "tests/conttab_handoff.h"
#include "tests/locus_tests.h"
#include "tests/test_state.h"

namespace korvel {

namespace {

// Chains the main sequence may run ahead of the results consumed, per
// thread; and a bound on all records, for runs that are thrown away again
// and again while a chain is still running.
constexpr std::size_t CHAINS_AHEAD_PER_THREAD = 4;
constexpr std::size_t MAX_RECORDS = 4096;

PARALLEL_RUNS* ACTIVE = nullptr;

}  // namespace

PARALLEL_RUNS::PARALLEL_RUNS(int threads)
    : pool_(threads), window_(CHAINS_AHEAD_PER_THREAD * static_cast<std::size_t>(threads)) {
  // The single-threaded program's values at this point, which the steps
  // that consume results start from.
  view_ = {RUN, J, NUMB_NONFIXED_LOCI, CHISQ, DF, PROB, HM, HECA};
  ACTIVE = this;
  SET_CONSOLE_GATE(GATE);
  // A runtime error or stop ends the program with exit(): no chain is left
  // running after it.
  static const bool registered = std::atexit(STOP_AT_EXIT) == 0;
  (void)registered;
}

PARALLEL_RUNS::~PARALLEL_RUNS() {
  SET_CONSOLE_GATE(nullptr);
  ACTIVE = nullptr;
  pool_.STOP();
}

void PARALLEL_RUNS::STOP_AT_EXIT() {
  if (ACTIVE != nullptr) ACTIVE->pool_.STOP();
}

// Console text of the main sequence itself (or the end of the program)
// comes after every record made before it.
void PARALLEL_RUNS::GATE() {
  if (ACTIVE != nullptr && !ACTIVE->carrying_out_) ACTIVE->DRAIN();
}

// The consuming steps work on the program-wide RUN, J, NUMB_NONFIXED_LOCI
// and the tests' results, which the main sequence has moved on since: the
// two sets of values are exchanged around every record carried out.
void PARALLEL_RUNS::EXCHANGE_VIEW() {
  std::swap(view_.RUN, RUN);
  std::swap(view_.J, J);
  std::swap(view_.NUMB_NONFIXED_LOCI, NUMB_NONFIXED_LOCI);
  std::swap(view_.CHISQ, CHISQ);
  std::swap(view_.DF, DF);
  std::swap(view_.PROB, PROB);
  std::swap(view_.HM, HM);
  std::swap(view_.HECA, HECA);
}

void PARALLEL_RUNS::ADD(RECORD record) { records_.push_back(std::move(record)); }

void PARALLEL_RUNS::SAY(const std::string& line) {
  RECORD record{KIND::CONSOLE};
  record.text = line;
  ADD(std::move(record));
}

void PARALLEL_RUNS::WRITE(TextOut& file, void (*write)()) {
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

void PARALLEL_RUNS::TEST_EVERY_LOCUS_OF_THE_RUN() {
  ADD(RECORD{KIND::CLEAR_SUMS});
  for (J = 1; J <= NUMBLOCI; ++J) {
    if (FIXED_LOCUS[J] == 0) {
      TEST_LOCUS();
    } else {
      RECORD record{KIND::LOCUS};
      record.run = RUN;
      record.locus = J;
      record.fixed = FIXED_LOCUS[J];
      ADD(std::move(record));
    }
    KEEP_WINDOW();
  }
  RECORD end{KIND::END_OF_RUN};
  end.run = RUN;
  ADD(std::move(end));
  CARRY_OUT_READY();
}

// TEST_LOCUS_X for locus J, with the chain handed to the pool.
void PARALLEL_RUNS::TEST_LOCUS() {
  const std::string TEXT = MAKE_CONTTAB_TEXT();
  RECORD write{KIND::CONTTAB};
  write.text = TEXT;
  ADD(std::move(write));

  RECORD record{KIND::LOCUS};
  record.run = RUN;
  record.locus = J;
  {
    const CONTTAB_LOAN LOAN(TEXT);
    if (TEST_IS_ON(RUN_CHI2)) {
      DO_CHISQUARE();
      record.chisq = CHISQ;
      record.df = DF;
      record.prob = PROB;
    }
    if (TEST_IS_ON(RUN_FISHER)) {
      record.task = std::make_unique<CHAIN_TASK>();
      record.task->STATE.READINFILE();
    }
  }
  if (record.task) {
    pool_.SUBMIT(*record.task);
    ++chains_pending_;
  }
  ADD(std::move(record));
}

bool PARALLEL_RUNS::READY(RECORD& record) { return !record.task || pool_.DONE(*record.task); }

void PARALLEL_RUNS::CARRY_OUT(RECORD& record) {
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
    default:
      break;
  }
  struct IN_VIEW {
    PARALLEL_RUNS& runs;
    explicit IN_VIEW(PARALLEL_RUNS& r) : runs(r) { runs.EXCHANGE_VIEW(); }
    ~IN_VIEW() { runs.EXCHANGE_VIEW(); }
  } in_view(*this);
  if (record.kind == KIND::CLEAR_SUMS) {
    CLEAR_SUM_P_CHI2_DF();
  } else if (record.kind == KIND::END_OF_RUN) {
    RUN = record.run;
    J = static_cast<INT16>(NUMBLOCI + 1);
    WRITE_TO_SUMTEST();
  } else {
    RUN = record.run;
    J = record.locus;
    // FIXED_LOCUS may hold a later run's value by now.
    const INT16 now = FIXED_LOCUS[J];
    FIXED_LOCUS[J] = record.fixed;
    struct RESTORE {
      INT16& slot;
      INT16 value;
      ~RESTORE() { slot = value; }
    } restore{FIXED_LOCUS[J], now};
    if (record.fixed == 0) {
      if (TEST_IS_ON(RUN_CHI2)) {
        CHISQ = record.chisq;
        DF = record.df;
        PROB = record.prob;
      }
      if (record.task) {
        HM = record.task->STATE.HM;
        HECA = record.task->STATE.HECA;
      }
    }
    WRITE_TO_LOCUSTST();
    if (record.fixed == 0) SUM_FOR_TOTAL_P();
  }
}

void PARALLEL_RUNS::CARRY_OUT_FRONT() {
  RECORD& front = records_.front();
  if (front.task) pool_.WAIT_FOR(*front.task);
  carrying_out_ = true;
  struct DONE_CARRYING {
    bool& flag;
    ~DONE_CARRYING() { flag = false; }
  } done{carrying_out_};
  CARRY_OUT(front);
  if (front.task) --chains_pending_;
  records_.pop_front();
}

void PARALLEL_RUNS::CARRY_OUT_READY() {
  while (!records_.empty() && READY(records_.front())) CARRY_OUT_FRONT();
}

void PARALLEL_RUNS::KEEP_WINDOW() {
  CARRY_OUT_READY();
  while (!records_.empty() && (chains_pending_ >= window_ || records_.size() >= MAX_RECORDS))
    CARRY_OUT_FRONT();
}

void PARALLEL_RUNS::DRAIN() {
  while (!records_.empty()) CARRY_OUT_FRONT();
}

void PARALLEL_RUNS::FINISH() {
  DRAIN();
  // From here on the program-wide values are the consuming steps' ones, as
  // in the single-threaded program after its last run.
  EXCHANGE_VIEW();
}

}  // namespace korvel
