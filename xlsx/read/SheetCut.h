#pragma once

#include <cstddef>
#include <optional>
#include <string_view>

namespace spreadsheet {

// Where a large worksheet's XML may be cut so that its rows are read in two halves at once: at
// a row near the middle of its unprefixed sheetData (from the first start tag to the last end
// tag) that names its row number and follows a tag's end directly ("><row r=…"), where the
// end tag also follows one. Only a place to try: the readers of the halves check that each
// seam lies between the rows' elements (a comment, a CDATA section or a nested element around
// it is found there) and give the halves up otherwise.
struct SheetCut {
  std::size_t dataStart = 0;  // just past sheetData's start tag
  std::size_t split = 0;      // the "<" of the first row read apart
  std::size_t dataEnd = 0;    // the "<" of sheetData's end tag (its last one)
  int firstRow = 0;           // 0-based number of the row at `split`

  // nullopt for a text under `from` bytes or without such a place.
  static std::optional<SheetCut> Find(std::string_view xml, std::size_t from);
};

}  // namespace spreadsheet
