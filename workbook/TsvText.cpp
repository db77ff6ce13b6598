#include "workbook/TsvText.h"

namespace spreadsheet {

namespace {

bool NeedsQuotes(const std::string& cell) {
  return cell.find_first_of("\t\r\n") != std::string::npos || (!cell.empty() && cell.front() == '"');
}

}  // namespace

std::string TsvText::Format(const Rows& rows) {
  std::string out;
  for (const auto& row : rows) {
    for (std::size_t c = 0; c < row.size(); ++c) {
      if (c > 0) out += '\t';
      const std::string& cell = row[c];
      if (!NeedsQuotes(cell)) {
        out += cell;
        continue;
      }
      out += '"';
      for (char ch : cell) {
        if (ch == '"') out += '"';
        out += ch;
      }
      out += '"';
    }
    out += '\n';
  }
  return out;
}

TsvText::Rows TsvText::Parse(std::string_view text) {
  Rows rows;
  if (text.empty()) return rows;
  std::vector<std::string> row;
  std::string cell;
  std::size_t i = 0;
  bool rowOpen = false;
  while (i < text.size()) {
    rowOpen = true;
    if (cell.empty() && text[i] == '"') {
      // A quoted cell: runs to the quote that is not doubled; a quote that is not followed by a
      // separator means the cell was not quoted after all, and is taken literally.
      std::size_t j = i + 1;
      std::string quoted;
      bool closed = false;
      while (j < text.size()) {
        if (text[j] == '"') {
          if (j + 1 < text.size() && text[j + 1] == '"') {
            quoted += '"';
            j += 2;
            continue;
          }
          closed = true;
          ++j;
          break;
        }
        quoted += text[j++];
      }
      const bool atSeparator = j >= text.size() || text[j] == '\t' || text[j] == '\n' || text[j] == '\r';
      if (closed && atSeparator) {
        cell = std::move(quoted);
        i = j;
        continue;
      }
    }
    const char ch = text[i];
    if (ch == '\t') {
      row.push_back(std::move(cell));
      cell.clear();
      ++i;
    } else if (ch == '\n' || ch == '\r') {
      row.push_back(std::move(cell));
      cell.clear();
      rows.push_back(std::move(row));
      row.clear();
      rowOpen = false;
      i += (ch == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ? 2 : 1;
    } else {
      cell += ch;
      ++i;
    }
  }
  if (rowOpen) {
    row.push_back(std::move(cell));
    rows.push_back(std::move(row));
  }
  return rows;
}

}  // namespace spreadsheet
