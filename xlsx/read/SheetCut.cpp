#include "xlsx/read/SheetCut.h"

#include <charconv>

namespace spreadsheet {

std::optional<SheetCut> SheetCut::Find(std::string_view xml, std::size_t from) {
  constexpr long kFileRows = 1048576;
  if (xml.size() < from) return std::nullopt;
  SheetCut cut;
  const std::size_t open = xml.find("<sheetData");
  const std::size_t close = xml.rfind("</sheetData>");
  if (open == std::string_view::npos || close == std::string_view::npos || close < open) return std::nullopt;
  const std::size_t gt = xml.find('>', open);
  if (gt == std::string_view::npos || gt >= close || xml[gt - 1] == '/' || xml[close - 1] != '>')
    return std::nullopt;
  cut.dataStart = gt + 1;
  cut.dataEnd = close;
  const std::size_t at = xml.find("><row ", cut.dataStart + (cut.dataEnd - cut.dataStart) / 2);
  if (at == std::string_view::npos || at + 1 >= cut.dataEnd) return std::nullopt;
  cut.split = at + 1;
  const std::size_t tagEnd = xml.find('>', cut.split);
  const std::string_view tag = xml.substr(cut.split, tagEnd - cut.split);
  const std::size_t r = tag.find(" r=\"");
  if (r == std::string_view::npos) return std::nullopt;
  const std::string_view digits = tag.substr(r + 4);
  long row = 0;
  const auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), row);
  if (ec != std::errc{} || end == digits.data() + digits.size() || *end != '"' || row < 1 ||
      row > kFileRows) {
    return std::nullopt;
  }
  cut.firstRow = static_cast<int>(row - 1);
  return cut;
}

}  // namespace spreadsheet
