#pragma once

#include <string>
#include <string_view>

#include "workbook/Worksheet.h"
#include "xlsx/write/SheetExtras.h"
#include "xlsx/splice/XmlSplice.h"

namespace spreadsheet {

// The elements of a sheet part the model owns, written from a Worksheet with the given
// namespace prefix ("" or "x:"). Cell style ids are the file's cell format indices. Numbers
// are written shortest and exact; texts inline (a shared-strings part stays as it was), their
// bytes that start no well-formed UTF-8 sequence as U+FFFD. Throws SpreadsheetError 1004 (no
// file name) naming sheet and cell for a number that is NaN or infinite and a text longer
// than 32,767 characters. What the file held beyond the model (`kept`) goes back on the rows,
// columns and boolean cells it was on.
class SheetXml {
 public:
  // Written to `out` in pieces of about 64 KiB, each ending with a whole row.
  static void SheetData(const Worksheet& sheet, std::string_view prefix, const SheetExtras& kept,
                        const XmlOutput& out);
  static std::string Dimension(const Worksheet& sheet, std::string_view prefix);
  static std::string Cols(const Worksheet& sheet, std::string_view prefix, const SheetExtras& kept);  // "" when none
  static std::string MergeCells(const Worksheet& sheet, std::string_view prefix);  // "" when none
  static std::string PrintOptions(const PrintSetup& p, std::string_view prefix);   // "" when default
  static std::string PageMargins(const PrintSetup& p, std::string_view prefix);
  // `kept`: the file's own attributes the model does not hold (scale, the printer's settings'
  // relation, …), as written, each after a space.
  static std::string PageSetup(const PrintSetup& p, std::string_view prefix, std::string_view kept = {});
  static std::string HeaderFooter(const PrintSetup& p, std::string_view prefix);  // "" when neither
  static std::string RowBreaks(const PrintSetup& p, std::string_view prefix);     // "" when none
  static std::string Pane(const FrozenPane& pane, std::string_view prefix);        // "" when none

  // Text for character data or an attribute value: &, <, >, " escaped, malformed UTF-8
  // repaired. Cell text also carries control characters other than tab and line breaks as
  // _xHHHH_, and a literal "_xHHHH_" with its underscore escaped, as spreadsheet files do.
  static void AppendEscaped(std::string& out, std::string_view text, bool cellText = false);
  // A stored column width (with the 5-pixel padding) for a shown width in characters.
  static double StoredWidth(double characters);
};

}  // namespace spreadsheet
