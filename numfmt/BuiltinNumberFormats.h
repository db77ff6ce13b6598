#pragma once

#include <optional>
#include <string_view>

namespace spreadsheet {

// The number formats that workbook files reference by id alone (numFmtId below 164) and
// the codes they stand for, as a Chinese-locale spreadsheet shows them (id 14 = "yyyy/m/d",
// id 15 = "[$-804]d-mmm-yy": month names and AM/PM in Chinese, "2-1月-24", "6:00 下午").
class BuiltinNumberFormats {
 public:
  static std::optional<std::string_view> Code(int id);  // nullopt for ids without a fixed code
  // The id a file may write for a code; -1 when the code is not built in or its id shows
  // otherwise in other locales (15 to 19, 27 to 36, 50 to 58).
  static int IdOf(std::string_view code);
};

}  // namespace spreadsheet
