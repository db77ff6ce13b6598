#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "workbook/Workbook.h"

namespace spreadsheet {

// Appends the workbook's styles from `first` on to a styles part as new cell formats (with the
// number formats, fonts, fills and borders they need), so style id = cell format index holds
// for all of them; every existing entry, dxfs included, stays as it was. Throws
// SpreadsheetError 1004 (naming the part) when the part has no style sheet.
class StylesPatch {
 public:
  static std::string Append(std::string_view xml, const std::string& part, const Workbook& wb, std::uint32_t first);
};

}  // namespace spreadsheet
