// korvel-sweep end to end: the installed-shape program drives the real
// simulation programs on a small set-up in a temporary folder.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

// Two loci, two subpopulations of 50, samples of 20, 10 runs, a short
// exact-test chain: a point takes a fraction of a second.
const std::string TEMPLATE =
    "End-to-end sweep\r\n"
    "small and quick\r\n"
    "100 5 50          exact test iterations\r\n"
    "1 1               both tests\r\n"
    "1                 erase the detailed files\r\n"
    "------------------------------------------\r\n"
    "2                 loci\r\n"
    "2                 subpopulations\r\n"
    "50                effective size\r\n"
    "10                generations\r\n"
    "20 20             sample sizes\r\n"
    "10                runs\r\n"
    "------------------------------------------\r\n"
    "alleles  frequencies\r\n"
    "2  0.5 0.5\r\n"
    "3  0.4 0.3 0.3\r\n";

std::string slurp(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

std::vector<std::vector<std::string>> csv_rows(const std::string& text) {
  std::vector<std::vector<std::string>> rows;
  std::istringstream lines(text);
  std::string line;
  while (std::getline(lines, line)) {
    std::vector<std::string> fields;
    std::size_t start = 0;
    while (true) {
      const std::size_t comma = line.find(',', start);
      fields.push_back(line.substr(start, comma == std::string::npos ? std::string::npos : comma - start));
      if (comma == std::string::npos) break;
      start = comma + 1;
    }
    rows.push_back(fields);
  }
  return rows;
}

class SweepEndToEnd : public ::testing::Test {
 protected:
  void SetUp() override {
    const fs::path base = fs::exists("/dev/shm") ? fs::path("/dev/shm") : fs::temp_directory_path();
    std::string pattern = (base / "sweep-e2e-XXXXXX").string();
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    dir_ = pattern;
    old_ = fs::current_path();
    fs::current_path(dir_);
    std::ofstream("T.IN", std::ios::binary) << TEMPLATE;
  }
  void TearDown() override {
    fs::current_path(old_);
    fs::remove_all(dir_);
  }
  int run(const std::string& args) {
    const std::string command = std::string("'") + KORVEL_SWEEP_PROGRAM + "' " + args + " >out.txt 2>err.txt";
    const int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
  fs::path dir_, old_;
};

TEST_F(SweepEndToEnd, SmallSweepWithTheRealProgram) {
  ASSERT_EQ(run(std::string("--program '") + KORVEL_PROGRAM + "' --generations 0,40 --jobs 2 --out curve T.IN"), 0)
      << slurp("err.txt");
  const auto rows = csv_rows(slurp("curve/curve.csv"));
  ASSERT_EQ(rows.size(), 3u) << slurp("curve/curve.csv");
  ASSERT_EQ(rows[0].size(), 15u);
  EXPECT_EQ(rows[0][7], "chi2_significant");
  EXPECT_EQ(rows[0][11], "fisher_significant");
  // No drift: expected F'st 0, samples from the base population itself.
  EXPECT_EQ(rows[1][1], "ok");
  EXPECT_EQ(rows[1][2], "0");
  EXPECT_EQ(rows[1][4], "0.000000");
  EXPECT_EQ(rows[1][6], "10");
  // 40 generations at N = 50: F'st = 1 - 0.99^40 = 0.3310, which samples of
  // 20 from two subpopulations detect in nearly every run.
  EXPECT_EQ(rows[2][1], "ok");
  EXPECT_EQ(rows[2][4], "0.331028");
  EXPECT_EQ(rows[2][6], "10");
  EXPECT_GE(std::stoi(rows[2][7]), 5);
  EXPECT_GE(std::stoi(rows[2][11]), 5);
  for (const auto& row : {rows[1], rows[2]}) {
    for (int column : {8, 12}) {
      const double power = std::stod(row[column]), low = std::stod(row[column + 1]), high = std::stod(row[column + 2]);
      EXPECT_LE(low, power);
      EXPECT_LE(power, high);
    }
  }
  // The report's own expected F'st agrees, the erase switch was honoured and
  // the template is unchanged.
  EXPECT_NE(slurp("curve/point-02/KORVEL.OUT").find("Expected Fst =     0.3310"), std::string::npos);
  EXPECT_FALSE(fs::exists("curve/point-02/FST.OUT"));
  EXPECT_EQ(slurp("T.IN"), TEMPLATE);
  EXPECT_NE(slurp("curve/curve.svg").find("</svg>"), std::string::npos);
}

TEST_F(SweepEndToEnd, ManyLociProgramIsFoundBesideTheSweep) {
  // korvel-sweep looks for korvel-ml next to itself and one folder up.
  ASSERT_EQ(run("--many-loci --fst 0.05 --jobs 1 --out ml T.IN"), 0) << slurp("err.txt");
  const auto rows = csv_rows(slurp("ml/curve.csv"));
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[1][1], "ok");
  EXPECT_EQ(rows[1][2], "5");  // round(ln 0.95 / ln 0.99) = 5
  EXPECT_EQ(rows[1][6], "10");
}

TEST_F(SweepEndToEnd, AProgramStopIsAFailedPoint) {
  // 60 subpopulations exceed the standard build's 50: the program stops on
  // its input check and the sweep says so.
  std::string many = TEMPLATE;
  many.replace(many.find("2                 subpopulations"), 1, "60");
  std::string sizes;
  for (int i = 0; i < 60; ++i) sizes += "20 ";
  many.replace(many.find("20 20 "), 6, sizes);
  std::ofstream("T.IN", std::ios::binary) << many;
  EXPECT_EQ(run(std::string("--program '") + KORVEL_PROGRAM + "' --generations 1,2 --out stop T.IN"), 1);
  const std::string err = slurp("err.txt");
  EXPECT_NE(err.find("point-01 failed"), std::string::npos) << err;
  EXPECT_NE(err.find("TOO MANY POPULATIONS!"), std::string::npos) << err;
  EXPECT_NE(err.find("2 of 2 points failed"), std::string::npos) << err;
}

}  // namespace
