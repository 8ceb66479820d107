// The parallel run driver's ordering of what it holds back: console text
// that the main sequence writes itself (a numerical pause, a message of the
// table reader, a stop) must come after the lines held back before it.
#include "control/parallel_runs.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <string>

#include "common/console.h"
#include "common/failure.h"

namespace korvel {
namespace {

TEST(ParallelRuns, ConsoleTextOfTheMainSequenceComesAfterWhatWasHeldBefore) {
  ::testing::internal::CaptureStdout();
  {
    PARALLEL_RUNS runs(2);
    runs.SAY("Run =      1");
    runs.SAY("Run =      2");
    CONSOLE_LINE("pause in GCF - a too large, itmax too small");
    runs.SAY("Run =      3");
    runs.FINISH();
  }
  EXPECT_EQ(::testing::internal::GetCapturedStdout(),
            "Run =      1\nRun =      2\npause in GCF - a too large, itmax too small\nRun =      3\n");
}

// A stop of the main sequence, its console sent to standard error so that
// the death test can match it.
void STOP_WITH_LINES_HELD(bool message_first) {
  std::fflush(stdout);
  ::dup2(STDERR_FILENO, STDOUT_FILENO);
  PARALLEL_RUNS runs(2);
  runs.SAY("Run =      1");
  if (message_first) CONSOLE_LINE("Table only contains one row!!");
  PROGRAM_STOP();
}

TEST(ParallelRuns, NothingHeldBackIsLostWhenTheProgramStops) {
  EXPECT_EXIT(STOP_WITH_LINES_HELD(true), ::testing::ExitedWithCode(STOP_EXIT_STATUS),
              "^Run =      1\nTable only contains one row!!\n$");
  EXPECT_EXIT(STOP_WITH_LINES_HELD(false), ::testing::ExitedWithCode(STOP_EXIT_STATUS), "^Run =      1\n$");
  ::testing::internal::CaptureStdout();
  {
    PARALLEL_RUNS runs(2);
    runs.SAY("held");
  }
  // Dropped without FINISH (an exception on its way): the gate is gone.
  CONSOLE_LINE("after");
  EXPECT_EQ(::testing::internal::GetCapturedStdout(), "after\n");
}

}  // namespace
}  // namespace korvel
