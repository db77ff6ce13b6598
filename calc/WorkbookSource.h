#pragma once

#include "calc/CellSource.h"
#include "calc/Formula.h"
#include "workbook/Workbook.h"

namespace spreadsheet::calc {

// The cells of a Workbook as formulas read them: each cell's stored value (for a formula cell
// its cached result). The workbook must outlive this object.
class WorkbookSource : public CellSource {
 public:
  explicit WorkbookSource(const Workbook& workbook) : workbook_(workbook) {}

  std::optional<std::size_t> FindSheet(std::string_view name) const override;
  Value CellValue(std::size_t sheet, CellAddress at) const override;
  int RowExtent(std::size_t sheet) const override;
  int ColumnExtent(std::size_t sheet) const override;

 private:
  const Workbook& workbook_;
};

// The names of `workbook` as a formula on its sheet `sheet` sees them: that sheet's own first,
// then the workbook's; compared as sheet names are. Empty when the workbook defines none. The
// workbook must outlive the lookup.
NameLookup NamesSeenFrom(const Workbook& workbook, std::size_t sheet);

// Sheet names compare as spreadsheets compare them: ASCII letters case-insensitively, every
// other byte exactly.
bool SameSheetName(std::string_view a, std::string_view b);

}  // namespace spreadsheet::calc
