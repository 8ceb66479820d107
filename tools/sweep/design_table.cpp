// The planning answer: for each level of differentiation and each test, the
// smallest sample size (or number of loci) that reaches the target power,
// by its estimate and by the lower end of its 95 % interval; and the
// calibration check of each test at F'st 0.
#include <algorithm>
#include <cstdio>
#include <map>
#include <set>

#include "results.h"
#include "search.h"
#include "study_csv.h"
#include "sweep.h"

namespace korvel::sweep {

namespace {

// The value of the answer axis for a curve.
int axis_value(const DesignTable& table, const Curve& curve) {
  return table.axis == "loci" ? curve.loci : curve.sample_size;
}

std::string axis_text(const DesignTable& table, int value) {
  if (table.axis == "loci") return std::to_string(value) + " loci";
  if (table.axis == "sample_size") return "n = " + std::to_string(value);
  return "this design";
}

std::string join(const std::vector<std::string>& items, std::string_view separator) {
  std::string text;
  for (const std::string& item : items) {
    if (!text.empty()) text += separator;
    text += item;
  }
  return text;
}

// The calibration note of a test's F'st 0 points, one per curve of the
// group: "0.0450 at n = 20, 0.6100 at n = 30 (miscalibrated)".
std::string null_note(const DesignTable& table, const std::vector<const Curve*>& curves, Test test) {
  std::vector<std::string> parts;
  for (const Curve* curve : curves) {
    if (curve->null_point == nullptr || !curve->null_point->on(test)) continue;
    const PointResult& null_point = *curve->null_point;
    std::string part = FIXED_TEXT(null_point.power(test).power, 4);
    if (!table.axis.empty()) part += " at " + axis_text(table, axis_value(table, *curve));
    if (curve->miscalibrated(test)) {
      part += " (miscalibrated: above " +
              FIXED_TEXT(static_cast<EXTENDED>(NULL_REJECTION_LIMIT(null_point.runs)) /
                             static_cast<EXTENDED>(null_point.runs),
                         4) +
              ")";
    }
    parts.push_back(part);
  }
  return parts.empty() ? "" : "false-positive rate (no drift) " + join(parts, ", ");
}

// The answer as design.csv gives it: the value found, or blank (the
// status says why); a grid of one design has no value, only "reached".
std::string answer_text(const DesignTable& table, const std::optional<int>& value) {
  if (!value) return "";
  return table.axis.empty() ? "reached" : std::to_string(*value);
}

// The worst verdict of the test without drift over the group's curves, in
// the words of the status column.
const char* null_status(const std::vector<const Curve*>& curves, Test test) {
  Calibration worst = Calibration::OK;
  for (const Curve* curve : curves) {
    if (curve->null_point == nullptr || !curve->null_point->on(test)) continue;
    const Calibration verdict = CALIBRATION_VERDICT(curve->null_point->power(test).significant,
                                                    curve->null_point->runs);
    if (verdict == Calibration::MISCALIBRATED || worst == Calibration::OK) worst = verdict;
  }
  return CALIBRATION_TEXT(worst);
}

// An answer found is ok; none, where every value tried was left out for a
// miscalibrated test, is the test's fault; otherwise the target was not
// reached in the range tried.
const char* answer_status(const DesignAnswer& answer) {
  if (answer.by_power) return STATUS_TEXT(AnswerStatus::OK);
  if (answer.offered == 0 && !answer.excluded.empty()) return STATUS_TEXT(AnswerStatus::MISCALIBRATED);
  return STATUS_TEXT(AnswerStatus::NOT_REACHED);
}

}  // namespace

DesignTable DESIGN_TABLE(const Analysis& analysis, EXTENDED target_power) {
  DesignTable table;
  table.target_power = target_power;
  table.axis = analysis.sample_size_varies ? "sample_size" : analysis.loci_vary ? "loci" : "";
  table.grouped_by_loci = analysis.sample_size_varies && analysis.loci_vary;

  // Curves grouped by the loci count when the answer is a sample size for
  // each loci count; otherwise one group.
  std::map<int, std::vector<const Curve*>> groups;
  for (const Curve& curve : analysis.curves) groups[table.grouped_by_loci ? curve.loci : 0].push_back(&curve);
  for (auto& [loci, curves] : groups) {
    std::stable_sort(curves.begin(), curves.end(), [&](const Curve* a, const Curve* b) {
      return axis_value(table, *a) < axis_value(table, *b);
    });
    std::set<int> levels;
    for (const Curve* curve : curves) {
      for (const PointResult* point : curve->points) levels.insert(point->input.generations);
    }
    for (int generations : levels) {
      for (Test test : TESTS) {
        DesignAnswer answer;
        answer.generations = generations;
        answer.group_loci = loci;
        answer.test = test;
        bool tested = false;
        for (const Curve* curve : curves) {
          for (const PointResult* point : curve->points) {
            if (point->input.generations != generations || !point->ok || !point->on(test)) continue;
            tested = true;
            answer.expected_fst = point->expected_fst;
            if (generations == 0) continue;
            const int value = axis_value(table, *curve);
            if (curve->miscalibrated(test)) {
              answer.excluded.push_back(value);
              continue;
            }
            ++answer.offered;
            const TestPower& power = point->power(test);
            if (!answer.by_power && power.power >= target_power) answer.by_power = value;
            if (!answer.by_lower_bound && power.interval.low >= target_power) answer.by_lower_bound = value;
          }
        }
        if (!tested) continue;
        if (generations == 0) {
          answer.note = null_note(table, curves, test);
          answer.null_status = null_status(curves, test);
        }
        table.rows.push_back(answer);
      }
    }
  }
  return table;
}

std::string DESIGN_CSV(const DesignTable& table) {
  std::vector<DesignRow> rows;
  for (const DesignAnswer& answer : table.rows) {
    DesignRow row;
    row.expected_fst = answer.expected_fst;
    row.generations = answer.generations;
    row.loci = answer.group_loci;
    row.test = answer.test;
    row.target_power = table.target_power;
    row.note = answer.note;
    if (answer.generations == 0) {
      // The no-drift row checks the test; it answers nothing.
      row.status = answer.null_status;
    } else {
      row.smallest = answer_text(table, answer.by_power);
      row.smallest_by_lower_bound = answer_text(table, answer.by_lower_bound);
      row.status = answer_status(answer);
    }
    if (!answer.excluded.empty()) {
      std::vector<std::string> values;
      for (int value : answer.excluded) values.push_back(axis_text(table, value));
      row.note = "not offered (miscalibrated): " + join(values, " ");
    }
    rows.push_back(std::move(row));
  }
  return DESIGN_CSV(GridDesignLayout{table.axis.empty() ? "design" : table.axis, table.grouped_by_loci},
                    rows);
}

std::string DESIGN_TEXT(const DesignTable& table) {
  if (table.rows.empty()) return "";
  const std::string target = TARGET_POWER_TEXT(table.target_power);
  std::string text;
  if (table.axis.empty()) {
    text += "Power >= " + target + " reached by this design (by the estimate / by its lower 95 % bound):\n";
  } else {
    text += "Smallest " + std::string(table.axis == "loci" ? "number of loci" : "sample size") +
            " with power >= " + target +
            " (by the estimate / by its lower 95 % bound; \"-\": not reached in the range tried):\n";
  }
  char line[640];
  for (const DesignAnswer& row : table.rows) {
    std::string where = "F'st " + FIXED_TEXT(row.expected_fst, 4) +
                        " (t = " + std::to_string(row.generations) + ")";
    if (table.grouped_by_loci) where += ", " + std::to_string(row.group_loci) + " loci";
    std::string answer;
    if (row.generations == 0) {
      answer = row.note;
    } else if (table.axis.empty()) {
      answer = std::string(row.by_power ? "yes" : "no") + " / " + (row.by_lower_bound ? "yes" : "no");
    } else {
      answer = (row.by_power ? std::to_string(*row.by_power) : "-") + " / " +
               (row.by_lower_bound ? std::to_string(*row.by_lower_bound) : "-");
    }
    if (!row.excluded.empty()) {
      std::vector<std::string> values;
      for (int value : row.excluded) values.push_back(axis_text(table, value));
      answer += "   (miscalibrated, not offered: " + join(values, ", ") + ")";
    }
    std::snprintf(line, sizeof line, "  %-30s %-16s %s\n", where.c_str(), TEST_WORDS(row.test),
                  answer.c_str());
    text += line;
  }
  return text;
}

std::vector<std::string> CALIBRATION_WARNINGS(const Analysis& analysis) {
  std::vector<std::string> warnings;
  for (const Curve& curve : analysis.curves) {
    for (Test test : TESTS) {
      if (!curve.miscalibrated(test)) continue;
      const PointResult& null_point = *curve.null_point;
      std::string warning = "the " + std::string(TEST_WORDS(test)) + " is miscalibrated";
      if (!curve.label.empty()) warning += " at " + curve.label;
      warning += ": with no drift it rejected " + std::to_string(null_point.power(test).significant) +
                 " of " + std::to_string(null_point.runs) + " runs (" + null_point.folder +
                 "), where a test at the 5 % level rejects at most " +
                 std::to_string(NULL_REJECTION_LIMIT(null_point.runs)) + " in 99 % of sweeps; ";
      if (test == Test::FISHER) {
        warning +=
            "its power is not offered as an answer. Give the exact test at least 20000 counted steps "
            "per locus (batches x steps per batch on line 3 of the template, e.g. 1000 100 200), "
            "or read the chi-square test";
      } else {
        warning +=
            "its power is not offered as an answer. The chi-square approximation does not hold for "
            "these samples: take larger samples, merge rare alleles, or read the exact test";
      }
      warnings.push_back(warning);
    }
  }
  return warnings;
}

}  // namespace korvel::sweep
