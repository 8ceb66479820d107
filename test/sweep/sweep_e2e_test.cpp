// korvel-sweep end to end: the installed-shape program drives the real
// simulation programs on a small set-up in a temporary folder.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
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

// Every file of every point folder but the console log (which holds the
// elapsed time), by relative path.
std::map<std::string, std::string> point_files(const fs::path& dir) {
  std::map<std::string, std::string> files;
  for (const auto& entry : fs::recursive_directory_iterator(dir)) {
    const std::string name = entry.path().filename().string();
    if (!entry.is_regular_file() || name == "console.log") continue;
    files[fs::relative(entry.path(), dir).string()] = slurp(entry.path());
  }
  return files;
}

TEST_F(SweepEndToEnd, SmallSweepWithTheRealProgram) {
  ASSERT_EQ(
      run(std::string("--program '") + KORVEL_PROGRAM + "' --generations 0,40 --jobs 2 --out curve T.IN"), 0)
      << slurp("err.txt");
  const auto rows = csv_rows(slurp("curve/curve.csv"));
  ASSERT_EQ(rows.size(), 3u) << slurp("curve/curve.csv");
  ASSERT_EQ(rows[0].size(), 19u);
  EXPECT_EQ(rows[0][9], "chi2_significant");
  EXPECT_EQ(rows[0][14], "fisher_significant");
  // No drift: expected F'st 0, samples from the base population itself; it
  // is the calibration point, so no other is added.
  EXPECT_EQ(rows[1][1], "ok");
  EXPECT_EQ(rows[1][2], "0.000000");
  EXPECT_EQ(rows[1][3], "0");
  EXPECT_EQ(rows[1][8], "10");
  // 40 generations at N = 50: F'st = 1 - 0.99^40 = 0.3310, which samples of
  // 20 from two subpopulations detect in nearly every run.
  EXPECT_EQ(rows[2][1], "ok");
  EXPECT_EQ(rows[2][2], "0.331028");
  EXPECT_EQ(rows[2][8], "10");
  EXPECT_GE(std::stoi(rows[2][9]), 5);
  EXPECT_GE(std::stoi(rows[2][14]), 5);
  for (const auto& row : {rows[1], rows[2]}) {
    for (int column : {10, 15}) {
      const double power = std::stod(row[column]), low = std::stod(row[column + 1]),
                   high = std::stod(row[column + 2]);
      EXPECT_LE(low, power);
      EXPECT_LE(power, high);
    }
  }
  // The report's own expected F'st agrees, its head names the point, the
  // erase switch was honoured and the template is unchanged.
  const std::string report = slurp("curve/point-02/KORVEL.OUT");
  EXPECT_NE(report.find("Expected Fst =     0.3310"), std::string::npos);
  EXPECT_NE(
      report.find("End-to-end sweep\r\nkorvel-sweep: F'st 0.331028, t = 40, Ne = 50, n = 20, 2 loci\r\n"),
      std::string::npos);
  EXPECT_FALSE(fs::exists("curve/point-02/FST.OUT"));
  EXPECT_EQ(slurp("T.IN"), TEMPLATE);
  EXPECT_NE(slurp("curve/curve.svg").find("</svg>"), std::string::npos);
  EXPECT_NE(slurp("curve/design.csv").find("\n0.331028,40,chi2,0.80,"), std::string::npos);
}

// The same command gives the same bytes, whatever the number of points run
// at once (and so the threads each gets).
TEST_F(SweepEndToEnd, TheSeedMakesTheSweepReproducible) {
  const std::string command = std::string("--program '") + KORVEL_PROGRAM +
                              "' --fst 0.02 --sample-sizes 10,20 --seed 20261209 --out ";
  ASSERT_EQ(run(command + "one --jobs 1 T.IN"), 0) << slurp("err.txt");
  ASSERT_EQ(run(command + "two --jobs 4 T.IN"), 0) << slurp("err.txt");
  const auto one = point_files("one"), two = point_files("two");
  // KORVEL.IN, KORVEL.OUT and seed.txt per point; curve.csv, design.csv,
  // the two figures and the settings.
  EXPECT_EQ(one.size(), 4u * 3u + 5u);
  for (const auto& [name, text] : one) EXPECT_TRUE(two.count(name) == 1 && text == two.at(name)) << name;
  // A point can be repeated by hand from its folder.
  ASSERT_EQ(std::system(("cd one/point-04 && KORVEL_SEED=$(cat seed.txt) '" + std::string(KORVEL_PROGRAM) +
                         "' >/dev/null 2>&1")
                            .c_str()),
            0);
  EXPECT_EQ(slurp("one/point-04/KORVEL.OUT"), two.at("point-04/KORVEL.OUT"));
}

// 60 unlinked SNPs without drift: with 100 counted chain steps many loci
// get an estimated P of 0, which the combination counts as strong evidence,
// so the exact test rejects far more often than 5 %; with 20000 steps it
// does not. The chi-square test is calibrated either way.
TEST_F(SweepEndToEnd, TheNoDriftPointFlagsAnExactTestWithTooShortAChain) {
  const auto snp_panel = [](const std::string& chain) {
    std::string text =
        "SNP panel without drift\r\ncalibration\r\n" + chain +
        "\r\n1 1\r\n1\r\n----\r\n60\r\n4\r\n100\r\n0\r\n30 30 30 30\r\n20\r\n----\r\nalleles\r\n";
    for (int locus = 0; locus < 60; ++locus) text += "2 0.5 0.5\r\n";
    return text;
  };
  std::ofstream("SHORT.IN", std::ios::binary) << snp_panel("10 10 10");
  std::ofstream("LONG.IN", std::ios::binary) << snp_panel("200 100 200");
  const std::string program = std::string("--program '") + KORVEL_PROGRAM + "' --generations 0 --seed 11 ";
  ASSERT_EQ(run(program + "--out short SHORT.IN"), 0) << slurp("err.txt");
  auto rows = csv_rows(slurp("short/curve.csv"));
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[1][13], "ok");
  EXPECT_EQ(rows[1][18], "miscalibrated");
  EXPECT_GT(std::stoi(rows[1][14]), 4);  // the limit for 20 runs
  EXPECT_NE(slurp("err.txt").find("korvel-sweep: warning: the exact test is miscalibrated"),
            std::string::npos);

  ASSERT_EQ(run(program + "--out long LONG.IN"), 0) << slurp("err.txt");
  rows = csv_rows(slurp("long/curve.csv"));
  EXPECT_EQ(rows[1][13], "ok");
  EXPECT_EQ(rows[1][18], "ok");
  EXPECT_EQ(slurp("err.txt").find("miscalibrated"), std::string::npos);
}

TEST_F(SweepEndToEnd, ManyLociProgramIsFoundBesideTheSweep) {
  // korvel-sweep looks for korvel-ml next to itself.
  ASSERT_EQ(run("--many-loci --fst 0.05 --jobs 1 --out ml T.IN"), 0) << slurp("err.txt");
  const auto rows = csv_rows(slurp("ml/curve.csv"));
  ASSERT_EQ(rows.size(), 3u);
  EXPECT_EQ(rows[2][1], "ok");
  EXPECT_EQ(rows[2][3], "5");  // round(ln 0.95 / ln 0.99) = 5
  EXPECT_EQ(rows[2][8], "10");
  EXPECT_TRUE(fs::exists(fs::path(KORVEL_SWEEP_PROGRAM).parent_path() / "korvel"));
}

TEST_F(SweepEndToEnd, ATemplateTheProgramWouldRefuseIsRefusedFirst) {
  // 60 subpopulations exceed both builds: the sweep says so, as the
  // program's input check would, before it makes any folder.
  std::string many = TEMPLATE;
  many.replace(many.find("2                 subpopulations"), 1, "60");
  std::string sizes;
  for (int i = 0; i < 60; ++i) sizes += "20 ";
  many.replace(many.find("20 20 "), 6, sizes);
  std::ofstream("T.IN", std::ios::binary) << many;
  EXPECT_EQ(run(std::string("--program '") + KORVEL_PROGRAM + "' --generations 1,2 --out stop T.IN"), 1);
  EXPECT_EQ(
      slurp("err.txt"),
      "korvel-sweep: T.IN line 8: number of populations is 60; korvel holds at most 50 populations, and "
      "korvel-ml at most 30: no build holds this file\n");
  EXPECT_FALSE(fs::exists("stop"));
}

}  // namespace
