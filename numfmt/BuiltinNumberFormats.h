#pragma once

#include <optional>
#include <string_view>

namespace spreadsheet {

// The number formats that workbook files reference by id alone (numFmtId below 164) and
// the codes they stand for, as a Chinese-locale spreadsheet shows them (id 14 = "yyyy/m/d").
class BuiltinNumberFormats {
 public:
  static std::optional<std::string_view> Code(int id);  // nullopt for ids without a fixed code
  static int IdOf(std::string_view code);               // -1 when the code is not built in
};

}  // namespace spreadsheet
