#pragma once

#include <cmath>
#include <string>
#include <variant>

#include "tests/fuzz/FuzzInput.h"
#include "workbook/SpreadsheetError.h"
#include "workbook/Workbook.h"
#include "xlsx/XlsxExporter.h"
#include "xlsx/XlsxImporter.h"

namespace levelbook::fuzz {

// What any loaded workbook must allow: it has a sheet, and saving it either fails with a clear
// error or writes a file this program reads back (in process, as its own files are read) with
// the same sheets, names and extents.
inline void CheckLoadedWorkbook(const spreadsheet::Workbook& wb, const std::string& savePath) {
  Require(wb.SheetCount() > 0, "a loaded workbook has a sheet");
  Require(wb.ActiveSheet() < wb.SheetCount(), "the active sheet exists");
  try {
    spreadsheet::XlsxExporter::Save(wb, savePath);
  } catch (const spreadsheet::SpreadsheetError& e) {
    Require(e.Number() == spreadsheet::SpreadsheetError::kApplicationDefined, "save error number", e.Description());
    Require(e.Description().find(savePath) != std::string::npos, "save error names the file", e.Description());
    return;
  }
  try {
    const spreadsheet::Workbook back = spreadsheet::XlsxImporter::LoadInProcess(savePath);
    Require(back.SheetCount() == wb.SheetCount(), "saved sheets come back");
    for (std::size_t i = 0; i < wb.SheetCount(); ++i) {
      Require(back.SheetAt(i).Name() == wb.SheetAt(i).Name(), "sheet names come back",
              "“" + wb.SheetAt(i).Name() + "” came back as “" + back.SheetAt(i).Name() + "”");
      // Plain numbers keep every bit through a save and a read.
      const spreadsheet::Worksheet& sheet = wb.SheetAt(i);
      for (int r = 0; r < sheet.RowExtent(); ++r) {
        const auto& row = sheet.Row(r);
        for (int c = 0; c < static_cast<int>(row.size()); ++c) {
          const auto* number = std::get_if<double>(&row[c].value);
          if (!number || row[c].HasFormula() || !std::isfinite(*number)) continue;
          const spreadsheet::CellAddress a{r, c};
          const spreadsheet::CellValue again = back.SheetAt(i).Value(a);
          Require(spreadsheet::IsNumber(again) && std::get<double>(again) == *number, "numbers come back exactly",
                  a.ToString());
        }
      }
    }
  } catch (const spreadsheet::SpreadsheetError& e) {
    Require(false, "a saved workbook reads back", e.Description());
  }
}

}  // namespace levelbook::fuzz
