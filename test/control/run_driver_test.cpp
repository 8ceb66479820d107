#include "control/run_driver.h"

#include <gtest/gtest.h>

#include "common/tables.h"
#include "control/control_state.h"

namespace korvel {
namespace {

TEST(ElapsedTime, HoursAndMinutesAreCutSecondsRounded) {
  EXPECT_EQ(ELAPSED_TIME_LINE(0.0L), " Approximate CPU-time: 0 hours, 0 minutes, 0 seconds");
  EXPECT_EQ(ELAPSED_TIME_LINE(3.49L), " Approximate CPU-time: 0 hours, 0 minutes, 3 seconds");
  EXPECT_EQ(ELAPSED_TIME_LINE(3723.0L), " Approximate CPU-time: 1 hours, 2 minutes, 3 seconds");
  // A remainder of 59.6 s after the whole minutes shows as 60 seconds.
  EXPECT_EQ(ELAPSED_TIME_LINE(119.6L), " Approximate CPU-time: 0 hours, 1 minutes, 60 seconds");
  EXPECT_EQ(ELAPSED_TIME_LINE(3599.6L), " Approximate CPU-time: 0 hours, 59 minutes, 60 seconds");
  // Halves go to the even neighbour.
  EXPECT_EQ(ELAPSED_TIME_LINE(2.5L), " Approximate CPU-time: 0 hours, 0 minutes, 2 seconds");
  EXPECT_EQ(ELAPSED_TIME_LINE(3.5L), " Approximate CPU-time: 0 hours, 0 minutes, 4 seconds");
}

TEST(ElapsedTime, ARunPassingMidnightAddsOneDay) {
  // Started at 23:59:50.00, ended at 00:00:05.00 the next day.
  const long double start = 23 * 3600 + 59 * 60 + 50;
  const long double end = 5;
  EXPECT_EQ(ELAPSED_TIME_LINE(end - start), " Approximate CPU-time: 0 hours, 0 minutes, 15 seconds");
}

TEST(Timer, RecordsTheStartAtRunZeroAndPrintsOnlyAtTheLastRun) {
  STOP_RUNS = 3;
  RUN = 0;
  ::testing::internal::CaptureStdout();
  TIMER();
  const std::string at_start = ::testing::internal::GetCapturedStdout();
  EXPECT_EQ(at_start, "");
  EXPECT_GE(TIME1, 0.0L);
  EXPECT_LT(TIME1, 86400.0L);
  RUN = 3;
  ::testing::internal::CaptureStdout();
  TIMER();
  const std::string at_end = ::testing::internal::GetCapturedStdout();
  // How long the two clock readings lie apart depends on the machine.
  EXPECT_LT(TIME2, 86400.0L);
  EXPECT_EQ(at_end, ELAPSED_TIME_LINE(TIME2 - TIME1) + "\n");
}

TEST(InitializeArrays, ClearsEveryTableSlotAndTheCounters) {
  BASEPOP[MAX_LOCI][MAX_ALLELES] = 0.5;
  ALL_POPS_AFREQ[MAX_POPS][MAX_LOCI][MAX_ALLELES] = 0.25;
  ALL_POPS_ACOUNT[MAX_POPS][MAX_LOCI][MAX_ALLELES] = 7;
  ALLELES_PER_LOCUS[MAX_LOCI] = 3;
  NUMBR3 = 4;
  TOTGEXACT = 2;
  INITIALIZE_ARRAYS();
  EXPECT_EQ(BASEPOP[MAX_LOCI][MAX_ALLELES], 0.0);
  EXPECT_EQ(ALL_POPS_AFREQ[MAX_POPS][MAX_LOCI][MAX_ALLELES], 0.0);
  EXPECT_EQ(ALL_POPS_ACOUNT[MAX_POPS][MAX_LOCI][MAX_ALLELES], 0);
  EXPECT_EQ(ALLELES_PER_LOCUS[MAX_LOCI], 0);
  EXPECT_EQ(NUMBR3, 0);
  EXPECT_EQ(TOTGEXACT, 0);
}

}  // namespace
}  // namespace korvel
