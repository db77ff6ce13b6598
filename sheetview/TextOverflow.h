#pragma once

#include <QRectF>
#include <functional>
#include <vector>

#include "workbook/Workbook.h"

namespace spreadsheet {

// Texts that spill out of their cell across empty neighbours, as spreadsheets show them:
// only texts (numbers stay in their cell), not wrapped, outside merges; left- and
// general-aligned texts run right, right-aligned ones left, centred ones both ways, and a
// text stops at the first neighbour that holds a value.
class TextOverflow {
 public:
  // Left edge and width of a column in paint coordinates (pixels at 96 dpi).
  using ColumnGeometry = std::function<std::pair<double, double>(int column)>;
  struct Spill {
    CellAddress source;
    QRectF extent;  // where the whole text lies, wider than its cell
  };

  // Where a cell's text lies: its own rectangle, or wider when the text does not fit and may spill.
  static QRectF Extent(const Workbook& workbook, const Worksheet& sheet, CellAddress cell, const QRectF& cellRect);
  // The texts of other cells in the row that reach into the empty cell `into`. `firstColumn`
  // and `lastColumn` bound the columns considered (a printed band).
  static std::vector<Spill> Into(const Workbook& workbook, const Worksheet& sheet, CellAddress into, double top,
                                 double height, const ColumnGeometry& geometry, int firstColumn, int lastColumn);
  static bool Spills(const Workbook& workbook, const Worksheet& sheet, CellAddress cell);
};

}  // namespace spreadsheet
