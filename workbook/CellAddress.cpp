#include "workbook/CellAddress.h"

#include "workbook/SpreadsheetError.h"

namespace spreadsheet {

namespace {

[[noreturn]] void BadAddress(std::string_view text) {
  throw SpreadsheetError(SpreadsheetError::kApplicationDefined,
                         "无效的单元格地址“" + std::string(text) + "”");
}

bool IsLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

}  // namespace

CellAddress CellAddress::Parse(std::string_view text) {
  std::size_t i = 0;
  if (i < text.size() && text[i] == '$') ++i;
  long column = 0;
  std::size_t letters = 0;
  while (i < text.size() && IsLetter(text[i])) {
    char c = text[i];
    if (c >= 'a') c = static_cast<char>(c - 'a' + 'A');
    column = column * 26 + (c - 'A' + 1);
    if (++letters > 3) BadAddress(text);
    ++i;
  }
  if (letters == 0) BadAddress(text);
  if (i < text.size() && text[i] == '$') ++i;
  long row = 0;
  std::size_t digits = 0;
  while (i < text.size() && IsDigit(text[i])) {
    row = row * 10 + (text[i] - '0');
    if (++digits > 6) BadAddress(text);
    ++i;
  }
  if (digits == 0 || i != text.size()) BadAddress(text);
  if (column > kMaxColumns || row < 1 || row > kMaxRows) BadAddress(text);
  return CellAddress{static_cast<int>(row - 1), static_cast<int>(column - 1)};
}

std::string CellAddress::ColumnName(int column) {
  std::string name;
  int n = column + 1;
  while (n > 0) {
    int rem = (n - 1) % 26;
    name.insert(name.begin(), static_cast<char>('A' + rem));
    n = (n - 1) / 26;
  }
  return name;
}

std::string CellAddress::ToString() const { return ColumnName(column) + std::to_string(row + 1); }

}  // namespace spreadsheet
