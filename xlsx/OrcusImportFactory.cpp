#include "xlsx/OrcusImportFactory.h"

#include <orcus/spreadsheet/import_interface_view.hpp>
#include <orcus/spreadsheet/view_types.hpp>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <map>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "numfmt/BuiltinNumberFormats.h"
#include "xlsx/SharedFormula.h"
#include "workbook/SpreadsheetError.h"

namespace spreadsheet {

namespace ss = orcus::spreadsheet;
namespace iface = orcus::spreadsheet::iface;

namespace {

// Every address a file may carry (1,048,576 × 16,384); ours is the smaller 65,536 × 256.
constexpr ss::row_t kFileRows = 1048576;
constexpr ss::col_t kFileColumns = 16384;

bool InSheet(ss::row_t row, ss::col_t col) {
  return row >= 0 && row < CellAddress::kMaxRows && col >= 0 && col < CellAddress::kMaxColumns;
}

// Column letters for any column a file may name, also beyond "IV".
std::string FileColumnName(long col) {
  std::string s;
  for (long c = col + 1; c > 0; c = (c - 1) / 26) s.insert(s.begin(), static_cast<char>('A' + (c - 1) % 26));
  return s;
}

std::string FileAddress(long row, long col) {
  if (row < 0 || col < 0) return "R" + std::to_string(row + 1) + "C" + std::to_string(col + 1);
  return FileColumnName(col) + std::to_string(row + 1);
}

// A stored column width includes 5 pixels of cell padding at 7 pixels per character; what a
// spreadsheet shows (and our model keeps) is the width without it, to two decimals.
double VisibleWidth(double stored) {
  const double pixels = std::round(stored * 7);
  const double characters = pixels < 12 ? pixels / 12 : (pixels - 5) / 7;
  return std::round(characters * 100) / 100;
}

std::uint32_t Rgb(ss::color_elem_t r, ss::color_elem_t g, ss::color_elem_t b) {
  return (std::uint32_t{r} << 16) | (std::uint32_t{g} << 8) | std::uint32_t{b};
}

BorderStyle ToBorderStyle(ss::border_style_t s) {
  switch (s) {
    case ss::border_style_t::thin: return BorderStyle::Thin;
    case ss::border_style_t::medium: return BorderStyle::Medium;
    case ss::border_style_t::thick: return BorderStyle::Thick;
    case ss::border_style_t::dashed:
    case ss::border_style_t::medium_dashed:
    case ss::border_style_t::dash_dot:
    case ss::border_style_t::dash_dot_dot:
    case ss::border_style_t::medium_dash_dot:
    case ss::border_style_t::medium_dash_dot_dot:
    case ss::border_style_t::slant_dash_dot:
    case ss::border_style_t::fine_dashed: return BorderStyle::Dashed;
    case ss::border_style_t::dotted: return BorderStyle::Dotted;
    case ss::border_style_t::double_border:
    case ss::border_style_t::double_thin: return BorderStyle::Double;
    case ss::border_style_t::hair: return BorderStyle::Hair;
    case ss::border_style_t::solid: return BorderStyle::Thin;
    default: return BorderStyle::None;
  }
}

// Days from 1899-12-30 (serial 0 of the 1900 date system) to a civil date.
long SerialDay(int y, int m, int d) {
  auto daysFromCivil = [](long yy, long mm, long dd) {
    yy -= mm <= 2;
    const long era = (yy >= 0 ? yy : yy - 399) / 400;
    const long yoe = yy - era * 400;
    const long doy = (153 * (mm + (mm > 2 ? -3 : 9)) + 2) / 5 + dd - 1;
    const long doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
  };
  return daysFromCivil(y, m, d) - daysFromCivil(1899, 12, 30);
}

struct FontEntry {
  std::string name;
  double size = 0;
  bool bold = false;
  bool italic = false;
  std::optional<std::uint32_t> color;
};

struct FillEntry {
  ss::fill_pattern_t pattern = ss::fill_pattern_t::none;
  std::optional<std::uint32_t> fg;
};

struct BorderEntry {
  Border left, right, top, bottom;
};

struct XfEntry {
  std::size_t font = 0, fill = 0, border = 0, numberFormat = 0;
  HorizontalAlignment horizontal = HorizontalAlignment::General;
  VerticalAlignment vertical = VerticalAlignment::Bottom;
};

class Styles : public iface::import_styles {
 public:
  explicit Styles(Workbook& wb) : wb_(wb) {}

  // The workbook style id of a cell format (xf) index; 0 for an index the file lacks.
  std::uint32_t StyleOf(std::size_t xf) {
    if (xf >= xfs_.size()) return 0;
    if (resolved_.size() < xfs_.size()) resolved_.resize(xfs_.size());
    if (!resolved_[xf]) {
      CellStyle s = Build(xfs_[xf]);
      s.wrapText = xf < wrap_.size() && wrap_[xf];
      resolved_[xf] = wb_.InternStyle(s);
    }
    return *resolved_[xf];
  }
  void SetWrapFlags(std::vector<bool> wrap) { wrap_ = std::move(wrap); }

  void set_font_count(size_t) override {}
  void set_font_bold(bool b) override { font_.bold = b; }
  void set_font_italic(bool b) override { font_.italic = b; }
  void set_font_name(std::string_view s) override { font_.name = s; }
  void set_font_size(double point) override { font_.size = point; }
  void set_font_underline(ss::underline_t) override {}
  void set_font_underline_width(ss::underline_width_t) override {}
  void set_font_underline_mode(ss::underline_mode_t) override {}
  void set_font_underline_type(ss::underline_type_t) override {}
  void set_font_underline_color(ss::color_elem_t, ss::color_elem_t, ss::color_elem_t, ss::color_elem_t) override {}
  void set_font_color(ss::color_elem_t, ss::color_elem_t r, ss::color_elem_t g, ss::color_elem_t b) override {
    font_.color = Rgb(r, g, b);
  }
  void set_strikethrough_style(ss::strikethrough_style_t) override {}
  void set_strikethrough_type(ss::strikethrough_type_t) override {}
  void set_strikethrough_width(ss::strikethrough_width_t) override {}
  void set_strikethrough_text(ss::strikethrough_text_t) override {}
  size_t commit_font() override { return Commit(fonts_, font_); }

  void set_fill_count(size_t) override {}
  void set_fill_pattern_type(ss::fill_pattern_t fp) override { fill_.pattern = fp; }
  void set_fill_fg_color(ss::color_elem_t, ss::color_elem_t r, ss::color_elem_t g, ss::color_elem_t b) override {
    fill_.fg = Rgb(r, g, b);
  }
  void set_fill_bg_color(ss::color_elem_t, ss::color_elem_t, ss::color_elem_t, ss::color_elem_t) override {}
  size_t commit_fill() override { return Commit(fills_, fill_); }

  void set_border_count(size_t) override {}
  void set_border_style(ss::border_direction_t dir, ss::border_style_t style) override {
    if (Border* b = Side(dir)) b->style = ToBorderStyle(style);
  }
  void set_border_color(ss::border_direction_t dir, ss::color_elem_t, ss::color_elem_t r, ss::color_elem_t g,
                        ss::color_elem_t b) override {
    if (Border* side = Side(dir)) side->color = Rgb(r, g, b);
  }
  void set_border_width(ss::border_direction_t, double, orcus::length_unit_t) override {}
  size_t commit_border() override { return Commit(borders_, border_); }

  void set_cell_hidden(bool) override {}
  void set_cell_locked(bool) override {}
  void set_cell_print_content(bool) override {}
  void set_cell_formula_hidden(bool) override {}
  size_t commit_cell_protection() override { return protections_++; }

  void set_number_format_count(size_t) override {}
  void set_number_format_identifier(size_t id) override { numberFormatId_ = id; }
  void set_number_format_code(std::string_view s) override { numberFormatCode_ = s; }
  size_t commit_number_format() override {
    numberFormats_[numberFormatId_] = numberFormatCode_;
    numberFormatId_ = 0;
    numberFormatCode_.clear();
    return numberFormats_.size() - 1;
  }

  void set_cell_xf_count(size_t) override {}
  void set_cell_style_xf_count(size_t) override {}
  void set_dxf_count(size_t) override {}
  void set_xf_font(size_t index) override { xf_.font = index; }
  void set_xf_fill(size_t index) override { xf_.fill = index; }
  void set_xf_border(size_t index) override { xf_.border = index; }
  void set_xf_protection(size_t) override {}
  void set_xf_number_format(size_t index) override { xf_.numberFormat = index; }
  void set_xf_style_xf(size_t) override {}
  void set_xf_apply_alignment(bool) override {}
  void set_xf_horizontal_alignment(ss::hor_alignment_t align) override {
    switch (align) {
      case ss::hor_alignment_t::left: xf_.horizontal = HorizontalAlignment::Left; break;
      case ss::hor_alignment_t::center: xf_.horizontal = HorizontalAlignment::Center; break;
      case ss::hor_alignment_t::right: xf_.horizontal = HorizontalAlignment::Right; break;
      default: xf_.horizontal = HorizontalAlignment::General; break;
    }
  }
  void set_xf_vertical_alignment(ss::ver_alignment_t align) override {
    switch (align) {
      case ss::ver_alignment_t::top: xf_.vertical = VerticalAlignment::Top; break;
      case ss::ver_alignment_t::middle: xf_.vertical = VerticalAlignment::Center; break;
      default: xf_.vertical = VerticalAlignment::Bottom; break;
    }
  }
  size_t commit_cell_xf() override { return Commit(xfs_, xf_); }
  size_t commit_cell_style_xf() override {
    xf_ = {};
    return styleXfs_++;
  }
  size_t commit_dxf() override {
    xf_ = {};
    return dxfs_++;
  }

  void set_cell_style_count(size_t) override {}
  void set_cell_style_name(std::string_view) override {}
  void set_cell_style_xf(size_t) override {}
  void set_cell_style_builtin(size_t) override {}
  void set_cell_style_parent_name(std::string_view) override {}
  size_t commit_cell_style() override { return cellStyles_++; }

 private:
  template <typename T>
  static size_t Commit(std::vector<T>& list, T& current) {
    list.push_back(std::move(current));
    current = T{};
    return list.size() - 1;
  }

  Border* Side(ss::border_direction_t dir) {
    switch (dir) {
      case ss::border_direction_t::left: return &border_.left;
      case ss::border_direction_t::right: return &border_.right;
      case ss::border_direction_t::top: return &border_.top;
      case ss::border_direction_t::bottom: return &border_.bottom;
      default: return nullptr;
    }
  }

  CellStyle Build(const XfEntry& xf) const {
    CellStyle s;
    if (auto it = numberFormats_.find(xf.numberFormat); it != numberFormats_.end()) {
      s.numberFormat = it->second;
    } else if (auto code = BuiltinNumberFormats::Code(static_cast<int>(xf.numberFormat))) {
      s.numberFormat = std::string(*code);
    }
    // The first font is the workbook's default: what equals it is stored as "default".
    if (xf.font < fonts_.size()) {
      const FontEntry& f = fonts_[xf.font];
      const FontEntry* base = fonts_.empty() ? nullptr : &fonts_.front();
      if (xf.font != 0) {
        if (!base || f.name != base->name) s.fontName = f.name;
        if (!base || f.size != base->size) s.fontSize = f.size;
        s.bold = f.bold;
        s.italic = f.italic;
        if (!base || f.color != base->color) s.fontColor = f.color;
      } else {
        s.bold = f.bold;
        s.italic = f.italic;
      }
    }
    if (xf.fill < fills_.size()) {
      const FillEntry& f = fills_[xf.fill];
      if (f.pattern == ss::fill_pattern_t::solid && f.fg) s.fill = f.fg;
    }
    if (xf.border < borders_.size()) {
      const BorderEntry& b = borders_[xf.border];
      s.left = b.left;
      s.right = b.right;
      s.top = b.top;
      s.bottom = b.bottom;
      for (Border* side : {&s.left, &s.right, &s.top, &s.bottom}) {
        if (side->style == BorderStyle::None) side->color = 0;
      }
    }
    s.horizontal = xf.horizontal;
    s.vertical = xf.vertical;
    return s;
  }

  Workbook& wb_;
  FontEntry font_;
  std::vector<FontEntry> fonts_;
  FillEntry fill_;
  std::vector<FillEntry> fills_;
  BorderEntry border_;
  std::vector<BorderEntry> borders_;
  std::size_t protections_ = 0, styleXfs_ = 0, dxfs_ = 0, cellStyles_ = 0;
  std::size_t numberFormatId_ = 0;
  std::string numberFormatCode_;
  std::map<std::size_t, std::string> numberFormats_;
  XfEntry xf_;
  std::vector<XfEntry> xfs_;
  std::vector<std::optional<std::uint32_t>> resolved_;
  std::vector<bool> wrap_;
};

class SharedStrings : public iface::import_shared_strings {
 public:
  const std::string* At(std::size_t index) const { return index < strings_.size() ? &strings_[index] : nullptr; }

  size_t append(std::string_view s) override {
    strings_.emplace_back(s);
    return strings_.size() - 1;
  }
  size_t add(std::string_view s) override {
    auto it = added_.find(std::string(s));
    if (it != added_.end()) return it->second;
    const size_t i = append(s);
    added_.emplace(std::string(s), i);
    return i;
  }
  void set_segment_font(size_t) override {}
  void set_segment_bold(bool) override {}
  void set_segment_italic(bool) override {}
  void set_segment_font_name(std::string_view) override {}
  void set_segment_font_size(double) override {}
  void set_segment_font_color(ss::color_elem_t, ss::color_elem_t, ss::color_elem_t, ss::color_elem_t) override {}
  void append_segment(std::string_view s) override { segments_.append(s); }
  size_t commit_segments() override {
    const size_t i = append(segments_);
    segments_.clear();
    return i;
  }

 private:
  std::vector<std::string> strings_;
  std::unordered_map<std::string, std::size_t> added_;
  std::string segments_;
};

class GlobalSettings : public iface::import_global_settings {
 public:
  long OriginOffset() const { return originOffset_; }

  void set_origin_date(int year, int month, int day) override { originOffset_ = SerialDay(year, month, day); }
  void set_default_formula_grammar(ss::formula_grammar_t grammar) override { grammar_ = grammar; }
  ss::formula_grammar_t get_default_formula_grammar() const override { return grammar_; }
  void set_character_set(orcus::character_set_t) override {}

 private:
  long originOffset_ = 0;  // days from 1899-12-30 to the file's day 0
  ss::formula_grammar_t grammar_ = ss::formula_grammar_t::xlsx;
};

// Cell references as xlsx writes them ("B7", "A1:I65536", "$A$1"), for any address a file may name.
class ReferenceResolver : public iface::import_reference_resolver {
 public:
  ss::src_address_t resolve_address(std::string_view text) override {
    ss::src_address_t a{0, 0, 0};
    std::size_t i = 0;
    if (!Parse(text, i, a) || i != text.size()) Invalid(text);
    return a;
  }
  ss::src_range_t resolve_range(std::string_view text) override {
    ss::src_range_t r{};
    std::size_t i = 0;
    const bool wholeColumn = Parse(text, i, r.first) && r.first.row < 0;
    if (i == 0) Invalid(text);
    if (i == text.size()) {
      r.last = r.first;
    } else {
      if (text[i] != ':') Invalid(text);
      ++i;
      if (!Parse(text, i, r.last) || i != text.size()) Invalid(text);
    }
    if (wholeColumn || r.first.row < 0 || r.last.row < 0) {
      r.first.row = 0;
      r.last.row = kFileRows - 1;
    }
    return r;
  }

 private:
  [[noreturn]] static void Invalid(std::string_view text) {
    throw SpreadsheetError(SpreadsheetError::kApplicationDefined, "单元格引用“" + std::string(text) + "”无效");
  }
  // Column letters and an optional row; a missing row is -1. False when nothing fits.
  static bool Parse(std::string_view s, std::size_t& i, ss::src_address_t& a) {
    if (i < s.size() && s[i] == '$') ++i;
    long col = 0;
    std::size_t letters = 0;
    while (i < s.size() && letters < 4) {
      const char c = s[i];
      if (c >= 'A' && c <= 'Z') col = col * 26 + (c - 'A' + 1);
      else if (c >= 'a' && c <= 'z') col = col * 26 + (c - 'a' + 1);
      else break;
      ++i;
      ++letters;
    }
    if (letters == 0 || col > kFileColumns) return false;
    if (i < s.size() && s[i] == '$') ++i;
    long row = 0;
    std::size_t digits = 0;
    while (i < s.size() && s[i] >= '0' && s[i] <= '9' && digits < 8) {
      row = row * 10 + (s[i] - '0');
      ++i;
      ++digits;
    }
    if (digits > 0 && (row < 1 || row > kFileRows)) return false;
    a.sheet = 0;
    a.column = static_cast<ss::col_t>(col - 1);
    a.row = digits == 0 ? -1 : static_cast<ss::row_t>(row - 1);
    return true;
  }
};

class Sheet;

// Rows repeated at the top of printed pages arrive as the defined name "_xlnm.Print_Titles".
class NamedExpressions : public iface::import_named_expression {
 public:
  explicit NamedExpressions(Workbook& wb) : wb_(wb) {}

  void set_base_position(const ss::src_address_t&) override {}
  void set_named_expression(std::string_view name, std::string_view expression) override {
    name_ = name;
    expression_ = expression;
  }
  void set_named_range(std::string_view name, std::string_view range) override { set_named_expression(name, range); }
  void commit() override {
    if (name_ == "_xlnm.Print_Titles") ApplyPrintTitles();
    name_.clear();
    expression_.clear();
  }

 private:
  void ApplyPrintTitles() {
    // "'数据 输入'!$A:$B,'数据 输入'!$1:$3": the part without column letters names the rows.
    std::string_view rest = expression_;
    while (!rest.empty()) {
      std::size_t comma = std::string_view::npos;
      bool quoted = false;
      for (std::size_t i = 0; i < rest.size(); ++i) {
        if (rest[i] == '\'') quoted = !quoted;
        if (rest[i] == ',' && !quoted) {
          comma = i;
          break;
        }
      }
      std::string_view part = rest.substr(0, comma);
      rest = comma == std::string_view::npos ? std::string_view{} : rest.substr(comma + 1);
      const auto bang = part.rfind('!');
      if (bang == std::string_view::npos) continue;
      std::string sheet(part.substr(0, bang));
      if (sheet.size() >= 2 && sheet.front() == '\'' && sheet.back() == '\'') {
        std::string unquoted;
        for (std::size_t i = 1; i + 1 < sheet.size(); ++i) {
          unquoted += sheet[i];
          if (sheet[i] == '\'' && i + 2 < sheet.size() && sheet[i + 1] == '\'') ++i;
        }
        sheet = unquoted;
      }
      int first = 0, last = 0;
      if (!ParseRows(part.substr(bang + 1), first, last)) continue;
      if (Worksheet* ws = wb_.FindSheet(sheet)) {
        ws->Print().repeatRowsFirst = first;
        ws->Print().repeatRowsLast = last;
      }
    }
  }

  static bool ParseRows(std::string_view ref, int& first, int& last) {
    auto number = [](std::string_view s, int& out) {
      if (!s.empty() && s.front() == '$') s.remove_prefix(1);
      int v = 0;
      auto [p, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
      if (ec != std::errc{} || p != s.data() + s.size() || v < 1 || v > CellAddress::kMaxRows) return false;
      out = v - 1;
      return true;
    };
    const auto colon = ref.find(':');
    if (colon == std::string_view::npos) return false;
    return number(ref.substr(0, colon), first) && number(ref.substr(colon + 1), last) && first <= last;
  }

  Workbook& wb_;
  std::string name_;
  std::string expression_;
};

struct SharedMaster {
  ss::row_t row;
  ss::col_t col;
  std::string formula;
};

struct PendingShared {
  ss::row_t row;
  ss::col_t col;
  std::size_t index;
};

class Sheet : public iface::import_sheet {
 public:
  Sheet(Workbook& wb, std::size_t index, Styles& styles, SharedStrings& strings, GlobalSettings& settings,
        NamedExpressions& names)
      : wb_(wb), index_(index), styles_(styles), strings_(strings), settings_(settings), names_(names),
        properties_(*this), view_(*this), formula_(*this), arrayFormula_(*this) {}

  Worksheet& Target() { return wb_.SheetAt(index_); }

  [[noreturn]] void Beyond(long row, long col) {
    throw SpreadsheetError(SpreadsheetError::kApplicationDefined,
                           "工作表“" + Target().Name() + "”的单元格 " + FileAddress(row, col) + " 超出了 65536 行 × 256 列的范围");
  }

  Cell& ValueCell(ss::row_t row, ss::col_t col) {
    if (!InSheet(row, col)) Beyond(row, col);
    return Target().CellAt(CellAddress{row, col});
  }

  void SetValue(ss::row_t row, ss::col_t col, CellValue v) {
    Cell& c = ValueCell(row, col);
    c.value = std::move(v);
    c.formula.clear();
  }

  void Complete(const XlsxSupplement::Sheet& extra) {
    Worksheet& ws = Target();
    for (const auto& [col, xf] : extra.columnFormats) ws.SetColumnStyle(col, xf);
    const PrintSetup titles = ws.Print();
    ws.Print() = extra.print;
    ws.Print().repeatRowsFirst = titles.repeatRowsFirst;
    ws.Print().repeatRowsLast = titles.repeatRowsLast;
    ResolveStyles();
    for (const XlsxSupplement::Text& t : extra.inlineTexts) {
      if (t.row >= CellAddress::kMaxRows || t.column >= CellAddress::kMaxColumns) Beyond(t.row, t.column);
      Cell& c = ws.CellAt(CellAddress{static_cast<int>(t.row), static_cast<int>(t.column)});
      c.value = t.value;
      c.formula.clear();
    }
    for (const XlsxSupplement::Number& n : extra.numbers) {
      const CellAddress a{n.row, n.column};
      const Cell* c = ws.FindCell(a);
      if (c && IsNumber(c->value)) ws.CellAt(a).value = n.value;
    }
  }

  void ResolveStyles() {
    Worksheet& ws = Target();
    for (int r = 0; r < ws.RowExtent(); ++r) {
      const int width = static_cast<int>(ws.Row(r).size());
      for (int c = 0; c < width; ++c) {
        Cell& cell = ws.CellAt(CellAddress{r, c});
        cell.style = styles_.StyleOf(cell.style);
      }
    }
    for (const auto& [col, xf] : std::map<int, std::uint32_t>(ws.ColumnStyles())) {
      ws.SetColumnStyle(col, styles_.StyleOf(xf));
    }
  }

  // Shared formulas whose master was seen are expanded; the file order does not matter.
  void ResolveSharedFormulas() {
    for (const PendingShared& p : pending_) {
      auto it = masters_.find(p.index);
      if (it == masters_.end()) continue;
      const SharedMaster& m = it->second;
      Cell& c = ValueCell(p.row, p.col);
      c.formula = SharedFormula::Shift(m.formula, p.row - m.row, p.col - m.col);
    }
    pending_.clear();
  }

  iface::import_sheet_view* get_sheet_view() override { return &view_; }
  iface::import_sheet_properties* get_sheet_properties() override { return &properties_; }
  iface::import_named_expression* get_named_expression() override { return &names_; }
  iface::import_formula* get_formula() override { return &formula_; }
  iface::import_array_formula* get_array_formula() override { return &arrayFormula_; }

  void set_auto(ss::row_t row, ss::col_t col, std::string_view s) override {
    double d = 0;
    auto [p, ec] = std::from_chars(s.data(), s.data() + s.size(), d);
    if (!s.empty() && ec == std::errc{} && p == s.data() + s.size()) {
      SetValue(row, col, d);
    } else {
      SetValue(row, col, std::string(s));
    }
  }
  void set_string(ss::row_t row, ss::col_t col, ss::string_id_t sindex) override {
    const std::string* s = strings_.At(sindex);
    if (!s) {
      throw SpreadsheetError(SpreadsheetError::kApplicationDefined,
                             "工作表“" + Target().Name() + "”的单元格 " + FileAddress(row, col) + " 引用了不存在的共享字符串 " +
                                 std::to_string(sindex));
    }
    SetValue(row, col, *s);
  }
  void set_value(ss::row_t row, ss::col_t col, double value) override { SetValue(row, col, value); }
  void set_bool(ss::row_t row, ss::col_t col, bool value) override { SetValue(row, col, value ? 1.0 : 0.0); }
  void set_date_time(ss::row_t row, ss::col_t col, int year, int month, int day, int hour, int minute,
                     double second) override {
    const double days = static_cast<double>(SerialDay(year, month, day) - settings_.OriginOffset());
    SetValue(row, col, days + (hour * 3600.0 + minute * 60.0 + second) / 86400.0);
  }
  // Styles arrive after the sheets, so cells hold the file's format (xf) index until
  // ResolveStyles() turns it into a workbook style id.
  void set_format(ss::row_t row, ss::col_t col, size_t xf) override {
    if (!InSheet(row, col)) return;
    if (xf == 0 && !Target().FindCell(CellAddress{row, col})) return;
    Target().SetStyle(CellAddress{row, col}, static_cast<std::uint32_t>(xf));
  }
  void set_format(ss::row_t rowStart, ss::col_t colStart, ss::row_t rowEnd, ss::col_t colEnd, size_t xf) override {
    const ss::row_t r0 = std::max<ss::row_t>(rowStart, 0);
    const ss::row_t r1 = std::min<ss::row_t>(rowEnd, CellAddress::kMaxRows - 1);
    const ss::col_t c0 = std::max<ss::col_t>(colStart, 0);
    const ss::col_t c1 = std::min<ss::col_t>(colEnd, CellAddress::kMaxColumns - 1);
    if (r0 == 0 && r1 == CellAddress::kMaxRows - 1) {
      // Whole columns: a column default rather than 65,536 cells each.
      for (ss::col_t c = c0; c <= c1; ++c) Target().SetColumnStyle(c, static_cast<std::uint32_t>(xf));
      return;
    }
    for (ss::row_t r = r0; r <= r1; ++r) {
      for (ss::col_t c = c0; c <= c1; ++c) set_format(r, c, xf);
    }
  }
  void fill_down_cells(ss::row_t srcRow, ss::col_t srcCol, ss::row_t rangeSize) override {
    const Cell src = ValueCell(srcRow, srcCol);
    // The last row in 64 bits: the file's range size may run past every row number.
    const long last = long{srcRow} + rangeSize;
    for (long r = long{srcRow} + 1; r <= last; ++r) ValueCell(static_cast<ss::row_t>(r), srcCol) = src;
  }
  ss::range_size_t get_sheet_size() const override { return {kFileRows, kFileColumns}; }

  class Properties : public iface::import_sheet_properties {
   public:
    explicit Properties(Sheet& sheet) : sheet_(sheet) {}
    void set_column_width(ss::col_t col, double width, orcus::length_unit_t unit) override {
      CheckColumn(col);
      if (col >= CellAddress::kMaxColumns) return;
      // Widths in characters of the default font's digit, as xlsx stores them.
      if (unit != orcus::length_unit_t::xlsx_column_digit) return;
      sheet_.Target().SetColumnWidth(col, VisibleWidth(width));
    }
    void set_column_hidden(ss::col_t col, bool) override { CheckColumn(col); }
    void set_row_height(ss::row_t row, double height, orcus::length_unit_t unit) override {
      CheckRow(row);
      if (row >= CellAddress::kMaxRows || unit != orcus::length_unit_t::point) return;
      sheet_.Target().SetRowHeight(row, height);
    }
    void set_row_hidden(ss::row_t row, bool) override { CheckRow(row); }
    void set_merge_cell_range(const ss::range_t& range) override {
      if (!InSheet(range.first.row, range.first.column) || !InSheet(range.last.row, range.last.column)) return;
      const CellRange r = CellRange::Normalised(CellAddress{range.first.row, range.first.column},
                                                CellAddress{range.last.row, range.last.column});
      if (r.first == r.last) return;
      // A file with overlapping merges keeps the first of them, as spreadsheets repair it.
      for (const CellRange& m : sheet_.Target().Merges()) {
        const bool apart = r.last.row < m.first.row || r.first.row > m.last.row || r.last.column < m.first.column ||
                           r.first.column > m.last.column;
        if (!apart) return;
      }
      sheet_.Target().AddMerge(r);
    }

   private:
    void CheckColumn(ss::col_t col) const {
      if (col < 0 || col >= kFileColumns) {
        throw SpreadsheetError(SpreadsheetError::kApplicationDefined,
                               "工作表“" + sheet_.Target().Name() + "”的列号 " + std::to_string(long{col} + 1) + " 无效");
      }
    }
    void CheckRow(ss::row_t row) const {
      if (row < 0 || row >= kFileRows) {
        throw SpreadsheetError(SpreadsheetError::kApplicationDefined,
                               "工作表“" + sheet_.Target().Name() + "”的行号 " + std::to_string(long{row} + 1) + " 无效");
      }
    }
    Sheet& sheet_;
  };

  class View : public iface::import_sheet_view {
   public:
    explicit View(Sheet& sheet) : sheet_(sheet) {}
    void set_sheet_active() override { sheet_.wb_.SetActiveSheet(sheet_.index_); }
    void set_split_pane(double, double, const ss::address_t&, ss::sheet_pane_t) override {}
    void set_frozen_pane(ss::col_t columns, ss::row_t rows, const ss::address_t&, ss::sheet_pane_t) override {
      sheet_.Target().SetFrozen(FrozenPane{std::clamp<int>(rows, 0, CellAddress::kMaxRows - 1),
                                           std::clamp<int>(columns, 0, CellAddress::kMaxColumns - 1)});
    }
    void set_selected_range(ss::sheet_pane_t, ss::range_t) override {}

   private:
    Sheet& sheet_;
  };

  class Formula : public iface::import_formula {
   public:
    explicit Formula(Sheet& sheet) : sheet_(sheet) {}
    void set_position(ss::row_t row, ss::col_t col) override {
      row_ = row;
      col_ = col;
    }
    void set_formula(ss::formula_grammar_t, std::string_view formula) override { text_ = formula; }
    void set_shared_formula_index(size_t index) override { shared_ = index; }
    void set_result_string(std::string_view value) override { result_ = std::string(value); }
    void set_result_value(double value) override { result_ = value; }
    void set_result_bool(bool value) override { result_ = value ? 1.0 : 0.0; }
    void set_result_empty() override { result_ = std::monostate{}; }
    void commit() override {
      Cell& c = sheet_.ValueCell(row_, col_);
      c.value = std::move(result_);
      c.formula = text_;
      if (shared_) {
        if (!text_.empty()) {
          sheet_.masters_[*shared_] = SharedMaster{row_, col_, text_};
        } else {
          sheet_.pending_.push_back(PendingShared{row_, col_, *shared_});
        }
      }
      text_.clear();
      shared_.reset();
      result_ = std::monostate{};
    }

   private:
    Sheet& sheet_;
    ss::row_t row_ = 0;
    ss::col_t col_ = 0;
    std::string text_;
    std::optional<std::size_t> shared_;
    CellValue result_;
  };

  // An array formula keeps its text in the top-left cell and the cached results in every cell.
  class ArrayFormula : public iface::import_array_formula {
   public:
    explicit ArrayFormula(Sheet& sheet) : sheet_(sheet) {}
    void set_range(const ss::range_t& range) override { range_ = range; }
    void set_formula(ss::formula_grammar_t, std::string_view formula) override { text_ = formula; }
    void set_result_string(ss::row_t row, ss::col_t col, std::string_view value) override {
      Add(row, col, std::string(value));
    }
    void set_result_value(ss::row_t row, ss::col_t col, double value) override { Add(row, col, value); }
    void set_result_bool(ss::row_t row, ss::col_t col, bool value) override { Add(row, col, value ? 1.0 : 0.0); }
    void set_result_empty(ss::row_t, ss::col_t) override {}
    void commit() override {
      Cell& anchor = sheet_.ValueCell(range_.first.row, range_.first.column);
      anchor.formula = text_;
      for (auto& r : results_) {
        // A result's offset from the anchor is the file's, so the sum may leave every range.
        const long row = long{range_.first.row} + r.row;
        const long col = long{range_.first.column} + r.col;
        if (row < 0 || row >= CellAddress::kMaxRows || col < 0 || col >= CellAddress::kMaxColumns) sheet_.Beyond(row, col);
        sheet_.ValueCell(static_cast<ss::row_t>(row), static_cast<ss::col_t>(col)).value = r.value;
      }
      results_.clear();
      text_.clear();
    }

   private:
    struct Result {
      ss::row_t row = 0;
      ss::col_t col = 0;
      CellValue value;
    };
    void Add(ss::row_t row, ss::col_t col, CellValue value) {
      Result& r = results_.emplace_back();
      r.row = row;
      r.col = col;
      r.value = std::move(value);
    }
    Sheet& sheet_;
    ss::range_t range_{};
    std::string text_;
    std::vector<Result> results_;
  };

 private:
  Workbook& wb_;
  std::size_t index_;
  Styles& styles_;
  SharedStrings& strings_;
  GlobalSettings& settings_;
  NamedExpressions& names_;
  Properties properties_;
  View view_;
  Formula formula_;
  ArrayFormula arrayFormula_;
  std::map<std::size_t, SharedMaster> masters_;
  std::vector<PendingShared> pending_;
};

}  // namespace

struct OrcusImportFactory::Impl {
  explicit Impl(Workbook& w) : wb(w), styles(w), names(w) {}
  Workbook& wb;
  Styles styles;
  SharedStrings strings;
  GlobalSettings settings;
  NamedExpressions names;
  ReferenceResolver resolver;
  std::vector<std::unique_ptr<Sheet>> sheets;
};

OrcusImportFactory::OrcusImportFactory(Workbook& wb) : impl_(std::make_unique<Impl>(wb)) {}
OrcusImportFactory::~OrcusImportFactory() = default;

iface::import_global_settings* OrcusImportFactory::get_global_settings() { return &impl_->settings; }
iface::import_shared_strings* OrcusImportFactory::get_shared_strings() { return &impl_->strings; }
iface::import_named_expression* OrcusImportFactory::get_named_expression() { return &impl_->names; }
iface::import_styles* OrcusImportFactory::get_styles() { return &impl_->styles; }
iface::import_reference_resolver* OrcusImportFactory::get_reference_resolver(ss::formula_ref_context_t) {
  return &impl_->resolver;
}

iface::import_sheet* OrcusImportFactory::append_sheet(ss::sheet_t index, std::string_view name) {
  if (index < 0 || static_cast<std::size_t>(index) != impl_->sheets.size()) return nullptr;
  impl_->wb.AddSheet(std::string(name));
  impl_->sheets.push_back(std::make_unique<Sheet>(impl_->wb, impl_->sheets.size(), impl_->styles, impl_->strings,
                                                  impl_->settings, impl_->names));
  return impl_->sheets.back().get();
}

iface::import_sheet* OrcusImportFactory::get_sheet(std::string_view name) {
  const int i = impl_->wb.IndexOf(name);
  return i < 0 ? nullptr : impl_->sheets[static_cast<std::size_t>(i)].get();
}

iface::import_sheet* OrcusImportFactory::get_sheet(ss::sheet_t index) {
  if (index < 0 || static_cast<std::size_t>(index) >= impl_->sheets.size()) return nullptr;
  return impl_->sheets[static_cast<std::size_t>(index)].get();
}

void OrcusImportFactory::finalize() {
  for (auto& s : impl_->sheets) s->ResolveSharedFormulas();
}

void OrcusImportFactory::Complete(const XlsxSupplement& extra) {
  impl_->styles.SetWrapFlags(extra.wrapByFormat);
  for (std::size_t i = 0; i < impl_->sheets.size(); ++i) {
    impl_->sheets[i]->Complete(i < extra.sheets.size() ? extra.sheets[i] : XlsxSupplement::Sheet{});
  }
  if (extra.activeSheet && *extra.activeSheet < impl_->sheets.size()) impl_->wb.SetActiveSheet(*extra.activeSheet);
}

}  // namespace spreadsheet
