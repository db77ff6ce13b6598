#include "xlsx/isolate/WorkbookSerializer.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <type_traits>

#include "workbook/SpreadsheetError.h"

namespace spreadsheet {

namespace {

constexpr std::uint32_t kMagic = 0x4C42574Bu;  // "LBWK"

enum class CellKind : std::uint8_t { Empty, Number, Text, Error, NoResult, False, True };

// Hands the image on in pieces of about kPiece bytes, so that it never stands whole in memory
// on the writing side.
class Writer {
 public:
  static constexpr std::size_t kPiece = std::size_t{1} << 20;

  explicit Writer(const WorkbookSerializer::Sink& sink) : sink_(sink) { out_.reserve(kPiece + 64); }
  template <typename T>
  void Put(T v) {
    static_assert(std::is_trivially_copyable_v<T>);
    out_.append(reinterpret_cast<const char*>(&v), sizeof v);
  }
  void PutString(std::string_view s) {
    Put(static_cast<std::uint32_t>(s.size()));
    if (out_.size() + s.size() > kPiece) {
      Flush();
      if (s.size() > kPiece) {
        sink_(s);
        return;
      }
    }
    out_.append(s);
  }
  // Between records: passes the piece on once it is full.
  void Mark() {
    if (out_.size() >= kPiece) Flush();
  }
  void Flush() {
    if (out_.empty()) return;
    sink_(out_);
    out_.clear();
  }

 private:
  const WorkbookSerializer::Sink& sink_;
  std::string out_;
};

class Reader {
 public:
  explicit Reader(std::string_view in) : in_(in) {}
  template <typename T>
  T Get() {
    Need(sizeof(T));
    T v;
    std::memcpy(&v, in_.data() + pos_, sizeof v);
    pos_ += sizeof v;
    return v;
  }
  std::string GetString() { return std::string(GetView()); }
  std::string_view GetView() {
    const auto n = Get<std::uint32_t>();
    Need(n);
    const std::string_view s = in_.substr(pos_, n);
    pos_ += n;
    return s;
  }
  bool AtEnd() const { return pos_ == in_.size(); }

 private:
  void Need(std::size_t n) const {
    if (in_.size() - pos_ < n) {
      throw SpreadsheetError(SpreadsheetError::kApplicationDefined, "工作簿数据不完整");
    }
  }
  std::string_view in_;
  std::size_t pos_ = 0;
};

void PutBorder(Writer& w, const Border& b) {
  w.Put(static_cast<std::uint8_t>(b.style));
  w.Put(b.color);
}

Border GetBorder(Reader& r) {
  Border b;
  b.style = static_cast<BorderStyle>(r.Get<std::uint8_t>());
  b.color = r.Get<std::uint32_t>();
  return b;
}

void PutColor(Writer& w, const std::optional<std::uint32_t>& c) {
  w.Put(static_cast<std::uint8_t>(c.has_value()));
  w.Put(c.value_or(0));
}

std::optional<std::uint32_t> GetColor(Reader& r) {
  const bool has = r.Get<std::uint8_t>() != 0;
  const auto v = r.Get<std::uint32_t>();
  return has ? std::optional<std::uint32_t>(v) : std::nullopt;
}

void PutStyle(Writer& w, const CellStyle& s) {
  w.PutString(s.numberFormat);
  w.PutString(s.fontName);
  w.Put(s.fontSize);
  w.Put(static_cast<std::uint8_t>(s.bold | (s.italic << 1) | (s.wrapText << 2)));
  PutColor(w, s.fontColor);
  w.Put(static_cast<std::uint8_t>(s.horizontal));
  w.Put(static_cast<std::uint8_t>(s.vertical));
  PutBorder(w, s.left);
  PutBorder(w, s.right);
  PutBorder(w, s.top);
  PutBorder(w, s.bottom);
  PutColor(w, s.fill);
}

CellStyle GetStyle(Reader& r) {
  CellStyle s;
  s.numberFormat = r.GetString();
  s.fontName = r.GetString();
  s.fontSize = r.Get<double>();
  const auto flags = r.Get<std::uint8_t>();
  s.bold = flags & 1;
  s.italic = flags & 2;
  s.wrapText = flags & 4;
  s.fontColor = GetColor(r);
  s.horizontal = static_cast<HorizontalAlignment>(r.Get<std::uint8_t>());
  s.vertical = static_cast<VerticalAlignment>(r.Get<std::uint8_t>());
  s.left = GetBorder(r);
  s.right = GetBorder(r);
  s.top = GetBorder(r);
  s.bottom = GetBorder(r);
  s.fill = GetColor(r);
  return s;
}

void PutPrint(Writer& w, const PrintSetup& p) {
  w.Put(static_cast<std::uint8_t>(p.landscape | (p.centerHorizontally << 1) | (p.printGridLines << 2)));
  w.Put(static_cast<std::int32_t>(p.paperSize));
  w.Put(static_cast<std::int32_t>(p.repeatRowsFirst));
  w.Put(static_cast<std::int32_t>(p.repeatRowsLast));
  w.Put(static_cast<std::int32_t>(p.fitToWidth));
  w.Put(p.marginLeft);
  w.Put(p.marginRight);
  w.Put(p.marginTop);
  w.Put(p.marginBottom);
  w.PutString(p.header);
  w.PutString(p.footer);
  w.Put(static_cast<std::int32_t>(p.rowBreaks.size()));
  for (int b : p.rowBreaks) w.Put(static_cast<std::int32_t>(b));
}

PrintSetup GetPrint(Reader& r) {
  PrintSetup p;
  const auto flags = r.Get<std::uint8_t>();
  p.landscape = flags & 1;
  p.centerHorizontally = flags & 2;
  p.printGridLines = flags & 4;
  p.paperSize = r.Get<std::int32_t>();
  p.repeatRowsFirst = r.Get<std::int32_t>();
  p.repeatRowsLast = r.Get<std::int32_t>();
  p.fitToWidth = r.Get<std::int32_t>();
  p.marginLeft = r.Get<double>();
  p.marginRight = r.Get<double>();
  p.marginTop = r.Get<double>();
  p.marginBottom = r.Get<double>();
  p.header = r.GetString();
  p.footer = r.GetString();
  const auto breaks = r.Get<std::int32_t>();
  for (std::int32_t i = 0; i < breaks; ++i) p.rowBreaks.push_back(r.Get<std::int32_t>());
  return p;
}

bool IsBlank(const Cell& c) { return IsEmptyValue(c.value) && c.formula.empty() && c.style == 0; }

CellAddress CheckedAddress(std::int32_t row, std::int32_t column) {
  if (row < 0 || row >= CellAddress::kMaxRows || column < 0 || column >= CellAddress::kMaxColumns) {
    throw SpreadsheetError(SpreadsheetError::kApplicationDefined, "工作簿数据中的单元格位置无效");
  }
  return CellAddress{row, column};
}

}  // namespace

std::string WorkbookSerializer::Serialize(const Workbook& wb) {
  std::string image;
  Serialize(wb, [&image](std::string_view piece) { image.append(piece); });
  return image;
}

void WorkbookSerializer::Serialize(const Workbook& wb, const Sink& sink) {
  Writer w(sink);
  w.Put(kMagic);
  w.Put(static_cast<std::uint32_t>(wb.StyleCount()));
  for (std::size_t i = 0; i < wb.StyleCount(); ++i) PutStyle(w, wb.Style(static_cast<std::uint32_t>(i)));
  w.Put(static_cast<std::uint32_t>(wb.SheetCount()));
  for (std::size_t i = 0; i < wb.SheetCount(); ++i) {
    const Worksheet& ws = wb.SheetAt(i);
    w.PutString(ws.Name());
    // Row by row: the row, one past its last cell that is not blank, how many such cells; then
    // each cell with its column.
    std::uint32_t rowCount = 0;
    for (int r = 0; r < ws.RowExtent(); ++r) {
      const auto& row = ws.Row(r);
      rowCount += std::any_of(row.begin(), row.end(), [](const Cell& c) { return !IsBlank(c); });
    }
    w.Put(rowCount);
    for (int r = 0; r < ws.RowExtent(); ++r) {
      const auto& row = ws.Row(r);
      std::uint32_t cells = 0, width = 0;
      for (std::size_t col = 0; col < row.size(); ++col) {
        if (IsBlank(row[col])) continue;
        ++cells;
        width = static_cast<std::uint32_t>(col + 1);
      }
      if (cells == 0) continue;
      w.Put(static_cast<std::int32_t>(r));
      w.Put(width);
      w.Put(cells);
      for (std::size_t col = 0; col < row.size(); ++col) {
        const Cell& c = row[col];
        if (IsBlank(c)) continue;
        w.Put(static_cast<std::int32_t>(col));
        w.Put(c.style);
        if (const double* d = std::get_if<double>(&c.value)) {
          w.Put(CellKind::Number);
          w.Put(*d);
        } else if (const std::string* s = std::get_if<std::string>(&c.value)) {
          w.Put(CellKind::Text);
          w.PutString(*s);
        } else if (const CellError* e = std::get_if<CellError>(&c.value)) {
          w.Put(CellKind::Error);
          w.PutString(e->code);
        } else if (std::holds_alternative<NoStoredResult>(c.value)) {
          w.Put(CellKind::NoResult);
        } else if (const bool* b = std::get_if<bool>(&c.value)) {
          w.Put(*b ? CellKind::True : CellKind::False);
        } else {
          w.Put(CellKind::Empty);
        }
        w.PutString(c.formula);
      }
      w.Mark();
    }
    w.Put(static_cast<std::uint32_t>(ws.ColumnWidths().size()));
    for (const auto& [col, width] : ws.ColumnWidths()) {
      w.Put(static_cast<std::int32_t>(col));
      w.Put(width);
    }
    w.Put(static_cast<std::uint32_t>(ws.RowHeights().size()));
    for (const auto& [row, height] : ws.RowHeights()) {
      w.Put(static_cast<std::int32_t>(row));
      w.Put(height);
    }
    w.Put(static_cast<std::uint32_t>(ws.ColumnStyles().size()));
    for (const auto& [col, style] : ws.ColumnStyles()) {
      w.Put(static_cast<std::int32_t>(col));
      w.Put(style);
    }
    w.Put(static_cast<std::uint32_t>(ws.Merges().size()));
    for (const CellRange& m : ws.Merges()) {
      w.Put(static_cast<std::int32_t>(m.first.row));
      w.Put(static_cast<std::int32_t>(m.first.column));
      w.Put(static_cast<std::int32_t>(m.last.row));
      w.Put(static_cast<std::int32_t>(m.last.column));
    }
    PutPrint(w, ws.Print());
    w.Put(static_cast<std::int32_t>(ws.Frozen().rows));
    w.Put(static_cast<std::int32_t>(ws.Frozen().columns));
    const SheetOrigin& o = ws.Origin();
    w.PutString(o.part);
    w.Put(o.cells);
    w.Put(o.columns);
    w.Put(o.merges);
    w.Put(o.layout);
    w.Put(static_cast<std::uint8_t>(o.clipped));
  }
  w.Put(static_cast<std::uint32_t>(wb.ActiveSheet()));
  w.Put(static_cast<std::uint8_t>(wb.IsModified()));
  w.Put(static_cast<std::uint8_t>(wb.Dates() == DateSystem::From1904));
  w.Put(static_cast<std::uint32_t>(wb.DefinedNames().size()));
  for (const DefinedName& n : wb.DefinedNames()) {
    w.PutString(n.name);
    w.Put(static_cast<std::int32_t>(n.sheet));
    w.PutString(n.formula);
    w.Mark();
  }
  const PackageOrigin* origin = wb.Origin();
  w.Put(static_cast<std::uint8_t>(origin != nullptr));
  w.Put(origin ? origin->styleCount : 0u);
  w.Put(static_cast<std::uint32_t>(origin ? origin->activeSheet : 0));
  w.Flush();
}

Workbook WorkbookSerializer::Deserialize(std::string_view image) {
  Reader r(image);
  if (r.Get<std::uint32_t>() != kMagic) {
    throw SpreadsheetError(SpreadsheetError::kApplicationDefined, "工作簿数据格式无效");
  }
  Workbook wb;
  const auto styleCount = r.Get<std::uint32_t>();
  if (styleCount == 0) throw SpreadsheetError(SpreadsheetError::kApplicationDefined, "工作簿数据中的样式表无效");
  for (std::uint32_t i = 0; i < styleCount; ++i) wb.AppendStyle(GetStyle(r), i == 0);
  auto checkedStyle = [&](std::uint32_t id) {
    if (id >= wb.StyleCount()) {
      throw SpreadsheetError(SpreadsheetError::kApplicationDefined, "工作簿数据中的样式编号无效");
    }
    return id;
  };
  const auto sheetCount = r.Get<std::uint32_t>();
  for (std::uint32_t i = 0; i < sheetCount; ++i) {
    Worksheet& ws = wb.AddSheet(r.GetString());
    for (auto rows = r.Get<std::uint32_t>(); rows > 0; --rows) {
      const auto row = r.Get<std::int32_t>();
      const auto width = r.Get<std::uint32_t>();
      const auto cells = r.Get<std::uint32_t>();
      // The row made as wide as its cells need at once; its last cell is among them.
      if (width == 0 || cells == 0 || cells > width) {
        throw SpreadsheetError(SpreadsheetError::kApplicationDefined, "工作簿数据中的行无效");
      }
      ws.CellAt(CheckedAddress(row, static_cast<std::int32_t>(std::min<std::uint32_t>(width, 1u << 30) - 1)));
      for (std::uint32_t k = 0; k < cells; ++k) {
        const auto col = r.Get<std::int32_t>();
        Cell& c = ws.CellAt(CheckedAddress(row, col));
        c.style = checkedStyle(r.Get<std::uint32_t>());
        switch (r.Get<CellKind>()) {
          case CellKind::Number: c.value = r.Get<double>(); break;
          case CellKind::Text: c.value.emplace<std::string>(r.GetView()); break;
          case CellKind::Error: c.value = CellError{r.GetString()}; break;
          case CellKind::NoResult: c.value = NoStoredResult{}; break;
          case CellKind::False: c.value = false; break;
          case CellKind::True: c.value = true; break;
          case CellKind::Empty: break;
          default: throw SpreadsheetError(SpreadsheetError::kApplicationDefined, "工作簿数据中的单元格类型无效");
        }
        c.formula = r.GetView();
      }
    }
    for (auto n = r.Get<std::uint32_t>(); n > 0; --n) {
      const auto col = r.Get<std::int32_t>();
      ws.SetColumnWidth(CheckedAddress(0, col).column, r.Get<double>());
    }
    for (auto n = r.Get<std::uint32_t>(); n > 0; --n) {
      const auto row = r.Get<std::int32_t>();
      ws.SetRowHeight(CheckedAddress(row, 0).row, r.Get<double>());
    }
    for (auto n = r.Get<std::uint32_t>(); n > 0; --n) {
      const auto col = r.Get<std::int32_t>();
      ws.SetColumnStyle(CheckedAddress(0, col).column, checkedStyle(r.Get<std::uint32_t>()));
    }
    for (auto n = r.Get<std::uint32_t>(); n > 0; --n) {
      const auto r0 = r.Get<std::int32_t>();
      const auto c0 = r.Get<std::int32_t>();
      const auto r1 = r.Get<std::int32_t>();
      const auto c1 = r.Get<std::int32_t>();
      ws.AddMerge(CellRange::Normalised(CheckedAddress(r0, c0), CheckedAddress(r1, c1)));
    }
    ws.Print() = GetPrint(r);
    FrozenPane pane;
    pane.rows = r.Get<std::int32_t>();
    pane.columns = r.Get<std::int32_t>();
    if (pane.rows < 0 || pane.rows >= CellAddress::kMaxRows || pane.columns < 0 || pane.columns >= CellAddress::kMaxColumns) {
      throw SpreadsheetError(SpreadsheetError::kApplicationDefined, "工作簿数据中的冻结窗格无效");
    }
    ws.SetFrozen(pane);
    SheetOrigin o;
    o.part = r.GetString();
    o.cells = r.Get<std::uint64_t>();
    o.columns = r.Get<std::uint64_t>();
    o.merges = r.Get<std::uint64_t>();
    o.layout = r.Get<std::uint64_t>();
    o.clipped = r.Get<std::uint8_t>() != 0;
    ws.SetOrigin(std::move(o));
  }
  const auto active = r.Get<std::uint32_t>();
  if (sheetCount > 0) {
    if (active >= sheetCount) {
      throw SpreadsheetError(SpreadsheetError::kApplicationDefined, "工作簿数据中的活动工作表无效");
    }
    wb.SetActiveSheet(active);
  }
  wb.SetModified(r.Get<std::uint8_t>() != 0);
  // The day date serials count from: every date the workbook shows depends on it.
  const auto from1904 = r.Get<std::uint8_t>();
  if (from1904 > 1) throw SpreadsheetError(SpreadsheetError::kApplicationDefined, "工作簿数据中的日期系统无效");
  wb.SetDates(from1904 != 0 ? DateSystem::From1904 : DateSystem::From1900);
  std::vector<DefinedName> names;
  for (auto n = r.Get<std::uint32_t>(); n > 0; --n) {
    DefinedName name;
    name.name = r.GetString();
    name.sheet = r.Get<std::int32_t>();
    name.formula = r.GetString();
    if (name.sheet < -1 || name.sheet >= static_cast<std::int32_t>(sheetCount)) {
      throw SpreadsheetError(SpreadsheetError::kApplicationDefined, "工作簿数据中的名称无效");
    }
    names.push_back(std::move(name));
  }
  wb.SetDefinedNames(std::move(names));
  const bool hasOrigin = r.Get<std::uint8_t>() != 0;
  PackageOrigin origin;
  origin.styleCount = r.Get<std::uint32_t>();
  origin.activeSheet = r.Get<std::uint32_t>();
  // The package's bytes are not in the image: whoever holds the file attaches them.
  if (hasOrigin) {
    if (origin.styleCount > wb.StyleCount()) {
      throw SpreadsheetError(SpreadsheetError::kApplicationDefined, "工作簿数据中的样式表无效");
    }
    wb.SetOrigin(std::move(origin));
  }
  if (!r.AtEnd()) throw SpreadsheetError(SpreadsheetError::kApplicationDefined, "工作簿数据末尾有多余内容");
  return wb;
}

}  // namespace spreadsheet
