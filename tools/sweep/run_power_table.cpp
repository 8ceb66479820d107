// --collect on the folder of one run (it holds KORVEL.OUT and no points):
// the run's power as a table, power.csv, one row per test that was on, with
// the 95 % Wilson interval the sweep gives every point, and the run's
// average and expected F'st as the report writes them. Whoever wants the
// numbers of a run (the R package) reads this instead of the report.
#include <string>

#include "sweep_command.h"

namespace korvel::sweep::command {

namespace {

std::string power_row(const char* test, long long significant, const SummaryReport& report) {
  const Interval interval = WILSON_INTERVAL(significant, report.runs);
  const EXTENDED power = static_cast<EXTENDED>(significant) / static_cast<EXTENDED>(report.runs);
  return std::string(test) + "," + std::to_string(report.runs) + "," + std::to_string(significant) + "," +
         FIXED_TEXT(power, 4) + "," + FIXED_TEXT(interval.low, 4) + "," + FIXED_TEXT(interval.high, 4) + "," +
         report.mean_fst_text + "," + report.expected_fst_text + "\n";
}

}  // namespace

std::string RUN_POWER_CSV(const SummaryReport& report) {
  std::string csv = "test,runs,significant,power,ci_low,ci_high,mean_fst,expected_fst\n";
  if (report.chi2_on) csv += power_row(TEST_NAME(Test::CHI2), report.chi2_significant, report);
  if (report.fisher_on) csv += power_row(TEST_NAME(Test::FISHER), report.fisher_significant, report);
  return csv;
}

int collect_run(const fs::path& dir) {
  const fs::path report_path = dir / "KORVEL.OUT";
  std::string text;
  if (!READ_WHOLE_FILE(report_path.string(), text)) throw SweepError("cannot read " + report_path.string());
  WRITE_WHOLE_FILE(dir / "power.csv", RUN_POWER_CSV(PARSE_SUMMARY_REPORT(report_path.string(), text)));
  return 0;
}

}  // namespace korvel::sweep::command
