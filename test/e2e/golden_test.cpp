// Golden end-to-end runs: each folder under test/e2e/golden holds a
// KORVEL.IN, the generator seed, the program to run, and under expected/
// every file the run must leave (byte for byte) plus console.txt, the
// console without the elapsed-time line. Set KORVEL_UPDATE_GOLDEN=1 to
// rewrite the expected files after a reviewed change of layout.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "support/chain_form_environment.h"
#include "support/golden_cases.h"
#include "support/run_program.h"
#include "support/scratch_folder.h"

namespace korvel {
namespace {

namespace fs = std::filesystem;
using testing::FOLDER_CONTENTS;
using testing::GOLDEN_ROOT;
using testing::READ_FILE;
using testing::RUN_PROGRAM;
using testing::ScratchFolder;
using testing::TRIMMED;
using testing::WITHOUT_ELAPSED_TIME;
using testing::WRITE_FILE;

std::vector<std::string> GOLDEN_CASES() {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(GOLDEN_ROOT))
    if (entry.is_directory()) names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

std::string PROGRAM_FOR(const std::string& name) {
  if (name == "korvel") return KORVEL_SEEDED;
  if (name == "korvel-ml") return KORVEL_ML_SEEDED;
  ADD_FAILURE() << "unknown program " << name;
  return "";
}

class Golden : public ::testing::TestWithParam<std::string> {};

TEST_P(Golden, RunWritesExactlyTheExpectedFilesAndConsole) {
  const fs::path case_folder = GOLDEN_ROOT / GetParam();
  const std::string input = READ_FILE(case_folder / "KORVEL.IN");
  const std::string seed = TRIMMED(READ_FILE(case_folder / "seed"));
  const std::string program = PROGRAM_FOR(TRIMMED(READ_FILE(case_folder / "program")));

  ScratchFolder folder;
  WRITE_FILE(folder.path() / "KORVEL.IN", input);
  const auto result = RUN_PROGRAM(program, {seed}, folder.path());
  ASSERT_EQ(result.exit_status, 0) << result.console;
  ASSERT_NE(result.console.find(" Approximate CPU-time: "), std::string::npos);

  auto produced = FOLDER_CONTENTS(folder.path());
  produced.emplace_back("console.txt", WITHOUT_ELAPSED_TIME(result.console));
  std::sort(produced.begin(), produced.end());

  const fs::path expected_folder = case_folder / "expected";
  if (std::getenv("KORVEL_UPDATE_GOLDEN") != nullptr) {
    fs::remove_all(expected_folder);
    fs::create_directories(expected_folder);
    for (const auto& [name, content] : produced)
      if (name != "KORVEL.IN") WRITE_FILE(expected_folder / name, content);
    GTEST_SKIP() << "expected files rewritten";
  }
  auto expected = FOLDER_CONTENTS(expected_folder);
  expected.emplace_back("KORVEL.IN", input);  // the input is never touched
  std::sort(expected.begin(), expected.end());

  ASSERT_EQ(produced.size(), expected.size()) << "different set of files";
  for (std::size_t i = 0; i < produced.size(); ++i) {
    EXPECT_EQ(produced[i].first, expected[i].first);
    EXPECT_TRUE(produced[i].second == expected[i].second) << "file " << produced[i].first << " differs";
  }
}

INSTANTIATE_TEST_SUITE_P(Runs, Golden, ::testing::ValuesIn(GOLDEN_CASES()), [](const auto& case_info) {
  std::string name;
  for (char c : case_info.param) name += std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
  return name;
});

}  // namespace
}  // namespace korvel
