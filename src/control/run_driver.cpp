#include "control/run_driver.h"

#include <sys/time.h>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <string>

#include "common/console.h"
#include "common/random_generator.h"
#include "common/tables.h"
#include "common/text_format.h"
#include "control/control_state.h"
#include "control/input_file.h"
#include "control/run_pipeline.h"
#include "control/summary_report.h"
#include "control/thread_count.h"
#include "input/shared_names.h"
#include "output/population_files.h"
#include "output/test_result_files.h"
#include "popmodel/allele_sampling.h"
#include "popmodel/drift.h"
#include "tests/exact_chain.h"
#include "tests/exact_resolution.h"
#include "tests/locus_tests.h"

namespace korvel {

namespace {

constexpr EXTENDED SECONDS_PER_DAY = 86400.0L;

void READ_TIME_OF_DAY() {
  timeval now{};
  ::gettimeofday(&now, nullptr);
  const std::time_t seconds = now.tv_sec;
  std::tm local{};
  ::localtime_r(&seconds, &local);
  HOUR = static_cast<WORD16>(local.tm_hour);
  MIN = static_cast<WORD16>(local.tm_min);
  SEC = static_cast<WORD16>(local.tm_sec);
  HUND = static_cast<WORD16>(now.tv_usec / 10000);
}

EXTENDED SECONDS_SINCE_MIDNIGHT() {
  return static_cast<EXTENDED>(HUND) / 100.0L + static_cast<EXTENDED>(HOUR * 3600 + MIN * 60 + SEC);
}

void CREATE_FST_FILE() {
  OUT5.CREATE(FST_FILE_NAME);
  OUT5.END_LINE();
  OUT5.TEXT("Run", 10).TEXT("t", 8).TEXT("Ht", 11).TEXT("Hs", 11).TEXT("F'st", 11).END_LINE();
}

void WRITE_FST_LINE() {
  OUT5.INT(RUN, 10).INT(T, 8).REAL(HT, 11, 4).REAL(HS, 11, 4).REAL(FSTPRIME, 11, 4).END_LINE();
}

void SET_DIPLOIDS_TO_SAMPLE_TO_DRIFT_SIZE() {
  for (int i = 1; i <= NUMBPOPS; ++i) NUMB_DIPLOIDS_TO_SAMPLE[i] = DRIFT_SIZE;
}

void SET_DIPLOIDS_TO_SAMPLE_TO_SAMPLESIZE() {
  for (int i = 1; i <= NUMBPOPS; ++i) NUMB_DIPLOIDS_TO_SAMPLE[i] = SAMPLESIZE[i];
  TOTALSAMPLESIZE = 0;
  for (int i = 1; i <= NUMBPOPS; ++i) TOTALSAMPLESIZE += NUMB_DIPLOIDS_TO_SAMPLE[i];
}

// One attempt at run RUN + 1. A run whose pooled samples are monomorphic at
// every locus is taken back and redone under the same number. What the run
// shows and writes goes through the pipeline, in its place.
void ATTEMPT_ONE_RUN(RUN_PIPELINE& pipeline) {
  SET_DIPLOIDS_TO_SAMPLE_TO_DRIFT_SIZE();
  ++RUN;
  pipeline.SAY("Run = " + INT_TEXT(RUN, 6));
  DRIFT_APART();
  SET_DIPLOIDS_TO_SAMPLE_TO_SAMPLESIZE();
  SAMPLE_ALLELES();
  TEST_EACH_LOCUS_FOR_FIXED_SAMPLES();
  if (NUMB_NONFIXED_LOCI == 0) {
    --RUN;
    return;
  }
  pipeline.WRITE(OUT6, WRITE_TO_SUBPOPS);
  pipeline.WRITE(OUT7, WRITE_TO_SAMPLES);
  pipeline.WRITE(OUT5, WRITE_FST_LINE);
  SUM_FST += FSTPRIME;
  SUM_HT += HT;
  SUM_HS += HS;
  pipeline.TEST_EVERY_LOCUS_OF_THE_RUN();
}

// The replicate loop. Only the exact tests' chains take long enough to be
// worth threads; without them one thread does everything.
void RUN_THE_REPLICATES(int threads) {
  RUN_PIPELINE pipeline(TEST_IS_ON(RUN_FISHER) ? threads : 1);
  do {
    ATTEMPT_ONE_RUN(pipeline);
  } while (RUN != STOP_RUNS);
  pipeline.FINISH();
}

void CLOSE_OUTPUT_FILES() {
  OUT1.CLOSE();
  OUT5.CLOSE();
  OUT6.CLOSE();
  OUT7.CLOSE();
  OUT8.CLOSE();
  OUT10.CLOSE();
}

}  // namespace

void INITIALIZE_ARRAYS() {
  for (auto& locus : BASEPOP) locus.fill(0.0);
  for (int i = 0; i <= MAX_POPS; ++i) {
    for (int j = 0; j <= MAX_LOCI; ++j) {
      ALL_POPS_ACOUNT[i][j].fill(0);
      ALL_POPS_AFREQ[i][j].fill(0.0);
    }
  }
  ALLELES_PER_LOCUS.fill(0);
  NUMBR1 = R1CHI2 = R1GEXACT = 0;
  NUMBR2 = R2CHI2 = R2GEXACT = 0;
  NUMBR3 = R3CHI2 = R3GEXACT = 0;
  NUMBTOT = TOTCHI2 = TOTGEXACT = 0;
  CLEAR_EXACT_RESOLUTION_COUNTS();
}

std::string ELAPSED_TIME_LINE(EXTENDED time_difference) {
  // The clock is the time of day: a run that passes midnight would give a
  // negative difference, so a whole day is added back.
  while (time_difference < 0) time_difference += SECONDS_PER_DAY;
  const EXTENDED hours = std::trunc(time_difference / 3600.0L);
  const EXTENDED minutes = std::trunc((time_difference - hours * 3600.0L) / 60.0L);
  // Seconds are rounded (halves to even), hours and minutes cut off: a
  // remainder of 59.6 s shows as 60 seconds.
  const EXTENDED seconds = std::nearbyint(time_difference - hours * 3600.0L - minutes * 60.0L);
  HOUR = static_cast<WORD16>(hours);
  MIN = static_cast<WORD16>(minutes);
  SEC = static_cast<WORD16>(seconds);
  return " Approximate CPU-time: " + INT_TEXT(HOUR) + " hours, " + INT_TEXT(MIN) + " minutes, " +
         INT_TEXT(SEC) + " seconds";
}

void TIMER() {
  const INT32 k = RUN;
  if (k == 0) {
    READ_TIME_OF_DAY();
    TIME1 = SECONDS_SINCE_MIDNIGHT();
  }
  if (k == STOP_RUNS) {
    READ_TIME_OF_DAY();
    TIME2 = SECONDS_SINCE_MIDNIGHT();
    TIMEDIFF = TIME2 - TIME1;
    CONSOLE_LINE(ELAPSED_TIME_LINE(TIMEDIFF));
  }
}

void ERASE_OUTFILES() {
  for (const char* name : DETAILED_OUTPUT_FILES) DELETE_FILE(name);
}

int KORVEL_MAIN(std::uint32_t seed) {
  const int THREADS = THREADS_TO_USE();
  // A diagnostic choice of the chain's form that cannot be honoured is
  // refused here, before anything is written.
  exact_chain::THE_CHAIN_FORM();
  SEED_RANDOM_GENERATOR(seed);
  INITIALIZE_ARRAYS();
  READ_INFILE();
  WRITE_OUTFILE();
  CREATE_FST_FILE();
  INITIALIZE_SUBPOPS();
  INITIALIZE_SAMPLES();
  INITIALIZE_LOCUSTST();
  INITIALIZE_SUMTEST();
  RUN = 0;
  SUM_FST = 0;
  SUM_HT = 0;
  SUM_HS = 0;
  TIMER();
  RUN_THE_REPLICATES(THREADS);
  TIMER();
  WRITE_FINAL_RESULTS();
  WARN_ABOUT_EXACT_RESOLUTION();
  CLOSE_OUTPUT_FILES();
  if (ERASE_DETAILED_OUTPUT == 1) ERASE_OUTFILES();
  // Written anew for every tested locus; a run in which no locus was ever
  // tested cannot reach here (every kept run tests at least one locus).
  DELETE_FILE(CONTTAB_FILE_NAME);
  std::fflush(stdout);
  return 0;
}

}  // namespace korvel
