// The writer on its own. The first byte picks the workbook: even, a new one built from the
// input (odd sheet names, numbers of every kind, texts with control characters, escapes and
// characters beyond the BMP, error values, formulas with and without results, styles, widths,
// heights, merges, page setup, frozen panes); odd, a kept package (a chart, a comment,
// validation, a hidden sheet …) read and then edited the same way. The workbook is saved and
// read back in this process: the save either fails with 1004 naming the file, or the model
// comes back the same (widths to the pixel a file stores), every part's children come in the
// file format's order, and a kept package keeps every part the model does not hold.
#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <variant>

#include "tests/fuzz/FuzzFiles.h"
#include "tests/fuzz/FuzzInput.h"
#include "tests/fuzz/PartOrder.h"
#include "tests/fuzz/XlsxRoundTrip.h"
#include "tests/xlsx/PackageParts.h"
#include "workbook/SpreadsheetError.h"
#include "workbook/Workbook.h"
#include "xlsx/XlsxExporter.h"
#include "xlsx/XlsxImporter.h"
#include "xlsx/read/Utf8.h"
#include "xlsx/read/XlsxReader.h"
#include "xlsx/zip/ZipArchive.h"

using levelbook::fuzz::FuzzInput;
using levelbook::fuzz::Require;
using spreadsheet::CellAddress;
using spreadsheet::CellStyle;
using spreadsheet::CellValue;
using spreadsheet::Workbook;
using spreadsheet::Worksheet;

namespace {

// A quarter of the longest text a cell holds (32,767 characters), less one.
const std::string kLong(8191, 'x');

// Well-formed UTF-8 of up to 63 pieces: printable ASCII, control characters, pieces that need
// escaping in a file, or any code point outside the surrogates. Control characters other than
// tab and line breaks, U+FFFE and U+FFFF only in cell texts and sheet names: a formula, a font
// name or a format code holds none.
std::string Text(FuzzInput& in, bool cellText = true) {
  static const char* const kPieces[] = {
      "_x0041_", "_x005F_", "_x", "_X0041_", "&", "<", ">", "]]>", "'", "\"", " ", "\r\n", "\r", "\t", "水准",
      "±6√n", "\xE2\x88\x92", "\xF0\x9F\x98\x80", "\xF4\x8F\xBF\xBF", "\xEF\xBF\xBE", "\xEF\xBF\xBF", "\xEF\xBF\xBD",
      "\xE2\x80\x8B", "\xEF\xBB\xBF", "\xC2\x85", "\xE2\x80\xA8", "&amp;", "&#13;", "=", "#N/A", "'!$", "  ",
      kLong.c_str()};
  std::string s;
  const int pieces = in.Byte() % 64;
  for (int i = 0; i < pieces && !in.Empty(); ++i) {
    const std::uint8_t b = in.Byte();
    if (b < 0x60) {
      s += b == 0x5F && !cellText ? '?' : static_cast<char>(b + 0x20);  // ' ' … DEL
    } else if (b < 0x80) {
      const char c = static_cast<char>(b - 0x60);  // NUL … US
      s += cellText || c == '\t' || c == '\n' || c == '\r' ? c : '?';
    } else if (b < 0xA0) {
      const std::string_view piece = kPieces[(b - 0x80) % std::size(kPieces)];
      const bool plain = std::none_of(piece.begin(), piece.end(),
                                      [](char c) { return c >= 0 && c < 0x20 && c != '\t' && c != '\n' && c != '\r'; }) &&
                         piece.rfind("\xEF\xBF\xBE", 0) != 0 && piece.rfind("\xEF\xBF\xBF", 0) != 0;
      s += cellText || plain ? piece : "?";
    } else {
      char32_t c = ((static_cast<char32_t>(b & 0x1F) << 16) | in.Uint16()) % 0x110000;
      if (c >= 0xD800 && c <= 0xDFFF) c += 0x800;
      if (!cellText && (c < 0x20 || (c >= 0x7F && c < 0xA0) || c == 0xFFFE || c == 0xFFFF)) c = '?';
      spreadsheet::Utf8::Append(s, c);
    }
  }
  return s;
}

double Number(FuzzInput& in) {
  static constexpr double kNumbers[] = {0.0,
                                        -0.0,
                                        std::numeric_limits<double>::denorm_min(),
                                        -std::numeric_limits<double>::denorm_min(),
                                        DBL_MIN,
                                        DBL_MIN / 3,
                                        DBL_MAX,
                                        -DBL_MAX,
                                        1e-300,
                                        1e300,
                                        0.1,
                                        1.486,
                                        -12.5,
                                        152.0899999999,
                                        9007199254740993.0,
                                        1e21,
                                        123456789012345.67,
                                        2.5,
                                        1.0 / 3};
  const std::uint8_t pick = in.Byte();
  if (pick < std::size(kNumbers)) return kNumbers[pick];
  if (pick < 0xC0) return static_cast<std::int16_t>(in.Uint16()) / 8.0;
  return in.RawDouble();  // NaN and infinities too: the save refuses those
}

CellAddress Address(FuzzInput& in) {
  const std::uint8_t r = in.Byte();
  const int row = r < 0xF0 ? r : in.Uint16();
  return CellAddress{row, in.Byte()};
}

// A sheet name: control characters (which the save refuses), DEL (which it keeps) and more.
std::string SheetName(FuzzInput& in) { return Text(in); }

// A cell's value, or a formula's result (which may be missing).
CellValue Value(FuzzInput& in, bool result) {
  static constexpr const char* kErrors[] = {"#NULL!", "#DIV/0!", "#VALUE!", "#REF!", "#NAME?", "#NUM!", "#N/A"};
  switch (in.Byte() % 5) {
    case 0: return Number(in);
    case 1: return Text(in);
    case 2: return spreadsheet::CellError{kErrors[in.Byte() % std::size(kErrors)]};
    case 3: return result ? CellValue(spreadsheet::NoStoredResult{}) : CellValue(Number(in));
    default: return result ? CellValue(std::string()) : CellValue(std::monostate{});  // a formula's "" is its result
  }
}

std::uint32_t Colour(FuzzInput& in) {  // 0xRRGGBB
  const std::uint32_t high = in.Uint16();
  return high << 8 | in.Byte();
}

CellStyle Style(FuzzInput& in) {
  static constexpr const char* kFormats[] = {"General", "0", "0.00", "0.000", "#,##0", "0%", "0.00E+00", "@",
                                             "yyyy-mm-dd", "\"左\"0.0\"米\"", "[Red]-0.0;0.0", "0;-0;;@"};
  CellStyle s;
  const std::uint8_t f = in.Byte();
  s.numberFormat = f < std::size(kFormats) ? std::string(kFormats[f]) : f < 0xF0 ? "General" : Text(in, false);
  if (s.numberFormat.empty()) s.numberFormat = "General";  // what an empty code shows
  const std::uint8_t flags = in.Byte();
  if (flags & 1) s.fontName = Text(in, false);
  if (flags & 2) s.fontSize = in.Byte() / 2.0;
  s.bold = flags & 4;
  s.italic = flags & 8;
  if (flags & 16) s.fontColor = Colour(in);
  s.wrapText = flags & 32;
  if (flags & 64) s.fill = Colour(in);
  // The model holds the workbook's default font (11 pt Calibri in a new package, 11 pt 宋体 in
  // the kept one) as no name and size 0.
  if (s.fontSize == 11) s.fontSize = 0;
  if (s.fontName == "Calibri" || s.fontName == "宋体") s.fontName.clear();
  const std::uint8_t align = in.Byte();
  s.horizontal = static_cast<spreadsheet::HorizontalAlignment>(align % 4);
  s.vertical = static_cast<spreadsheet::VerticalAlignment>((align >> 2) % 3);
  if (flags & 128) {
    for (spreadsheet::Border* b : {&s.left, &s.right, &s.top, &s.bottom}) {
      b->style = static_cast<spreadsheet::BorderStyle>(in.Byte() % 8);
      if (b->style != spreadsheet::BorderStyle::None) b->color = in.Byte() * 0x10101u;  // no line, no colour
    }
  }
  return s;
}

// Edits a workbook as the input says; the sheets of `kept` workbooks are not renamed, which the
// writer does not carry into a package it patches. Sheets added to a kept package become new
// parts of it, with or without charts.
void Edit(Workbook& wb, FuzzInput& in, bool kept) {
  for (int step = 0; step < 256 && !in.Empty(); ++step) {
    const std::uint8_t op = in.Byte();
    if (op % 16 == 0) {
      try {
        wb.AddSheet(SheetName(in));
      } catch (const spreadsheet::SpreadsheetError&) {
      }
      continue;
    }
    if (wb.SheetCount() == 0) continue;
    Worksheet& ws = wb.SheetAt(in.Byte() % wb.SheetCount());
    switch (op % 16) {
      case 1:
        if (std::string name = SheetName(in); !kept && !name.empty() && wb.IndexOf(name) < 0) ws.Rename(std::move(name));
        break;
      case 2:
      case 3:
      case 4: {
        const CellAddress at = Address(in);
        ws.SetValue(at, Value(in, false));
        break;
      }
      case 5: {
        const CellAddress at = Address(in);
        std::string formula = Text(in, false);
        if (formula.empty()) formula = "0";  // no text, no formula
        ws.SetFormula(at, formula, Value(in, true));
        break;
      }
      case 6: {
        const CellAddress at = Address(in);
        ws.SetStyle(at, wb.InternStyle(Style(in)));
        break;
      }
      case 7: {
        const int column = in.Byte();
        ws.SetColumnWidth(column, in.Uint16() / 256.0);  // 0 to 256 characters
        break;
      }
      case 8: {
        const int row = Address(in).row;
        ws.SetRowHeight(row, in.Uint16() / 160.0);  // 0 to 409.6 points
        break;
      }
      case 9: {
        const int column = in.Byte();
        ws.SetColumnStyle(column, wb.InternStyle(Style(in)));
        break;
      }
      case 10: {
        // A merge covers two cells or more; one cell alone is no merge a file holds.
        const CellAddress a = Address(in);
        const spreadsheet::CellRange range = spreadsheet::CellRange::Normalised(a, Address(in));
        try {
          ws.AddMerge(range);
        } catch (const spreadsheet::SpreadsheetError&) {
        }
        break;
      }
      case 11: {
        spreadsheet::PrintSetup& p = ws.Print();
        const std::uint8_t flags = in.Byte();
        p.landscape = flags & 1;
        p.centerHorizontally = flags & 2;
        p.printGridLines = flags & 4;
        p.paperSize = in.Byte() % 120;
        p.fitToWidth = in.Byte() % 4;
        if (flags & 8) {
          const int first = Address(in).row;
          p.repeatRowsFirst = first;
          p.repeatRowsLast = std::min(first + in.Byte(), spreadsheet::CellAddress::kMaxRows - 1);
        } else {
          p.repeatRowsFirst = p.repeatRowsLast = -1;
        }
        for (double* m : {&p.marginLeft, &p.marginRight, &p.marginTop, &p.marginBottom}) *m = in.Uint16() / 4096.0;
        break;
      }
      case 12: {
        const CellAddress at = Address(in);
        ws.SetFrozen({at.row, at.column});
        break;
      }
      case 13:
        wb.SetActiveSheet(in.Byte() % wb.SheetCount());
        break;
      case 14: {
        // Charts over a sheet made here; those of a file's sheets are not modelled.
        if (!ws.Origin().part.empty()) break;
        spreadsheet::ScatterChart chart;
        chart.title = Text(in, false);
        chart.series = {{Text(in, false), "'" + ws.Name() + "'!$A$1:$A$9", "'" + ws.Name() + "'!$B$1:$B$9",
                         Colour(in), true, (in.Byte() & 1) != 0, false}};
        ws.SetCharts(std::vector<spreadsheet::ScatterChart>(1 + in.Byte() % 3, chart));
        break;
      }
      default: {
        const CellAddress a = Address(in);
        ws.ClearContents(spreadsheet::CellRange::Normalised(a, Address(in)));
        break;
      }
    }
  }
}

// What the save must give back: texts and names with U+FFFE and U+FFFF as U+FFFD (no XML
// carries them) and each width as the whole pixels a file stores; false when a width is more
// than half a pixel away from what came back.
bool Expected(Workbook& wb, const Workbook& back) {
  auto repair = [](std::string& s) {
    for (const char* bad : {"\xEF\xBF\xBE", "\xEF\xBF\xBF"}) {
      for (std::size_t at = s.find(bad); at != std::string::npos; at = s.find(bad, at)) s.replace(at, 3, "\xEF\xBF\xBD");
    }
  };
  for (std::size_t i = 0; i < wb.SheetCount() && i < back.SheetCount(); ++i) {
    Worksheet& ws = wb.SheetAt(i);
    std::string name = ws.Name();
    repair(name);
    ws.Rename(name);
    for (int r = 0; r < ws.RowExtent(); ++r) {
      for (std::size_t c = 0; c < ws.Row(r).size(); ++c) {
        spreadsheet::Cell& cell = ws.CellAt(CellAddress{r, static_cast<int>(c)});
        if (auto* t = std::get_if<std::string>(&cell.value)) repair(*t);
        std::string formula(cell.formula.view());  // a formula is assigned whole
        repair(formula);
        cell.formula = std::move(formula);
      }
    }
    // A column with a style but no width of its own is written 8.43 characters wide, the width
    // of a sheet that states none.
    for (const auto& [column, style] : ws.ColumnStyles()) {
      if (!ws.ColumnWidth(column) && back.SheetAt(i).ColumnWidth(column) == 8.43) ws.SetColumnWidth(column, 8.43);
    }
    for (const auto& [column, width] : std::map<int, double>(ws.ColumnWidths())) {
      const auto got = back.SheetAt(i).ColumnWidth(column);
      if (!got) return false;
      const double pixel = width < 1 ? 1.0 / 12 : 1.0 / 7;  // narrow columns go by 12 pixels a character
      if (std::abs(*got - width) > pixel / 2 + 0.005 + 1e-9) return false;
      ws.SetColumnWidth(column, *got);
    }
  }
  return true;
}

const std::string& KeptPackage() {
  static const std::string bytes = [] {
    const spreadsheet::testing::TempDir dir;
    return *spreadsheet::testing::Zip(spreadsheet::testing::RichWorkbook(), dir);
  }();
  return bytes;
}

// Parts of a kept package a save may rewrite: the ones holding what the model holds.
bool Rewritable(const std::string& name) {
  return name == "[Content_Types].xml" || name == "xl/workbook.xml" || name == "xl/_rels/workbook.xml.rels" ||
         name == "xl/styles.xml" || name == "xl/calcChain.xml" ||
         name.rfind("xl/worksheets/sheet", 0) == 0;
}

void CheckPackage(const std::string& path, bool kept) {
  const spreadsheet::ZipArchive saved(std::make_shared<const std::string>(levelbook::fuzz::ReadBytes(path)));
  for (const auto& e : saved.Entries()) {
    if (e.name.size() < 4 || e.name.compare(e.name.size() - 4, 4, ".xml") != 0) continue;
    const std::string problem = levelbook::fuzz::PartOrderProblem(saved.Read(e), e.name);
    Require(problem.empty(), "parts in the file format's order", problem);
  }
  if (!kept) return;
  const spreadsheet::ZipArchive original(std::make_shared<const std::string>(KeptPackage()));
  for (const auto& e : original.Entries()) {
    if (Rewritable(e.name)) continue;
    const auto* copy = saved.Find(e.name);
    Require(copy != nullptr, "a kept part stays", e.name);
    Require(saved.Read(*copy) == original.Read(e), "a kept part stays as it was", e.name);
  }
  const std::string sheet = saved.Read(*saved.Find("xl/worksheets/sheet1.xml"));
  for (std::size_t i = 2; i < std::size(spreadsheet::testing::kRichKept); ++i) {
    Require(sheet.find(spreadsheet::testing::kRichKept[i]) != std::string::npos, "kept sheet markup stays",
            spreadsheet::testing::kRichKept[i]);
  }
  const std::string book = saved.Read(*saved.Find("xl/workbook.xml"));
  Require(book.find("state=\"hidden\"") != std::string::npos, "the hidden sheet stays hidden");
  Require(book.find("<definedName name=\"高程\">") != std::string::npos, "the defined name stays");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const levelbook::fuzz::FuzzFolder folder;
  static const std::string path = folder.File("written.xlsx");
  static const std::string again = folder.File("again.xlsx");
  FuzzInput in(data, size);
  const bool kept = in.Byte() & 1;
  Workbook wb = kept ? spreadsheet::XlsxReader::Read(std::make_shared<const std::string>(KeptPackage())) : Workbook();
  Edit(wb, in, kept);

  try {
    spreadsheet::XlsxExporter::Save(wb, path);
  } catch (const spreadsheet::SpreadsheetError& e) {
    Require(e.Number() == spreadsheet::SpreadsheetError::kApplicationDefined, "save error number", e.Description());
    Require(e.Description().find(path) != std::string::npos, "save error names the file", e.Description());
    return 0;
  }
  Workbook back;
  try {
    back = spreadsheet::XlsxImporter::LoadInProcess(path);
  } catch (const spreadsheet::SpreadsheetError& e) {
    Require(false, "a saved workbook reads back", e.Description());
  }
  Require(Expected(wb, back), "column widths to the pixel");
  const std::string difference = levelbook::fuzz::ModelDifference(wb, back);
  Require(difference.empty(), "save → read gives the same model", difference);
  CheckPackage(path, kept);
  // Once read, the file saves again as any file read does.
  levelbook::fuzz::CheckLoadedWorkbook(back, again);
  return 0;
}
