// Our side of the workbook reader, in this process: any sequence of the calls orcus makes on
// the import factory (sheets, cells, shared strings, styles, formulas, array formulas, widths,
// heights, merges, names, the active sheet), with any indices and values, then the supplement.
// orcus itself is not safe on hostile XML (it trips its own assertions reading past a buffer),
// so it only ever runs in the isolated child (xlsx_import_fuzz, xlsx_parts_fuzz); this target
// reaches every path of the factory with the coverage the child hides. Every outcome is a
// workbook the exporter and the reader take back, or SpreadsheetError 1004.
#include <cstddef>
#include <cstdint>
#include <exception>
#include <iterator>
#include <limits>
#include <string>

#include <orcus/spreadsheet/import_interface.hpp>
#include <orcus/spreadsheet/import_interface_view.hpp>

#include "tests/fuzz/FuzzFiles.h"
#include "tests/fuzz/FuzzInput.h"
#include "xlsx/OrcusImportFactory.h"
#include "workbook/SpreadsheetError.h"
#include "workbook/Workbook.h"
#include "tests/fuzz/XlsxRoundTrip.h"
#include "xlsx/XlsxSupplement.h"

using levelbook::fuzz::FuzzInput;
using levelbook::fuzz::Require;
namespace ss = orcus::spreadsheet;
namespace iface = orcus::spreadsheet::iface;

namespace {

// Rows and columns: small ones, the edges of our sheet and of a file's sheet, and the extremes.
std::int32_t Index(FuzzInput& in) {
  static constexpr std::int32_t kEdges[] = {0,       1,       255,     256,     16383,   16384,
                                            65535,   65536,   1048575, 1048576, -1,      -2,
                                            std::numeric_limits<std::int32_t>::max(),
                                            std::numeric_limits<std::int32_t>::min()};
  const std::uint8_t b = in.Byte();
  if (b < 0xf0) return b % 12;
  return kEdges[in.Byte() % std::size(kEdges)];
}

std::size_t Count(FuzzInput& in) {
  const std::uint8_t b = in.Byte();
  if (b < 0xf0) return b % 8;
  return b == 0xff ? std::numeric_limits<std::size_t>::max() : std::size_t{1} << (b - 0xe0);
}

double Number(FuzzInput& in) { return in.Bool() ? in.RawDouble() : static_cast<double>(in.Byte()) / 4; }

template <typename E>
E Enum(FuzzInput& in) {
  return static_cast<E>(in.Byte() % 16);
}

ss::range_t Range(FuzzInput& in) {
  ss::range_t r{};
  r.first.row = Index(in);
  r.first.column = Index(in);
  r.last.row = Index(in);
  r.last.column = Index(in);
  return r;
}

void Styles(iface::import_styles& s, FuzzInput& in) {
  switch (in.Byte() % 8) {
    case 0:
      s.set_font_bold(in.Bool());
      s.set_font_name(in.ShortBytes());
      s.set_font_size(Number(in));
      s.set_font_color(0, in.Byte(), in.Byte(), in.Byte());
      s.commit_font();
      break;
    case 1:
      s.set_fill_pattern_type(Enum<ss::fill_pattern_t>(in));
      s.set_fill_fg_color(0, in.Byte(), in.Byte(), in.Byte());
      s.commit_fill();
      break;
    case 2:
      s.set_border_style(Enum<ss::border_direction_t>(in), Enum<ss::border_style_t>(in));
      s.set_border_color(Enum<ss::border_direction_t>(in), 0, in.Byte(), in.Byte(), in.Byte());
      s.commit_border();
      break;
    case 3:
      s.set_number_format_identifier(Count(in) + (in.Bool() ? 164 : 0));
      s.set_number_format_code(in.ShortBytes());
      s.commit_number_format();
      break;
    case 4:
      s.set_xf_font(Count(in));
      s.set_xf_fill(Count(in));
      s.set_xf_border(Count(in));
      s.set_xf_number_format(in.Bool() ? Count(in) : Count(in) + 160);
      s.set_xf_horizontal_alignment(Enum<ss::hor_alignment_t>(in));
      s.set_xf_vertical_alignment(Enum<ss::ver_alignment_t>(in));
      in.Bool() ? s.commit_cell_xf() : s.commit_cell_style_xf();
      break;
    case 5:
      s.commit_dxf();
      break;
    case 6:
      s.set_cell_style_name(in.ShortBytes());
      s.set_cell_style_xf(Count(in));
      s.commit_cell_style();
      break;
    default:
      s.commit_cell_protection();
      break;
  }
}

void SheetCall(iface::import_sheet& sheet, iface::import_shared_strings& strings, FuzzInput& in) {
  switch (in.Byte() % 14) {
    case 0:
      sheet.set_value(Index(in), Index(in), Number(in));
      break;
    case 1:
      sheet.set_auto(Index(in), Index(in), in.ShortBytes());
      break;
    case 2:
      sheet.set_string(Index(in), Index(in), static_cast<ss::string_id_t>(Count(in)));
      break;
    case 3:
      sheet.set_bool(Index(in), Index(in), in.Bool());
      break;
    case 4:
      sheet.set_format(Index(in), Index(in), Count(in));
      break;
    case 5:
      sheet.set_format(Index(in), Index(in), Index(in), Index(in), Count(in));
      break;
    case 6:
      sheet.fill_down_cells(Index(in), Index(in), Index(in));
      break;
    case 7:
      if (auto* p = sheet.get_sheet_properties()) {
        p->set_column_width(Index(in), Number(in), Enum<orcus::length_unit_t>(in));
        p->set_row_height(Index(in), Number(in), Enum<orcus::length_unit_t>(in));
        p->set_column_hidden(Index(in), in.Bool());
        p->set_row_hidden(Index(in), in.Bool());
      }
      break;
    case 8:
      if (auto* p = sheet.get_sheet_properties()) p->set_merge_cell_range(Range(in));
      break;
    case 9:
      if (auto* f = sheet.get_formula()) {
        f->set_position(Index(in), Index(in));
        if (in.Bool()) f->set_formula(ss::formula_grammar_t::xlsx, in.ShortBytes());
        if (in.Bool()) f->set_shared_formula_index(Count(in));
        if (in.Bool()) {
          f->set_result_value(Number(in));
        } else {
          f->set_result_string(in.ShortBytes());
        }
        f->commit();
      }
      break;
    case 10:
      if (auto* a = sheet.get_array_formula()) {
        a->set_range(Range(in));
        a->set_formula(ss::formula_grammar_t::xlsx, in.ShortBytes());
        for (std::size_t n = in.Byte() % 4; n > 0; --n) a->set_result_value(Index(in), Index(in), Number(in));
        a->commit();
      }
      break;
    case 11:
      if (auto* v = sheet.get_sheet_view()) v->set_sheet_active();
      break;
    case 12:
      if (auto* names = sheet.get_named_expression()) {
        names->set_named_expression("_xlnm.Print_Titles", in.ShortBytes());
        names->commit();
      }
      break;
    default:
      in.Bool() ? strings.add(in.ShortBytes()) : strings.append(in.ShortBytes());
      break;
  }
}

// What the XML supplement may report, for sheets that exist or not.
spreadsheet::XlsxSupplement Supplement(FuzzInput& in) {
  spreadsheet::XlsxSupplement extra;
  for (std::size_t n = in.Byte() % 4; n > 0; --n) extra.wrapByFormat.push_back(in.Bool());
  for (std::size_t n = in.Byte() % 4; n > 0; --n) {
    spreadsheet::XlsxSupplement::Sheet& sheet = extra.sheets.emplace_back();
    for (std::size_t k = in.Byte() % 3; k > 0; --k) sheet.columnFormats[Index(in)] = static_cast<std::uint32_t>(Count(in));
    for (std::size_t k = in.Byte() % 3; k > 0; --k) sheet.numbers.push_back({Index(in), Index(in), Number(in)});
    for (std::size_t k = in.Byte() % 3; k > 0; --k) sheet.inlineTexts.push_back({Index(in), Index(in), in.ShortBytes()});
  }
  if (in.Bool()) extra.activeSheet = Count(in);
  return extra;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const levelbook::fuzz::FuzzFolder folder;
  static const std::string saved = folder.File("saved.xlsx");
  FuzzInput in(data, size);
  spreadsheet::Workbook wb;
  try {
    spreadsheet::OrcusImportFactory factory(wb);
    iface::import_shared_strings& strings = *factory.get_shared_strings();
    ss::sheet_t sheets = 0;
    for (int calls = 0; calls < 200 && !in.Empty(); ++calls) {
      const std::uint8_t op = in.Byte();
      if (op < 0x10) {
        const ss::sheet_t index = op < 0x0c ? sheets : static_cast<ss::sheet_t>(Index(in));
        if (factory.append_sheet(index, in.ShortBytes()) != nullptr) ++sheets;
      } else if (op < 0x30) {
        Styles(*factory.get_styles(), in);
      } else if (op < 0x38) {
        in.Bool() ? strings.add(in.ShortBytes()) : strings.append(in.ShortBytes());
      } else {
        iface::import_sheet* sheet = op < 0xf0 ? factory.get_sheet(static_cast<ss::sheet_t>(in.Byte() % 3))
                                               : factory.get_sheet(in.ShortBytes());
        if (sheet) SheetCall(*sheet, strings, in);
      }
    }
    factory.finalize();
    factory.Complete(Supplement(in));
  } catch (const spreadsheet::SpreadsheetError& e) {
    Require(e.Number() == spreadsheet::SpreadsheetError::kApplicationDefined, "error number 1004", e.Description());
    return 0;
  } catch (const std::exception& e) {
    Require(false, "an exception other than SpreadsheetError left the factory", e.what());
  }
  if (wb.SheetCount() > 0) levelbook::fuzz::CheckLoadedWorkbook(wb, saved);
  return 0;
}
