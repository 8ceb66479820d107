// The exact tests' chains run on several threads: every file and the
// console (but for the elapsed time) must be byte for byte those of the
// single-threaded program with the same seed, for any thread count, also
// when a write fails half-way; and a thread count that is not one is
// refused before anything is written.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "support/chain_form_environment.h"
#include "support/golden_cases.h"
#include "support/programs.h"
#include "support/run_program.h"
#include "support/scratch_folder.h"

namespace korvel {
namespace {

namespace fs = std::filesystem;
using testing::GOLDEN_ROOT;
using testing::READ_FILE;
using testing::RUN_PROGRAM;
using testing::ScratchFolder;
using testing::TRIMMED;
using testing::WITHOUT_ELAPSED_TIME;
using testing::WRITE_FILE;

const std::vector<std::string> THREAD_COUNTS = {"1", "2", "8"};

struct OUTCOME {
  int exit_status = -1;
  int signal = 0;
  std::string console;
  std::vector<std::pair<std::string, std::string>> files;
};

// Runs `program` with KORVEL_THREADS = threads in a fresh folder holding
// `input`; `prepare` may add to the folder first (links to /dev/full).
OUTCOME RUN_WITH_THREADS(const std::string& program, const std::string& seed, const std::string& input,
                         const std::string& threads, void (*prepare)(const fs::path&) = nullptr) {
  ScratchFolder folder;
  WRITE_FILE(folder.path() / "KORVEL.IN", input);
  if (prepare != nullptr) prepare(folder.path());
  ::setenv("KORVEL_THREADS", threads.c_str(), 1);
  const auto result = RUN_PROGRAM(program, {seed}, folder.path());
  ::unsetenv("KORVEL_THREADS");
  OUTCOME outcome{result.exit_status, result.signal, WITHOUT_ELAPSED_TIME(result.console), {}};
  for (const auto& entry : fs::directory_iterator(folder.path()))
    if (!entry.is_symlink())
      outcome.files.emplace_back(entry.path().filename().string(), READ_FILE(entry.path()));
  std::sort(outcome.files.begin(), outcome.files.end());
  return outcome;
}

void EXPECT_SAME_OUTCOME(const OUTCOME& single, const OUTCOME& threaded, const std::string& what) {
  EXPECT_EQ(threaded.exit_status, single.exit_status) << what;
  EXPECT_EQ(threaded.signal, single.signal) << what;
  EXPECT_TRUE(threaded.console == single.console) << what << ": console differs\n"
                                                  << threaded.console << "\n---- single-threaded ----\n"
                                                  << single.console;
  ASSERT_EQ(threaded.files.size(), single.files.size()) << what << ": different set of files";
  for (std::size_t i = 0; i < single.files.size(); ++i) {
    EXPECT_EQ(threaded.files[i].first, single.files[i].first) << what;
    EXPECT_TRUE(threaded.files[i].second == single.files[i].second)
        << what << ": " << single.files[i].first << " differs";
  }
}

// Every thread count against the single-threaded program.
void EXPECT_SAME_FOR_EVERY_THREAD_COUNT(const std::string& program, const std::string& seed,
                                        const std::string& input, const std::string& what,
                                        void (*prepare)(const fs::path&) = nullptr) {
  const OUTCOME single = RUN_WITH_THREADS(program, seed, input, "1", prepare);
  for (const std::string& threads : THREAD_COUNTS)
    if (threads != "1")
      EXPECT_SAME_OUTCOME(single, RUN_WITH_THREADS(program, seed, input, threads, prepare),
                          what + " with " + threads + " threads");
}

TEST(ThreadIdentity, GoldenSetUpsGiveTheSameBytesWithOneTwoAndEightThreads) {
  for (const auto& entry : fs::directory_iterator(GOLDEN_ROOT)) {
    if (!entry.is_directory()) continue;
    const fs::path folder = entry.path();
    const std::string program = TRIMMED(READ_FILE(folder / "program")) == "korvel-ml" ? KORVEL_ML_SEEDED
                                                                                      : KORVEL_SEEDED;
    const std::string input = READ_FILE(folder / "KORVEL.IN");
    const std::string seed = TRIMMED(READ_FILE(folder / "seed"));
    const OUTCOME single = RUN_WITH_THREADS(program, seed, input, "1");
    // The single-threaded program is the one the golden files record.
    EXPECT_EQ(single.console, READ_FILE(folder / "expected" / "console.txt")) << folder.filename();
    for (const auto& [name, content] : single.files) {
      if (name == "KORVEL.IN") continue;
      EXPECT_TRUE(content == READ_FILE(folder / "expected" / name)) << folder.filename() << " " << name;
    }
    for (const std::string& threads : {std::string("2"), std::string("8")})
      EXPECT_SAME_OUTCOME(single, RUN_WITH_THREADS(program, seed, input, threads),
                          folder.filename().string() + " with " + threads + " threads");
  }
}

// Many short chains, loci fixed now and then, runs thrown away and redone:
// the records of several runs are in flight at once.
std::string MANY_SHORT_CHAINS(int erase, int runs, const std::string& iterations = "20 3 15") {
  return "thread identity\r\nsmall samples, rare alleles\r\n" + iterations + "\r\n1 1\r\n" +
         std::to_string(erase) + "\r\n--\r\n5\r\n3\r\n12\r\n6\r\n3 4 2\r\n" + std::to_string(runs) +
         "\r\n--\r\n--\r\n2 0.5 0.5\r\n3 0.96 0.02 0.02\r\n2 0.98 0.02\r\n4 0.4 0.3 0.2 0.1\r\n"
         "2 0.97 0.03\r\n";
}

TEST(ThreadIdentity, ManyShortChainsFixedLociAndRedoneRuns) {
  EXPECT_SAME_FOR_EVERY_THREAD_COUNT(testing::SEEDED_PROGRAM, "77", MANY_SHORT_CHAINS(0, 60), "kept files");
  EXPECT_SAME_FOR_EVERY_THREAD_COUNT(testing::SEEDED_PROGRAM, "78", MANY_SHORT_CHAINS(1, 25), "erased files");
}

void SUMTEST_ON_FULL_DISK(const fs::path& folder) { fs::create_symlink("/dev/full", folder / "SUMTEST.OUT"); }
void SUBPOPS_ON_FULL_DISK(const fs::path& folder) { fs::create_symlink("/dev/full", folder / "SUBPOPS.OUT"); }
void LOCUSTST_ON_FULL_DISK(const fs::path& folder) {
  fs::create_symlink("/dev/full", folder / "LOCUSTST.OUT");
}

TEST(ThreadIdentity, AFailedWriteEndsAtTheSamePointWithRuntimeError101) {
  if (!fs::exists("/dev/full")) GTEST_SKIP() << "this machine has no /dev/full";
  // Enough runs for each file to fill its buffer and be written mid-run,
  // and chains long enough for the main sequence to run a few ahead of
  // them: the failure must still come after exactly the same console lines.
  const std::string input = MANY_SHORT_CHAINS(0, 600, "200 4 500");
  for (auto prepare : {SUMTEST_ON_FULL_DISK, SUBPOPS_ON_FULL_DISK, LOCUSTST_ON_FULL_DISK}) {
    const OUTCOME single = RUN_WITH_THREADS(testing::SEEDED_PROGRAM, "5", input, "1", prepare);
    ASSERT_EQ(single.exit_status, 101) << single.console;
    ASSERT_NE(single.console.find("Runtime error 101: cannot write to "), std::string::npos);
    for (const std::string& threads : {std::string("2"), std::string("8")})
      EXPECT_SAME_OUTCOME(single, RUN_WITH_THREADS(testing::SEEDED_PROGRAM, "5", input, threads, prepare),
                          "full disk with " + threads + " threads");
  }
}

TEST(ThreadIdentity, AThreadCountOrChainFormThatCannotBeHonouredIsRefusedBeforeAnyOutput) {
  const std::string input = MANY_SHORT_CHAINS(0, 2);
  for (const std::string bad : {"0", "-2", "two", "", "3x", "1.5", "100000"}) {
    const OUTCOME outcome = RUN_WITH_THREADS(testing::SEEDED_PROGRAM, "1", input, bad);
    EXPECT_NE(outcome.exit_status, 0) << "KORVEL_THREADS=\"" << bad << "\"";
    EXPECT_EQ(outcome.console.rfind("KORVEL_THREADS is \"" + bad + "\"", 0), 0u) << outcome.console;
    EXPECT_EQ(outcome.console.find('\n'), outcome.console.size() - 1) << "one line only: " << outcome.console;
    ASSERT_EQ(outcome.files.size(), 1u) << "only KORVEL.IN, untouched";
    EXPECT_EQ(outcome.files[0].second, input);
  }
  EXPECT_EQ(RUN_WITH_THREADS(testing::SEEDED_PROGRAM, "1", input, " 3 ").exit_status, 0);
  // So is a chain form that does not run here.
  ::setenv("KORVEL_CHAIN_FORM", "no-such-form", 1);
  const OUTCOME outcome = RUN_WITH_THREADS(testing::SEEDED_PROGRAM, "1", input, "1");
  ::unsetenv("KORVEL_CHAIN_FORM");
  EXPECT_EQ(outcome.console.rfind("KORVEL_CHAIN_FORM is \"no-such-form\"", 0), 0u) << outcome.console;
  EXPECT_EQ(outcome.files.size(), 1u) << "only KORVEL.IN";
}

}  // namespace
}  // namespace korvel
