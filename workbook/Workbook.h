#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "workbook/CellStyle.h"
#include "workbook/DateSystem.h"
#include "workbook/Worksheet.h"

namespace spreadsheet {

// The file a workbook was read from, kept whole so that a save can write every part the model
// does not hold back out as it came, even after the file was moved or deleted.
struct PackageOrigin {
  std::shared_ptr<const std::string> bytes;  // the file's content
  std::uint32_t styleCount = 0;  // styles [0, styleCount) are the file's cell formats, in order
  std::size_t activeSheet = 0;   // the active sheet as read
};

// A name the workbook's file defines (<definedName>), other than the file's own (_xlnm.*):
// `formula` as the file writes it, without '=' ("'数据输入'!$E$6"); `sheet` the index of the
// model's sheet it is local to, or -1 for the whole workbook.
struct DefinedName {
  std::string name;
  int sheet = -1;
  std::string formula;
  friend bool operator==(const DefinedName&, const DefinedName&) = default;
};

// Named sheets plus one table of distinct cell styles (index 0 is the default style), the
// active sheet and a modified flag. Sheets keep their addresses while the workbook lives.
class Workbook {
 public:
  Workbook();
  Workbook(const Workbook& other);
  Workbook& operator=(const Workbook& other);
  Workbook(Workbook&&) noexcept = default;
  Workbook& operator=(Workbook&&) noexcept = default;

  // Throws SpreadsheetError 1004 when the name is empty or taken.
  Worksheet& AddSheet(std::string name);
  // Appends `sheet` as it is, its style ids already this workbook's (a sheet taken out by
  // RemoveSheet put back). Throws 1004 as above.
  Worksheet& AddSheet(Worksheet sheet);
  // Appends a copy of `sheet`, a sheet of `source` (another workbook): cells, widths, heights,
  // merges, page setup, frozen pane and charts, every cell and column style looked up in this
  // workbook's table (added when new). The copy is a sheet made here (no origin in a file).
  // Throws 1004 as above.
  Worksheet& AddSheetCopy(const Workbook& source, const Worksheet& sheet);
  // Takes the sheet at `index` out; the active sheet stays the sheet it was, or becomes the one
  // before it when that one goes. Throws std::out_of_range.
  Worksheet RemoveSheet(std::size_t index);
  Worksheet* FindSheet(std::string_view name);
  const Worksheet* FindSheet(std::string_view name) const;
  int IndexOf(std::string_view name) const;  // -1 when absent
  Worksheet& SheetAt(std::size_t index) { return *sheets_.at(index); }
  const Worksheet& SheetAt(std::size_t index) const { return *sheets_.at(index); }
  std::size_t SheetCount() const { return sheets_.size(); }

  std::size_t ActiveSheet() const { return active_; }
  void SetActiveSheet(std::size_t index);  // throws std::out_of_range

  const CellStyle& Style(std::uint32_t id) const { return styles_.at(id); }
  std::uint32_t InternStyle(const CellStyle& style);  // the id of an equal style, added when new
  // Adds a style even when an equal one exists (a file's formats keep their numbers); the
  // first of equal styles is the one InternStyle finds. Replaces the default when `first`.
  std::uint32_t AppendStyle(const CellStyle& style, bool first = false);
  std::size_t StyleCount() const { return styles_.size(); }
  // Gives every cell of `range` on `sheet` (one of this workbook's) the number format `code`,
  // the rest of each cell's style (its own or its column's) kept.
  void SetNumberFormat(Worksheet& sheet, const CellRange& range, const std::string& code);

  const PackageOrigin* Origin() const { return origin_ ? &*origin_ : nullptr; }
  void SetOrigin(std::optional<PackageOrigin> origin) { origin_ = std::move(origin); }

  // The day date serials count from (a file's <workbookPr date1904="1"/>); every cell shows its
  // dates by it.
  DateSystem Dates() const { return dates_; }
  void SetDates(DateSystem dates) { dates_ = dates; }
  // The names as read; formulas use them (see calc::NameLookup). Not written by a save: the
  // file's workbook part keeps them.
  const std::vector<DefinedName>& DefinedNames() const { return names_; }
  void SetDefinedNames(std::vector<DefinedName> names) { names_ = std::move(names); }

  bool IsModified() const { return modified_; }
  void SetModified(bool modified) { modified_ = modified; }

 private:
  std::vector<std::unique_ptr<Worksheet>> sheets_;
  std::vector<CellStyle> styles_;
  std::unordered_map<CellStyle, std::uint32_t, CellStyleHash> styleIds_;  // first id of each style
  std::optional<PackageOrigin> origin_;
  std::size_t active_ = 0;
  DateSystem dates_ = DateSystem::From1900;
  std::vector<DefinedName> names_;
  bool modified_ = false;
};

}  // namespace spreadsheet
