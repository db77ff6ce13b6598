#include "numfmt/BuiltinNumberFormats.h"

#include <array>
#include <utility>

namespace spreadsheet {

namespace {

constexpr std::array<std::pair<int, std::string_view>, 50> kBuiltins{{
    {0, "General"},
    {1, "0"},
    {2, "0.00"},
    {3, "#,##0"},
    {4, "#,##0.00"},
    {9, "0%"},
    {10, "0.00%"},
    {11, "0.00E+00"},
    {12, "# ?/?"},
    {13, "# ?\?/?\?"},
    {14, "yyyy/m/d"},
    {15, "[$-804]d-mmm-yy"},
    {16, "[$-804]d-mmm"},
    {17, "[$-804]mmm-yy"},
    {18, "[$-804]h:mm AM/PM"},
    {19, "[$-804]h:mm:ss AM/PM"},
    {20, "h:mm"},
    {21, "h:mm:ss"},
    {22, "yyyy/m/d h:mm"},
    {27, "yyyy\"年\"m\"月\""},
    {28, "m\"月\"d\"日\""},
    {29, "m\"月\"d\"日\""},
    {30, "m-d-yy"},
    {31, "yyyy\"年\"m\"月\"d\"日\""},
    {32, "h\"时\"mm\"分\""},
    {33, "h\"时\"mm\"分\"ss\"秒\""},
    {34, "上午/下午h\"时\"mm\"分\""},
    {35, "上午/下午h\"时\"mm\"分\"ss\"秒\""},
    {36, "yyyy\"年\"m\"月\""},
    {37, "#,##0 ;(#,##0)"},
    {38, "#,##0 ;[Red](#,##0)"},
    {39, "#,##0.00;(#,##0.00)"},
    {40, "#,##0.00;[Red](#,##0.00)"},
    {41, "_(* #,##0_);_(* (#,##0);_(* \"-\"_);_(@_)"},
    {42, "_(\"$\"* #,##0_);_(\"$\"* (#,##0);_(\"$\"* \"-\"_);_(@_)"},
    {43, "_(* #,##0.00_);_(* (#,##0.00);_(* \"-\"??_);_(@_)"},
    {44, "_(\"$\"* #,##0.00_);_(\"$\"* (#,##0.00);_(\"$\"* \"-\"??_);_(@_)"},
    {45, "mm:ss"},
    {46, "[h]:mm:ss"},
    {47, "mmss.0"},
    {48, "##0.0E+0"},
    {50, "yyyy\"年\"m\"月\""},
    {51, "m\"月\"d\"日\""},
    {52, "yyyy\"年\"m\"月\""},
    {53, "m\"月\"d\"日\""},
    {54, "m\"月\"d\"日\""},
    {55, "上午/下午h\"时\"mm\"分\""},
    {56, "上午/下午h\"时\"mm\"分\"ss\"秒\""},
    {57, "yyyy\"年\"m\"月\""},
    {58, "m\"月\"d\"日\""},
}};

constexpr int kText = 49;

}  // namespace

std::optional<std::string_view> BuiltinNumberFormats::Code(int id) {
  if (id == kText) return std::string_view("@");
  for (const auto& [i, code] : kBuiltins) {
    if (i == id) return code;
  }
  return std::nullopt;
}

int BuiltinNumberFormats::IdOf(std::string_view code) {
  if (code == "@") return kText;
  for (const auto& [i, c] : kBuiltins) {
    // Ids 15 to 19 (month names, AM/PM), 27 to 36 and 50 to 58 show otherwise in other
    // locales: a file writes these codes out.
    if ((i >= 15 && i <= 19) || (i >= 27 && i <= 36) || (i >= 50 && i <= 58)) continue;
    if (c == code) return i;
  }
  return -1;
}

}  // namespace spreadsheet
