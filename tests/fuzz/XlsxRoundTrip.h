#pragma once

#include <algorithm>
#include <charconv>
#include <cstring>
#include <optional>
#include <string>
#include <variant>

#include "tests/fuzz/FuzzInput.h"
#include "workbook/SpreadsheetError.h"
#include "workbook/Workbook.h"
#include "xlsx/XlsxExporter.h"
#include "xlsx/XlsxImporter.h"

namespace levelbook::fuzz {

// A value for a message: numbers exact, texts quoted.
inline std::string Shown(const spreadsheet::CellValue& v) {
  if (const auto* d = std::get_if<double>(&v)) {
    char buf[32];
    const auto end = std::to_chars(buf, buf + sizeof buf, *d).ptr;
    return std::string(buf, end);
  }
  if (const auto* t = std::get_if<std::string>(&v)) return "“" + *t + "”";
  if (const auto* e = std::get_if<spreadsheet::CellError>(&v)) return e->code;
  return std::holds_alternative<spreadsheet::NoStoredResult>(v) ? "(no result)" : "(empty)";
}

// The first field in which two styles differ, with both values, or "".
inline std::string StyleDifference(const spreadsheet::CellStyle& a, const spreadsheet::CellStyle& b) {
  auto text = [](const std::string& x, const std::string& y) { return "“" + x + "” vs “" + y + "”"; };
  auto colour = [](const std::optional<std::uint32_t>& c) { return c ? std::to_string(*c) : std::string("none"); };
  if (a.numberFormat != b.numberFormat) return "number format " + text(a.numberFormat, b.numberFormat);
  if (a.fontName != b.fontName) return "font " + text(a.fontName, b.fontName);
  if (a.fontSize != b.fontSize) return "font size " + text(std::to_string(a.fontSize), std::to_string(b.fontSize));
  if (a.fontColor != b.fontColor) return "font colour " + text(colour(a.fontColor), colour(b.fontColor));
  if (a.fill != b.fill) return "fill " + text(colour(a.fill), colour(b.fill));
  if (a.left != b.left || a.right != b.right || a.top != b.top || a.bottom != b.bottom) return "borders";
  if (!(a == b)) return "bold, italic, alignment or wrapping";
  return {};
}

// The model of two workbooks is the same: sheets, names, every cell's value (bit for bit),
// formula and style id, widths, heights, column styles, merges, print setup, frozen pane and
// the active sheet. Returns what differs first, or "".
inline std::string ModelDifference(const spreadsheet::Workbook& a, const spreadsheet::Workbook& b) {
  if (a.SheetCount() != b.SheetCount()) return "sheet count";
  if (a.ActiveSheet() != b.ActiveSheet()) return "active sheet";
  for (std::size_t i = 0; i < a.SheetCount(); ++i) {
    const spreadsheet::Worksheet& x = a.SheetAt(i);
    const spreadsheet::Worksheet& y = b.SheetAt(i);
    const std::string where = "sheet “" + x.Name() + "”";
    if (x.Name() != y.Name()) return where + " name vs “" + y.Name() + "”";
    const int rows = std::max(x.RowExtent(), y.RowExtent());
    for (int r = 0; r < rows; ++r) {
      const std::size_t cols = std::max(x.Row(r).size(), y.Row(r).size());
      for (std::size_t c = 0; c < cols; ++c) {
        const spreadsheet::CellAddress at{r, static_cast<int>(c)};
        const spreadsheet::Cell* p = x.FindCell(at);
        const spreadsheet::Cell* q = y.FindCell(at);
        const spreadsheet::Cell empty;
        const spreadsheet::Cell& u = p ? *p : empty;
        const spreadsheet::Cell& v = q ? *q : empty;
        const auto* d1 = std::get_if<double>(&u.value);
        const auto* d2 = std::get_if<double>(&v.value);
        // A file holds no empty text constant: one comes back as an empty cell.
        auto plain = [](const spreadsheet::Cell& cell) {
          const auto* t = std::get_if<std::string>(&cell.value);
          return t && t->empty() && !cell.HasFormula() ? spreadsheet::CellValue{} : cell.value;
        };
        const bool sameValue = d1 && d2 ? std::memcmp(d1, d2, sizeof(double)) == 0 : plain(u) == plain(v);
        const std::string cell = where + " cell " + at.ToString();
        if (!sameValue) return cell + " value " + Shown(u.value) + " vs " + Shown(v.value);
        if (u.formula != v.formula) return cell + " formula “" + u.formula + "” vs “" + v.formula + "”";
        if (x.StyleAt(at) != y.StyleAt(at)) return cell + " style";
      }
    }
    if (x.ColumnWidths() != y.ColumnWidths()) return where + " column widths";
    if (x.RowHeights() != y.RowHeights()) return where + " row heights";
    if (x.Merges().size() != y.Merges().size()) return where + " merges";
    for (std::size_t m = 0; m < x.Merges().size(); ++m) {
      if (x.Merges()[m].ToString() != y.Merges()[m].ToString()) return where + " merge " + x.Merges()[m].ToString();
    }
    if (!(x.Print() == y.Print())) return where + " print setup";
    if (!(x.Frozen() == y.Frozen())) return where + " frozen pane";
  }
  for (std::uint32_t s = 0; s < std::min(a.StyleCount(), b.StyleCount()); ++s) {
    if (!(a.Style(s) == b.Style(s))) return "style " + std::to_string(s) + ": " + StyleDifference(a.Style(s), b.Style(s));
  }
  return {};
}

// What any loaded workbook must allow: it has a sheet, and saving it either fails with a clear
// error or writes a file this program reads back (in process, as its own files are read) with
// the same model, both when the save copies every unchanged sheet as stored and when every
// sheet is rewritten from the model.
inline void CheckLoadedWorkbook(const spreadsheet::Workbook& wb, const std::string& savePath) {
  Require(wb.SheetCount() > 0, "a loaded workbook has a sheet");
  Require(wb.ActiveSheet() < wb.SheetCount(), "the active sheet exists");
  spreadsheet::Workbook rewritten = wb;
  for (std::size_t i = 0; i < rewritten.SheetCount(); ++i) {
    spreadsheet::SheetOrigin o = rewritten.SheetAt(i).Origin();
    o.cells = o.columns = o.merges = o.layout = 0;  // no digest matches: every part is rewritten
    rewritten.SheetAt(i).SetOrigin(o);
  }
  for (const spreadsheet::Workbook* book : {&wb, static_cast<const spreadsheet::Workbook*>(&rewritten)}) {
    try {
      spreadsheet::XlsxExporter::Save(*book, savePath);
    } catch (const spreadsheet::SpreadsheetError& e) {
      Require(e.Number() == spreadsheet::SpreadsheetError::kApplicationDefined, "save error number", e.Description());
      Require(e.Description().find(savePath) != std::string::npos, "save error names the file", e.Description());
      continue;
    }
    try {
      const spreadsheet::Workbook back = spreadsheet::XlsxImporter::LoadInProcess(savePath);
      const std::string difference = ModelDifference(*book, back);
      Require(difference.empty(), "read → save → read gives the same model", difference);
    } catch (const spreadsheet::SpreadsheetError& e) {
      Require(false, "a saved workbook reads back", e.Description());
    }
  }
}

}  // namespace levelbook::fuzz
