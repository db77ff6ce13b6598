#include "workbook/SheetMetrics.h"

#include <algorithm>
#include <cmath>

namespace spreadsheet {

int SheetMetrics::ColumnPixels(double characters) {
  if (characters <= 0) return 0;
  return static_cast<int>(std::lround(characters * 7 + 5));
}

int SheetMetrics::RowPixels(double points) { return std::max(0, static_cast<int>(std::lround(points * 96 / 72))); }

int SheetMetrics::ColumnWidth(const Worksheet& sheet, int column) {
  return ColumnPixels(sheet.ColumnWidth(column).value_or(kDefaultColumnCharacters));
}

int SheetMetrics::RowHeight(const Worksheet& sheet, int row) {
  return RowPixels(sheet.RowHeight(row).value_or(kDefaultRowPoints));
}

}  // namespace spreadsheet
