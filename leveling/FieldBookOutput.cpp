#include "leveling/FieldBookOutput.h"

#include <cmath>
#include <string>

#include "leveling/LevelingText.h"
#include "leveling/RandomInRange.h"

namespace gaocheng {
namespace {

using spreadsheet::CellValue;
using Kind = FieldBookRow::Kind;

}  // namespace

std::string ToleranceText(int stationCount) {
  const double tolerance = RoundHalfEven(6.0 * std::sqrt(static_cast<double>(stationCount)));
  return "±6√n=±" + std::to_string(static_cast<long long>(tolerance));
}

void WriteFieldBook(spreadsheet::SpreadsheetHost& host, const FieldBook& book,
                    const LevelingSettings& settings) {
  const double unitFactor = settings.ShowReadingsInMetres ? 1.0 : 1000.0;
  host.SelectSheet(kOutputSheetName);
  host.ClearContents(kOutputRange);

  int rowNumber = kFirstOutputRow;
  std::string address;
  const auto put = [&](char column, const CellValue& value) {
    address.assign(1, column);
    address += std::to_string(rowNumber);
    host.SetCellValue(address, value);
  };
  const auto putDesign = [&](const FieldBookRow& row) {
    if (row.DesignElevation == 0) {
      put('G', std::string());
      put('H', std::string());
    } else {
      put('G', row.DesignElevation);
      put('H', (row.MeasuredElevation - row.DesignElevation) * 1000);
    }
  };

  for (const FieldBookRow& row : book.Rows) {
    switch (row.RowKind) {
      case Kind::StartRow:
        put('A', RemoveSpaces(row.RowText));
        put('B', row.Backsight * unitFactor);
        put('E', row.InstrumentHeight);
        put('G', row.DesignElevation);
        break;
      case Kind::TurnPointRow:
        put('A', row.RowText);
        put('B', row.Backsight * unitFactor);
        put('D', row.Foresight * unitFactor);
        put('E', row.InstrumentHeight);
        if (settings.ShowTurnPointElevation) put('F', row.TurnPointElevation);
        break;
      case Kind::PointRow:
        put('A', RemoveSpaces(row.RowText));
        put(settings.MidSightInColumnC ? 'C' : 'D', row.MidSight * unitFactor);
        put('F', row.MeasuredElevation);
        putDesign(row);
        break;
      case Kind::ClosingRow:
        put('A', RemoveSpaces(row.RowText));
        put('D', row.Foresight * unitFactor);
        put('F', row.MeasuredElevation);
        putDesign(row);
        break;
    }
    ++rowNumber;
  }
  host.SetCellValue("I2", ToleranceText(book.StationCount));
}

}  // namespace gaocheng
