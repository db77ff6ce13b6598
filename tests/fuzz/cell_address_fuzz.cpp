// A1 addresses and ranges as the host's callers pass them: any text either parses into the
// sheet and prints back to an equal address, or fails with SpreadsheetError 1004 quoting it.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "workbook/CellAddress.h"
#include "workbook/CellRange.h"
#include "tests/fuzz/FuzzInput.h"
#include "workbook/SpreadsheetError.h"

using levelbook::fuzz::Require;
using spreadsheet::CellAddress;
using spreadsheet::CellRange;
using spreadsheet::SpreadsheetError;

namespace {

bool InSheet(const CellAddress& a) {
  return a.row >= 0 && a.row < CellAddress::kMaxRows && a.column >= 0 && a.column < CellAddress::kMaxColumns;
}

void CheckRejection(const SpreadsheetError& e, std::string_view text) {
  Require(e.Number() == SpreadsheetError::kApplicationDefined, "error number 1004", text);
  Require(e.Description().find(text) != std::string::npos, "the error quotes the text", text);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  try {
    const CellAddress a = CellAddress::Parse(text);
    Require(InSheet(a), "parsed address inside the sheet", text);
    Require(CellAddress::Parse(a.ToString()) == a, "address prints back to itself", text);
    Require(CellAddress::Parse("$" + CellAddress::ColumnName(a.column) + "$" + std::to_string(a.row + 1)) == a,
            "absolute form parses alike", text);
  } catch (const SpreadsheetError& e) {
    CheckRejection(e, text);
  }
  try {
    const CellRange r = CellRange::Parse(text);
    Require(InSheet(r.first) && InSheet(r.last), "range inside the sheet", text);
    Require(r.first.row <= r.last.row && r.first.column <= r.last.column, "range normalised", text);
    Require(r.RowCount() >= 1 && r.ColumnCount() >= 1, "range not empty", text);
    Require(CellRange::Parse(r.ToString()) == r, "range prints back to itself", text);
  } catch (const SpreadsheetError& e) {
    CheckRejection(e, text);
  }
  return 0;
}
