#include "workbook/Workbook.h"

#include <algorithm>
#include <stdexcept>
#include <utility>

#include "workbook/SpreadsheetError.h"

namespace spreadsheet {

Workbook::Workbook() : styles_{CellStyle{}} {}

Workbook::Workbook(const Workbook& other)
    : styles_(other.styles_), active_(other.active_), modified_(other.modified_) {
  sheets_.reserve(other.sheets_.size());
  for (const auto& s : other.sheets_) sheets_.push_back(std::make_unique<Worksheet>(*s));
}

Workbook& Workbook::operator=(const Workbook& other) {
  if (this != &other) {
    Workbook copy(other);
    *this = std::move(copy);
  }
  return *this;
}

Worksheet& Workbook::AddSheet(std::string name) {
  if (name.empty()) throw SpreadsheetError(SpreadsheetError::kApplicationDefined, "工作表名称不能为空");
  if (IndexOf(name) >= 0) {
    throw SpreadsheetError(SpreadsheetError::kApplicationDefined, "工作表“" + name + "”已存在");
  }
  sheets_.push_back(std::make_unique<Worksheet>(std::move(name)));
  return *sheets_.back();
}

Worksheet* Workbook::FindSheet(std::string_view name) {
  int i = IndexOf(name);
  return i < 0 ? nullptr : sheets_[static_cast<std::size_t>(i)].get();
}

const Worksheet* Workbook::FindSheet(std::string_view name) const {
  int i = IndexOf(name);
  return i < 0 ? nullptr : sheets_[static_cast<std::size_t>(i)].get();
}

int Workbook::IndexOf(std::string_view name) const {
  for (std::size_t i = 0; i < sheets_.size(); ++i) {
    if (sheets_[i]->Name() == name) return static_cast<int>(i);
  }
  return -1;
}

void Workbook::SetActiveSheet(std::size_t index) {
  if (index >= sheets_.size()) throw std::out_of_range("sheet index");
  active_ = index;
}

std::uint32_t Workbook::InternStyle(const CellStyle& style) {
  auto it = std::find(styles_.begin(), styles_.end(), style);
  if (it != styles_.end()) return static_cast<std::uint32_t>(it - styles_.begin());
  styles_.push_back(style);
  return static_cast<std::uint32_t>(styles_.size() - 1);
}

void Workbook::SetNumberFormat(Worksheet& sheet, const CellRange& range, const std::string& code) {
  // A book's columns share a handful of styles: look each one up once.
  std::vector<std::pair<std::uint32_t, std::uint32_t>> changed;
  for (int r = range.first.row; r <= range.last.row; ++r) {
    for (int c = range.first.column; c <= range.last.column; ++c) {
      const CellAddress a{r, c};
      const std::uint32_t old = sheet.StyleAt(a);
      auto it = std::find_if(changed.begin(), changed.end(), [old](const auto& p) { return p.first == old; });
      if (it == changed.end()) {
        CellStyle style = Style(old);
        style.numberFormat = code;
        it = changed.insert(changed.end(), {old, InternStyle(style)});
      }
      sheet.SetStyle(a, it->second);
    }
  }
}

}  // namespace spreadsheet
