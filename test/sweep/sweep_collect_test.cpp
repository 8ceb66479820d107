// korvel-sweep: reading finished points back from hand-made summary
// reports, and the curve files built from them.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>

#include "figure.h"
#include "results.h"
#include "study_csv.h"
#include "support/scratch_folder.h"
#include "sweep.h"
#include "sweep_command.h"

namespace {

namespace fs = std::filesystem;
using namespace korvel::sweep;

struct ReportShape {
  bool chi2 = true;
  bool fisher = true;
  int drift_size = 500;
  int generations = 10;
  long long runs = 100;
  long long chi2_significant = 37;
  long long fisher_significant = 41;
  bool with_third_class = true;
  bool finished = true;
};

std::string fmt(const char* format, long long a) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, format, a);
  return buffer;
}

std::string proportion(long long k, long long n) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%8.4f", static_cast<double>(k) / static_cast<double>(n));
  return buffer;
}

// A summary report laid out as the program writes it (CR LF line ends, the
// power table's optional columns blank when a test is off).
std::string make_report(const ReportShape& s) {
  std::string r = "Example sweep point\r\nsecond comment\r\nIteration factors:  1000  20  500\r\n";
  if (s.generations == 0) r += "NO DRIFT!!!  Samples are drawn directly from base population!!!\r\n";
  r += std::string("Statistical test:") + (s.chi2 ? " Chi2" : "") + (s.fisher ? " Fisher" : "") + "\r\n\r\n";
  r += "Number of loci =   2\r\nNumber of populations =   3\r\n";
  if (s.generations > 0) r += "Effective size when drifting apart = " + fmt("%5lld", s.drift_size) + "\r\n";
  r += "Generations of drift = " + fmt("%5lld", s.generations) + "\r\n";
  r += "Number of runs/replicates = " + fmt("%8lld", s.runs) + "\r\n";
  r += "Diploid sample sizes =  50 50 50\r\n\r\nBase population allele frequencies:\r\n";
  r += "  Locus  1:  0.500  0.500\r\n  Locus  2:  0.200  0.300  0.500\r\n\r\n";
  r += "Total number of alleles in base population =   5\r\n" + std::string(70, '-') + "\r\n\r\n";
  r += "Proportion of significances (P<0.05) for summed/combined test statistics:\r\n\r\n";
  r += " Loci Alleles  Runs #Chi2    Chi2 #Fisher  Fisher";
  if (!s.finished) return r;
  const auto row = [&](const std::string& loci, const std::string& alleles, long long runs, long long c,
                       long long f, bool total) {
    std::string line = loci + alleles + fmt("%6lld", runs);
    line += s.chi2 ? fmt("%6lld", c) + proportion(c, runs) : std::string(14, ' ');
    if (s.fisher) line += fmt("%8lld", f) + proportion(f, runs) + "\r\n";
    else line += std::string(16, ' ') + (total ? "" : "\r\n");
    return line;
  };
  r += "\r\n";
  const long long third = s.with_third_class ? 4 : 0;
  r += row("    2", "       5", s.runs - third - 10, 1, 2, false);
  r += row("    2", "   =<  5", s.runs - third, 2, 3, false);
  if (third > 0) r += row("  <  2", "     ***", third, 0, 1, false);
  r += row("  Tot", "     ***", s.runs, s.chi2_significant, s.fisher_significant, true);
  r += "\r\n\r\n-----\r\n";
  r += "Average F'st over all the " + std::to_string(s.runs) + " runs =     0.0103\r\n";
  r += "Expected Fst =     0.0099\r\n";
  r += "F'st calculated from average Hs and Ht =     0.0101\r\n";
  return r;
}

std::string make_input(int drift_size, int generations) {
  return "Example sweep point\r\nsecond comment\r\n1000 20 500\r\n1 1\r\n0\r\n----\r\n2\r\n3\r\n" +
         std::to_string(drift_size) + "\r\n" + std::to_string(generations) +
         "\r\n50 50 50\r\n100\r\n----\r\nalleles\r\n2 0.5 0.5\r\n3 0.2 0.3 0.5\r\n";
}

std::string slurp(const fs::path& path) { return korvel::testing::READ_FILE(path); }

// The caption's paragraphs joined, so that a phrase is found in any of them.
std::string caption_text(const std::vector<PointResult>& points, const Analysis& analysis) {
  std::string text;
  for (const std::string& paragraph : FST_FIGURE_CAPTION(points, analysis, {"", 0.8L}))
    text += paragraph + "\n";
  return text;
}

void write(const fs::path& path, const std::string& text) {
  fs::create_directories(path.parent_path());
  korvel::testing::WRITE_FILE(path, text);
}

class SweepCollect : public ::testing::Test {
 protected:
  korvel::testing::ScratchFolder scratch_;
  const fs::path dir_ = scratch_.path();
};

// ---- Report parsing ----------------------------------------------------

TEST(SweepReport, BothTests) {
  const auto r = PARSE_SUMMARY_REPORT("K.OUT", make_report({}));
  EXPECT_TRUE(r.chi2_on);
  EXPECT_TRUE(r.fisher_on);
  EXPECT_EQ(r.runs, 100);
  EXPECT_EQ(r.chi2_significant, 37);
  EXPECT_EQ(r.fisher_significant, 41);
  EXPECT_EQ(r.generations, 10);
  EXPECT_EQ(r.drift_size, 500);
  EXPECT_EQ(r.mean_fst_text, "0.0103");
  EXPECT_EQ(r.expected_fst_text, "0.0099");
}

TEST(SweepReport, ChiSquareOnlyAndExactTestOnly) {
  ReportShape chi2_only;
  chi2_only.fisher = false;
  const auto a = PARSE_SUMMARY_REPORT("K.OUT", make_report(chi2_only));
  EXPECT_TRUE(a.chi2_on);
  EXPECT_FALSE(a.fisher_on);
  EXPECT_EQ(a.chi2_significant, 37);
  EXPECT_EQ(a.mean_fst_text, "0.0103");

  ReportShape exact_only;
  exact_only.chi2 = false;
  exact_only.with_third_class = false;
  const auto b = PARSE_SUMMARY_REPORT("K.OUT", make_report(exact_only));
  EXPECT_FALSE(b.chi2_on);
  EXPECT_TRUE(b.fisher_on);
  EXPECT_EQ(b.fisher_significant, 41);
  EXPECT_EQ(b.runs, 100);
}

TEST(SweepReport, NoDriftAndLargeCounts) {
  ReportShape s;
  s.generations = 0;
  s.runs = 12345678;  // fills the runs field and widens the row
  s.chi2_significant = 617283;
  s.fisher_significant = 600001;
  const auto r = PARSE_SUMMARY_REPORT("K.OUT", make_report(s));
  EXPECT_EQ(r.generations, 0);
  EXPECT_FALSE(r.drift_size.has_value());
  EXPECT_EQ(r.runs, 12345678);
  EXPECT_EQ(r.chi2_significant, 617283);
  // An exact-test count of eight digits runs into the proportion before it.
  s.runs = 20000000;
  s.fisher_significant = 12345678;
  const std::string text = make_report(s);
  ASSERT_NE(text.find("0.030912345678  0.6173"), std::string::npos);
  EXPECT_EQ(PARSE_SUMMARY_REPORT("K.OUT", text).fisher_significant, 12345678);
}

TEST(SweepReport, UnfinishedOrForeignReportsAreRefused) {
  ReportShape unfinished;
  unfinished.finished = false;
  try {
    PARSE_SUMMARY_REPORT("p/KORVEL.OUT", make_report(unfinished));
    FAIL() << "accepted a report without final results";
  } catch (const SweepError& error) {
    EXPECT_NE(std::string(error.what()).find("p/KORVEL.OUT"), std::string::npos);
    EXPECT_NE(std::string(error.what()).find("did not finish"), std::string::npos);
  }
  EXPECT_THROW(PARSE_SUMMARY_REPORT("K.OUT", "hello\r\nworld\r\n"), SweepError);
  // A total row whose columns do not match the tests announced.
  ReportShape both;
  std::string text = make_report(both);
  text.replace(text.find("Statistical test: Chi2 Fisher"), 29, "Statistical test: Chi2");
  EXPECT_THROW(PARSE_SUMMARY_REPORT("K.OUT", text), SweepError);
}

TEST(SweepReport, ProgramMessageKeepsTheLastWords) {
  EXPECT_EQ(PROGRAM_MESSAGE("\n\n\n\n  TOO MANY LOCI!\n  Maximum for this version is 100.\n"),
            "TOO MANY LOCI! / Maximum for this version is 100.");
  EXPECT_EQ(PROGRAM_MESSAGE("KORVEL\nRun =      1\nRun =      2\nRuntime error 101: disk full\n"),
            "KORVEL / Runtime error 101: disk full");
  EXPECT_EQ(PROGRAM_MESSAGE("Run =      1\r\n\r\n"), "");
}

// ---- Collection and the curve files ------------------------------------

TEST_F(SweepCollect, CollectsFinishedAndFailedPoints) {
  ReportShape low;
  low.generations = 2;
  low.chi2_significant = 6;
  low.fisher_significant = 5;
  write(dir_ / "point-01" / "KORVEL.IN", make_input(500, 2));
  write(dir_ / "point-01" / "KORVEL.OUT", make_report(low));
  write(dir_ / "point-02" / "KORVEL.IN", make_input(500, 10));
  write(dir_ / "point-02" / "KORVEL.OUT", make_report({}));
  // Stopped by its input check: no report, its words in the console log.
  write(dir_ / "point-03" / "KORVEL.IN", make_input(500, 20));
  write(dir_ / "point-03" / "console.log", "\n\n  TOO MANY LOCI!\n  Maximum for this version is 100.\n");
  // A report left over from another set-up.
  write(dir_ / "point-04" / "KORVEL.IN", make_input(500, 40));
  write(dir_ / "point-04" / "KORVEL.OUT", make_report({}));
  // Killed while writing its last line.
  write(dir_ / "point-05" / "KORVEL.IN", make_input(500, 10));
  const std::string whole = make_report({});
  write(dir_ / "point-05" / "KORVEL.OUT", whole.substr(0, whole.size() - 4));

  const PointResult a = COLLECT_POINT(dir_.string(), "point-01");
  ASSERT_TRUE(a.ok) << a.failure;
  EXPECT_EQ(a.input.generations, 2);
  EXPECT_EQ(a.input.drift_size, 500);
  EXPECT_EQ(a.common_sample_size(), 50);
  EXPECT_NEAR(static_cast<double>(a.expected_fst), 0.001999, 1e-6);
  EXPECT_EQ(a.chi2.significant, 6);
  EXPECT_NEAR(static_cast<double>(a.chi2.power), 0.06, 1e-12);
  EXPECT_NEAR(static_cast<double>(a.chi2.interval.low), 0.027786, 1e-6);
  EXPECT_NEAR(static_cast<double>(a.chi2.interval.high), 0.124768, 1e-6);

  const PointResult c = COLLECT_POINT(dir_.string(), "point-03");
  EXPECT_FALSE(c.ok);
  EXPECT_NE(c.failure.find("no KORVEL.OUT"), std::string::npos) << c.failure;
  EXPECT_NE(c.failure.find("TOO MANY LOCI! / Maximum for this version is 100."), std::string::npos)
      << c.failure;

  const PointResult d = COLLECT_POINT(dir_.string(), "point-04");
  EXPECT_FALSE(d.ok);
  EXPECT_NE(d.failure.find("another KORVEL.IN"), std::string::npos) << d.failure;
  const PointResult e = COLLECT_POINT(dir_.string(), "point-05");
  EXPECT_FALSE(e.ok);
  EXPECT_NE(e.failure.find("did not finish"), std::string::npos) << e.failure;

  const std::vector<PointResult> points = {a, COLLECT_POINT(dir_.string(), "point-02"), c};
  EXPECT_EQ(CURVE_CSV(points, ANALYSE(points)),
            "expected_fst,generations,sample_size,loci,runs,"
            "chi2_significant,chi2_power,chi2_ci_low,chi2_ci_high,"
            "exact_significant,exact_power,exact_ci_low,exact_ci_high,"
            "point,status,drift_size,mean_fst,chi2_null_check,exact_null_check\n"
            "0.001999,2,50,2,100,6,0.0600,0.0278,0.1248,5,0.0500,0.0215,0.1118,point-01,ok,500,0.0103,,\n"
            "0.009955,10,50,2,100,37,0.3700,0.2818,0.4678,41,0.4100,0.3187,0.5080,point-02,ok,500,0.0103,,\n"
            "0.019811,20,50,2,,,,,,,,,,point-03,failed,500,,,\n");
}

// A run killed after its report but before the program deleted its working
// files has finished: reused, it is left as an uninterrupted run leaves it.
TEST_F(SweepCollect, ARunKilledAfterItsReportIsReusedWithoutItsWorkingFiles) {
  const fs::path run = dir_ / "t8-n20-b0";
  write(run / "KORVEL.IN", make_input(500, 10));
  write(run / "seed.txt", "42\n");
  write(run / "KORVEL.OUT", make_report({}));
  for (const char* left : {"FST.OUT", "SUMTEST.OUT", "CONTTAB.XYZ"}) write(run / left, "cut");
  EXPECT_FALSE(FINISHED_RUN(run.string(), make_input(500, 10), "43\n", false));
  EXPECT_TRUE(FINISHED_RUN(run.string(), make_input(500, 10), "42\n", true));
  EXPECT_TRUE(fs::exists(run / "FST.OUT"));
  EXPECT_FALSE(fs::exists(run / "CONTTAB.XYZ"));
  EXPECT_TRUE(FINISHED_RUN(run.string(), make_input(500, 10), "42\n", false));
  std::set<std::string> names;
  for (const auto& entry : fs::directory_iterator(run)) names.insert(entry.path().filename().string());
  EXPECT_EQ(names, (std::set<std::string>{"KORVEL.IN", "KORVEL.OUT", "seed.txt"}));
}

TEST_F(SweepCollect, CsvHasOnlyTheColumnsOfTestsThatWereOn) {
  ReportShape exact_only;
  exact_only.chi2 = false;
  exact_only.drift_size = 100;
  write(dir_ / "point-01" / "KORVEL.IN", make_input(100, 10));
  write(dir_ / "point-01" / "KORVEL.OUT", make_report(exact_only));
  const std::vector<PointResult> points = {COLLECT_POINT(dir_.string(), "point-01")};
  const std::string csv = CURVE_CSV(points, ANALYSE(points));
  EXPECT_EQ(csv.substr(0, csv.find('\n')),
            "expected_fst,generations,sample_size,loci,runs,exact_significant,exact_power,exact_ci_low,"
            "exact_ci_high,point,status,drift_size,mean_fst,exact_null_check");
  EXPECT_NE(csv.find("\n0.048890,10,50,2,100,41,0.4100,"), std::string::npos) << csv;
  EXPECT_NE(csv.find(",point-01,ok,100,0.0103,\n"), std::string::npos) << csv;
}

// A run's own folder: power.csv with the Wilson interval of each test that
// was on; an unfinished report is refused and no table is left.
TEST_F(SweepCollect, ARunFolderGetsItsPowerTable) {
  write(dir_ / "KORVEL.OUT", make_report({}));
  EXPECT_EQ(command::collect_run(dir_), 0);
  std::string csv;
  ASSERT_TRUE(READ_WHOLE_FILE((dir_ / "power.csv").string(), csv));
  const Interval chi2 = WILSON_INTERVAL(37, 100), exact = WILSON_INTERVAL(41, 100);
  EXPECT_EQ(csv,
            "test,runs,significant,power,ci_low,ci_high,mean_fst,expected_fst\n"
            "chi2,100,37,0.3700," +
                FIXED_TEXT(chi2.low, 4) + "," + FIXED_TEXT(chi2.high, 4) +
                ",0.0103,0.0099\n"
                "exact,100,41,0.4100," +
                FIXED_TEXT(exact.low, 4) + "," + FIXED_TEXT(exact.high, 4) + ",0.0103,0.0099\n");
  ReportShape chi2_only;
  chi2_only.fisher = false;
  EXPECT_EQ(command::RUN_POWER_CSV(PARSE_SUMMARY_REPORT("K.OUT", make_report(chi2_only))).find("exact"),
            std::string::npos);

  const std::string report = make_report({});
  write(dir_ / "KORVEL.OUT", report.substr(0, report.rfind("Expected")));
  fs::remove(dir_ / "power.csv");
  EXPECT_THROW(command::collect_run(dir_), SweepError);
  EXPECT_FALSE(fs::exists(dir_ / "power.csv"));
}

// ---- Design table and calibration --------------------------------------

// A finished point made directly: n diploids per population, k loci, t
// generations, R runs and the two tests' counts.
PointResult made_point(int n, int k, int t, long long runs, long long chi2, long long fisher) {
  PointResult point;
  point.folder = "n" + std::to_string(n) + "k" + std::to_string(k) + "t" + std::to_string(t);
  point.input.loci = k;
  point.input.pops = 3;
  point.input.drift_size = 500;
  point.input.generations = t;
  point.input.sample_sizes = {n, n, n};
  point.input.runs = runs;
  point.input.iter1 = 1000;
  point.input.iter2 = 20;
  point.input.iter3 = 500;
  point.expected_fst = EXPECTED_FST(500, t);
  point.ok = true;
  point.runs = runs;
  point.mean_fst_text = "0.0100";
  point.chi2_on = point.fisher_on = true;
  const auto power = [&](long long hits) {
    return TestPower{hits, static_cast<long double>(hits) / runs, WILSON_INTERVAL(hits, runs)};
  };
  point.chi2 = power(chi2);
  point.fisher = power(fisher);
  return point;
}

TEST(SweepDesign, SmallestSampleSizeByEstimateAndByLowerBound) {
  // 100 runs: 5 rejections at F'st 0 are calibrated (limit 11); 12 are not.
  const std::vector<PointResult> points = {
      made_point(20, 10, 0, 100, 5, 12),    made_point(20, 10, 10, 100, 50, 81),
      made_point(20, 10, 20, 100, 85, 99),  made_point(50, 10, 0, 100, 4, 6),
      made_point(50, 10, 10, 100, 79, 80),  made_point(50, 10, 20, 100, 90, 99),
      made_point(80, 10, 0, 100, 6, 5),     made_point(80, 10, 10, 100, 86, 90),
      made_point(80, 10, 20, 100, 100, 100)};
  const Analysis analysis = ANALYSE(points);
  ASSERT_EQ(analysis.curves.size(), 3u);
  EXPECT_TRUE(analysis.sample_size_varies);
  EXPECT_FALSE(analysis.loci_vary);
  EXPECT_EQ(analysis.curves[0].label, "n = 20");
  EXPECT_FALSE(analysis.curves[0].miscalibrated(korvel::sweep::Test::CHI2));
  EXPECT_TRUE(analysis.curves[0].miscalibrated(korvel::sweep::Test::FISHER));

  const DesignTable table = DESIGN_TABLE(analysis, 0.8L);
  EXPECT_EQ(DESIGN_CSV(table),
            "expected_fst,generations,test,target_power,smallest_sample_size,status,"
            "smallest_sample_size_by_lower_bound,note\n"
            "0.000000,0,chi2,0.80,,ok,,\"false-positive rate (no drift) 0.0500 at n = 20, 0.0400 at n = 50, "
            "0.0600 at n = 80\"\n"
            "0.000000,0,exact,0.80,,miscalibrated,,\"false-positive rate (no drift) 0.1200 at n = 20 "
            "(miscalibrated: above 0.1100), 0.0600 at n = 50, 0.0500 at n = 80\"\n"
            // 0.79 misses 0.8; 0.86 reaches it but not its lower bound (0.7786).
            "0.009955,10,chi2,0.80,80,ok,,\n"
            // n = 20 reaches 0.81 with a miscalibrated exact test: not offered;
            // 0.80 reaches exactly; the lower bound of 0.90 is 0.8256.
            "0.009955,10,exact,0.80,50,ok,80,\"not offered (miscalibrated): n = 20\"\n"
            "0.019811,20,chi2,0.80,20,ok,50,\n"
            "0.019811,20,exact,0.80,50,ok,50,\"not offered (miscalibrated): n = 20\"\n");
  const std::string text = DESIGN_TEXT(table);
  EXPECT_NE(text.find("Smallest sample size with power >= 0.80"), std::string::npos) << text;
  EXPECT_NE(text.find("chi-square test  80 / -\n"), std::string::npos) << text;
  EXPECT_NE(text.find("exact test       50 / 80   (miscalibrated, not offered: n = 20)"), std::string::npos)
      << text;

  const auto warnings = CALIBRATION_WARNINGS(analysis);
  ASSERT_EQ(warnings.size(), 1u);
  EXPECT_NE(
      warnings[0].find("exact test is miscalibrated at n = 20: with no drift it rejected 12 of 100 runs"),
      std::string::npos)
      << warnings[0];
  EXPECT_NE(warnings[0].find("at least 20000 counted steps"), std::string::npos) << warnings[0];
}

TEST(SweepDesign, LociGroupsAndNotReached) {
  // Sample sizes answer for each loci count; without a null point there is
  // no calibration verdict.
  const std::vector<PointResult> points = {
      made_point(20, 5, 10, 50, 10, 10), made_point(40, 5, 10, 50, 30, 30), made_point(20, 9, 10, 50, 45, 20),
      made_point(40, 9, 10, 50, 50, 30)};
  const Analysis analysis = ANALYSE(points);
  ASSERT_EQ(analysis.curves.size(), 4u);
  EXPECT_EQ(analysis.curves[0].label, "n = 20, 5 loci");
  const DesignTable table = DESIGN_TABLE(analysis, 0.9L);
  EXPECT_TRUE(table.grouped_by_loci);
  EXPECT_EQ(DESIGN_CSV(table),
            "expected_fst,generations,test,target_power,smallest_sample_size,status,loci,"
            "smallest_sample_size_by_lower_bound,note\n"
            "0.009955,10,chi2,0.90,,not reached,5,,\n"
            "0.009955,10,exact,0.90,,not reached,5,,\n"
            "0.009955,10,chi2,0.90,20,ok,9,40,\n"
            "0.009955,10,exact,0.90,,not reached,9,,\n");
  EXPECT_TRUE(CALIBRATION_WARNINGS(analysis).empty());
  const std::string csv = CURVE_CSV(points, analysis);
  EXPECT_EQ(csv.find("miscalibrated"), std::string::npos);
}

TEST(SweepDesign, TheFigureCaptionNamesTheDesignAndAMiscalibratedTest) {
  const std::vector<PointResult> points = {
      made_point(20, 10, 0, 100, 5, 40), made_point(20, 10, 10, 100, 50, 81),
      made_point(50, 10, 0, 100, 4, 6), made_point(50, 10, 10, 100, 79, 80)};
  const Analysis analysis = ANALYSE(points);
  const std::string caption = caption_text(points, analysis);
  EXPECT_NE(caption.find("! Exact test miscalibrated at n = 20: with no drift it rejected 40 of 100 runs"),
            std::string::npos)
      << caption;
  EXPECT_EQ(caption.find("Chi-square test miscalibrated"), std::string::npos);
  EXPECT_NE(
      caption.find("Design: 10 loci, 3 populations, samples of 20, 50 diploids per population, Ne = 500, "
                   "100 runs per point; exact test 1000 / 20 / 500"),
      std::string::npos)
      << caption;
  const std::string csv = CURVE_CSV(points, analysis);
  EXPECT_NE(csv.find("0.009955,10,20,10,100,50,0.5000,0.4038,0.5962,81,0.8100,0.7222,0.8749,n20k10t10,ok,500,"
                     "0.0100,ok,miscalibrated\n"),
            std::string::npos)
      << csv;
}

// A grid and a search write the same quantities first, in the same
// columns and with the same digits; each only adds its own columns after
// them.
TEST(SweepDesign, BothModesWriteSharedColumnsFirstAndAlike) {
  using namespace korvel::sweep;
  const auto split = [](const std::string& csv) {
    std::vector<std::vector<std::string>> lines;
    std::istringstream text(csv);
    for (std::string line; std::getline(text, line);) {
      std::vector<std::string> fields;
      std::istringstream cells(line);
      for (std::string cell; std::getline(cells, cell, ',');) fields.push_back(cell);
      if (!line.empty() && line.back() == ',') fields.emplace_back();
      lines.push_back(fields);
    }
    return lines;
  };
  // The search's file is the shared columns and its own; the grid's starts
  // with the same shared columns, header and row alike.
  const auto shares = [&](const std::string& grid_csv, const std::string& search_csv,
                          const std::vector<std::string>& search_own) {
    const auto grid = split(grid_csv), search = split(search_csv);
    ASSERT_EQ(grid.size(), 2u);
    ASSERT_EQ(search.size(), 2u);
    ASSERT_GT(search[0].size(), search_own.size());
    const std::size_t shared = search[0].size() - search_own.size();
    EXPECT_EQ(std::vector<std::string>(search[0].begin() + static_cast<long>(shared), search[0].end()),
              search_own);
    ASSERT_GT(grid[0].size(), shared);
    for (std::size_t line = 0; line < 2; ++line) {
      for (std::size_t i = 0; i < shared; ++i) EXPECT_EQ(grid[line][i], search[line][i]) << i;
    }
  };
  CurveRow probe;
  probe.status = "ok";
  probe.expected_fst = 0.0199L;
  probe.generations = 8;
  probe.sample_size = 30;
  probe.loci = 4;
  probe.runs = 120;
  probe.tests[0] = TestCount{97, 120};
  probe.tests[1] = TestCount{3, 120};
  const std::string search_curve = CURVE_CSV(SearchCurveLayout{{true, true}}, {probe});
  shares(CURVE_CSV(GridCurveLayout{{true, true}}, {probe}), search_curve, {"batches"});
  EXPECT_EQ(search_curve,
            "expected_fst,generations,sample_size,loci,runs,chi2_significant,chi2_power,chi2_ci_low,"
            "chi2_ci_high,exact_significant,exact_power,exact_ci_low,exact_ci_high,batches\n"
            "0.019900,8,30,4,120,97,0.8083,0.7288,0.8687,3,0.0250,0.0085,0.0709,0\n");
  // A test that was off has no columns, in either mode.
  shares(CURVE_CSV(GridCurveLayout{{false, true}}, {probe}),
         CURVE_CSV(SearchCurveLayout{{false, true}}, {probe}), {"batches"});

  DesignRow answer;
  answer.expected_fst = 0.0199L;
  answer.generations = 8;
  answer.test = korvel::sweep::Test::FISHER;
  answer.target_power = 0.8L;
  answer.smallest = "40";
  answer.status = "ok";
  const std::vector<std::string> search_own = {"ci_low", "ci_high", "runs", "probes"};
  const std::string search_design = DESIGN_CSV(SearchDesignLayout{"sample_size"}, {answer});
  shares(DESIGN_CSV(GridDesignLayout{"sample_size", false}, {answer}), search_design, search_own);
  shares(DESIGN_CSV(GridDesignLayout{"sample_size", true}, {answer}), search_design, search_own);
  EXPECT_EQ(search_design.substr(0, search_design.find('\n')),
            "expected_fst,generations,test,target_power,smallest_sample_size,status,ci_low,ci_high,runs,"
            "probes");
  EXPECT_NE(search_design.find("\n0.019900,8,exact,0.80,40,ok,"), std::string::npos) << search_design;
  // A target with more digits keeps them all.
  EXPECT_EQ(TARGET_POWER_TEXT(0.855L), "0.855");
  EXPECT_EQ(TARGET_POWER_TEXT(0.9L), "0.90");
  EXPECT_EQ(TARGET_POWER_TEXT(0.999999L), "0.999999");
}

// A grid of one design says whether it reaches the target; a test that is
// miscalibrated wherever it was tried has no answer, and says so.
TEST(SweepDesign, OneDesignAndAnAnswerLeftOutForCalibration) {
  const std::vector<PointResult> points = {made_point(20, 10, 0, 100, 5, 40),
                                           made_point(20, 10, 10, 100, 85, 95)};
  const DesignTable table = DESIGN_TABLE(ANALYSE(points), 0.8L);
  EXPECT_EQ(
      DESIGN_CSV(table),
      "expected_fst,generations,test,target_power,smallest_design,status,smallest_design_by_lower_bound,"
      "note\n"
      "0.000000,0,chi2,0.80,,ok,,\"false-positive rate (no drift) 0.0500\"\n"
      "0.000000,0,exact,0.80,,miscalibrated,,\"false-positive rate (no drift) 0.4000 (miscalibrated: "
      "above 0.1100)\"\n"
      // 0.85 reaches 0.8; its lower bound (0.7672) does not.
      "0.009955,10,chi2,0.80,reached,ok,,\n"
      "0.009955,10,exact,0.80,,miscalibrated,,\"not offered (miscalibrated): this design\"\n");
}

// A grid over sample sizes regrouped as curves against n: one per F'st and
// test, points in order of n, the no-drift points left to the F'st figure.
TEST(SweepFigure, AGridAgainstSampleSizeHasOneCurvePerFstAndTest) {
  const std::vector<PointResult> points = {
      made_point(50, 10, 0, 100, 5, 6),    made_point(50, 10, 10, 100, 79, 80),
      made_point(50, 10, 20, 100, 95, 96), made_point(20, 10, 0, 100, 4, 5),
      made_point(20, 10, 10, 100, 50, 51), made_point(20, 10, 20, 100, 85, 86)};
  const std::optional<SampleSizeFigure> figure = GRID_SAMPLE_SIZE_FIGURE(points, ANALYSE(points), {"", 0.8L});
  ASSERT_TRUE(figure.has_value());
  ASSERT_EQ(figure->curves.size(), 4u);
  for (const FigureCurve& curve : figure->curves) {
    ASSERT_EQ(curve.points.size(), 2u) << curve.label;
    EXPECT_EQ(curve.points[0].x, 20);
    EXPECT_EQ(curve.points[1].x, 50);
    EXPECT_TRUE(curve.fitted.empty() && !curve.answer);
  }
  EXPECT_EQ(figure->curves[0].label, "F\u2032st 0.0100, chi-square test");
  EXPECT_EQ(figure->curves[1].points[1].significant, 80);
  // One axis only: a grid over F'st alone (or over both axes) has no such figure.
  const std::vector<PointResult> one_design(points.begin(), points.begin() + 3);
  EXPECT_FALSE(GRID_SAMPLE_SIZE_FIGURE(one_design, ANALYSE(one_design), {"", 0.8L}));
  // From three sizes on, each curve carries the fitted model over the sizes
  // tried, rising with n.
  std::vector<PointResult> three = points;
  three.push_back(made_point(100, 10, 0, 100, 5, 6));
  three.push_back(made_point(100, 10, 10, 100, 97, 98));
  three.push_back(made_point(100, 10, 20, 100, 100, 100));
  const std::optional<SampleSizeFigure> fitted = GRID_SAMPLE_SIZE_FIGURE(three, ANALYSE(three), {"", 0.8L});
  ASSERT_TRUE(fitted.has_value());
  for (const FigureCurve& curve : fitted->curves) {
    ASSERT_FALSE(curve.fitted.empty()) << curve.label;
    EXPECT_NEAR(static_cast<double>(curve.fitted.front().first), 20, 1e-9);
    EXPECT_NEAR(static_cast<double>(curve.fitted.back().first), 100, 1e-9);
    for (std::size_t i = 1; i < curve.fitted.size(); ++i)
      EXPECT_GE(curve.fitted[i].second, curve.fitted[i - 1].second);
  }
}

TEST(SweepFigure, FormatsAreSvgPngPdfOnly) {
  EXPECT_EQ(PARSE_FIGURE_FORMATS("png, svg,png"), (std::vector<std::string>{"png", "svg"}));
  EXPECT_THROW(PARSE_FIGURE_FORMATS("svg,jpg"), UsageError);
  EXPECT_THROW(PARSE_FIGURE_FORMATS("svg,"), UsageError);
}

TEST_F(SweepCollect, FiguresAreWrittenInEachFormatTheSameEachTime) {
  write(dir_ / "point-01" / "KORVEL.IN", make_input(500, 10));
  write(dir_ / "point-01" / "KORVEL.OUT", make_report({}));
  write(dir_ / "point-02" / "KORVEL.IN", make_input(500, 20));
  const std::vector<PointResult> points = {COLLECT_POINT(dir_.string(), "point-01"),
                                           COLLECT_POINT(dir_.string(), "point-02")};
  const Analysis analysis = ANALYSE(points);
  EXPECT_NE(caption_text(points, analysis).find("Data: Example sweep point. Design: 2 loci"),
            std::string::npos);
  EXPECT_NE(caption_text(points, analysis).find("1 point failed"), std::string::npos);
  for (const char* stem : {"one", "two"}) {
    DRAW_FST_FIGURE(points, analysis, {"", 0.8L}, (dir_ / stem).string(), {"svg", "png", "pdf"});
  }
  const std::string svg = slurp(dir_ / "one.svg");
  EXPECT_EQ(svg.rfind("<?xml", 0), 0u);
  EXPECT_NE(svg.find("<svg xmlns=\"http://www.w3.org/2000/svg\""), std::string::npos);
  EXPECT_NE(svg.find("</svg>"), std::string::npos);
  EXPECT_EQ(slurp(dir_ / "one.png").substr(0, 8), "\x89PNG\r\n\x1a\n");
  EXPECT_EQ(slurp(dir_ / "one.pdf").substr(0, 5), "%PDF-");
  // A second drawing in the same process gives the same bytes (--resume
  // and --collect redraw the figures).
  for (const char* format : {".svg", ".png", ".pdf"}) {
    EXPECT_EQ(slurp(dir_ / ("one" + std::string(format))), slurp(dir_ / ("two" + std::string(format))))
        << format;
  }
  EXPECT_THROW(DRAW_FST_FIGURE(points, analysis, {"", 0.8L}, (dir_ / "missing" / "curve").string(), {"png"}),
               korvel::tools::FileError);
}

// The fitted model is the only line drawn through a curve: without one the
// points stand alone, never joined by straight segments.
TEST_F(SweepCollect, AFittedLineIsDrawnOnlyWhenGiven) {
  SampleSizeFigure figure;
  figure.axis_label = "Individuals sampled per population";
  figure.caption = {"12 individuals per population (95 % interval 11-14) detect F'st 0.010 with 80 % power"};
  FigureCurve curve;
  curve.expected_fst = 0.01L;
  curve.points = {{10, 100, 60, 0.6L, WILSON_INTERVAL(60, 100)},
                  {20, 100, 95, 0.95L, WILSON_INTERVAL(95, 100)}};
  figure.curves = {curve};
  const auto fitted_strokes = [&](const char* stem) {
    DRAW_SAMPLE_SIZE_FIGURE(figure, (dir_ / stem).string(), {"svg"});
    const std::string svg = slurp(dir_ / (std::string(stem) + ".svg"));
    std::size_t count = 0;
    for (std::size_t at = 0; (at = svg.find("stroke-width:1.6;", at)) != std::string::npos; ++at) ++count;
    return count;
  };
  const std::size_t without = fitted_strokes("plain");
  for (int n = 5; n <= 30; ++n) {
    figure.curves[0].fitted.emplace_back(n, 1 / (1 + std::exp(-(n - 9.0L) / 3)));
  }
  figure.curves[0].answer = FigureAnswer{12, 11, 14};
  EXPECT_EQ(without, 0u);
  // The line itself, its legend entry and the test's line style in the legend.
  EXPECT_EQ(fitted_strokes("fitted"), 3u);
}

}  // namespace
