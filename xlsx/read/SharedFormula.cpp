#include "xlsx/read/SharedFormula.h"

#include <cctype>

#include "workbook/CellAddress.h"

namespace spreadsheet {

namespace {

bool IsAlpha(char c) { return std::isalpha(static_cast<unsigned char>(c)) != 0; }
bool IsDigit(char c) { return std::isdigit(static_cast<unsigned char>(c)) != 0; }
bool IsNameChar(char c) { return IsAlpha(c) || IsDigit(c) || c == '_' || c == '.' || c == '\\'; }

struct Part {
  bool absolute = false;
  int value = 0;  // 0-based column or row
  std::size_t end = 0;
};

// "$AB" at pos: a column part of 1 to 3 letters.
bool ParseColumn(std::string_view s, std::size_t pos, Part& out) {
  std::size_t i = pos;
  out.absolute = i < s.size() && s[i] == '$';
  if (out.absolute) ++i;
  const std::size_t start = i;
  int col = 0;
  while (i < s.size() && IsAlpha(s[i]) && i - start < 4) {
    col = col * 26 + (std::toupper(static_cast<unsigned char>(s[i])) - 'A' + 1);
    ++i;
  }
  if (i == start || i - start > 3) return false;
  out.value = col - 1;
  out.end = i;
  return true;
}

// "$12" at pos: a row part.
bool ParseRow(std::string_view s, std::size_t pos, Part& out) {
  std::size_t i = pos;
  out.absolute = i < s.size() && s[i] == '$';
  if (out.absolute) ++i;
  const std::size_t start = i;
  long row = 0;
  while (i < s.size() && IsDigit(s[i]) && i - start < 8) {
    row = row * 10 + (s[i] - '0');
    ++i;
  }
  if (i == start || (i < s.size() && IsDigit(s[i])) || row == 0) return false;
  out.value = static_cast<int>(row - 1);
  out.end = i;
  return true;
}

// A reference ends where no name character, '(' or '!' follows.
bool EndsReference(std::string_view s, std::size_t i) {
  return i >= s.size() || !(IsNameChar(s[i]) || s[i] == '(' || s[i] == '!' || s[i] == '$');
}

bool Move(Part& p, int offset, int limit) {
  if (p.absolute) return true;
  p.value += offset;
  return p.value >= 0 && p.value < limit;
}

// Appended rather than "$" + text: gcc 12 at -O3 sees a false overlap (-Wrestrict) in the latter.
std::string ColumnText(const Part& p) {
  std::string text(p.absolute ? 1 : 0, '$');
  text.append(CellAddress::ColumnName(p.value));
  return text;
}
std::string RowText(const Part& p) {
  std::string text(p.absolute ? 1 : 0, '$');
  text.append(std::to_string(p.value + 1));
  return text;
}

}  // namespace

std::string SharedFormula::Shift(std::string_view s, int rowOffset, int columnOffset) {
  std::string out;
  out.reserve(s.size() + 8);
  std::size_t i = 0;
  while (i < s.size()) {
    const char c = s[i];
    if (c == '"' || c == '\'') {
      // Text literal or quoted sheet name; a doubled quote is an escaped one.
      std::size_t j = i + 1;
      while (j < s.size()) {
        if (s[j] == c) {
          if (j + 1 < s.size() && s[j + 1] == c) {
            j += 2;
            continue;
          }
          break;
        }
        ++j;
      }
      const std::size_t end = j < s.size() ? j + 1 : s.size();
      out.append(s.substr(i, end - i));
      i = end;
      continue;
    }
    const bool tokenStart = i == 0 || !(IsNameChar(s[i - 1]) || s[i - 1] == '$');
    if (tokenStart && (c == '$' || IsAlpha(c) || IsDigit(c))) {
      Part col, row, col2, row2;
      // Cell reference A1.
      if (ParseColumn(s, i, col) && ParseRow(s, col.end, row) && EndsReference(s, row.end)) {
        const bool ok = Move(col, columnOffset, CellAddress::kMaxColumns) && Move(row, rowOffset, CellAddress::kMaxRows);
        out += ok ? ColumnText(col) + RowText(row) : "#REF!";
        i = row.end;
        continue;
      }
      // Whole columns A:C.
      if (ParseColumn(s, i, col) && col.end < s.size() && s[col.end] == ':' && ParseColumn(s, col.end + 1, col2) &&
          EndsReference(s, col2.end) && (col2.end >= s.size() || !IsDigit(s[col2.end]))) {
        const bool ok = Move(col, columnOffset, CellAddress::kMaxColumns) && Move(col2, columnOffset, CellAddress::kMaxColumns);
        out += ok ? ColumnText(col) + ":" + ColumnText(col2) : "#REF!";
        i = col2.end;
        continue;
      }
      // Whole rows 1:3.
      if (ParseRow(s, i, row) && row.end < s.size() && s[row.end] == ':' && ParseRow(s, row.end + 1, row2) &&
          EndsReference(s, row2.end)) {
        const bool ok = Move(row, rowOffset, CellAddress::kMaxRows) && Move(row2, rowOffset, CellAddress::kMaxRows);
        out += ok ? RowText(row) + ":" + RowText(row2) : "#REF!";
        i = row2.end;
        continue;
      }
      // Any other name or number: copy it whole so that its tail is not taken for a reference.
      std::size_t j = i;
      while (j < s.size() && (IsNameChar(s[j]) || s[j] == '$')) ++j;
      out.append(s.substr(i, j - i));
      i = j;
      continue;
    }
    out += c;
    ++i;
  }
  return out;
}

}  // namespace spreadsheet
