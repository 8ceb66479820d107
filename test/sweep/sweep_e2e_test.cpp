// korvel-sweep end to end: the installed-shape program drives the real
// simulation programs on a small set-up in a temporary folder.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "support/scratch_folder.h"

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

std::string slurp(const fs::path& path) { return korvel::testing::READ_FILE(path); }

// A table read from CSV; its cells are found by column name, so that a
// column's place is checked only where a test checks the header.
struct Table {
  std::vector<std::vector<std::string>> rows;  // rows[0]: the header
  std::size_t size() const { return rows.size(); }
  const std::vector<std::string>& operator[](std::size_t row) const { return rows[row]; }
  const std::string& at(std::size_t row, const std::string& column) const {
    const auto& header = rows.at(0);
    const auto found = std::find(header.begin(), header.end(), column);
    if (found == header.end()) throw std::out_of_range("no column " + column);
    return rows.at(row).at(static_cast<std::size_t>(found - header.begin()));
  }
  bool has(const std::string& column) const {
    return std::find(rows.at(0).begin(), rows.at(0).end(), column) != rows.at(0).end();
  }
};

Table csv_rows(const std::string& text) {
  Table table;
  auto& rows = table.rows;
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
  return table;
}

// Where a grid's power over its sample sizes (curve.csv's rows), joined
// linearly, first reaches 0.8; 0 when it never does.
double GRID_CROSSING(const Table& grid) {
  for (std::size_t row = 2; row < grid.size(); ++row) {
    const double n0 = std::stod(grid.at(row - 1, "sample_size")), n1 = std::stod(grid.at(row, "sample_size"));
    const double p0 = std::stod(grid.at(row - 1, "chi2_power")), p1 = std::stod(grid.at(row, "chi2_power"));
    if (p0 < 0.8 && p1 >= 0.8) return n0 + (0.8 - p0) / (p1 - p0) * (n1 - n0);
  }
  return 0;
}

class SweepEndToEnd : public ::testing::Test {
 protected:
  void SetUp() override { korvel::testing::WRITE_FILE("T.IN", TEMPLATE); }
  int run(const std::string& args) {
    const std::string command = std::string("'") + KORVEL_SWEEP_PROGRAM + "' " + args + " >out.txt 2>err.txt";
    const int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
  korvel::testing::ScratchFolder scratch_;
  const fs::path dir_ = scratch_.path();
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

// The files that differ between two folders' point_files: missing on either
// side or with other contents, by name (the contents would bury them).
std::string DIFFERENT_FILES(const std::map<std::string, std::string>& a,
                            const std::map<std::string, std::string>& b) {
  std::string names;
  for (const auto& [name, text] : a) {
    const auto other = b.find(name);
    if (other == b.end()) names += "only in the first: " + name + "\n";
    else if (other->second != text) names += "different: " + name + "\n";
  }
  for (const auto& [name, text] : b)
    if (!a.contains(name)) names += "only in the second: " + name + "\n";
  return names;
}

// The template's short exact-test chain leaves loci with an estimated P of
// 0 at this F'st: the finished sweep is flagged by the resolution warning.
TEST_F(SweepEndToEnd, SmallSweepWithTheRealProgram) {
  ASSERT_EQ(run(std::string("--program '") + KORVEL_PROGRAM +
                "' --generations 0,40 --seed 3 --jobs 2 --out curve T.IN"),
            3)
      << slurp("err.txt");
  const auto rows = csv_rows(slurp("curve/curve.csv"));
  ASSERT_EQ(rows.size(), 3u) << slurp("curve/curve.csv");
  // The columns a search writes too come first, the grid's own after them.
  EXPECT_EQ(rows[0], (std::vector<std::string>{
                         "expected_fst", "generations", "sample_size", "loci", "runs", "chi2_significant",
                         "chi2_power", "chi2_ci_low", "chi2_ci_high", "exact_significant", "exact_power",
                         "exact_ci_low", "exact_ci_high", "point", "status", "drift_size", "mean_fst",
                         "chi2_null_check", "exact_null_check"}));
  // No drift: expected F'st 0, samples from the base population itself; it
  // is the calibration point, so no other is added.
  EXPECT_EQ(rows.at(1, "status"), "ok");
  EXPECT_EQ(rows.at(1, "expected_fst"), "0.000000");
  EXPECT_EQ(rows.at(1, "generations"), "0");
  EXPECT_EQ(rows.at(1, "runs"), "10");
  // 40 generations at N = 50: F'st = 1 - 0.99^40 = 0.3310, which samples of
  // 20 from two subpopulations detect in nearly every run.
  EXPECT_EQ(rows.at(2, "status"), "ok");
  EXPECT_EQ(rows.at(2, "expected_fst"), "0.331028");
  EXPECT_EQ(rows.at(2, "runs"), "10");
  EXPECT_GE(std::stoi(rows.at(2, "chi2_significant")), 5);
  EXPECT_GE(std::stoi(rows.at(2, "exact_significant")), 5);
  for (std::size_t row : {1u, 2u}) {
    for (const std::string test : {"chi2", "exact"}) {
      const double power = std::stod(rows.at(row, test + "_power")),
                   low = std::stod(rows.at(row, test + "_ci_low")),
                   high = std::stod(rows.at(row, test + "_ci_high"));
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
  // 10 runs per point reach no 80 % power: flagged, the same either way.
  ASSERT_EQ(run(command + "one --jobs 1 T.IN"), 3) << slurp("err.txt");
  ASSERT_EQ(run(command + "two --jobs 4 T.IN"), 3) << slurp("err.txt");
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
  ASSERT_EQ(run(program + "--out short SHORT.IN"), 3) << slurp("err.txt");
  auto rows = csv_rows(slurp("short/curve.csv"));
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows.at(1, "chi2_null_check"), "ok");
  EXPECT_EQ(rows.at(1, "exact_null_check"), "miscalibrated");
  EXPECT_GT(std::stoi(rows.at(1, "exact_significant")), 4);  // the limit for 20 runs
  EXPECT_NE(slurp("err.txt").find("korvel-sweep: warning: the exact test is miscalibrated"),
            std::string::npos);

  ASSERT_EQ(run(program + "--out long LONG.IN"), 0) << slurp("err.txt");
  rows = csv_rows(slurp("long/curve.csv"));
  EXPECT_EQ(rows.at(1, "chi2_null_check"), "ok");
  EXPECT_EQ(rows.at(1, "exact_null_check"), "ok");
  EXPECT_EQ(slurp("err.txt").find("miscalibrated"), std::string::npos);
}

TEST_F(SweepEndToEnd, ManyLociProgramIsFoundBesideTheSweep) {
  // korvel-sweep looks for korvel-ml next to itself.
  // Flagged by the short chain's resolution warning, as with korvel.
  ASSERT_EQ(run("--many-loci --fst 0.05 --seed 3 --jobs 1 --out ml T.IN"), 3) << slurp("err.txt");
  const auto rows = csv_rows(slurp("ml/curve.csv"));
  ASSERT_EQ(rows.size(), 3u);
  EXPECT_EQ(rows.at(2, "status"), "ok");
  EXPECT_EQ(rows.at(2, "generations"), "5");  // round(ln 0.95 / ln 0.99) = 5
  EXPECT_EQ(rows.at(2, "runs"), "10");
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

// ---- The search ------------------------------------------------------------

// Four loci, three populations, chi-square test only, 40 runs per batch:
// the search over 2..80 takes a few seconds.
const std::string SEARCH_TEMPLATE =
    "Search end to end\r\nchi-square only\r\n100 5 50\r\n1 0\r\n0\r\n----\r\n4\r\n3\r\n200\r\n10\r\n"
    "20 20 20\r\n40\r\n----\r\nalleles\r\n2 0.5 0.5\r\n3 0.4 0.3 0.3\r\n2 0.3 0.7\r\n3 0.2 0.3 0.5\r\n";
const std::string SEARCH = "--find sample-size --fst 0.02 --range 2,80 --tolerance 3 --seed 5 ";

class SweepSearch : public SweepEndToEnd {
 protected:
  void SetUp() override {
    SweepEndToEnd::SetUp();
    std::ofstream("S.IN", std::ios::binary) << SEARCH_TEMPLATE;
  }
  std::string program() const { return std::string("--program '") + KORVEL_PROGRAM + "' "; }
};

// The interval holds where a grid of 400 runs per point crosses 80 %.
TEST_F(SweepSearch, TheIntervalHoldsTheCrossingOfADenseGrid) {
  ASSERT_EQ(run(program() + SEARCH + "--out s S.IN"), 0) << slurp("err.txt");
  const auto design = csv_rows(slurp("s/design.csv"));
  ASSERT_EQ(design.size(), 2u);
  EXPECT_EQ(design[0], (std::vector<std::string>{"expected_fst", "generations", "test", "target_power",
                                                 "smallest_sample_size", "status", "ci_low", "ci_high",
                                                 "runs", "probes"}));
  const std::string answer = design.at(1, "smallest_sample_size");
  EXPECT_EQ(design.at(1, "test"), "chi2");
  EXPECT_EQ(design.at(1, "status"), "ok");
  const int low = std::stoi(design.at(1, "ci_low")), high = std::stoi(design.at(1, "ci_high"));
  EXPECT_LE(low, std::stoi(answer));
  EXPECT_GE(high, std::stoi(answer));
  EXPECT_NE(slurp("out.txt").find("chi-square test: n = " + answer + " (95 % interval " +
                                  std::to_string(low) + "\u2013" + std::to_string(high) + ")"),
            std::string::npos);
  // Checked without drift at the answer too.
  EXPECT_NE(slurp("out.txt").find("chi-square test without drift (n = " + answer + "): rejects "),
            std::string::npos);

  ASSERT_EQ(
      run(program() + "--fst 0.02 --sample-sizes 26,30,34,38,42,46,50,54,58 --runs 400 --no-null --seed 9 "
                      "--out g S.IN"),
      0)
      << slurp("err.txt");
  const auto grid = csv_rows(slurp("g/curve.csv"));
  ASSERT_EQ(grid.size(), 10u);
  // The grid's and the search's files agree column for column: the
  // search's columns, but for its own last ones, begin the grid's.
  const auto search_curve = csv_rows(slurp("s/curve.csv"));
  const auto grid_design = csv_rows(slurp("g/design.csv"));
  const auto begins = [](const std::vector<std::string>& grid_header, std::vector<std::string> shared,
                         std::size_t own) {
    shared.resize(shared.size() - own);
    return std::equal(shared.begin(), shared.end(), grid_header.begin());
  };
  EXPECT_TRUE(begins(grid[0], search_curve[0], 1)) << slurp("g/curve.csv") << slurp("s/curve.csv");
  EXPECT_TRUE(begins(grid_design[0], design[0], 4)) << slurp("g/design.csv") << slurp("s/design.csv");
  EXPECT_EQ(grid_design.at(1, "target_power"), "0.80");  // as the search writes it
  EXPECT_EQ(design.at(1, "target_power"), "0.80");
  const double crossing = GRID_CROSSING(grid);
  ASSERT_GT(crossing, 0) << slurp("g/curve.csv");
  EXPECT_GE(crossing, low - 1.0);
  EXPECT_LE(crossing, high);
  // Every probe of the curve file is a row with its runs and Wilson interval.
  const auto curve = csv_rows(slurp("s/curve.csv"));
  ASSERT_GT(curve.size(), 4u);
  EXPECT_FALSE(curve.has("exact_power"));  // the exact test was off
  // The no-drift probes first: at the answer and at the upper end.
  EXPECT_EQ(curve.at(1, "expected_fst"), "0.000000");
  EXPECT_EQ(curve.at(1, "sample_size"), answer);
  EXPECT_EQ(curve.at(2, "expected_fst"), "0.000000");
  EXPECT_EQ(curve.at(2, "sample_size"), "80");
  for (std::size_t row = 1; row < curve.size(); ++row) {
    EXPECT_EQ(curve.at(row, "loci"), "4");  // the template's, at every probe
    EXPECT_LE(std::stod(curve.at(row, "chi2_ci_low")), std::stod(curve.at(row, "chi2_power")));
    EXPECT_GE(std::stod(curve.at(row, "chi2_ci_high")), std::stod(curve.at(row, "chi2_power")));
  }
  // The figure's caption says the answer in words.
  EXPECT_NE(
      slurp("s/caption.txt")
          .find(answer + " individuals per population (95 % interval " + std::to_string(low) + "\u2013" +
                std::to_string(high) + ") detect F'st 0.020 with 80 % power (chi-square test)"),
      std::string::npos);
  EXPECT_TRUE(fs::exists("s/curve.svg"));
  // The fitted model as a table: it rises through the target between the
  // answer's interval ends and reaches it at the answer, rounded up.
  const auto model = csv_rows(slurp("s/model.csv"));
  ASSERT_GT(model.size(), 10u);
  EXPECT_EQ(model[0], (std::vector<std::string>{"expected_fst", "test", "sample_size", "power"}));
  double model_crossing = 0;
  for (std::size_t row = 2; row < model.size() && model_crossing == 0; ++row) {
    EXPECT_GE(std::stod(model[row][3]), std::stod(model[row - 1][3]));
    if (std::stod(model[row][3]) >= 0.8) model_crossing = std::stod(model[row][2]);
  }
  EXPECT_GE(model_crossing, low - 1.0);
  EXPECT_LE(model_crossing, std::stod(answer) + 1.0);
  // The probes keep their report but not their detailed files.
  EXPECT_TRUE(fs::exists("s/probes/t8-n80-b0/KORVEL.OUT"));
  EXPECT_FALSE(fs::exists("s/probes/t8-n80-b0/FST.TXT"));
}

// 100 SNPs, many of them rare, in two populations, chi-square only: at
// n = 2 and 3 the test rejects 8 to 10 % of runs without drift (the sum over
// many sparse tables runs high), a floor under the power curve that the
// search must not fit through. Its answer near n = 12 still holds the
// crossing of a dense grid. A small Ne keeps the drift short.
TEST_F(SweepSearch, AFalsePositiveFloorAtTinySamplesDoesNotMoveTheAnswer) {
  std::string rare =
      "Rare SNPs\r\nchi-square only\r\n100 5 50\r\n1 0\r\n0\r\n----\r\n100\r\n2\r\n100\r\n10\r\n"
      "20 20\r\n40\r\n----\r\nalleles\r\n";
  const char* const minor[] = {"0.01 0.99", "0.03 0.97", "0.05 0.95", "0.10 0.90",
                               "0.20 0.80", "0.30 0.70", "0.40 0.60"};
  for (int locus = 0; locus < 100; ++locus) rare += std::string("2 ") + minor[(locus * 3) % 7] + "\r\n";
  std::ofstream("R.IN", std::ios::binary) << rare;
  ASSERT_EQ(run(program() + "--find sample-size --fst 0.02 --range 2,40 --tolerance 2 --runs 50 --seed 5 "
                            "--jobs 2 --out s R.IN"),
            0)
      << slurp("err.txt");
  const auto design = csv_rows(slurp("s/design.csv"));
  ASSERT_EQ(design.size(), 2u);
  const int low = std::stoi(design.at(1, "ci_low")), high = std::stoi(design.at(1, "ci_high"));
  ASSERT_EQ(run(program() + "--fst 0.02 --sample-sizes 9,10,11,12,13,14,15 --runs 400 --no-null --seed 9 "
                            "--jobs 2 --out g R.IN"),
            0)
      << slurp("err.txt");
  const auto grid = csv_rows(slurp("g/curve.csv"));
  ASSERT_EQ(grid.size(), 8u);
  const double crossing = GRID_CROSSING(grid);
  ASSERT_GT(crossing, 0) << slurp("g/curve.csv");
  EXPECT_GE(crossing, low - 1.0) << slurp("s/curve.csv");
  EXPECT_LE(crossing, high) << slurp("s/curve.csv");
}

// The same files for one job or two, and after a search killed half-way is
// resumed.
TEST_F(SweepSearch, TheSameFilesForAnyJobsAndAfterAResume) {
  ASSERT_EQ(run(program() + SEARCH + "--jobs 1 --out one S.IN"), 0) << slurp("err.txt");
  ASSERT_EQ(run(program() + SEARCH + "--jobs 2 --out two S.IN"), 0) << slurp("err.txt");
  const auto one = point_files("one");
  EXPECT_EQ(DIFFERENT_FILES(one, point_files("two")), "");

  const std::string sweep = std::string("'") + KORVEL_SWEEP_PROGRAM + "' " + program() + SEARCH;
  // In a session of its own, so that the sweep and its probes are killed
  // together; the script's process id is the group's.
  std::ofstream("three.sh") << "echo $$ >pid.tmp && mv pid.tmp pid.txt\nexec " << sweep
                            << "--jobs 1 --out three S.IN >/dev/null 2>&1\n";
  ASSERT_EQ(std::system("setsid -f sh three.sh"), 0);
  for (int wait = 0; wait < 500 && !fs::exists("pid.txt"); ++wait) ::usleep(10000);
  const std::string group = slurp("pid.txt").substr(0, slurp("pid.txt").find('\n'));
  ASSERT_FALSE(group.empty());
  // Kill the sweep and its running probe once a few probes have finished.
  for (int wait = 0; wait < 600; ++wait) {
    std::size_t finished = 0;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator("three/probes", ec))
      finished += fs::exists(entry.path() / "KORVEL.OUT");
    if (finished >= 6) break;
    ::usleep(20000);
  }
  const pid_t leader = static_cast<pid_t>(std::stol(group));
  ASSERT_EQ(::kill(-leader, SIGKILL), 0);
  for (int wait = 0; wait < 500 && ::kill(-leader, 0) == 0; ++wait) ::usleep(10000);
  EXPECT_FALSE(fs::exists("three/design.csv"));
  ASSERT_EQ(run(program() + SEARCH + "--jobs 2 --resume --out three S.IN"), 0) << slurp("err.txt");
  EXPECT_EQ(DIFFERENT_FILES(point_files("three"), one), "");
  // A finished search given again with --resume runs nothing.
  ASSERT_EQ(run(program() + SEARCH + "--resume --out three S.IN"), 0) << slurp("err.txt");
  EXPECT_EQ(slurp("out.txt").find(" done ("), std::string::npos);
}

// A search stopped by SIGTERM writes what it knows, with status `stopped`,
// and says how to go on; resumed without --seed it takes the seed it
// recorded and ends with the files of an uninterrupted search with it.
TEST_F(SweepSearch, AStoppedSearchLeavesItsPartialAnswerAndResumesWithoutASeed) {
  const std::string unseeded = "--find sample-size --fst 0.02 --range 2,80 --tolerance 3 ";
  std::ofstream("four.sh") << "echo $$ >pid.tmp && mv pid.tmp pid.txt\nexec '" << KORVEL_SWEEP_PROGRAM << "' "
                           << program() << unseeded << "--jobs 1 --out four S.IN >four.out 2>four.err\n";
  ASSERT_EQ(std::system("setsid -f sh four.sh"), 0);
  for (int wait = 0; wait < 500 && !fs::exists("pid.txt"); ++wait) ::usleep(10000);
  const pid_t sweep = static_cast<pid_t>(std::stol(slurp("pid.txt")));
  for (int wait = 0; wait < 600; ++wait) {
    std::size_t finished = 0;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator("four/probes", ec))
      finished += fs::exists(entry.path() / "KORVEL.OUT");
    if (finished >= 5) break;
    ::usleep(20000);
  }
  ASSERT_EQ(::kill(sweep, SIGTERM), 0);
  for (int wait = 0; wait < 1000 && ::kill(sweep, 0) == 0; ++wait) ::usleep(10000);
  const auto design = csv_rows(slurp("four/design.csv"));
  ASSERT_EQ(design.size(), 2u) << slurp("four.err");
  EXPECT_EQ(design.at(1, "status"), "stopped");
  EXPECT_NE(slurp("four/curve.csv").find("\n0.019"), std::string::npos);
  EXPECT_TRUE(fs::exists("four/curve.svg"));
  EXPECT_NE(slurp("four.err").find("To continue: "), std::string::npos);
  EXPECT_NE(slurp("four.err").find("--resume"), std::string::npos);
  const std::string seed = slurp("four/seed.txt").substr(0, slurp("four/seed.txt").find('\n'));
  // The recorded seed decides how the search ends (an answer, or for some
  // seeds a flagged one, exit 3); the resumed run must end as the seeded run
  // does, with the same files.
  const int resumed = run(program() + unseeded + "--resume --out four S.IN");
  const std::string resumed_err = slurp("err.txt");
  ASSERT_TRUE(resumed == 0 || resumed == 3) << resumed_err;
  EXPECT_EQ(resumed_err.find(" for 0 batches"), std::string::npos) << resumed_err;
  EXPECT_EQ(run(program() + unseeded + "--seed " + seed + " --out five S.IN"), resumed) << slurp("err.txt");
  EXPECT_EQ(DIFFERENT_FILES(point_files("four"), point_files("five")), "");
}

// --find loci adds the loci in an order shuffled by the seed, names it, and
// its probes hold the template's loci in that order; --locus-order file
// keeps the template's.
TEST_F(SweepSearch, ASearchOverLociSaysWhichLociItAddsInWhichOrder) {
  const std::string loci = "--find loci --fst 0.05 --range 1,4 --runs 20 --no-null --max-runs 200 --seed 5 ";
  ASSERT_NE(run(program() + loci + "--out r S.IN"), 1) << slurp("err.txt");
  const auto order = csv_rows(slurp("r/locus-order.csv"));
  ASSERT_EQ(order.size(), 5u);
  EXPECT_EQ(order[0], (std::vector<std::string>{"added", "locus"}));
  std::vector<std::string> taken;
  for (std::size_t row = 1; row < order.size(); ++row) taken.push_back(order[row][1]);
  EXPECT_NE(taken, (std::vector<std::string>{"1", "2", "3", "4"}));
  std::vector<std::string> sorted = taken;
  std::sort(sorted.begin(), sorted.end());
  EXPECT_EQ(sorted, (std::vector<std::string>{"1", "2", "3", "4"}));
  const std::string said = "loci added in a seeded random order: " + taken[0] + ", " + taken[1] + ", " +
                           taken[2] + ", " + taken[3];
  EXPECT_NE(slurp("err.txt").find(said), std::string::npos) << slurp("err.txt");
  EXPECT_NE(slurp("r/caption.txt").find(said + " (locus-order.csv)"), std::string::npos);
  // Every probe of k loci holds the first k of that order.
  const std::vector<std::string> lines = {"2 0.5 0.5", "3 0.4 0.3 0.3", "2 0.3 0.7", "3 0.2 0.3 0.5"};
  std::size_t probes = 0;
  for (const auto& entry : fs::directory_iterator("r/probes")) {
    const std::string input = slurp(entry.path() / "KORVEL.IN");
    const std::size_t k = static_cast<std::size_t>(std::stoi(input.substr(input.find("----\r\n") + 6)));
    std::string expected = "alleles\r\n";
    for (std::size_t i = 0; i < k; ++i) expected += lines[std::stoul(taken[i]) - 1] + "\r\n";
    EXPECT_EQ(input.substr(input.find("alleles\r\n")), expected) << entry.path();
    ++probes;
  }
  EXPECT_GT(probes, 0u);
  ASSERT_NE(run(program() + loci + "--locus-order file --out f S.IN"), 1) << slurp("err.txt");
  EXPECT_EQ(slurp("f/locus-order.csv"), "added,locus\n1,1\n2,2\n3,3\n4,4\n");
  EXPECT_NE(slurp("f/caption.txt").find("loci added in the template's order: 1, 2, 3, 4"), std::string::npos);
  EXPECT_EQ(run(program() + SEARCH + "--locus-order file --out x S.IN"), 2);
  EXPECT_NE(slurp("err.txt").find("--locus-order needs --find loci"), std::string::npos);
}

// A Genepop file with korvel-init's options gives what korvel-init's file
// gives as a template.
TEST_F(SweepSearch, TheDataFileGivesWhatKorvelInitsTemplateGives) {
  const fs::path init = fs::path(KORVEL_SWEEP_PROGRAM).parent_path() / "korvel-init";
  if (!fs::exists(init)) GTEST_SKIP() << "korvel-init is not built";
  std::string genepop = "Three colonies\nL1\nL2\nL3\nPop\n";
  for (int pop = 0; pop < 3; ++pop) {
    if (pop > 0) genepop += "Pop\n";
    for (int i = 0; i < 6; ++i) {
      const int a = 1 + (i + pop) % 2, b = 1 + (i * pop) % 3, c = 1 + (i + 2 * pop) % 3;
      genepop += "c" + std::to_string(pop) + "_" + std::to_string(i) + " , 010" + std::to_string(a) + " 020" +
                 std::to_string(b) + " 030" + std::to_string(c) + "\n";
    }
  }
  std::ofstream("D.gen", std::ios::binary) << genepop;
  const std::string design = "--populations 3 --sample 20 --tests chi2 --ne 200 --runs 40 ";
  ASSERT_EQ(std::system(("'" + init.string() + "' " + design + "-o FROM.IN D.gen 2>/dev/null").c_str()), 0);
  const std::string search = "--find sample-size --fst 0.05 --range 2,40 --tolerance 4 --seed 3 ";
  ASSERT_EQ(run(program() + search + "--out t FROM.IN"), 0) << slurp("err.txt");
  ASSERT_EQ(run(program() + search + design + "--out d D.gen"), 0) << slurp("err.txt");
  EXPECT_EQ(slurp("d/design.csv"), slurp("t/design.csv"));
  EXPECT_EQ(slurp("d/curve.csv"), slurp("t/curve.csv"));
  EXPECT_EQ(slurp("d/template.in"), slurp("FROM.IN"));
  EXPECT_EQ(
      slurp("d/caption.txt").rfind("data: D.gen (Genepop, diploid): 18 individuals in 3 populations\n", 0),
      0u);
  EXPECT_NE(slurp("err.txt").find("korvel-init: D.gen"), std::string::npos);  // its summary
  EXPECT_EQ(slurp("d/data-summary.txt").rfind("korvel-init: D.gen (Genepop", 0), 0u);
}

// What the search refuses, with exit status 2, and a flagged answer's 3.
TEST_F(SweepSearch, MistakesAreRefusedAndAFlaggedAnswerExitsWithThree) {
  EXPECT_EQ(run(program() + SEARCH + "--slurm --out x S.IN"), 2);
  EXPECT_NE(slurp("err.txt").find("--emit-jobs and --slurm are for grids"), std::string::npos);
  EXPECT_EQ(run(program() + "--find size --fst 0.02 S.IN"), 2);
  // A blank for a comma names the stray value and the list as meant.
  EXPECT_EQ(run(program() + "--find sample-size --fst 0.005 0.01 S.IN"), 2);
  EXPECT_NE(slurp("err.txt").find("\"0.01\" after --fst 0.005 is neither an option nor a file; values of a "
                                  "list are separated by commas without blanks, as in --fst 0.005,0.01"),
            std::string::npos);
  EXPECT_EQ(run(program() + "--find sample-size --fst 0.02 --range 50,10 S.IN"), 2);
  EXPECT_EQ(run(program() + "--range 2,10 --fst 0.02 S.IN"), 2);
  EXPECT_EQ(run(program() + SEARCH + "--populations 3 --out x S.IN"), 2);
  EXPECT_FALSE(fs::exists("x"));
  // A tiny F'st is not reached below 8 individuals.
  ASSERT_EQ(run(program() + "--find sample-size --fst 0.001 --range 2,8 --seed 1 --out n S.IN"), 3);
  const auto not_reached = csv_rows(slurp("n/design.csv"));
  EXPECT_EQ(not_reached.at(1, "status"), "not reached");
  EXPECT_EQ(not_reached.at(1, "smallest_sample_size"), "");
  EXPECT_NE(slurp("out.txt").find("not reached"), std::string::npos);
}

// An exact test with too short a chain: no answer, its resolution warning
// said once for all the probes, exit status 3; the chi-square test answers.
TEST_F(SweepSearch, AMiscalibratedTestGetsNoAnswerAndItsWarningIsGathered) {
  std::string panel =
      "SNP panel\r\nshort chain\r\n10 10 10\r\n1 1\r\n1\r\n----\r\n60\r\n4\r\n100\r\n0\r\n"
      "30 30 30 30\r\n20\r\n----\r\nalleles\r\n";
  for (int locus = 0; locus < 60; ++locus) panel += "2 0.5 0.5\r\n";
  std::ofstream("SNP.IN", std::ios::binary) << panel;
  ASSERT_EQ(run(program() + "--find sample-size --fst 0.01 --range 10,30 --seed 2 --out m SNP.IN"), 3);
  const auto design = csv_rows(slurp("m/design.csv"));
  ASSERT_EQ(design.size(), 3u);
  EXPECT_EQ(design.at(1, "status"), "ok");
  EXPECT_EQ(design.at(2, "test"), "exact");
  EXPECT_EQ(design.at(2, "smallest_sample_size"), "");
  EXPECT_EQ(design.at(2, "status"), "miscalibrated");
  const std::string err = slurp("err.txt");
  const std::size_t warned = err.find("probes warned: warning:");
  ASSERT_NE(warned, std::string::npos) << err;
  EXPECT_EQ(err.find("exact-test P of 0", warned + 1), err.rfind("exact-test P of 0"));  // once
  EXPECT_NE(err.find("probes/t0-n30-b0"), std::string::npos);
}

// A grid with --runs and --precision: every point runs batches of 40 until
// its interval is within +-0.05 or 400 runs are spent, the same for any
// number of jobs and after a resume.
TEST_F(SweepSearch, AGridRunsEachPointToThePrecisionAsked) {
  const std::string grid = program() +
                           "--fst 0.02 --sample-sizes 10,40 --runs 40 --precision 0.05 --max-runs 400 "
                           "--seed 4 ";
  // n = 40 stays below 80 % power: a flagged grid.
  ASSERT_EQ(run(grid + "--jobs 2 --out a S.IN"), 3) << slurp("err.txt");
  ASSERT_EQ(run(grid + "--jobs 1 --out b S.IN"), 3) << slurp("err.txt");
  EXPECT_EQ(DIFFERENT_FILES(point_files("a"), point_files("b")), "");
  EXPECT_NE(slurp("a/point-01/KORVEL.IN").find("\r\n40\r\n----"), std::string::npos);  // line 12 only
  EXPECT_EQ(slurp("S.IN"), SEARCH_TEMPLATE);
  const auto rows = csv_rows(slurp("a/curve.csv"));
  ASSERT_EQ(rows.size(), 5u);
  bool batched = false;
  for (std::size_t row = 1; row < rows.size(); ++row) {
    const long long runs = std::stoll(rows.at(row, "runs"));
    const double half = (std::stod(rows.at(row, "chi2_ci_high")) - std::stod(rows.at(row, "chi2_ci_low"))) /
                        2;
    EXPECT_EQ(runs % 40, 0);
    EXPECT_TRUE(half <= 0.05 || runs + 40 > 400) << row << ": " << runs << " runs, +-" << half;
    batched = batched || runs > 40;
  }
  EXPECT_TRUE(batched);
  // The last batch of a point lost: the resumed grid runs it again.
  fs::remove("b/point-04/batch-2/KORVEL.OUT");
  ASSERT_EQ(run(grid + "--resume --out b S.IN"), 3) << slurp("err.txt");
  EXPECT_EQ(slurp("b/curve.csv"), slurp("a/curve.csv"));
}

}  // namespace
