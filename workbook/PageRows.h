#pragma once

#include <optional>
#include <vector>

#include "workbook/CellRange.h"
#include "workbook/Workbook.h"

namespace spreadsheet {

// How the rows of a sheet fall on printed pages, measured as SheetMetrics measures them
// (pixels at 96 dpi): the repeated rows head every page after the first, a manual break
// (PrintSetup::rowBreaks) starts a page, and a page ends where the next row would not fit.
class PageRows {
 public:
  // From A1 to the last row and column holding a value, a bordered or filled cell, or a merge;
  // nothing for a sheet without any.
  static std::optional<CellRange> PrintRange(const Workbook& workbook, const Worksheet& sheet);
  // Width and height of the paper of `setup` (its code, unknown codes as A4, turned for
  // landscape) inside its margins, in pixels at 96 dpi.
  static double PrintableWidth(const PrintSetup& setup);
  static double PrintableHeight(const PrintSetup& setup);
  // The factor (at most 1) by which the columns of `range` are scaled to fit the pages across
  // that the setup asks for, `printableWidth` wide each.
  static double Fit(const Worksheet& sheet, const CellRange& range, double printableWidth);
  // The rows of every page down `range`, the repeated ones included, on pages `usableHeight`
  // high in unscaled pixels. `keepBlocks`: a block of filled rows that follows an empty row
  // (the check block under a field book) starts a new page rather than being split, unless it
  // is longer than a page.
  static std::vector<std::vector<int>> Pages(const Worksheet& sheet, const CellRange& range, double usableHeight,
                                             bool keepBlocks);
  // The rows that start the pages after the first down the print range, blocks kept whole, on
  // pages kSafeShare of the height the paper gives: a spreadsheet program that measures rows
  // and columns a little differently fits at least as many rows on a page, so these rows set
  // as manual breaks make the same pages everywhere. Empty for a sheet with nothing to print.
  static constexpr double kSafeShare = 0.96;
  static std::vector<int> Starts(const Workbook& workbook, const Worksheet& sheet);
};

}  // namespace spreadsheet
