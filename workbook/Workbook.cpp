#include "workbook/Workbook.h"

#include <algorithm>
#include <functional>
#include <stdexcept>
#include <utility>

#include "workbook/SpreadsheetError.h"

namespace spreadsheet {

namespace {

std::size_t Mix(std::size_t seed, std::size_t v) { return seed ^ (v + 0x9e3779b97f4a7c15ull + (seed << 6) + (seed >> 2)); }

}  // namespace

std::size_t CellStyleHash::operator()(const CellStyle& s) const noexcept {
  std::size_t h = std::hash<std::string>{}(s.numberFormat);
  h = Mix(h, std::hash<std::string>{}(s.fontName));
  h = Mix(h, std::hash<double>{}(s.fontSize));
  h = Mix(h, (std::size_t{s.bold} << 0) | (std::size_t{s.italic} << 1) | (std::size_t{s.wrapText} << 2) |
                 (static_cast<std::size_t>(s.horizontal) << 3) | (static_cast<std::size_t>(s.vertical) << 6));
  h = Mix(h, s.fontColor ? *s.fontColor + 1 : 0);
  h = Mix(h, s.fill ? *s.fill + 1 : 0);
  for (const Border* b : {&s.left, &s.right, &s.top, &s.bottom}) {
    h = Mix(h, (std::size_t{b->color} << 8) | static_cast<std::size_t>(b->style));
  }
  return h;
}

Workbook::Workbook() : styles_{CellStyle{}}, styleIds_{{CellStyle{}, 0}} {}

Workbook::Workbook(const Workbook& other)
    : styles_(other.styles_),
      styleIds_(other.styleIds_),
      origin_(other.origin_),
      active_(other.active_),
      dates_(other.dates_),
      names_(other.names_),
      modified_(other.modified_) {
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

Worksheet& Workbook::AddSheet(Worksheet sheet) {
  Worksheet& added = AddSheet(sheet.Name());
  added = std::move(sheet);
  return added;
}

Worksheet& Workbook::AddSheetCopy(const Workbook& source, const Worksheet& sheet) {
  Worksheet copy = sheet;
  copy.SetOrigin(SheetOrigin{});
  // Source ids met so far and their ids here: a sheet uses a handful of styles.
  std::unordered_map<std::uint32_t, std::uint32_t> ids;
  auto here = [&](std::uint32_t id) {
    auto [it, added] = ids.try_emplace(id, 0);
    if (added) it->second = InternStyle(source.Style(id));
    return it->second;
  };
  for (int r = 0; r < copy.RowExtent(); ++r) {
    const int columns = static_cast<int>(copy.Row(r).size());
    for (int c = 0; c < columns; ++c) {
      const CellAddress at{r, c};
      if (const Cell* cell = copy.FindCell(at); cell && cell->style != 0) copy.SetStyle(at, here(cell->style));
    }
  }
  for (const auto& [column, style] : sheet.ColumnStyles()) copy.SetColumnStyle(column, here(style));
  return AddSheet(std::move(copy));
}

Worksheet Workbook::RemoveSheet(std::size_t index) {
  if (index >= sheets_.size()) throw std::out_of_range("sheet index");
  Worksheet removed = std::move(*sheets_[index]);
  sheets_.erase(sheets_.begin() + static_cast<std::ptrdiff_t>(index));
  if (active_ > index || (active_ == index && active_ > 0)) --active_;
  return removed;
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
  if (auto it = styleIds_.find(style); it != styleIds_.end()) return it->second;
  return AppendStyle(style);
}

std::uint32_t Workbook::AppendStyle(const CellStyle& style, bool first) {
  if (first) {
    styles_.assign(1, style);
    styleIds_.clear();
    styleIds_.emplace(style, 0);
    return 0;
  }
  styles_.push_back(style);
  const auto id = static_cast<std::uint32_t>(styles_.size() - 1);
  styleIds_.try_emplace(style, id);
  return id;
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
      // Cells that have the format already are left alone (and their rows unchanged).
      if (it->second != old) sheet.SetStyle(a, it->second);
    }
  }
}

}  // namespace spreadsheet
