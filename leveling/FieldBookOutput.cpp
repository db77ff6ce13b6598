#include "leveling/FieldBookOutput.h"

#include <algorithm>
#include <cmath>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

#include "leveling/LevelingText.h"
#include "leveling/Millimetres.h"
#include "leveling/RandomInRange.h"
#include "leveling/ToleranceClass.h"

namespace gaocheng {
namespace {

using spreadsheet::CellValue;
using Kind = FieldBookRow::Kind;

constexpr const char* kMetreFormat = "0.000";
constexpr const char* kWholeFormat = "0";

// A reading in metres as the book writes it, in the unit of the switch.
double Reading(double metres, const LevelingSettings& settings) {
  return settings.ShowReadingsInMetres ? RoundToMillionths(metres)
                                       : RoundToThousandths(metres * 1000);
}

double InUnit(double value, const LevelingSettings& settings) {
  return settings.ShowReadingsInMetres ? RoundToMillionths(value) : RoundToThousandths(value);
}

std::string Cell(char column, int row) { return column + std::to_string(row); }

}  // namespace

int ToleranceMillimetres(int stationCount) {
  return static_cast<int>(spreadsheet::NumberText::RoundHalfEven(6.0 * std::sqrt(static_cast<double>(stationCount))));
}

std::string ToleranceText(int stationCount) {
  return ClosureLimitText(ClosureToleranceFormula::SixRootN, stationCount, std::nullopt);
}

int ShownWidth(std::string_view utf8) {
  int width = 0;
  for (std::size_t i = 0; i < utf8.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(utf8[i]);
    if ((c & 0xC0) == 0x80) continue;
    width += c >= 0xE0 ? 2 : 1;  // three- and four-byte characters: CJK, full width
  }
  return width;
}

void BreakPages(spreadsheet::SpreadsheetHost& host) {
  spreadsheet::PrintSetup setup = host.GetPrintSetup();
  std::vector<int>& breaks = setup.rowBreaks;
  const int firstBookRow = kFirstOutputRow - 1;  // 0-based, as the breaks count rows
  breaks.erase(std::lower_bound(breaks.begin(), breaks.end(), firstBookRow), breaks.end());
  host.SetPrintSetup(setup);
  std::vector<int> starts = host.PrintedPageStarts();
  starts.erase(starts.begin(), std::lower_bound(starts.begin(), starts.end(), firstBookRow + 1));
  const std::size_t room = kMaxPageBreaks > breaks.size() ? kMaxPageBreaks - breaks.size() : 0;
  if (starts.size() > room) starts.erase(starts.begin(), starts.end() - static_cast<std::ptrdiff_t>(room));
  breaks.insert(breaks.end(), starts.begin(), starts.end());
  host.SetPrintSetup(setup);
}

FieldBookCheck CheckFieldBook(const FieldBook& book, const LevelingSettings& settings) {
  FieldBookCheck check;
  for (const FieldBookRow& row : book.Rows) {
    if (row.RowKind == Kind::StartRow || row.RowKind == Kind::TurnPointRow) {
      check.BacksightSum += Reading(row.Backsight, settings);
    }
    if (row.RowKind == Kind::TurnPointRow || row.RowKind == Kind::ClosingRow) {
      check.ForesightSum += Reading(row.Foresight, settings);
    }
  }
  check.BacksightSum = InUnit(check.BacksightSum, settings);
  check.ForesightSum = InUnit(check.ForesightSum, settings);
  check.SightDifference = InUnit(check.BacksightSum - check.ForesightSum, settings);
  const FieldBookRow& start = book.Rows.front();
  const FieldBookRow& closing = book.Rows.back();
  check.ElevationDifference = RoundToMillionths(closing.MeasuredElevation - start.DesignElevation);
  check.ClosureMm = WholeMillimetresOf(closing.MeasuredElevation - closing.DesignElevation) + 0.0;  // no −0
  check.LimitMm = ClosureLimitMillimetres(settings.ClosureToleranceFormula, book.StationCount, book.RouteMetres);
  check.LimitText = ClosureLimitText(settings.ClosureToleranceFormula, book.StationCount, book.RouteMetres);
  check.WithinLimit = std::fabs(check.ClosureMm) <= check.LimitMm;
  return check;
}

FieldBookCheck WriteFieldBook(spreadsheet::SpreadsheetHost& host, const FieldBook& book,
                              const LevelingSettings& settings, std::uint64_t seed, int simulatedPoints) {
  return WriteFieldBook(host, book, settings,
                        {// The seed takes up to 20 digits: wider than column B, whose right-aligned text would be
                         // cut at the label in A. One left-aligned text in A runs on over the empty B and C.
                         {"随机种子 " + std::to_string(seed), CellValue(), {}},
                         {"模拟高程", std::to_string(simulatedPoints) + " 点", {}}});
}

FieldBookCheck WriteFieldBook(spreadsheet::SpreadsheetHost& host, const FieldBook& book,
                              const LevelingSettings& settings, const std::vector<CheckLine>& ownLines,
                              bool tenthsOfMillimetre) {
  const FieldBookCheck check = CheckFieldBook(book, settings);
  host.SelectSheet(kOutputSheetName);
  host.ClearContents(kOutputRange);
  // A merge left in the book's area would lie over the new rows and hide readings.
  host.UnmergeCells(kOutputRange);

  // The book's rows go out in blocks of A:H, kBlockRows at a time; an empty value leaves its cell.
  constexpr int kColumns = 8;
  constexpr std::size_t kBlockRows = 1024;
  std::vector<CellValue> block;
  block.reserve(kBlockRows * kColumns);
  int blockFirstRow = kFirstOutputRow;
  const auto flush = [&] {
    if (block.empty()) return;
    host.SetRowValues("A" + std::to_string(blockFirstRow), kColumns, block);
    blockFirstRow += static_cast<int>(block.size() / kColumns);
    block.clear();
  };
  CellValue* cells = nullptr;
  const auto put = [&](char column, CellValue value) { cells[column - 'A'] = std::move(value); };
  const auto putDesign = [&](const FieldBookRow& row) {
    if (row.DesignElevation == 0) {
      put('G', std::string());
      put('H', std::string());
    } else {
      put('G', RoundToMillionths(row.DesignElevation));
      put('H', RoundToThousandths((row.MeasuredElevation - row.DesignElevation) * 1000));
    }
  };

  for (const FieldBookRow& row : book.Rows) {
    block.resize(block.size() + kColumns);
    cells = block.data() + block.size() - kColumns;
    switch (row.RowKind) {
      case Kind::StartRow:
        put('A', RemoveSpaces(row.RowText));
        put('B', Reading(row.Backsight, settings));
        put('E', RoundToMillionths(row.InstrumentHeight));
        put('G', RoundToMillionths(row.DesignElevation));
        break;
      case Kind::TurnPointRow:
        put('A', row.RowText);
        put('B', Reading(row.Backsight, settings));
        put('D', Reading(row.Foresight, settings));
        put('E', RoundToMillionths(row.InstrumentHeight));
        if (settings.ShowTurnPointElevation) put('F', RoundToMillionths(row.TurnPointElevation));
        break;
      case Kind::PointRow:
        put('A', RemoveSpaces(row.RowText));
        put(settings.MidSightInColumnC ? 'C' : 'D', Reading(row.MidSight, settings));
        put('F', RoundToMillionths(row.MeasuredElevation));
        putDesign(row);
        break;
      case Kind::ClosingRow:
        put('A', RemoveSpaces(row.RowText));
        put('D', Reading(row.Foresight, settings));
        put('F', RoundToMillionths(row.MeasuredElevation));
        putDesign(row);
        // The closing benchmark's deviation is the closure: the same whole millimetres as the
        // check block's (half to even), not 2.5 mm that the cell's whole-mm format would show
        // as 3 beside a closure of 2.
        if (row.DesignElevation != 0) put('H', check.ClosureMm);
        break;
    }
    if (block.size() == kBlockRows * kColumns) flush();
  }
  flush();
  std::vector<CellValue>().swap(block);
  int rowNumber = blockFirstRow;
  std::string address;
  const auto putCell = [&](char column, const CellValue& value) {
    address.assign(1, column);
    address += std::to_string(rowNumber);
    host.SetCellValue(address, value);
  };
  const int closingRow = rowNumber - 1;
  const char* metreFormat = tenthsOfMillimetre ? "0.0000" : kMetreFormat;
  const char* readingFormat = settings.ShowReadingsInMetres ? metreFormat : tenthsOfMillimetre ? "0.0" : kWholeFormat;
  // E:F too on every run, as B:D: a reduced book's 0.0000 would otherwise stay on the rows of a
  // simulated book written over it. One pass over the rows where the formats agree.
  if (std::string_view(readingFormat) == metreFormat) {
    host.SetNumberFormat(Cell('B', kFirstOutputRow) + ":" + Cell('F', closingRow), metreFormat);
  } else {
    host.SetNumberFormat(Cell('B', kFirstOutputRow) + ":" + Cell('D', closingRow), readingFormat);
    host.SetNumberFormat(Cell('E', kFirstOutputRow) + ":" + Cell('F', closingRow), metreFormat);
  }
  host.SetCellValue("I2", check.LimitText);

  // The heading, eight lines and the book's own ones, below one empty row.
  if (closingRow + 9 + static_cast<int>(ownLines.size()) > kLastOutputRow) {
    BreakPages(host);
    return check;
  }
  const int first = closingRow + 2;
  const std::pair<const char*, CellValue> lines[] = {
      {"计算校核", CellValue()},
      {"Σ后视", check.BacksightSum},
      {"Σ前视", check.ForesightSum},
      {"Σ后视−Σ前视", check.SightDifference},
      {"H终−H始", check.ElevationDifference},
      {"闭合差(mm)", check.ClosureMm},
      {"限差(mm)", static_cast<double>(check.LimitMm)},
      {"结论", std::string(check.WithinLimit ? "合格" : "超限")},
  };
  rowNumber = first;
  for (const auto& [label, value] : lines) {
    putCell('A', std::string(label));
    if (!std::holds_alternative<std::monostate>(value)) putCell('B', value);
    ++rowNumber;
  }
  for (const CheckLine& line : ownLines) {
    const std::string* text = std::get_if<std::string>(&line.Value);
    if (text && ShownWidth(*text) > kCheckValueWidth) {
      // Right-aligned in B, a longer text would run left into the label and print cut; after
      // the label in A it runs on over the empty cells to the right, as the seed does.
      putCell('A', line.Label + " " + *text);
      ++rowNumber;
      continue;
    }
    putCell('A', line.Label);
    if (!std::holds_alternative<std::monostate>(line.Value)) putCell('B', line.Value);
    if (!line.Format.empty()) host.SetNumberFormat(Cell('B', rowNumber), line.Format);
    ++rowNumber;
  }
  host.SetNumberFormat(Cell('B', first + 1) + ":" + Cell('B', first + 3), readingFormat);
  host.SetNumberFormat(Cell('B', first + 4), metreFormat);
  host.SetNumberFormat(Cell('B', first + 5) + ":" + Cell('B', first + 6), kWholeFormat);
  BreakPages(host);
  return check;
}

}  // namespace gaocheng
