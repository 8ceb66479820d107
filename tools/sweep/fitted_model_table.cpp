// The fitted model of a search as a table, model.csv: the same dense
// samples of each F'st's and test's curve that the figure draws, so that
// another drawing (an R figure, a spreadsheet) shows the very curve the
// answers were read from instead of fitting its own.
#include <string>

#include "figure.h"
#include "search.h"

namespace korvel::sweep {

std::string FITTED_MODEL_CSV(const SampleSizeFigure& figure, const std::string& axis_column) {
  std::string csv = "expected_fst,test," + axis_column + ",power\n";
  for (const FigureCurve& curve : figure.curves) {
    for (const auto& [x, power] : curve.fitted) {
      csv += FIXED_TEXT(curve.expected_fst, 6) + "," + TEST_NAME(curve.test) + "," + FIXED_TEXT(x, 4) + "," +
             FIXED_TEXT(power, 6) + "\n";
    }
  }
  return csv;
}

}  // namespace korvel::sweep
