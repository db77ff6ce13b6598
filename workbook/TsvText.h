#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace spreadsheet {

// The tab-separated text that spreadsheets put on the clipboard: cells separated by tabs,
// rows by line breaks, a cell holding a tab, a line break or a leading quote written in
// double quotes with inner quotes doubled.
class TsvText {
 public:
  using Rows = std::vector<std::vector<std::string>>;

  // Rows end in "\n", the last one too, as the clipboard carries them.
  static std::string Format(const Rows& rows);
  // Accepts "\r\n", "\n" and "\r" line ends; one trailing line end is not an extra row.
  // Rows keep their own lengths (ragged input stays ragged).
  static Rows Parse(std::string_view text);
};

}  // namespace spreadsheet
