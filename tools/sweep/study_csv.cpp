// curve.csv and design.csv for both modes: each column once, with its name
// and the text of its value.
#include "study_csv.h"

#include <cstdio>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "whole_file.h"

namespace korvel::sweep {

namespace {

template <class Row>
struct Column {
  std::string name;
  std::function<std::string(const Row&)> text;
};

template <class Row>
std::string write_table(const std::vector<Column<Row>>& columns, const std::vector<Row>& rows) {
  const auto line = [&](const std::function<std::string(const Column<Row>&)>& field) {
    std::string text;
    for (const Column<Row>& column : columns) {
      if (&column != &columns.front()) text += ',';
      text += field(column);
    }
    return text + "\n";
  };
  std::string csv = line([](const Column<Row>& column) { return column.name; });
  for (const Row& row : rows) csv += line([&](const Column<Row>& column) { return column.text(row); });
  return csv;
}

std::string blank_if_zero(int value) { return value > 0 ? std::to_string(value) : ""; }

// ---- curve.csv ----------------------------------------------------------

using CurveColumn = Column<CurveRow>;

// A design column, blank on a row without a readable KORVEL.IN.
CurveColumn placed(std::string name, std::function<std::string(const CurveRow&)> text) {
  return {std::move(name),
          [text = std::move(text)](const CurveRow& row) { return row.placed ? text(row) : ""; }};
}

// A test's count, power and 95 % Wilson interval; blank when it did not run.
void add_test_columns(std::vector<CurveColumn>& columns, Test test) {
  const int t = static_cast<int>(test);
  const std::string key = TEST_NAME(test);
  const auto from_count = [t](std::function<std::string(const TestCount&)> text) {
    return
        [t, text = std::move(text)](const CurveRow& row) { return row.tests[t] ? text(*row.tests[t]) : ""; };
  };
  const auto power = [](const TestCount& count) {
    return static_cast<EXTENDED>(count.significant) / static_cast<EXTENDED>(count.runs);
  };
  columns.push_back(
      {key + "_significant", from_count([](const TestCount& c) { return std::to_string(c.significant); })});
  columns.push_back(
      {key + "_power", from_count([power](const TestCount& c) { return FIXED_TEXT(power(c), 4); })});
  columns.push_back({key + "_ci_low", from_count([](const TestCount& c) {
                       return FIXED_TEXT(WILSON_INTERVAL(c.significant, c.runs).low, 4);
                     })});
  columns.push_back({key + "_ci_high", from_count([](const TestCount& c) {
                       return FIXED_TEXT(WILSON_INTERVAL(c.significant, c.runs).high, 4);
                     })});
}

// ---- design.csv ---------------------------------------------------------

using DesignColumn = Column<DesignRow>;

DesignColumn text_column(std::string name, std::string DesignRow::*field) {
  return {std::move(name), [field](const DesignRow& row) { return row.*field; }};
}

// ---- The shared columns -------------------------------------------------
//
// The columns both modes write, first and in this order; each mode's own
// follow them. A quantity added to both modes goes here, so that a grid's
// file and a search's can never disagree on where a column is.

std::vector<CurveColumn> shared_curve_columns(const bool (&shown)[2]) {
  std::vector<CurveColumn> columns = {
      placed("expected_fst", [](const CurveRow& row) { return FIXED_TEXT(row.expected_fst, 6); }),
      placed("generations", [](const CurveRow& row) { return std::to_string(row.generations); }),
      placed("sample_size", [](const CurveRow& row) { return blank_if_zero(row.sample_size); }),
      placed("loci", [](const CurveRow& row) { return blank_if_zero(row.loci); }),
      {"runs", [](const CurveRow& row) { return row.runs ? std::to_string(*row.runs) : ""; }}};
  for (Test test : TESTS)
    if (shown[static_cast<int>(test)]) add_test_columns(columns, test);
  return columns;
}

// `axis`: "sample_size", "loci" or "design" (a grid of one design).
std::vector<DesignColumn> shared_design_columns(const std::string& axis) {
  return {{"expected_fst", [](const DesignRow& row) { return FIXED_TEXT(row.expected_fst, 6); }},
          {"generations", [](const DesignRow& row) { return std::to_string(row.generations); }},
          {"test", [](const DesignRow& row) { return std::string(TEST_NAME(row.test)); }},
          {"target_power", [](const DesignRow& row) { return TARGET_POWER_TEXT(row.target_power); }},
          text_column("smallest_" + axis, &DesignRow::smallest),
          text_column("status", &DesignRow::status)};
}

}  // namespace

std::string CURVE_CSV(const GridCurveLayout& layout, const std::vector<CurveRow>& rows) {
  std::vector<CurveColumn> columns = shared_curve_columns(layout.shown);
  columns.push_back({"point", [](const CurveRow& row) { return row.point; }});
  columns.push_back({"status", [](const CurveRow& row) { return row.status; }});
  columns.push_back(placed("drift_size", [](const CurveRow& row) { return std::to_string(row.drift_size); }));
  columns.push_back({"mean_fst", [](const CurveRow& row) { return row.mean_fst; }});
  for (Test test : TESTS) {
    const int t = static_cast<int>(test);
    if (!layout.shown[t]) continue;
    columns.push_back({std::string(TEST_NAME(test)) + "_null_check",
                       [t](const CurveRow& row) { return row.null_check[t]; }});
  }
  return write_table(columns, rows);
}

std::string CURVE_CSV(const SearchCurveLayout& layout, const std::vector<CurveRow>& rows) {
  std::vector<CurveColumn> columns = shared_curve_columns(layout.shown);
  columns.push_back({"batches", [](const CurveRow& row) { return std::to_string(row.batches); }});
  return write_table(columns, rows);
}

std::string DESIGN_CSV(const GridDesignLayout& layout, const std::vector<DesignRow>& rows) {
  std::vector<DesignColumn> columns = shared_design_columns(layout.axis);
  if (layout.grouped_by_loci)
    columns.push_back({"loci", [](const DesignRow& row) { return std::to_string(row.loci); }});
  columns.push_back(
      text_column("smallest_" + layout.axis + "_by_lower_bound", &DesignRow::smallest_by_lower_bound));
  // Notes hold commas: quoted.
  columns.push_back(
      {"note", [](const DesignRow& row) { return row.note.empty() ? "" : "\"" + row.note + "\""; }});
  return write_table(columns, rows);
}

std::string DESIGN_CSV(const SearchDesignLayout& layout, const std::vector<DesignRow>& rows) {
  std::vector<DesignColumn> columns = shared_design_columns(layout.axis);
  columns.push_back(text_column("ci_low", &DesignRow::ci_low));
  columns.push_back(text_column("ci_high", &DesignRow::ci_high));
  columns.push_back(text_column("runs", &DesignRow::runs));
  columns.push_back(text_column("probes", &DesignRow::probes));
  return write_table(columns, rows);
}

void WRITE_STUDY_TABLES(const std::filesystem::path& dir, const std::string& curve_csv,
                        const std::string& design_csv) {
  WRITE_WHOLE_FILE((dir / CURVE_FILE).string(), curve_csv);
  WRITE_WHOLE_FILE((dir / DESIGN_FILE).string(), design_csv);
}

std::string TARGET_POWER_TEXT(EXTENDED target) {
  std::string text = FIXED_TEXT(target, 6);
  const std::size_t point = text.find('.');
  while (text.size() > point + 3 && text.back() == '0') text.pop_back();
  return text;
}

}  // namespace korvel::sweep
