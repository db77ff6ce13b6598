#pragma once

#include "workbook/Worksheet.h"

namespace spreadsheet {

// Sizes of a sheet's columns and rows in pixels at 96 dpi, as a spreadsheet shows them with
// its default font (a digit 7 pixels wide): a width of w characters is w × 7 + 5 pixels, a
// height of h points is h × 96 / 72 pixels.
class SheetMetrics {
 public:
  static constexpr double kDefaultColumnCharacters = 8.43;  // 64 pixels
  static constexpr double kDefaultRowPoints = 15;           // 20 pixels

  static int ColumnPixels(double characters);
  static int RowPixels(double points);
  static int ColumnWidth(const Worksheet& sheet, int column);
  static int RowHeight(const Worksheet& sheet, int row);
};

}  // namespace spreadsheet
