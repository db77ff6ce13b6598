#pragma once

#include <string>
#include <vector>

#include "workbook/ScatterChart.h"

namespace spreadsheet {

// The DrawingML parts of a sheet's charts, as spreadsheet programs read them: one drawing part
// holding an anchor per chart, its relationships, and one chart part per chart (a scatter chart
// with lines, series by reference, blanks spanned, titles and axis titles as given).
class ChartXml {
 public:
  // The drawing part: chart i's anchor refers to the relationship "rId<i + 1>".
  static std::string Drawing(const std::vector<ScatterChart>& charts);
  // The drawing's relationships to "../charts/chart<firstChart + i>.xml".
  static std::string DrawingRels(std::size_t count, int firstChart);
  static std::string Chart(const ScatterChart& chart);
};

}  // namespace spreadsheet
