#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "workbook/Workbook.h"

namespace spreadsheet {

// A compact binary image of a whole Workbook (sheets, cells, styles, layout, print setup,
// frozen panes, active sheet, where it was read from except the package's bytes), used to hand a workbook read in a child process back to its parent.
// Native byte order: image and reader live on the same machine.
class WorkbookSerializer {
 public:
  static std::string Serialize(const Workbook& wb);
  // The same image handed to `sink` piece by piece (about a megabyte each), as it is made.
  using Sink = std::function<void(std::string_view piece)>;
  static void Serialize(const Workbook& wb, const Sink& sink);
  // Throws SpreadsheetError 1004 when the image is truncated or inconsistent.
  static Workbook Deserialize(std::string_view image);
};

}  // namespace spreadsheet
