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

const std::string SEEDED = testing::SEEDED_PROGRAM;
const std::string DELIVERABLE = testing::DELIVERABLE_PROGRAM;

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
  const auto result = RUN_PROGRAM(SEEDED, {"11"}, folder.path());
  ASSERT_EQ(result.exit_status, 0) << result.console;
  EXPECT_EQ(FILE_NAMES(folder.path()), (std::vector<std::string>{"KORVEL.IN", "KORVEL.OUT"}));
  EXPECT_EQ(READ_FILE(folder.path() / "KORVEL.IN"), input);
}

TEST(RunControl, OtherEraseValuesKeepTheDetailedFilesButNeverTheTableFile) {
  for (int erase : {0, 2, -1}) {
    ScratchFolder folder;
    WRITE_FILE(folder.path() / "KORVEL.IN", SMALL_INPUT(erase));
    const auto result = RUN_PROGRAM(SEEDED, {"11"}, folder.path());
    ASSERT_EQ(result.exit_status, 0) << result.console;
    EXPECT_EQ(FILE_NAMES(folder.path()),
              (std::vector<std::string>{"FST.OUT", "KORVEL.IN", "KORVEL.OUT", "LOCUSTST.OUT",
                                        "SAMPLES.OUT", "SUBPOPS.OUT", "SUMTEST.OUT"}))
        << "erase switch " << erase;
  }
}

TEST(RunControl, SameSeedSameOutputDifferentSeedDifferentOutput) {
  auto run = [](const std::string& seed) {
    ScratchFolder folder;
    WRITE_FILE(folder.path() / "KORVEL.IN", SMALL_INPUT(0));
    EXPECT_EQ(RUN_PROGRAM(SEEDED, {seed}, folder.path()).exit_status, 0);
    return READ_FILE(folder.path() / "SAMPLES.OUT") + READ_FILE(folder.path() / "LOCUSTST.OUT");
  };
  EXPECT_EQ(run("5"), run("5"));
  EXPECT_NE(run("5"), run("6"));
}

TEST(RunControl, TwoProgramsStartedTogetherDrawDifferentNumbers) {
  ScratchFolder first, second;
  WRITE_FILE(first.path() / "KORVEL.IN", SMALL_INPUT(0, 2));
  WRITE_FILE(second.path() / "KORVEL.IN", SMALL_INPUT(0, 2));
  auto a = std::async(std::launch::async, [&] { return RUN_PROGRAM(DELIVERABLE, {}, first.path()); });
  auto b = std::async(std::launch::async, [&] { return RUN_PROGRAM(DELIVERABLE, {}, second.path()); });
  ASSERT_EQ(a.get().exit_status, 0);
  ASSERT_EQ(b.get().exit_status, 0);
  EXPECT_NE(READ_FILE(first.path() / "SAMPLES.OUT"), READ_FILE(second.path() / "SAMPLES.OUT"));
}

TEST(RunControl, AFullDiskEndsWithRuntimeError101NamingTheFile) {
  ScratchFolder folder;
  WRITE_FILE(folder.path() / "KORVEL.IN", SMALL_INPUT(0, 200));
  fs::create_symlink("/dev/full", folder.path() / "SUMTEST.OUT");
  const auto result = RUN_PROGRAM(SEEDED, {"3"}, folder.path());
  EXPECT_EQ(result.signal, 0);
  EXPECT_EQ(result.exit_status, 101);
  EXPECT_NE(result.console.find("Runtime error 101: cannot write to SUMTEST.OUT: No space left on device"),
            std::string::npos)
      << result.console;
}

TEST(RunControl, AReadOnlyFolderEndsWithARuntimeErrorAndKeepsTheInput) {
  ScratchFolder folder;
  const fs::path read_only = folder.path() / "ro";
  fs::create_directory(read_only);
  const std::string input = SMALL_INPUT(0);
  WRITE_FILE(read_only / "KORVEL.IN", input);
  bool made_read_only = false;
  if (::geteuid() == 0) {
    // Root writes through permission bits; a read-only bind mount holds.
    made_read_only = ::mount(read_only.c_str(), read_only.c_str(), nullptr, MS_BIND, nullptr) == 0 &&
                     ::mount(nullptr, read_only.c_str(), nullptr, MS_BIND | MS_REMOUNT | MS_RDONLY, nullptr) == 0;
  } else {
    fs::permissions(read_only, fs::perms::owner_read | fs::perms::owner_exec);
    made_read_only = true;
  }
  if (!made_read_only) GTEST_SKIP() << "cannot make a read-only folder here";
  const auto result = RUN_PROGRAM(SEEDED, {"3"}, read_only);
  if (::geteuid() == 0) ::umount(read_only.c_str());
  else fs::permissions(read_only, fs::perms::owner_all);
  EXPECT_NE(result.exit_status, 0);
  EXPECT_EQ(result.signal, 0);
  EXPECT_NE(result.console.find("Runtime error 5: cannot create KORVEL.OUT: Read-only file system"),
            std::string::npos)
      << result.console;
  EXPECT_EQ(READ_FILE(read_only / "KORVEL.IN"), input);
}

}  // namespace
}  // namespace korvel
