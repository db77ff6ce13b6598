#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace spreadsheet {

// One series of a scatter chart: its name and the ranges of its x and y values as a
// spreadsheet writes them in a chart ("'纵断面'!$B$5:$B$65536"). Empty cells are skipped and
// the line drawn across them.
struct ChartSeries {
  std::string name;
  std::string xValues;
  std::string yValues;
  std::uint32_t color = 0;  // 0xRRGGBB
  bool line = true;         // points joined by a line
  bool marker = false;      // each point marked (a small filled square)
  bool dashed = false;
};

// A scatter chart drawn over a sheet, its corners anchored to cells (0-based row and column
// indices, the chart spans [from, to)). Texts are the chart's own (titles in the file).
struct ScatterChart {
  std::string title;
  std::string xTitle;
  std::string yTitle;
  std::vector<ChartSeries> series;
  int fromRow = 0, fromColumn = 0, toRow = 20, toColumn = 8;
};

}  // namespace spreadsheet
