// Replays the fuzzer's seed corpus through the whole program: every file,
// valid or broken, must end the program normally with one of its own exit
// statuses, and a rejected file must leave the folder as it was.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <set>

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

TEST(FuzzCorpus, EveryFileEndsTheProgramCleanly) {
  const fs::path corpus = fs::path(KORVEL_SOURCE_DIR) / "fuzz" / "corpus";
  std::vector<fs::path> files;
  for (const auto& entry : fs::directory_iterator(corpus)) files.push_back(entry.path());
  std::sort(files.begin(), files.end());
  ASSERT_GE(files.size(), 5u);
  const std::set<int> own_statuses = {0, 1, 2, 106};
  int accepted = 0;
  for (const auto& file : files) {
    ScratchFolder folder;
    WRITE_FILE(folder.path() / "KORVEL.IN", READ_FILE(file));
    const auto before = FOLDER_CONTENTS(folder.path());
    const auto result = RUN_PROGRAM(testing::SEEDED_PROGRAM, {"1"}, folder.path());
    EXPECT_EQ(result.signal, 0) << file;
    EXPECT_TRUE(own_statuses.count(result.exit_status)) << file << " exit " << result.exit_status;
    if (result.exit_status == 0) {
      ++accepted;
    } else {
      EXPECT_EQ(FOLDER_CONTENTS(folder.path()), before) << file;
    }
  }
  EXPECT_GE(accepted, 2);  // the valid seeds really run to the end
}

}  // namespace
}  // namespace korvel
