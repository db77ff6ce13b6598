#include "leveling/ProfileSheet.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>

#include "leveling/Millimetres.h"
#include "workbook/SpreadsheetError.h"

namespace gaocheng {

namespace {

constexpr double kNone = std::numeric_limits<double>::quiet_NaN();
constexpr const char* kFieldBookSheet = "水准表";

bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }


std::string Address(char column, int row) { return column + std::to_string(row); }

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

ProfileData ProfileOf(const FieldBook& book, const LevelingSettings& settings) {
  using Kind = FieldBookRow::Kind;
  const std::size_t n = book.Rows.size();
  std::vector<std::string> names(n);
  std::vector<bool> turning(n);
  for (std::size_t i = 0; i < n; ++i) {
    names[i] = book.Rows[i].RowText;
    turning[i] = book.Rows[i].RowKind == Kind::TurnPointRow;
  }
  ProfileAxis axis = ChainageOf(names, turning);
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
    const FieldBookRow& row = book.Rows[i];
    if (row.RowKind == Kind::PointRow || row.RowKind == Kind::ClosingRow) {
      data.Measured[i] = RoundToMillionths(row.MeasuredElevation);
    }
    if (row.RowKind == Kind::TurnPointRow) {
      data.TurningPoint[i] = RoundToMillionths(row.TurnPointElevation);
      if (settings.ShowTurnPointElevation) data.Measured[i] = data.TurningPoint[i];
    }
    if (row.RowKind == Kind::PointRow && row.DesignElevation != 0) {
      data.Design[i] = RoundToMillionths(row.DesignElevation);
      data.DeviationMm[i] = RoundToThousandths((row.MeasuredElevation - row.DesignElevation) * 1000);
    }
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
  int last = first - 1;  // the last row with a chainage
  for (int r = first; r < sheet->RowExtent(); ++r) {
    if (!std::isnan(number(sheet, r, B))) last = r;
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

bool WriteProfileSheet(spreadsheet::SpreadsheetHost& host, const FieldBook& book, const LevelingSettings& settings) {
  try {
    host.SelectSheet(kProfileSheetName);
  } catch (const spreadsheet::SpreadsheetError& e) {
    if (e.Number() != spreadsheet::SpreadsheetError::kSubscriptOutOfRange) throw;
    host.SelectSheet(kFieldBookSheet);
    return false;
  }
  const ProfileData data = ProfileOf(book, settings);
  host.ClearContents("A5:I65536");
  host.SetCellValue("A2", std::string(data.ChainageFromNames
                                           ? "里程由点名解析（K1+020 为 1020 m）；点名中没有里程的水准点和转点按前后点内插"
                                           : "点名中没有里程：横轴为测点序号（起点水准点为 0，转点按前后点内插）"));
  double low = kNone, high = kNone;
  for (std::size_t i = 0; i < data.Size(); ++i) {
    const int row = kProfileFirstRow + static_cast<int>(i);
    host.SetCellValue(Address('A', row), book.Rows[i].RowText);
    if (!std::isnan(data.Chainage[i])) {
      host.SetCellValue(Address('B', row), data.Chainage[i]);
      low = std::isnan(low) ? data.Chainage[i] : std::min(low, data.Chainage[i]);
      high = std::isnan(high) ? data.Chainage[i] : std::max(high, data.Chainage[i]);
    }
    if (!std::isnan(data.Design[i])) host.SetCellValue(Address('C', row), data.Design[i]);
    if (!std::isnan(data.TurningPoint[i])) host.SetCellValue(Address('D', row), data.TurningPoint[i]);
    if (!std::isnan(data.DeviationMm[i])) host.SetCellValue(Address('E', row), data.DeviationMm[i]);
  }
  if (!std::isnan(low)) {
    for (int row : {kProfileFirstRow, kProfileFirstRow + 1}) {
      host.SetCellValue(Address('G', row), row == kProfileFirstRow ? low : high);
      host.SetCellValue(Address('H', row), data.PlusToleranceMm);
      host.SetCellValue(Address('I', row), data.MinusToleranceMm);
    }
  }
  host.SelectSheet(kFieldBookSheet);
  return true;
}

}  // namespace gaocheng
