// Whole runs of the program: what it leaves behind, how it reports faults
// while running, and that two executions draw different numbers.
#include <gtest/gtest.h>
#include <sys/mount.h>
#include <unistd.h>

#include <filesystem>
#include <future>
#include <string>

#include "support/programs.h"
#include "support/run_program.h"
#include "support/scratch_folder.h"

namespace korvel {
namespace {

namespace fs = std::filesystem;
using testing::FOLDER_CONTENTS;
using testing::READ_FILE;
using testing::RUN_PROGRAM;
using testing::ScratchFolder;
using testing::WRITE_FILE;

std::string SMALL_INPUT(int erase, int runs = 3) {
  return "run-control test\r\nsmall\r\n20 4 20\r\n1 1\r\n" + std::to_string(erase) +
         "\r\n--\r\n2\r\n3\r\n30\r\n4\r\n8 8 8\r\n" + std::to_string(runs) +
         "\r\n--\r\n--\r\n2 0.5 0.5\r\n3 0.3 0.3 0.4\r\n";
}

std::vector<std::string> FILE_NAMES(const fs::path& folder) {
  std::vector<std::string> names;
  for (const auto& [name, content] : FOLDER_CONTENTS(folder)) names.push_back(name);
  return names;
}

TEST(RunControl, EraseSwitchOneLeavesOnlyTheSummaryReport) {
  ScratchFolder folder;
  const std::string input = SMALL_INPUT(1);
  WRITE_FILE(folder.path() / "KORVEL.IN", input);
  const auto result = RUN_PROGRAM(testing::SEEDED_PROGRAM, {"11"}, folder.path());
  ASSERT_EQ(result.exit_status, 0) << result.console;
  EXPECT_EQ(FILE_NAMES(folder.path()), (std::vector<std::string>{"KORVEL.IN", "KORVEL.OUT"}));
  EXPECT_EQ(READ_FILE(folder.path() / "KORVEL.IN"), input);
}

TEST(RunControl, OtherEraseValuesKeepTheDetailedFilesButNeverTheTableFile) {
  for (int erase : {0, 2, -1}) {
    ScratchFolder folder;
    WRITE_FILE(folder.path() / "KORVEL.IN", SMALL_INPUT(erase));
    const auto result = RUN_PROGRAM(testing::SEEDED_PROGRAM, {"11"}, folder.path());
    ASSERT_EQ(result.exit_status, 0) << result.console;
    EXPECT_EQ(FILE_NAMES(folder.path()),
              (std::vector<std::string>{"FST.OUT", "KORVEL.IN", "KORVEL.OUT", "LOCUSTST.OUT", "SAMPLES.OUT",
                                        "SUBPOPS.OUT", "SUMTEST.OUT"}))
        << "erase switch " << erase;
  }
}

TEST(RunControl, SameSeedSameOutputDifferentSeedDifferentOutput) {
  auto run = [](const std::string& seed) {
    ScratchFolder folder;
    WRITE_FILE(folder.path() / "KORVEL.IN", SMALL_INPUT(0));
    EXPECT_EQ(RUN_PROGRAM(testing::SEEDED_PROGRAM, {seed}, folder.path()).exit_status, 0);
    return READ_FILE(folder.path() / "SAMPLES.OUT") + READ_FILE(folder.path() / "LOCUSTST.OUT");
  };
  EXPECT_EQ(run("5"), run("5"));
  EXPECT_NE(run("5"), run("6"));
}

TEST(RunControl, TwoProgramsStartedTogetherDrawDifferentNumbers) {
  ScratchFolder first, second;
  WRITE_FILE(first.path() / "KORVEL.IN", SMALL_INPUT(0, 2));
  WRITE_FILE(second.path() / "KORVEL.IN", SMALL_INPUT(0, 2));
  auto a = std::async(std::launch::async,
                      [&] { return RUN_PROGRAM(testing::DELIVERABLE_PROGRAM, {}, first.path()); });
  auto b = std::async(std::launch::async,
                      [&] { return RUN_PROGRAM(testing::DELIVERABLE_PROGRAM, {}, second.path()); });
  ASSERT_EQ(a.get().exit_status, 0);
  ASSERT_EQ(b.get().exit_status, 0);
  EXPECT_NE(READ_FILE(first.path() / "SAMPLES.OUT"), READ_FILE(second.path() / "SAMPLES.OUT"));
}

TEST(RunControl, AFullDiskEndsWithRuntimeError101NamingTheFile) {
  if (!fs::is_character_file("/dev/full")) GTEST_SKIP() << "this machine has no /dev/full";
  ScratchFolder folder;
  WRITE_FILE(folder.path() / "KORVEL.IN", SMALL_INPUT(0, 200));
  fs::create_symlink("/dev/full", folder.path() / "SUMTEST.OUT");
  const auto result = RUN_PROGRAM(testing::SEEDED_PROGRAM, {"3"}, folder.path());
  EXPECT_EQ(result.signal, 0);
  EXPECT_EQ(result.exit_status, 101);
  EXPECT_NE(result.console.find("Runtime error 101: cannot write to SUMTEST.OUT: No space left on device"),
            std::string::npos)
      << result.console;
}

// Permission bits make the folder unwritable for an ordinary user and, with
// the override given up, for root; where root cannot give it up, a
// read-only bind mount does. Either way creating the first output file
// fails: runtime error 5 naming KORVEL.OUT, and nothing half-written.
TEST(RunControl, AnUnwritableFolderEndsWithRuntimeError5AndLeavesItAsItWas) {
  ScratchFolder folder;
  const fs::path locked = folder.path() / "locked";
  fs::create_directory(locked);
  WRITE_FILE(locked / "KORVEL.IN", SMALL_INPUT(0));
  const auto before = FOLDER_CONTENTS(locked);
  fs::permissions(locked, fs::perms::owner_read | fs::perms::owner_exec);
  auto result = RUN_PROGRAM(testing::SEEDED_PROGRAM, {"3"}, locked, "",
                            testing::FileAccess::PERMISSION_BITS_HOLD);
  if (result.exit_status == testing::CANNOT_DROP_OVERRIDE) {
    fs::permissions(locked, fs::perms::owner_all);
    const bool mounted = ::mount(locked.c_str(), locked.c_str(), nullptr, MS_BIND, nullptr) == 0 &&
                         ::mount(nullptr, locked.c_str(), nullptr, MS_BIND | MS_REMOUNT | MS_RDONLY,
                                 nullptr) == 0;
    if (!mounted) {
      ::umount(locked.c_str());
      GTEST_SKIP() << "running as root that can neither give up its file-permission override nor mount";
    }
    result = RUN_PROGRAM(testing::SEEDED_PROGRAM, {"3"}, locked);
    ::umount(locked.c_str());
  }
  fs::permissions(locked, fs::perms::owner_all);
  EXPECT_EQ(result.signal, 0);
  EXPECT_EQ(result.exit_status, 5) << result.console;
  const std::string line = "Runtime error 5: cannot create KORVEL.OUT: ";
  EXPECT_TRUE(result.console.find(line + "Permission denied") != std::string::npos ||
              result.console.find(line + "Read-only file system") != std::string::npos)
      << result.console;
  EXPECT_EQ(FOLDER_CONTENTS(locked), before);
}

}  // namespace
}  // namespace korvel
