#include "common/text_file.h"

#include <gtest/gtest.h>

#include "support/console_capture.h"

#include <filesystem>

#include "support/scratch_folder.h"

namespace korvel {
namespace {

using testing::READ_FILE;
using testing::ScratchFolder;

TEST(TextFile, LinesEndWithCrLfAndFieldsFollowTheRules) {
  ScratchFolder folder;
  TextOut out;
  out.CREATE("X.OUT");
  out.END_LINE();
  out.TEXT("Run", 7).INT(12, 7).REAL(8.4566L, 10, 3).BLANKS(2).TEXT("**").END_LINE();
  out.CLOSE();
  EXPECT_EQ(READ_FILE("X.OUT"), "\r\n    Run     12     8.457  **\r\n");
}

TEST(TextFile, CreateReplacesAnExistingFile) {
  ScratchFolder folder;
  testing::WRITE_FILE("X.OUT", "old content that is longer\n");
  TextOut out;
  out.CREATE("X.OUT");
  out.TEXT("new").END_LINE();
  out.CLOSE();
  EXPECT_EQ(READ_FILE("X.OUT"), "new\r\n");
}

using TextFileDeathTest = ::testing::Test;

TEST(TextFileDeathTest, AFullDiskIsRuntimeError101NamingTheFile) {
  ScratchFolder folder;
  std::filesystem::create_symlink("/dev/full", "FST.OUT");
  EXPECT_EXIT(
      {
        STDOUT_TO_STDERR();
        TextOut out;
        out.CREATE("FST.OUT");
        out.TEXT("x").END_LINE();
        out.CLOSE();
      },
      ::testing::ExitedWithCode(101), "Runtime error 101: cannot write to FST.OUT: No space left on device");
}

TEST(TextFileDeathTest, CreatingInAVanishedFolderFailsWithTheReason) {
  ScratchFolder folder;
  std::filesystem::create_directory("gone");
  EXPECT_EXIT(
      {
        STDOUT_TO_STDERR();
        std::filesystem::current_path("gone");
        std::filesystem::remove(std::filesystem::current_path());
        TextOut out;
        out.CREATE("KORVEL.OUT");
      },
      ::testing::ExitedWithCode(2), "Runtime error 2: cannot create KORVEL.OUT: No such file or directory");
}

TEST(TextFileDeathTest, DeletingAMissingFileIsRuntimeError2) {
  ScratchFolder folder;
  EXPECT_EXIT(
      {
        STDOUT_TO_STDERR();
        DELETE_FILE("CONTTAB.XYZ");
      },
      ::testing::ExitedWithCode(2), "Runtime error 2: cannot delete CONTTAB.XYZ: No such file or directory");
}

}  // namespace
}  // namespace korvel
