// korvel-sweep: the whole command with a stand-in simulation program (a
// shell script that writes a summary report, fails like an input stop or is
// killed half-way), so that failures, resuming, seeds, folders, the job
// list, the Slurm script and stopping by a signal can be checked exactly.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "batch_round.h"
#include "running.h"
#include "support/scratch_folder.h"
#include "sweep.h"
#include "sweep_main.h"

namespace {

namespace fs = std::filesystem;
using korvel::sweep::EXPECTED_FST;
using korvel::sweep::GENERATIONS_FOR_TARGET;
using korvel::sweep::POINT_SEED;
using korvel::sweep::SWEEP_MAIN;
using korvel::sweep::TOOL;

// The line of a CSV table that holds `key` (a point's folder, with the
// commas around it), or "" when none does.
std::string line_with(const std::string& csv, const std::string& key) {
  const std::size_t found = csv.find(key);
  if (found == std::string::npos) return "";
  const std::size_t start = csv.rfind('\n', found) + 1;
  return csv.substr(start, csv.find('\n', found) - start);
}

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

// Writes a report for the generations on line 10 of its KORVEL.IN (and Ne
// on line 9), prints its seed and threads, and notes its folder in
// ran.txt of the test's folder. With fail-7 there a point of 7 generations
// stops like the program's capacity check; with kill-5 a point of 5
// generations is killed half-way through its report; with slow every point
// first waits in a child process of its own.
const std::string STAND_IN =
    "#!/bin/sh\n"
    "t=$(sed -n 10p KORVEL.IN | tr -d '\\r' | awk '{print $1}')\n"
    "n=$(sed -n 9p KORVEL.IN | tr -d '\\r' | awk '{print $1}')\n"
    "echo \"seed=${KORVEL_SEED-unset} threads=${KORVEL_THREADS-unset}\"\n"
    "basename \"$PWD\" >> ../../ran.txt\n"
    "echo 'Run =      1'\n"
    "if [ -e ../../slow ]; then sleep 60; fi\n"
    "if [ \"$t\" = 7 ] && [ -e ../../fail-7 ]; then printf '\\n\\n  TOO MANY LOCI!\\n  Maximum for this version is 100.\\n'; exit 1; fi\n"
    "cat > KORVEL.OUT <<END\n"
    "Stand-in sweep\n"
    "comment two\n"
    "Iteration factors:  100  5  50\n"
    "Statistical test: Chi2 Fisher\n"
    "\n"
    "Effective size when drifting apart =   $n\n"
    "Generations of drift =     $t\n"
    "\n"
    " Loci Alleles  Runs #Chi2    Chi2 #Fisher  Fisher\n"
    "  Tot     ***    40    10  0.2500      20  0.5000\n"
    "\n"
    "\n"
    "-----\n"
    "Average F'st over all the 40 runs =     0.0100\n"
    "END\n"
    "if [ \"$t\" = 5 ] && [ -e ../../kill-5 ]; then kill -9 $$; fi\n"
    "cat >> KORVEL.OUT <<END\n"
    "Expected Fst =     0.0099\n"
    "F'st calculated from average Hs and Ht =     0.0101\n"
    "END\n";

std::string slurp(const fs::path& path) { return korvel::testing::READ_FILE(path); }

// Points run in parallel finish in any order.
std::string sorted_lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  std::sort(lines.begin(), lines.end());
  std::string sorted;
  for (const std::string& line : lines) sorted += line + "\n";
  return sorted;
}

using korvel::testing::WRITE_FILE;

class SweepRun : public ::testing::Test {
 protected:
  void SetUp() override {
    WRITE_FILE("T.IN", TEMPLATE);
    WRITE_FILE("stand-in", STAND_IN);
    fs::permissions("stand-in", fs::perms::owner_all);
    program_ = (dir_ / "stand-in").string();
  }

  int sweep(std::vector<std::string> args, std::string* err = nullptr, std::string* out = nullptr) {
    if (std::find(args.begin(), args.end(), "--collect") == args.end())
      args.insert(args.begin(), {"--program", program_});
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    const int status = korvel::tools::RUN_TOOL(TOOL, args, SWEEP_MAIN);
    const std::string o = testing::internal::GetCapturedStdout();
    const std::string e = testing::internal::GetCapturedStderr();
    if (out) *out = o;
    if (err) *err = e;
    return status;
  }

  korvel::testing::ScratchFolder scratch_;
  const fs::path dir_ = scratch_.path();
  std::string program_;
};

TEST_F(SweepRun, AFailingPointIsReportedAndTheOthersFinish) {
  WRITE_FILE("fail-7", "");
  std::string err, out;
  EXPECT_EQ(
      sweep({"--generations", "2,7,10", "--no-null", "--jobs", "2", "--out", "out", "T.IN"}, &err, &out), 1);
  EXPECT_NE(err.find("point-02 failed: exit status 1; the program said: "), std::string::npos) << err;
  EXPECT_NE(err.find("TOO MANY LOCI! / Maximum for this version is 100.\n"), std::string::npos) << err;
  EXPECT_NE(err.find("1 of 3 points failed"), std::string::npos) << err;
  // Quiet when not on a terminal: one line per point, the design table and
  // the result files.
  EXPECT_NE(out.find("point-01 done (F'st 0.003996, t = 2, Ne = 250, n = 20, 2 loci)"), std::string::npos)
      << out;
  EXPECT_NE(out.find("point-02 FAILED"), std::string::npos) << out;
  EXPECT_NE(out.find("results: "), std::string::npos) << out;

  const std::string csv = slurp("out/curve.csv");
  // F'st, generations, n, loci, runs, the tests'; the grid's own after them.
  EXPECT_EQ(line_with(csv, ",point-01,").rfind("0.003996,2,20,2,40,10,0.2500,", 0), 0u) << csv;
  EXPECT_NE(line_with(csv, ",point-01,").find(",point-01,ok,250,0.0100,"), std::string::npos) << csv;
  EXPECT_EQ(line_with(csv, ",point-02,"), "0.013916,7,20,2,,,,,,,,,,point-02,failed,250,,,") << csv;
  EXPECT_EQ(line_with(csv, ",point-03,").rfind("0.019821,10,20,2,40,10,0.2500,", 0), 0u) << csv;
  EXPECT_TRUE(fs::exists("out/curve.svg"));

  // The template is untouched; a point differs from it only in STOP_T, the
  // erase switch and the second comment line, which names the point.
  EXPECT_EQ(slurp("T.IN"), TEMPLATE);
  std::string expected = TEMPLATE;
  expected.replace(expected.find("10          generations"), 2, "2");
  expected.replace(expected.find("\r\n0\r\n----"), 3, "\r\n1");
  expected.replace(expected.find("comment two"), 11,
                   "korvel-sweep: F'st 0.003996, t = 2, Ne = 250, n = 20, 2 loci");
  EXPECT_EQ(slurp("out/point-01/KORVEL.IN"), expected);
}

TEST_F(SweepRun, TargetFstSetsGenerationsAndNeSetsTheEffectiveSize) {
  // The stand-in's no-drift point rejects 10 of 40 runs: miscalibrated
  // tests flag the finished sweep.
  EXPECT_EQ(sweep({"--fst", "0.001,0.02", "--ne", "100", "--out", "out", "T.IN"}), 3);
  const int t1 = GENERATIONS_FOR_TARGET(0.001L, 100), t2 = GENERATIONS_FOR_TARGET(0.02L, 100);
  ASSERT_EQ(t1, 1);
  ASSERT_EQ(t2, 4);
  // The no-drift point comes first.
  EXPECT_NE(slurp("out/point-01/KORVEL.IN").find("\r\n100         Ne\r\n0          generations\r\n"),
            std::string::npos);
  EXPECT_NE(slurp("out/point-02/KORVEL.IN").find("\r\n100         Ne\r\n1          generations\r\n"),
            std::string::npos);
  EXPECT_NE(slurp("out/point-03/KORVEL.IN").find("\r\n100         Ne\r\n4          generations\r\n"),
            std::string::npos);
  char expected[32];
  std::snprintf(expected, sizeof expected, "%.6Lf,4,20,2,", EXPECTED_FST(100, 4));
  EXPECT_EQ(line_with(slurp("out/curve.csv"), ",point-03,").rfind(expected, 0), 0u) << slurp("out/curve.csv");
  EXPECT_NE(slurp("out/curve.csv").find(",point-03,ok,100,"), std::string::npos);
  // An explicit 0 is the no-drift point, not one more; a target that needs
  // the same generations as another is run once.
  std::string err;
  EXPECT_EQ(sweep({"--fst", "0.001,0,0.0011", "--out", "zero", "T.IN"}, &err), 3);
  EXPECT_NE(err.find("F'st 0.0011 needs the same 1 generations as 0.001; it is run once"), std::string::npos)
      << err;
  EXPECT_TRUE(fs::exists("zero/point-02"));
  EXPECT_FALSE(fs::exists("zero/point-03"));
}

TEST_F(SweepRun, SampleSizesAndLociFormAGrid) {
  ASSERT_EQ(
      sweep({"--generations", "3", "--sample-sizes", "10,30", "--loci", "1,2", "--out", "grid", "T.IN"}), 3);
  // 2 sample sizes x 2 loci counts x (no drift, 3 generations).
  EXPECT_TRUE(fs::exists("grid/point-08"));
  EXPECT_FALSE(fs::exists("grid/point-09"));
  const std::string input = slurp("grid/point-06/KORVEL.IN");  // n = 30, 1 locus, t = 3
  EXPECT_NE(input.find("\r\n1           loci\r\n"), std::string::npos) << input;
  EXPECT_NE(input.find("\r\n30 30\r\n"), std::string::npos) << input;
  EXPECT_NE(input.find("\r\n2 0.5 0.5\r\n"), std::string::npos) << input;
  EXPECT_EQ(input.find("0.3 0.7"), std::string::npos) << input;
  const std::string csv = slurp("grid/curve.csv");
  EXPECT_EQ(line_with(csv, ",point-06,").rfind("0.005988,3,30,1,", 0), 0u) << csv;
  EXPECT_NE(csv.find(",point-06,ok,250,"), std::string::npos) << csv;
  // The loci count each answer is for: the grid's own column.
  EXPECT_EQ(slurp("grid/design.csv")
                .rfind("expected_fst,generations,test,target_power,smallest_sample_size,status,loci,", 0),
            0u);
}

// Powers of 0.25 and 0.5 at every sample size: the grid finishes, writes
// its files and ends as a search without an answer does.
TEST_F(SweepRun, ATargetNotReachedOverTheGridExitsWithThree) {
  std::string err;
  EXPECT_EQ(sweep({"--generations", "3", "--sample-sizes", "10,30", "--no-null", "--out", "g", "T.IN"}, &err),
            3);
  EXPECT_NE(err.find("its answer is flagged (exit status 3): the target not reached in the range tried at "
                     "F'st 0.0060 (chi-square test), F'st 0.0060 (exact test)\n"),
            std::string::npos)
      << err;
}

TEST_F(SweepRun, SeedsAndThreadsReachEveryPoint) {
  ::setenv("KORVEL_SEED", "99", 1);  // never leaks into a point
  ASSERT_EQ(sweep({"--generations", "2,4", "--jobs", "1", "--out", "a", "T.IN"}), 3);
  const int cores = korvel::CORES_OF_THE_PROCESS();
  EXPECT_EQ(slurp("a/point-02/console.log").rfind("seed=unset threads=" + std::to_string(cores) + "\n", 0),
            0u);
  EXPECT_FALSE(fs::exists("a/point-02/seed.txt"));

  ASSERT_EQ(sweep({"--generations", "2,4", "--seed", "42", "--threads-per-point", "3", "--out", "b", "T.IN"}),
            3);
  ::unsetenv("KORVEL_SEED");
  const auto seed = POINT_SEED(42, korvel::sweep::PointValues{250, 2, std::nullopt, 2});
  EXPECT_EQ(slurp("b/point-02/console.log").rfind("seed=" + std::to_string(seed) + " threads=3\n", 0), 0u);
  EXPECT_EQ(slurp("b/point-02/seed.txt"), std::to_string(seed) + "\n");
  EXPECT_NE(slurp("b/point-03/seed.txt"), slurp("b/point-02/seed.txt"));
}

TEST_F(SweepRun, ResumeRunsOnlyKilledAndFailedPoints) {
  WRITE_FILE("fail-7", "");
  WRITE_FILE("kill-5", "");
  const std::vector<std::string> command = {"--generations", "2,5,7,10", "--no-null", "--seed", "5",
                                            "--out",         "r",        "T.IN"};
  std::string err;
  EXPECT_EQ(sweep(command, &err), 1);
  EXPECT_NE(err.find("point-02 failed: ended by signal 9"), std::string::npos) << err;
  EXPECT_NE(err.find("point-03 failed"), std::string::npos) << err;
  const std::string finished = slurp("r/point-01/KORVEL.OUT");
  fs::remove("fail-7");
  fs::remove("kill-5");
  fs::remove("ran.txt");
  // Without --resume an existing folder is refused.
  EXPECT_EQ(sweep(command, &err), 1);
  EXPECT_NE(err.find("add --resume"), std::string::npos) << err;

  std::vector<std::string> again = command;
  again.insert(again.begin(), "--resume");
  EXPECT_EQ(sweep(again, &err), 0) << err;
  EXPECT_EQ(sorted_lines(slurp("ran.txt")), "point-02\npoint-03\n");
  EXPECT_EQ(slurp("r/point-01/KORVEL.OUT"), finished);
  EXPECT_NE(slurp("r/curve.csv").find(",point-02,ok,"), std::string::npos);
  // Nothing left to do: nothing runs, the curve is built again.
  fs::remove("ran.txt");
  EXPECT_EQ(sweep(again), 0);
  EXPECT_FALSE(fs::exists("ran.txt"));
  // Another seed makes other points: all run again.
  again[again.size() - 4] = "6";
  EXPECT_EQ(sweep(again), 0);
  EXPECT_EQ(sorted_lines(slurp("ran.txt")), "point-01\npoint-02\npoint-03\npoint-04\n");
}

// The round both modes run their batches with: it runs what it must,
// keeps what --resume finds finished, empties a folder by the mode's rule
// before writing it again, and reports a failed batch without ending.
TEST_F(SweepRun, ARoundReusesFinishedBatchesAndClearsTheOthersByTheModesRule) {
  using namespace korvel::sweep;
  std::vector<RoundBatch> batches(2);
  for (std::size_t i = 0; i < batches.size(); ++i) {
    const std::string name = i == 0 ? "a" : "b";
    batches[i].job.folder = (dir_ / "round" / name).string();
    batches[i].job.label = batches[i].job.description = name;
    batches[i].job.seed = static_cast<std::uint32_t>(7 + i);
    batches[i].input = TEMPLATE;
  }
  std::vector<std::string> cleared;
  RoundSettings settings;
  settings.program = program_;
  settings.jobs = 2;
  settings.clear = [&](const fs::path& folder) {
    cleared.push_back(folder.filename().string());
    fs::remove_all(folder);
  };
  const auto round = [&] {
    testing::internal::CaptureStdout();
    const RoundOutcome outcome = RUN_ROUND(batches, settings);
    testing::internal::GetCapturedStdout();
    return outcome;
  };
  RoundOutcome outcome = round();
  EXPECT_EQ(outcome.ran, 2u);
  EXPECT_EQ(cleared, (std::vector<std::string>{"a", "b"}));
  EXPECT_TRUE(outcome.batches[0].run.ok && outcome.batches[1].run.ok);
  EXPECT_FALSE(outcome.batches[0].reused || outcome.batches[1].reused);
  EXPECT_TRUE(COLLECT_BATCH(batches[1]).ok);
  EXPECT_NE(slurp("round/b/console.log").find("seed=8 "), std::string::npos);

  // Resumed with batch b's input changed: a is kept, b alone is cleared
  // and run again, and fails.
  WRITE_FILE("fail-7", "");
  batches[1].input.replace(batches[1].input.find("10          generations"), 2, "7 ");
  settings.resume = true;
  cleared.clear();
  outcome = round();
  EXPECT_EQ(outcome.ran, 1u);
  EXPECT_EQ(cleared, std::vector<std::string>{"b"});
  EXPECT_TRUE(outcome.batches[0].reused && outcome.batches[0].run.ok);
  EXPECT_FALSE(outcome.batches[1].reused || outcome.batches[1].run.ok);
  EXPECT_NE(outcome.batches[1].run.failure.find("exit status 1"), std::string::npos);
  EXPECT_EQ(outcome.stop_signal, 0);
  EXPECT_EQ(sorted_lines(slurp("ran.txt")), "a\nb\nb\n");
}

// A --precision point's further batches run one folder deeper, where the
// stand-in finds p/fail-7: a failed or missing batch fails its point in the
// run, in --collect and until a --resume runs it again; the point is never
// reported with fewer runs than it was given.
TEST_F(SweepRun, AFailedOrMissingBatchFailsItsPoint) {
  const std::vector<std::string> grid = {
      "--resume", "--generations", "7", "--no-null", "--precision", "0.1", "--max-runs",
      "120",      "--seed",        "3", "--out",     "p",           "T.IN"};
  fs::create_directories("p");
  WRITE_FILE("p/fail-7", "");
  std::string err;
  EXPECT_EQ(sweep(grid, &err), 1);
  EXPECT_NE(err.find("/p/point-01 failed: batch-2: exit status 1"), std::string::npos) << err;
  EXPECT_NE(slurp("p/curve.csv").find(",point-01,failed,"), std::string::npos);
  EXPECT_EQ(sweep({"--collect", "p"}, &err), 1);
  EXPECT_NE(err.find("p/point-01 failed: batch-2: no KORVEL.OUT"), std::string::npos) << err;
  EXPECT_NE(err.find("TOO MANY LOCI!"), std::string::npos) << err;

  fs::remove("p/fail-7");
  fs::remove("p/ran.txt");
  EXPECT_EQ(sweep(grid, &err), 0) << err;
  EXPECT_EQ(slurp("p/ran.txt"), "batch-2\nbatch-3\n");
  EXPECT_NE(slurp("p/curve.csv").find(",point-01,ok,"), std::string::npos);
  EXPECT_EQ(sweep({"--collect", "p"}, &err), 0) << err;

  // A batch lost between two others, or one that never finished.
  const std::string report = slurp("p/point-01/batch-2/KORVEL.OUT");
  fs::remove("p/point-01/batch-2/KORVEL.OUT");
  EXPECT_EQ(sweep({"--collect", "p"}, &err), 1);
  EXPECT_NE(err.find("point-01 failed: batch-2: "), std::string::npos) << err;
  EXPECT_NE(err.find("1 of 1 points failed"), std::string::npos) << err;
  fs::remove_all("p/point-01/batch-2");
  EXPECT_EQ(sweep({"--collect", "p"}, &err), 1);
  EXPECT_NE(err.find("point-01 failed: batch-2 is missing (batch-3 is there)"), std::string::npos) << err;
  EXPECT_EQ(slurp("p/curve.csv").find(",point-01,ok,"), std::string::npos);
}

TEST_F(SweepRun, AnExistingFolderIsRefusedUnlessForced) {
  ASSERT_EQ(sweep({"--generations", "1,2,3", "--out", "out", "T.IN"}), 3);
  std::string err;
  EXPECT_EQ(sweep({"--generations", "4", "--out", "out", "T.IN"}, &err), 1);
  EXPECT_NE(err.find("already exists"), std::string::npos) << err;
  EXPECT_TRUE(fs::exists("out/point-04/KORVEL.OUT"));
  // Forced: the old points go, so that a later --collect sees only the new.
  EXPECT_EQ(sweep({"--generations", "4", "--no-null", "--out", "out", "--force", "T.IN"}), 0);
  EXPECT_FALSE(fs::exists("out/point-02"));
  EXPECT_FALSE(fs::exists("out/point-04"));
  EXPECT_NE(slurp("out/point-01/KORVEL.IN").find("\r\n4          generations"), std::string::npos);
  // Never the template itself, even when it is one of the point files.
  EXPECT_EQ(sweep({"--generations", "5", "--out", "out", "--force", "out/point-01/KORVEL.IN"}, &err), 1);
  EXPECT_NE(err.find("copy it elsewhere"), std::string::npos) << err;
  EXPECT_TRUE(fs::exists("out/point-01/KORVEL.IN"));
}

TEST_F(SweepRun, EmitJobsThenCollect) {
  WRITE_FILE("fail-7", "");
  std::string out;
  ASSERT_EQ(sweep({"--emit-jobs", "--generations", "3,7,12", "--seed", "1", "--out", "jobs", "--title",
                   "Emitted", "--keep-details", "T.IN"},
                  nullptr, &out),
            0);
  const auto seed = POINT_SEED(1, korvel::sweep::PointValues{250, 0, std::nullopt, 2});
  EXPECT_EQ(out.find("cd '" + (dir_ / "jobs" / "point-01").string() + "' && KORVEL_THREADS=1 KORVEL_SEED=" +
                     std::to_string(seed) + " '" + program_ + "' </dev/null >console.log 2>&1\n"),
            0u)
      << out;
  EXPECT_EQ(std::count(out.begin(), out.end(), '\n'), 4);
  EXPECT_FALSE(fs::exists("jobs/point-01/KORVEL.OUT"));                                     // nothing ran
  EXPECT_NE(slurp("jobs/point-01/KORVEL.IN").find("\r\n1 1\r\n0\r\n"), std::string::npos);  // the template's
  std::size_t start = 0;
  while (start < out.size()) {
    const std::size_t end = out.find('\n', start);
    const std::string line = out.substr(start, end - start);
    EXPECT_EQ(std::system(line.c_str()) != 0, line.find("point-03") != std::string::npos) << line;
    start = end + 1;
  }
  std::string err;
  EXPECT_EQ(sweep({"--collect", "jobs"}, &err), 1);  // point-03 stops
  EXPECT_NE(err.find("point-03 failed: no KORVEL.OUT"), std::string::npos) << err;
  EXPECT_NE(err.find("TOO MANY LOCI!"), std::string::npos) << err;
  const std::string csv = slurp("jobs/curve.csv");
  EXPECT_EQ(line_with(csv, ",point-02,").rfind("0.005988,3,", 0), 0u) << csv;
  EXPECT_NE(csv.find(",point-02,ok,"), std::string::npos) << csv;
  EXPECT_NE(csv.find(",point-04,ok,"), std::string::npos) << csv;
  // The title given to the sweep is kept for --collect, which draws the
  // figures in the formats asked for.
  EXPECT_NE(slurp("jobs/sweep-settings.txt").find("title=Emitted\n"), std::string::npos);
  EXPECT_TRUE(fs::exists("jobs/curve.svg"));
  EXPECT_EQ(sweep({"--collect", "jobs", "--figure", "png,pdf"}), 1);
  EXPECT_TRUE(fs::exists("jobs/curve.png") && fs::exists("jobs/curve.pdf"));
}

TEST_F(SweepRun, SlurmJobArrayHasOneTaskPerPointToRun) {
  std::string out;
  ASSERT_EQ(sweep({"--slurm", "--generations", "3", "--threads-per-point", "4", "--sbatch-arg",
                   "--time=1:00:00", "--sbatch-arg=--partition=long", "--out", "s", "T.IN"},
                  nullptr, &out),
            0);
  const std::string script = slurp("s/sweep.sbatch");
  const std::string folder = (dir_ / "s").string();
  EXPECT_EQ(
      script.find(
          "#!/bin/bash\n#SBATCH --job-name=korvel-sweep\n#SBATCH --array=1-2\n#SBATCH --cpus-per-task=4\n"
          "#SBATCH --output=" +
          folder +
          "/slurm-%A_%a.log\n#SBATCH --time=1:00:00\n"
          "#SBATCH --partition=long\n"),
      0u)
      << script;
  EXPECT_NE(script.find("export KORVEL_THREADS=\"${SLURM_CPUS_PER_TASK:-1}\"\n"), std::string::npos);
  EXPECT_NE(script.find("  2) cd '" + folder + "/point-02' && env -u KORVEL_SEED '" + program_ +
                        "' </dev/null >console.log 2>&1 ;;\n"),
            std::string::npos)
      << script;
  EXPECT_FALSE(fs::exists("ran.txt"));
  EXPECT_NE(out.find("sbatch '" + folder + "/sweep.sbatch'"), std::string::npos) << out;
  EXPECT_NE(slurp("s/point-02/KORVEL.IN").find("\r\n1 1\r\n1\r\n"), std::string::npos);  // erase switch

  // A task run by hand as Slurm would; then --resume leaves only the other.
  ASSERT_EQ(std::system(("SLURM_ARRAY_TASK_ID=2 SLURM_CPUS_PER_TASK=4 bash s/sweep.sbatch")), 0);
  EXPECT_EQ(slurp("s/point-02/console.log").rfind("seed=unset threads=4\n", 0), 0u);
  ASSERT_EQ(sweep({"--slurm", "--resume", "--generations", "3", "--out", "s", "T.IN"}), 0);
  const std::string rest = slurp("s/sweep.sbatch");
  EXPECT_NE(rest.find("#SBATCH --array=1-1\n"), std::string::npos) << rest;
  EXPECT_NE(rest.find("  1) cd '" + folder + "/point-01'"), std::string::npos) << rest;
}

// Every mistake is told as "korvel-sweep: <what>" naming the option (and
// the value), then the usage; korvel-init's design options are checked as
// korvel-init checks them.
TEST_F(SweepRun, CommandLineMistakesExitWithTwoAndChangeNothing) {
  std::string err;
  const std::vector<std::pair<std::vector<std::string>, std::string>> mistakes = {
      {{"--fst", "0.01", "--generations", "3", "T.IN"}, "--fst excludes --generations"},
      {{"--jobs", "0", "T.IN"}, "--jobs takes a whole number from 1 to 4096, not \"0\""},
      {{"--jobs=x", "T.IN"}, "--jobs takes a whole number from 1 to 4096, not \"x\""},
      {{"--generations", "3,,4", "T.IN"}, "--generations has an empty item in \"3,,4\""},
      {{"--generations", "40000", "T.IN"},
       "--generations takes a whole number from 0 to 32767, not \"40000\""},
      {{"--fst", "0.01,1.5", "T.IN"}, "--fst takes a number from 0 to below 1, not \"1.5\" in \"0.01,1.5\""},
      {{"--fst", "-0.1", "T.IN"}, "--fst takes a number from 0 to below 1, not \"-0.1\""},
      {{"--sample-sizes", "0,10", "T.IN"}, "--sample-sizes takes a whole number from 1 to 16383, not \"0\""},
      {{"--sample-sizes", "10,10", "T.IN"}, "--sample-sizes names 10 twice"},
      {{"--loci", "3", "T.IN"}, "--loci takes a whole number from 1 to 2, not \"3\""},  // the template has 2
      {{"--seed", "4294967296", "T.IN"},
       "--seed takes a whole number from 0 to 4294967295, not \"4294967296\""},
      {{"--seed", "-1", "T.IN"}, "--seed takes a whole number from 0 to 4294967295, not \"-1\""},
      {{"--target-power", "1.5", "T.IN"}, "--target-power takes a number above 0 and at most 1, not \"1.5\""},
      {{"--submit", "T.IN"}, "--submit requires --slurm"},
      {{"--sbatch-arg", "x", "T.IN"}, "--sbatch-arg requires --slurm"},
      {{"--emit-jobs", "--slurm", "T.IN"}, "--slurm excludes --emit-jobs"},
      {{"--force", "--resume", "T.IN"}, "--force excludes --resume"},
      {{"--no-null=yes", "T.IN"}, "--no-null takes no value"},
      {{"--frobnicate", "T.IN"}, "unknown option --frobnicate"},
      {{"T.IN", "U.IN"}, "more than one template: U.IN"},
      {{"--collect", "x", "--jobs", "2"}, "--out does not apply to --collect"},
      {{"T.IN", "--title"}, "--title needs a value"},
      {{"--sample", "0", "T.IN"}, "--sample takes a whole number from 1 to 16383, not \"0\""},
      {{"--sample", "5", "--samples", "5,6", "T.IN"}, "--sample excludes --samples"},
      {{"--max-loci", "3", "--max-loci=4", "T.IN"}, "--max-loci is given twice"},
      {{"--pass-only", "T.IN"}, "T.IN is a KORVEL.IN template; --pass-only is for a data file"},
      {{"--min-maf", "0.05", "T.IN"}, "T.IN is a KORVEL.IN template; --min-maf is for a data file"},
      {{"--max-missing", "1", "D.gen"}, "--max-missing takes a number from 0 to below 1, not \"1\""},
      {{}, "no template given"}};
  for (const auto& [bad, says] : mistakes) {
    std::vector<std::string> args = bad;
    args.insert(args.begin(), {"--out", "bad"});
    EXPECT_EQ(sweep(args, &err), 2) << testing::PrintToString(bad) << err;
    EXPECT_EQ(err.rfind("korvel-sweep: ", 0), 0u) << err;
    EXPECT_NE(err.find(says), std::string::npos) << says << "\n" << err;
    EXPECT_NE(err.find("\nusage: korvel-sweep"), std::string::npos) << err;
  }
  EXPECT_EQ(sweep({"--out", "bad", "missing.IN"}, &err), 1);
  EXPECT_FALSE(fs::exists("bad"));
  EXPECT_EQ(sweep({"--collect", "nowhere"}, &err), 1);
}

// The process ids whose parent is `parent`, from /proc.
std::vector<pid_t> children_of(pid_t parent) {
  std::vector<pid_t> children;
  for (const auto& entry : fs::directory_iterator("/proc")) {
    const std::string name = entry.path().filename().string();
    if (name.find_first_not_of("0123456789") != std::string::npos) continue;
    const std::string stat = slurp(entry.path() / "stat");
    const std::size_t close = stat.rfind(')');
    if (close == std::string::npos) continue;
    char state = 0;
    int ppid = 0;
    if (std::sscanf(stat.c_str() + close + 1, " %c %d", &state, &ppid) == 2 && ppid == parent)
      children.push_back(std::stoi(name));
  }
  return children;
}

bool group_gone(pid_t group) {
  for (int wait = 0; wait < 50; ++wait) {
    if (::kill(-group, 0) != 0 && errno == ESRCH) return true;
    ::usleep(100000);
  }
  return false;
}

TEST(SweepResume, TheHintAddsResumeDropsForceAndQuotesForTheShell) {
  EXPECT_EQ(
      korvel::sweep::RESUME_COMMAND({"--force", "--title", "Ne = 500's plan", "--out", "my plan", "T.IN"}),
      "korvel-sweep --resume --title 'Ne = 500'\\''s plan' --out 'my plan' T.IN");
  EXPECT_EQ(korvel::sweep::RESUME_COMMAND({"--resume", "--fst=0.01,0.02", "T.IN"}),
            "korvel-sweep --resume --fst=0.01,0.02 T.IN");
}

// Starts korvel-sweep as a process of its own, its standard error in
// err.txt, and waits until `running` of its points have started.
pid_t start_sweep(const std::vector<std::string>& args, const char* ran, std::size_t running,
                  std::vector<pid_t>& points) {
  const pid_t sweep_pid = ::fork();
  if (sweep_pid == 0) {
    std::vector<char*> argv{const_cast<char*>(KORVEL_SWEEP_PROGRAM)};
    for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    const int err = ::open("err.txt", O_WRONLY | O_CREAT | O_TRUNC, 0644);
    ::dup2(err, STDERR_FILENO);
    ::execv(KORVEL_SWEEP_PROGRAM, argv.data());
    _exit(127);
  }
  for (int wait = 0; sweep_pid > 0 && wait < 100 && points.size() < running; ++wait) {
    ::usleep(100000);
    const std::string text = slurp(ran);
    if (static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n')) >= running)
      points = children_of(sweep_pid);
  }
  return sweep_pid;
}

// SIGTERM to a started sweep; its exit status.
int terminate(pid_t sweep_pid) {
  if (::kill(sweep_pid, SIGTERM) != 0) return -1;
  int status = 0;
  if (::waitpid(sweep_pid, &status, 0) != sweep_pid || !WIFEXITED(status)) return -1;
  return WEXITSTATUS(status);
}

TEST_F(SweepRun, ASignalStopsEveryPointAndResumeFinishes) {
  WRITE_FILE("slow", "");
  const std::vector<std::string> args = {"--program", program_, "--generations", "3,5",   "--seed", "4",
                                         "--jobs",    "2",      "--force",       "--out", "out",    "T.IN"};
  // Two points running (the no-drift point waits for a free slot).
  std::vector<pid_t> points;
  const pid_t sweep_pid = start_sweep(args, "ran.txt", 2, points);
  ASSERT_GE(sweep_pid, 0);
  ASSERT_EQ(points.size(), 2u);
  for (pid_t point : points) EXPECT_EQ(::getpgid(point), point) << "a point leads a group of its own";

  EXPECT_EQ(terminate(sweep_pid), 143);
  // The programs and what they started (the stand-in's sleep) are gone.
  for (pid_t point : points) EXPECT_TRUE(group_gone(point)) << point;
  const std::string err = slurp("err.txt");
  EXPECT_NE(err.find("stopped by SIGTERM; 3 points left unfinished"), std::string::npos) << err;
  const std::string hint = std::string(KORVEL_SWEEP_PROGRAM) + " --resume --program " + program_ +
                           " --generations 3,5 --seed 4 --jobs 2 --out out T.IN\n";
  EXPECT_NE(err.find("To continue: " + hint), std::string::npos) << err;
  EXPECT_FALSE(fs::exists("out/curve.csv"));

  // Nothing stopped counts as finished: all three points run again.
  fs::remove("slow");
  fs::remove("ran.txt");
  ASSERT_EQ(sweep({"--resume", "--generations", "3,5", "--seed", "4", "--jobs", "2", "--out", "out", "T.IN"}),
            3);
  EXPECT_EQ(sorted_lines(slurp("ran.txt")), "point-01\npoint-02\npoint-03\n");
}

// Stopped in a --precision round: the points still short of the precision
// and their batches are counted (out/slow holds back only the batches,
// which run one folder deeper).
TEST_F(SweepRun, AStopInAPrecisionRoundCountsItsPointsAndBatches) {
  fs::create_directories("out");
  WRITE_FILE("out/slow", "");
  const std::vector<std::string> args = {
      "--program", program_, "--generations", "3,5",   "--precision", "0.1", "--seed", "4",
      "--jobs",    "2",      "--resume",      "--out", "out",         "T.IN"};
  std::vector<pid_t> points;
  const pid_t sweep_pid = start_sweep(args, "out/ran.txt", 2, points);
  ASSERT_GE(sweep_pid, 0);
  ASSERT_EQ(points.size(), 2u);
  EXPECT_EQ(terminate(sweep_pid), 143);
  for (pid_t point : points) EXPECT_TRUE(group_gone(point)) << point;
  const std::string err = slurp("err.txt");
  EXPECT_NE(err.find("stopped by SIGTERM; 3 points and 3 batches left unfinished"), std::string::npos) << err;
}

}  // namespace
