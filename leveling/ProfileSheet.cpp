#include "leveling/ProfileSheet.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>
#include <vector>

#include "leveling/Millimetres.h"
#include "workbook/CellRange.h"
#include "workbook/CellStyle.h"
#include "workbook/SpreadsheetError.h"

namespace gaocheng {

namespace {

constexpr double kNone = std::numeric_limits<double>::quiet_NaN();
constexpr const char* kFieldBookSheet = "水准表";

bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }


std::string Address(char column, int row) { return column + std::to_string(row); }

spreadsheet::CellStyle Boxed(spreadsheet::CellStyle style) {
  const spreadsheet::Border thin{spreadsheet::BorderStyle::Thin, 0x000000};
  style.left = style.right = style.top = style.bottom = thin;
  return style;
}

spreadsheet::CellStyle Aligned(spreadsheet::HorizontalAlignment horizontal) {
  spreadsheet::CellStyle s;
  s.horizontal = horizontal;
  s.vertical = spreadsheet::VerticalAlignment::Center;
  return s;
}

// Gives every cell of the rectangle `style` and merges it, `text` in its first cell.
void Merge(spreadsheet::Workbook& book, spreadsheet::Worksheet& sheet, const spreadsheet::CellRange& range,
           const std::string& text, const spreadsheet::CellStyle& style) {
  const std::uint32_t id = book.InternStyle(style);
  for (int c = range.first.column; c <= range.last.column; ++c) sheet.SetStyle({range.first.row, c}, id);
  if (!text.empty()) sheet.SetValue(range.first, text);
  sheet.AddMerge(range);
}

}  // namespace

std::optional<double> ParseChainage(std::string_view name) {
  for (std::size_t k = 0; k < name.size(); ++k) {
    if (name[k] != 'K' && name[k] != 'k') continue;
    // Only letters may stand before the K ("ZK", "DK"), so "BMK…" is no chainage of a name "A1K2+3".
    bool lettersBefore = true;
    for (std::size_t i = 0; i < k; ++i) lettersBefore = lettersBefore && IsLetter(name[i]);
    if (!lettersBefore) return std::nullopt;
    std::size_t i = k + 1;
    const std::size_t kmBegin = i;
    while (i < name.size() && IsDigit(name[i])) ++i;
    if (i == kmBegin || i >= name.size() || name[i] != '+') continue;
    const std::size_t mBegin = ++i;
    while (i < name.size() && IsDigit(name[i])) ++i;
    if (i == mBegin) continue;
    if (i + 1 < name.size() && name[i] == '.' && IsDigit(name[i + 1])) {
      ++i;
      while (i < name.size() && IsDigit(name[i])) ++i;
    }
    double km = 0, m = 0;
    const char* first = name.data();
    if (std::from_chars(first + kmBegin, first + mBegin - 1, km).ec != std::errc{} ||
        std::from_chars(first + mBegin, first + i, m).ec != std::errc{}) {
      return std::nullopt;
    }
    return km * 1000 + m;
  }
  return std::nullopt;
}

ProfileAxis ChainageOf(const std::vector<std::string>& rowNames, const std::vector<bool>& isTurningPoint) {
  const std::size_t n = rowNames.size();
  ProfileAxis axis;
  axis.X.assign(n, kNone);
  for (std::size_t i = 0; i < n; ++i) {
    if (isTurningPoint[i]) continue;
    if (auto c = ParseChainage(rowNames[i])) {
      axis.X[i] = *c;
      axis.FromNames = true;
    }
  }
  if (!axis.FromNames) {
    double number = 0;
    for (std::size_t i = 0; i < n; ++i) {
      if (!isTurningPoint[i]) axis.X[i] = number++;
    }
  }
  std::size_t previous = n;  // the last row with an x, n while none
  for (std::size_t i = 0; i <= n; ++i) {
    if (i < n && std::isnan(axis.X[i])) continue;
    const std::size_t from = previous == n ? 0 : previous + 1;
    for (std::size_t j = from; j < i; ++j) {
      if (previous == n) {
        axis.X[j] = i < n ? axis.X[i] : kNone;
      } else if (i == n) {
        axis.X[j] = axis.X[previous];
      } else {
        const double t = static_cast<double>(j - previous) / static_cast<double>(i - previous);
        axis.X[j] = RoundToThousandths(axis.X[previous] + t * (axis.X[i] - axis.X[previous]));
      }
    }
    previous = i;
  }
  return axis;
}

namespace {

// The x of every book row (ChainageOf over the rows' names). A closing benchmark whose name
// carries no chainage has none: held level with the last station it would stand at the road's
// chainage with its own elevation, often metres off the road, and the measured line would drop
// to it as if the road did.
ProfileAxis AxisOf(const FieldBook& book) {
  const std::size_t n = book.Rows.size();
  std::vector<std::string> names(n);
  std::vector<bool> turning(n);
  for (std::size_t i = 0; i < n; ++i) {
    names[i] = book.Rows[i].RowText;
    turning[i] = book.Rows[i].RowKind == FieldBookRow::Kind::TurnPointRow;
  }
  ProfileAxis axis = ChainageOf(names, turning);
  if (axis.FromNames && n > 0 && book.Rows.back().RowKind == FieldBookRow::Kind::ClosingRow &&
      !ParseChainage(names.back())) {
    axis.X.back() = kNone;
  }
  return axis;
}

// What one book row shows on the profile; NaN where it has no such value.
struct RowFigures {
  double Design = kNone;
  double Measured = kNone;
  double TurningPoint = kNone;
  double DeviationMm = kNone;
};

RowFigures FiguresOf(const FieldBookRow& row, const LevelingSettings& settings) {
  using Kind = FieldBookRow::Kind;
  RowFigures f;
  if (row.RowKind == Kind::PointRow || row.RowKind == Kind::ClosingRow) f.Measured = RoundToMillionths(row.MeasuredElevation);
  if (row.RowKind == Kind::TurnPointRow) {
    f.TurningPoint = RoundToMillionths(row.TurnPointElevation);
    if (settings.ShowTurnPointElevation) f.Measured = f.TurningPoint;
  }
  if (row.RowKind == Kind::PointRow && row.DesignElevation != 0) {
    f.Design = RoundToMillionths(row.DesignElevation);
    f.DeviationMm = RoundToThousandths((row.MeasuredElevation - row.DesignElevation) * 1000);
  }
  return f;
}

}  // namespace

ProfileData ProfileOf(const FieldBook& book, const LevelingSettings& settings) {
  const std::size_t n = book.Rows.size();
  ProfileAxis axis = AxisOf(book);
  ProfileData data;
  data.Chainage = std::move(axis.X);
  data.ChainageFromNames = axis.FromNames;
  data.PlusToleranceMm = settings.MidPointPlusTolerance;
  data.MinusToleranceMm = settings.MidPointMinusTolerance;
  data.Design.assign(n, kNone);
  data.Measured.assign(n, kNone);
  data.TurningPoint.assign(n, kNone);
  data.DeviationMm.assign(n, kNone);
  for (std::size_t i = 0; i < n; ++i) {
    const RowFigures f = FiguresOf(book.Rows[i], settings);
    data.Design[i] = f.Design;
    data.Measured[i] = f.Measured;
    data.TurningPoint[i] = f.TurningPoint;
    data.DeviationMm[i] = f.DeviationMm;
  }
  return data;
}

std::optional<ProfileData> ReadProfile(const spreadsheet::Workbook& workbook) {
  const spreadsheet::Worksheet* sheet = workbook.FindSheet(kProfileSheetName);
  if (sheet == nullptr) return std::nullopt;
  const spreadsheet::Worksheet* bookSheet = workbook.FindSheet(kFieldBookSheet);
  auto number = [](const spreadsheet::Worksheet* ws, int row, int column) {
    if (ws == nullptr) return kNone;
    const spreadsheet::CellValue v = ws->Value({row, column});
    return spreadsheet::IsNumber(v) ? std::get<double>(v) : kNone;
  };
  enum { A, B, C, D, E, F, G, H, I };
  ProfileData data;
  const int first = kProfileFirstRow - 1;
  int last = first - 1;  // the last row with a chainage or a point name
  for (int r = first; r < sheet->RowExtent(); ++r) {
    if (!std::isnan(number(sheet, r, B)) || spreadsheet::IsText(sheet->Value({r, A}))) last = r;
  }
  for (int r = first; r <= last; ++r) {
    data.Chainage.push_back(number(sheet, r, B));
    data.Design.push_back(number(sheet, r, C));
    data.TurningPoint.push_back(number(sheet, r, D));
    data.DeviationMm.push_back(number(sheet, r, E));
    data.Measured.push_back(number(bookSheet, r, F));
  }
  const double plus = number(sheet, first, H), minus = number(sheet, first, I);
  if (!std::isnan(plus)) data.PlusToleranceMm = plus;
  if (!std::isnan(minus)) data.MinusToleranceMm = minus;
  const spreadsheet::CellValue note = sheet->Value({1, A});
  data.ChainageFromNames = !spreadsheet::IsText(note) || std::get<std::string>(note).find("序号") == std::string::npos;
  return data;
}

std::vector<spreadsheet::ScatterChart> ProfileCharts() {
  auto range = [](const char* sheet, char column) {
    const std::string c(1, column);
    return "'" + std::string(sheet) + "'!$" + c + "$" + std::to_string(kProfileFirstRow) + ":$" + c + "$65536";
  };
  const std::string chainage = range(kProfileSheetName, 'B');
  spreadsheet::ScatterChart elevations;
  elevations.title = "纵断面：设计高程与实测高程";
  elevations.xTitle = "里程（m）";
  elevations.yTitle = "高程（m）";
  elevations.series = {
      {"设计高程", chainage, range(kProfileSheetName, 'C'), 0x1F4E9A, true, false, false},
      {"实测高程", chainage, range(kFieldBookSheet, 'F'), 0xC0392B, true, true, false},
      {"转点", chainage, range(kProfileSheetName, 'D'), 0x2E8B57, false, true, false},
  };
  elevations.fromRow = 0;
  elevations.fromColumn = 10;
  elevations.toRow = 24;
  elevations.toColumn = 22;
  spreadsheet::ScatterChart deviations;
  deviations.title = "偏差（实测高程 − 设计高程）";
  deviations.xTitle = "里程（m）";
  deviations.yTitle = "偏差（mm）";
  const std::string ends = "'" + std::string(kProfileSheetName) + "'!$G$5:$G$6";
  deviations.series = {
      {"偏差", chainage, range(kProfileSheetName, 'E'), 0xC0392B, true, true, false},
      {"正限差", ends, "'" + std::string(kProfileSheetName) + "'!$H$5:$H$6", 0x7F7F7F, true, false, true},
      {"负限差", ends, "'" + std::string(kProfileSheetName) + "'!$I$5:$I$6", 0x7F7F7F, true, false, true},
  };
  deviations.fromRow = 25;
  deviations.fromColumn = 10;
  deviations.toRow = 47;
  deviations.toColumn = 22;
  return {elevations, deviations};
}

spreadsheet::Workbook ProfileSheetLayout() {
  using spreadsheet::HorizontalAlignment;
  enum { A, B, C, D, E, F, G, H, I };
  spreadsheet::Workbook book;
  spreadsheet::Worksheet& sheet = book.AddSheet(kProfileSheetName);
  spreadsheet::CellStyle title = Aligned(HorizontalAlignment::Center);
  title.bold = true;
  title.fontSize = 16;
  Merge(book, sheet, {{0, A}, {0, I}}, kProfileSheetName, title);
  sheet.SetRowHeight(0, 28);
  Merge(book, sheet, {{1, A}, {1, I}}, {}, Aligned(HorizontalAlignment::Left));
  spreadsheet::CellStyle header = Boxed(Aligned(HorizontalAlignment::Center));
  header.bold = true;
  header.wrapText = true;
  header.fill = 0xDDEBF7;  // pale blue, 0xRRGGBB, as the template's other headers
  const std::uint32_t headerId = book.InternStyle(header);
  const char* headers[] = {"点名", "里程(m)", "设计高程(m)", "转点高程(m)", "偏差(mm)", nullptr, "限差线里程(m)",
                           "正限差(mm)", "负限差(mm)"};
  for (int c = A; c <= I; ++c) {
    if (headers[c] == nullptr) continue;
    sheet.SetValue({3, c}, std::string(headers[c]));
    sheet.SetStyle({3, c}, headerId);
  }
  sheet.SetRowHeight(3, 22);
  auto body = [&book](const char* format, HorizontalAlignment horizontal) {
    spreadsheet::CellStyle s = Boxed(Aligned(horizontal));
    s.numberFormat = format;
    return book.InternStyle(s);
  };
  sheet.SetColumnStyle(A, body("General", HorizontalAlignment::Left));
  sheet.SetColumnStyle(B, body("0.000", HorizontalAlignment::Right));
  sheet.SetColumnStyle(C, body("0.000", HorizontalAlignment::Right));
  sheet.SetColumnStyle(D, body("0.000", HorizontalAlignment::Right));
  sheet.SetColumnStyle(E, body("0.0", HorizontalAlignment::Right));
  const double widths[] = {20, 11, 12, 12, 10, 3, 14, 11, 11};
  for (int c = A; c <= I; ++c) sheet.SetColumnWidth(c, widths[c]);
  sheet.SetFrozen(spreadsheet::FrozenPane{4, 0});
  sheet.SetCharts(ProfileCharts());
  sheet.Print().paperSize = 9;  // A4
  sheet.Print().fitToWidth = 1;
  book.SetModified(false);
  return book;
}

bool WriteProfileSheet(spreadsheet::SpreadsheetHost& host, const FieldBook& book, const LevelingSettings& settings) {
  bool added = false;
  try {
    host.SelectSheet(kProfileSheetName);
  } catch (const spreadsheet::SpreadsheetError& e) {
    if (e.Number() != spreadsheet::SpreadsheetError::kSubscriptOutOfRange) throw;
    host.AddSheetCopy(ProfileSheetLayout(), kProfileSheetName);
    added = true;
  }
  // Row by row, as ProfileOf has it: only the axis is held whole (a long route's profile is
  // megabytes beside the cells being made of it).
  const ProfileAxis axis = AxisOf(book);
  host.ClearContents("A5:I65536");
  host.SetCellValue("A2", std::string(axis.FromNames
                                           ? "里程由点名解析（K1+020 为 1020 m）；点名中没有里程的水准点和转点按前后点内插，"
                                             "没有里程的闭合水准点不绘出"
                                           : "点名中没有里程：横轴为测点序号（起点水准点为 0，转点按前后点内插）"));
  double low = kNone, high = kNone;
  // The rows go out in blocks of A:E, as the book's do; an empty value leaves its cell.
  constexpr int kColumns = 5;
  constexpr std::size_t kBlockRows = 1024;
  std::vector<spreadsheet::CellValue> block;
  block.reserve(std::min(axis.X.size(), kBlockRows) * kColumns);
  int blockFirstRow = kProfileFirstRow;
  const auto flush = [&] {
    if (block.empty()) return;
    host.SetRowValues(Address('A', blockFirstRow), kColumns, block);
    blockFirstRow += static_cast<int>(block.size() / kColumns);
    block.clear();
  };
  const auto number = [](double value) { return std::isnan(value) ? spreadsheet::CellValue() : spreadsheet::CellValue(value); };
  for (std::size_t i = 0; i < axis.X.size(); ++i) {
    const double x = axis.X[i];
    const RowFigures f = FiguresOf(book.Rows[i], settings);
    block.emplace_back(book.Rows[i].RowText);
    // #N/A, not blank: spreadsheet programs leave a point whose x is #N/A out of a scatter
    // chart, while some take a blank x for 0.
    block.push_back(std::isnan(x) ? spreadsheet::CellValue(spreadsheet::CellError{"#N/A"}) : spreadsheet::CellValue(x));
    block.push_back(number(f.Design));
    block.push_back(number(f.TurningPoint));
    block.push_back(number(f.DeviationMm));
    if (!std::isnan(x)) {
      low = std::isnan(low) ? x : std::min(low, x);
      high = std::isnan(high) ? x : std::max(high, x);
    }
    if (block.size() == kBlockRows * kColumns) flush();
  }
  flush();
  std::vector<spreadsheet::CellValue>().swap(block);
  if (!std::isnan(low)) {
    for (int row : {kProfileFirstRow, kProfileFirstRow + 1}) {
      host.SetCellValue(Address('G', row), row == kProfileFirstRow ? low : high);
      host.SetCellValue(Address('H', row), settings.MidPointPlusTolerance);
      host.SetCellValue(Address('I', row), settings.MidPointMinusTolerance);
    }
  }
  host.SelectSheet(kFieldBookSheet);
  return added;
}

}  // namespace gaocheng
