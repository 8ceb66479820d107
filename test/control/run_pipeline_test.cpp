// The run pipeline's ordering of what it holds back: console text that the
// main sequence writes itself (a numerical pause, a message of the table
// reader, a stop) must come after the lines held back before it.
#include "control/run_pipeline.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <string>

#include "common/console.h"
#include "common/failure.h"
#include "common/tables.h"
#include "output/test_result_files.h"
#include "support/scratch_folder.h"

namespace korvel {
namespace {

// One locus of two samples whose exact test takes a good part of a second,
// so that what comes after it is held back while its chain runs.
class RunPipeline : public ::testing::Test {
 protected:
  void SetUp() override {
    NUMBLOCI = RUN_FISHER = 1;
    NUMBPOPS = ALLELES_PER_LOCUS[1] = 2;
    RUN_CHI2 = FIXED_LOCUS[1] = 0;
    RUN = 1;
    ITER1 = 0;
    ITER2 = 2;
    ITER3 = 500000;
    ALL_POPS_ACOUNT[1][1] = {0, 30, 10};
    ALL_POPS_ACOUNT[2][1] = {0, 10, 30};
    INITIALIZE_LOCUSTST();
    INITIALIZE_SUMTEST();
  }
  void TearDown() override {
    OUT8.CLOSE();
    OUT10.CLOSE();
  }

  testing::ScratchFolder folder_;
};

TEST_F(RunPipeline, ConsoleTextOfTheMainSequenceComesAfterWhatWasHeldBefore) {
  ::testing::internal::CaptureStdout();
  {
    RUN_PIPELINE runs(2);
    runs.SAY("Run =      1");
    runs.TEST_EVERY_LOCUS_OF_THE_RUN();
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
  RUN_PIPELINE runs(2);
  runs.TEST_EVERY_LOCUS_OF_THE_RUN();
  runs.SAY("Run =      2");
  if (message_first) CONSOLE_LINE("Table only contains one row!!");
  PROGRAM_STOP();
}

TEST_F(RunPipeline, NothingHeldBackIsLostWhenTheProgramStops) {
  EXPECT_EXIT(STOP_WITH_LINES_HELD(true), ::testing::ExitedWithCode(STOP_EXIT_STATUS),
              "^Run =      2\nTable only contains one row!!\n$");
  EXPECT_EXIT(STOP_WITH_LINES_HELD(false), ::testing::ExitedWithCode(STOP_EXIT_STATUS), "^Run =      2\n$");
  ::testing::internal::CaptureStdout();
  {
    RUN_PIPELINE runs(2);
    runs.TEST_EVERY_LOCUS_OF_THE_RUN();
    runs.SAY("held");
  }
  // Dropped without FINISH (an exception on its way): the gate is gone, and
  // so is what it held.
  CONSOLE_LINE("after");
  EXPECT_EQ(::testing::internal::GetCapturedStdout(), "after\n");
}

}  // namespace
}  // namespace korvel
