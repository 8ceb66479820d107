// korvel-sweep: the whole command with a stand-in simulation program (a
// shell script that writes a summary report, or fails like an input stop),
// so that failures, folders and the job list can be checked exactly.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "sweep.h"

namespace {

namespace fs = std::filesystem;
using korvel::sweep::EXPECTED_FST;
using korvel::sweep::GENERATIONS_FOR_FST;
using korvel::sweep::SWEEP_MAIN;

const std::string TEMPLATE =
    "Stand-in sweep\r\n"
    "comment two\r\n"
    "100 5 50\r\n"
    "1 1\r\n"
    "0\r\n"
    "----\r\n"
    "2           loci\r\n"
    "2           pops\r\n"
    "250         Ne\r\n"
    "10          generations\r\n"
    "20 20\r\n"
    "40          runs\r\n"
    "----\r\n"
    "alleles\r\n"
    "2 0.5 0.5\r\n"
    "2 0.3 0.7\r\n";

// Writes a report for the generations on line 10 of its KORVEL.IN, or stops
// like the program's capacity check when they are 7.
const std::string STAND_IN =
    "#!/bin/sh\n"
    "t=$(sed -n 10p KORVEL.IN | tr -d '\\r' | awk '{print $1}')\n"
    "echo 'Run =      1'\n"
    "if [ \"$t\" = 7 ]; then printf '\\n\\n  TOO MANY LOCI!\\n  Maximum for this version is 100.\\n'; exit 1; fi\n"
    "cat > KORVEL.OUT <<END\n"
    "Stand-in sweep\n"
    "comment two\n"
    "Iteration factors:  100  5  50\n"
    "Statistical test: Chi2 Fisher\n"
    "\n"
    "Generations of drift =     $t\n"
    "\n"
    " Loci Alleles  Runs #Chi2    Chi2 #Fisher  Fisher\n"
    "  Tot     ***    40    10  0.2500      20  0.5000\n"
    "\n"
    "\n"
    "-----\n"
    "Average F'st over all the 40 runs =     0.0100\n"
    "Expected Fst =     0.0099\n"
    "END\n";

std::string slurp(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

void write(const fs::path& path, const std::string& text) { std::ofstream(path, std::ios::binary) << text; }

class SweepRun : public ::testing::Test {
 protected:
  void SetUp() override {
    const fs::path base = fs::exists("/dev/shm") ? fs::path("/dev/shm") : fs::temp_directory_path();
    std::string pattern = (base / "sweep-run-XXXXXX").string();
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    dir_ = pattern;
    old_ = fs::current_path();
    fs::current_path(dir_);
    write("T.IN", TEMPLATE);
    write("stand-in", STAND_IN);
    fs::permissions("stand-in", fs::perms::owner_all);
    program_ = (dir_ / "stand-in").string();
  }
  void TearDown() override {
    fs::current_path(old_);
    fs::remove_all(dir_);
  }

  int sweep(std::vector<std::string> args, std::string* err = nullptr, std::string* out = nullptr) {
    args.insert(args.begin(), {"--program", program_});
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    const int status = SWEEP_MAIN(args);
    const std::string o = testing::internal::GetCapturedStdout();
    const std::string e = testing::internal::GetCapturedStderr();
    if (out) *out = o;
    if (err) *err = e;
    return status;
  }

  fs::path dir_, old_;
  std::string program_;
};

TEST_F(SweepRun, AFailingPointIsReportedAndTheOthersFinish) {
  std::string err, out;
  EXPECT_EQ(sweep({"--generations", "2,7,10", "--jobs", "2", "--out", "out", "T.IN"}, &err, &out), 1);
  EXPECT_NE(err.find("point-02 failed: exit status 1; the program said: TOO MANY LOCI! / Maximum for this version is 100."),
            std::string::npos)
      << err;
  EXPECT_NE(err.find("1 of 3 points failed"), std::string::npos) << err;
  // Quiet when not on a terminal: one line per point, then the files.
  EXPECT_NE(out.find("point-01 done (t = 2, N = 250"), std::string::npos) << out;
  EXPECT_NE(out.find("point-02 FAILED"), std::string::npos) << out;
  EXPECT_EQ(std::count(out.begin(), out.end(), '\n'), 4) << out;

  const std::string csv = slurp("out/curve.csv");
  EXPECT_NE(csv.find("\npoint-01,ok,2,250,"), std::string::npos) << csv;
  EXPECT_NE(csv.find("\npoint-02,failed,7,250,"), std::string::npos) << csv;
  EXPECT_NE(csv.find("\npoint-03,ok,10,250,0.019821,0.0100,40,10,0.2500,"), std::string::npos) << csv;
  EXPECT_NE(slurp("out/curve.svg").find("1 point failed"), std::string::npos);

  // The template is untouched; each point differs from it only in STOP_T.
  EXPECT_EQ(slurp("T.IN"), TEMPLATE);
  std::string expected = TEMPLATE;
  expected.replace(expected.find("10          generations"), 2, "2");
  EXPECT_EQ(slurp("out/point-01/KORVEL.IN"), expected);
}

TEST_F(SweepRun, TargetFstSetsGenerationsAndNeSetsTheEffectiveSize) {
  EXPECT_EQ(sweep({"--fst", "0.001,0.02", "--ne", "100", "--out", "out", "T.IN"}), 0);
  const int t1 = GENERATIONS_FOR_FST(0.001L, 100), t2 = GENERATIONS_FOR_FST(0.02L, 100);
  ASSERT_EQ(t1, 1);
  ASSERT_EQ(t2, 4);
  EXPECT_NE(slurp("out/point-01/KORVEL.IN").find("\r\n100         Ne\r\n1          generations\r\n"), std::string::npos);
  EXPECT_NE(slurp("out/point-02/KORVEL.IN").find("\r\n100         Ne\r\n4          generations\r\n"), std::string::npos);
  char expected[32];
  std::snprintf(expected, sizeof expected, ",4,100,%.6Lf,", EXPECTED_FST(100, 4));
  EXPECT_NE(slurp("out/curve.csv").find(expected), std::string::npos);
}

TEST_F(SweepRun, AnExistingFolderIsRefusedUnlessForced) {
  ASSERT_EQ(sweep({"--generations", "1,2,3", "--out", "out", "T.IN"}), 0);
  std::string err;
  EXPECT_EQ(sweep({"--generations", "4", "--out", "out", "T.IN"}, &err), 1);
  EXPECT_NE(err.find("already exists"), std::string::npos) << err;
  EXPECT_TRUE(fs::exists("out/point-03/KORVEL.OUT"));
  // Forced: the old points go, so that a later --collect sees only the new.
  EXPECT_EQ(sweep({"--generations", "4", "--out", "out", "--force", "T.IN"}), 0);
  EXPECT_FALSE(fs::exists("out/point-02"));
  EXPECT_FALSE(fs::exists("out/point-03"));
  EXPECT_NE(slurp("out/point-01/KORVEL.IN").find("\r\n4          generations"), std::string::npos);
  // Never the template itself, even when it is one of the point files.
  EXPECT_EQ(sweep({"--generations", "5", "--out", "out", "--force", "out/point-01/KORVEL.IN"}, &err), 1);
  EXPECT_NE(err.find("copy it elsewhere"), std::string::npos) << err;
  EXPECT_TRUE(fs::exists("out/point-01/KORVEL.IN"));
}

TEST_F(SweepRun, EmitJobsThenCollect) {
  std::string out;
  ASSERT_EQ(sweep({"--emit-jobs", "--generations", "3,7,12", "--out", "jobs", "T.IN"}, nullptr, &out), 0);
  EXPECT_EQ(out.find("cd '" + (dir_ / "jobs" / "point-01").string() + "' && '" + program_ +
                     "' </dev/null >console.log 2>&1\n"),
            0u)
      << out;
  EXPECT_EQ(std::count(out.begin(), out.end(), '\n'), 3);
  EXPECT_FALSE(fs::exists("jobs/point-01/KORVEL.OUT"));  // nothing ran
  std::size_t start = 0;
  while (start < out.size()) {
    const std::size_t end = out.find('\n', start);
    std::system(out.substr(start, end - start).c_str());
    start = end + 1;
  }
  std::string err;
  EXPECT_EQ(sweep({"--collect", "jobs"}, &err), 1);  // point-02 stops
  EXPECT_NE(err.find("point-02 failed: no KORVEL.OUT"), std::string::npos) << err;
  EXPECT_NE(err.find("TOO MANY LOCI!"), std::string::npos) << err;
  const std::string csv = slurp("jobs/curve.csv");
  EXPECT_NE(csv.find("\npoint-01,ok,3,"), std::string::npos) << csv;
  EXPECT_NE(csv.find("\npoint-03,ok,12,"), std::string::npos) << csv;
}

TEST_F(SweepRun, BadRequestsChangeNothing) {
  std::string err;
  EXPECT_EQ(sweep({"--fst", "0.01", "--generations", "3", "--out", "bad", "T.IN"}, &err), 2);
  EXPECT_EQ(sweep({"--jobs", "0", "--out", "bad", "T.IN"}, &err), 2);
  EXPECT_EQ(sweep({"--generations", "3,,4", "--out", "bad", "T.IN"}, &err), 2);
  EXPECT_EQ(sweep({"--out", "bad"}, &err), 2);
  EXPECT_EQ(sweep({"--fst", "0.01,1.5", "--out", "bad", "T.IN"}, &err), 1);
  EXPECT_NE(err.find("1.5 is not between 0 and 1"), std::string::npos) << err;
  EXPECT_EQ(sweep({"--generations", "40000", "--out", "bad", "T.IN"}, &err), 2);
  EXPECT_EQ(sweep({"--out", "bad", "missing.IN"}, &err), 1);
  EXPECT_FALSE(fs::exists("bad"));
  EXPECT_EQ(sweep({"--collect", "nowhere"}, &err), 1);
}

}  // namespace
