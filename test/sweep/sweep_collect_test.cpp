// korvel-sweep: reading finished points back from hand-made summary
// reports, and the curve files built from them.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "sweep.h"

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

void write(const fs::path& path, const std::string& text) {
  fs::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary) << text;
}


class SweepCollect : public ::testing::Test {
 protected:
  void SetUp() override {
    const fs::path base = fs::exists("/dev/shm") ? fs::path("/dev/shm") : fs::temp_directory_path();
    std::string pattern = (base / "sweep-collect-XXXXXX").string();
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    dir_ = pattern;
  }
  void TearDown() override { fs::remove_all(dir_); }
  fs::path dir_;
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

  const PointResult a = COLLECT_POINT(dir_.string(), "point-01");
  ASSERT_TRUE(a.ok) << a.failure;
  EXPECT_EQ(a.generations, 2);
  EXPECT_EQ(a.drift_size, 500);
  EXPECT_NEAR(static_cast<double>(a.expected_fst), 0.001999, 1e-6);
  EXPECT_EQ(a.chi2.significant, 6);
  EXPECT_NEAR(static_cast<double>(a.chi2.power), 0.06, 1e-12);
  EXPECT_NEAR(static_cast<double>(a.chi2.interval.low), 0.027786, 1e-6);
  EXPECT_NEAR(static_cast<double>(a.chi2.interval.high), 0.124768, 1e-6);

  const PointResult c = COLLECT_POINT(dir_.string(), "point-03");
  EXPECT_FALSE(c.ok);
  EXPECT_NE(c.failure.find("no KORVEL.OUT"), std::string::npos) << c.failure;
  EXPECT_NE(c.failure.find("TOO MANY LOCI! / Maximum for this version is 100."), std::string::npos) << c.failure;

  const PointResult d = COLLECT_POINT(dir_.string(), "point-04");
  EXPECT_FALSE(d.ok);
  EXPECT_NE(d.failure.find("another KORVEL.IN"), std::string::npos) << d.failure;

  const std::vector<PointResult> points = {a, COLLECT_POINT(dir_.string(), "point-02"), c};
  const std::string csv = CURVE_CSV(points);
  EXPECT_EQ(csv,
            "point,status,generations,drift_size,expected_fst,mean_fst,runs,"
            "chi2_significant,chi2_power,chi2_ci_low,chi2_ci_high,"
            "fisher_significant,fisher_power,fisher_ci_low,fisher_ci_high\n"
            "point-01,ok,2,500,0.001999,0.0103,100,6,0.0600,0.0278,0.1248,5,0.0500,0.0215,0.1118\n"
            "point-02,ok,10,500,0.009955,0.0103,100,37,0.3700,0.2818,0.4678,41,0.4100,0.3187,0.5080\n"
            "point-03,failed,20,500,0.019811,,,,,,,,,,\n");
}

TEST_F(SweepCollect, CsvHasOnlyTheColumnsOfTestsThatWereOn) {
  ReportShape exact_only;
  exact_only.chi2 = false;
  write(dir_ / "point-01" / "KORVEL.IN", make_input(100, 10));
  write(dir_ / "point-01" / "KORVEL.OUT", make_report(exact_only));
  const std::string csv = CURVE_CSV({COLLECT_POINT(dir_.string(), "point-01")});
  EXPECT_EQ(csv.substr(0, csv.find('\n')),
            "point,status,generations,drift_size,expected_fst,mean_fst,runs,"
            "fisher_significant,fisher_power,fisher_ci_low,fisher_ci_high");
  EXPECT_NE(csv.find("point-01,ok,10,100,0.048890,0.0103,100,41,0.4100,"), std::string::npos) << csv;
}

TEST_F(SweepCollect, SvgDrawsEverySeriesAndTheLevel) {
  write(dir_ / "point-01" / "KORVEL.IN", make_input(500, 10));
  write(dir_ / "point-01" / "KORVEL.OUT", make_report({}));
  write(dir_ / "point-02" / "KORVEL.IN", make_input(500, 20));
  const std::string svg = CURVE_SVG({COLLECT_POINT(dir_.string(), "point-01"), COLLECT_POINT(dir_.string(), "point-02")});
  EXPECT_EQ(svg.rfind("<?xml", 0), 0u);
  EXPECT_NE(svg.find("<svg xmlns=\"http://www.w3.org/2000/svg\""), std::string::npos);
  EXPECT_NE(svg.find("Chi-square test"), std::string::npos);
  EXPECT_NE(svg.find("Exact test"), std::string::npos);
  EXPECT_NE(svg.find("5 % level"), std::string::npos);
  EXPECT_NE(svg.find("1 point failed"), std::string::npos);
  EXPECT_NE(svg.find("stroke-dasharray"), std::string::npos);
  EXPECT_EQ(svg.substr(svg.size() - 7), "</svg>\n");
  // Balanced elements: every opened text is closed.
  std::size_t opened = 0, closed = 0;
  for (std::size_t at = 0; (at = svg.find("<text", at)) != std::string::npos; ++at) ++opened;
  for (std::size_t at = 0; (at = svg.find("</text>", at)) != std::string::npos; ++at) ++closed;
  EXPECT_EQ(opened, closed);
}

}  // namespace
