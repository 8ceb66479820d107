#include "output/test_result_files.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include "support/scratch_folder.h"

#include "common/tables.h"

namespace korvel {
namespace {

const std::string LOCUS_HEADER = "\r\n    Run  Locus      Chi2 Chi2_df   Chi2_P      Fisher_P        SE\r\n";
const std::string SUM_HEADER =
    "\r\n    Run  Loci Alleles    A/L   SumChi2  SumChi2_df   SumChi2_P  df_Fisher  "
    "Sum-2lnFisher_P TotFisher_P\r\n";

// Runs each test in a fresh scratch folder and returns to the old one.
class TestResultFiles : public ::testing::Test {
 protected:
  void TearDown() override {
    if (OUT8.IS_OPEN()) OUT8.CLOSE();
    if (OUT10.IS_OPEN()) OUT10.CLOSE();
  }
  // The file so far, read while it stays open.
  static std::string FILE_TEXT(TextOut& out) {
    out.FLUSH();
    return testing::READ_FILE(out.NAME());
  }
  // Run 12, locus 3, with the results of the example of the locus file.
  static LOCUS_RESULT EXAMPLE_LOCUS(INT16 chi2, INT16 fisher) {
    RUN_CHI2 = chi2;
    RUN_FISHER = fisher;
    return {.RUN = 12,
            .LOCUS = 3,
            .CHI2 = 8.457L,
            .CHI2_DF = 4,
            .CHI2_P = 0.0762L,
            .GEXACT_P = 0.0712L,
            .SE = 0.0031L};
  }
  static RUN_SUMS EXAMPLE_RUN(INT16 chi2, INT16 fisher) {
    RUN_CHI2 = chi2;
    RUN_FISHER = fisher;
    return {.SUM_CHI2 = 35.123L,
            .SUM_CHI2_DF = 18,
            .SUM_LN_GEXACT_P = 31.4159L,
            .NUMB_NONFIXED_LOCI = 9,
            .NUMB_ALLELES = 27.0,
            .MEAN_ALLELES_PER_LOCUS = 3.0};
  }

 private:
  testing::ScratchFolder folder_;
};

TEST_F(TestResultFiles, LocusLinesForTestedAndFixedLoci) {
  const std::string front = "     12      3";
  const std::string chi2 = "     8.457       4   0.0762";
  const std::string exact = "        0.0712    0.0031";
  const std::string fixed = "     12      4        **      **       **            **\r\n";
  struct Case {
    INT16 chi2, fisher;
    std::string tested_line;
  } const cases[] = {
      {1, 1, front + chi2 + exact + "\r\n"},
      {0, 1, front + std::string(27, ' ') + exact + "\r\n"},
      {1, 0, front + chi2 + std::string(9, ' ') + "\r\n"},
      {0, 0, front + std::string(36, ' ') + "\r\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << "chi2 " << c.chi2 << " fisher " << c.fisher);
    INITIALIZE_LOCUSTST();
    LOCUS_RESULT locus = EXAMPLE_LOCUS(c.chi2, c.fisher);
    WRITE_TO_LOCUSTST(locus);
    // A fixed locus shows none of the values its record may hold.
    locus.LOCUS = 4;
    locus.FIXED = true;
    WRITE_TO_LOCUSTST(locus);
    EXPECT_EQ(FILE_TEXT(OUT8), LOCUS_HEADER + c.tested_line + fixed);
  }
}

TEST_F(TestResultFiles, SumLineForEachTestSetting) {
  const std::string front = "     12     9      27   3.00";
  const std::string chi2 = "    35.123          18      0.0151";
  const std::string exact = "         18          31.4159      0.0256";
  struct Case {
    INT16 chi2, fisher;
    std::string line;
  } const cases[] = {
      {1, 1, front + chi2 + exact + "\r\n"},
      {1, 0, front + chi2 + std::string(41, ' ') + "\r\n"},
      {0, 1, front + std::string(34, ' ') + exact + "\r\n"},
      {0, 0, front + std::string(34 + 41, ' ') + "\r\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << "chi2 " << c.chi2 << " fisher " << c.fisher);
    INITIALIZE_SUMTEST();
    WRITE_SUMTEST_LINE(12, EXAMPLE_RUN(c.chi2, c.fisher), 0.0151L, 18, 0.0256L);
    EXPECT_EQ(FILE_TEXT(OUT10), SUM_HEADER + c.line);
  }
}

}  // namespace
}  // namespace korvel
