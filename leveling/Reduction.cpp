#include "leveling/Reduction.h"

#include <cmath>
#include <cstdint>
#include <string>
#include <unordered_map>

#include "leveling/LevelingError.h"
#include "leveling/LevelingText.h"
#include "workbook/NumberText.h"
#include "leveling/RandomInRange.h"

namespace gaocheng {
namespace {

using Kind = FieldBookRow::Kind;

std::int64_t Micrometres(double metres, const std::string& what) {
  if (!(std::fabs(metres) < 1e9)) {
    throw LevelingError(LevelingError::kOverflow, what + " " + spreadsheet::NumberText::EditText(metres) + " 米超出可计算的范围");
  }
  return static_cast<std::int64_t>(spreadsheet::NumberText::RoundHalfEven(metres * 1e6));
}

double Metres(std::int64_t micrometres) { return static_cast<double>(micrometres) / 1e6; }

std::string RowNumber(const ObservationRow& row, std::size_t index) {
  return std::to_string(row.SheetRow != 0 ? row.SheetRow : static_cast<int>(index) + 5);
}

// "观测记录第 7 行（TP2）"
std::string Where(const ObservationRow& row, std::size_t index) {
  return "观测记录第 " + RowNumber(row, index) + " 行（" + row.Point + "）";
}

std::string Cell(char column, const ObservationRow& row, std::size_t index) {
  return column + RowNumber(row, index);
}

LevelingError Refuse(const std::string& text) { return LevelingError(LevelingError::kInvalidInput, text); }

std::string NameKey(const std::string& name) { return RemoveSpaces(CutToCharacters(TrimSpaces(name), 64)); }

}  // namespace

ObservedBook ReduceObservations(const std::vector<ObservationRow>& rows, const ReductionInput& input) {
  if (rows.size() < 2) {
    throw Refuse("观测记录至少要有两行：第 5 行为起始水准点及其后视，最后一行为闭合水准点及其前视");
  }
  if (rows.size() > kMaxFieldBookRows) {
    throw LevelingError(LevelingError::kOverflow, "观测记录有 " + std::to_string(rows.size()) + " 行，水准表写不下");
  }
  const ObservationRow& first = rows.front();
  const ObservationRow& last = rows.back();
  const std::size_t lastIndex = rows.size() - 1;
  if (RemoveSpaces(CutToCharacters(TrimSpaces(first.Point), 16)) != RemoveSpaces(input.StartName)) {
    throw Refuse(Where(first, 0) + "应为起始水准点“" + input.StartName + "”（数据输入 E5）");
  }
  if (RemoveSpaces(CutToCharacters(TrimSpaces(last.Point), 16)) != RemoveSpaces(input.EndName)) {
    throw Refuse(Where(last, lastIndex) + "应为闭合水准点“" + input.EndName + "”（数据输入 F5）");
  }
  if (!first.Backsight || first.MidSight || first.Foresight) {
    throw Refuse(Where(first, 0) + "是起始水准点，只记后视：" + Cell('B', first, 0) + " 须有读数，" +
                 Cell('C', first, 0) + "、" + Cell('D', first, 0) + " 须为空");
  }
  if (!last.Foresight || last.Backsight || last.MidSight) {
    throw Refuse(Where(last, lastIndex) + "是闭合水准点，只记前视：" + Cell('D', last, lastIndex) + " 须有读数，" +
                 Cell('B', last, lastIndex) + "、" + Cell('C', last, lastIndex) + " 须为空");
  }

  bool hasDistances = false;
  for (const ObservationRow& row : rows) hasDistances = hasDistances || row.BackDistance || row.ForeDistance;

  std::unordered_map<std::string, double> design;
  for (const auto& [name, elevation] : input.DesignElevations) design.emplace(NameKey(name), elevation);

  ObservedBook observed;
  FieldBook& book = observed.Book;
  book.Rows.reserve(rows.size());
  observed.SetUpOfRow.reserve(rows.size());
  int setUp = 1;
  double backDistance = 0;
  double routeMetres = 0;
  const auto needDistance = [&](const std::optional<double>& distance, char column, const ObservationRow& row,
                                std::size_t index) {
    if (!distance) {
      throw Refuse(Where(row, index) + "缺少视距 " + Cell(column, row, index) + "：记录中有视距时，每一测站的后视距和前视距都要填写");
    }
    return *distance;
  };

  std::int64_t sight = Micrometres(input.StartElevation, "起始水准点高程") + Micrometres(*first.Backsight, "后视读数");
  {
    FieldBookRow& start = book.Rows.emplace_back(Kind::StartRow, input.StartName);
    start.Backsight = Metres(Micrometres(*first.Backsight, "后视读数"));
    start.InstrumentHeight = Metres(sight);
    start.DesignElevation = Metres(Micrometres(input.StartElevation, "起始水准点高程"));
    observed.SetUpOfRow.push_back(1);
    if (hasDistances) backDistance = needDistance(first.BackDistance, 'E', first, 0);
  }
  for (std::size_t i = 1; i < rows.size(); ++i) {
    const ObservationRow& row = rows[i];
    const bool closing = i == lastIndex;
    if (closing || row.Foresight) {
      if (!closing && !row.Backsight) {
        throw Refuse(Where(row, i) + "有前视而没有后视：转点须在同一行记下一测站的后视（" + Cell('B', row, i) + " 为空）");
      }
      if (row.MidSight) {
        throw Refuse(Where(row, i) + "既有前视又有中视：一个点在同一测站只能读一次（" + Cell('C', row, i) + "）");
      }
      const std::int64_t fore = Micrometres(*row.Foresight, "前视读数");
      const std::int64_t elevation = sight - fore;
      FieldBookRow& out = book.Rows.emplace_back(closing ? Kind::ClosingRow : Kind::TurnPointRow,
                                                 closing ? input.EndName : TrimSpaces(row.Point));
      out.Foresight = Metres(fore);
      observed.SetUpOfRow.push_back(setUp);
      if (hasDistances) {
        const double foreDistance = needDistance(row.ForeDistance, 'F', row, i);
        observed.Distances.push_back({backDistance, foreDistance});
        routeMetres += backDistance + foreDistance;
      }
      if (closing) {
        out.MeasuredElevation = Metres(elevation);
        out.DesignElevation = input.EndElevation;
        break;
      }
      const std::int64_t back = Micrometres(*row.Backsight, "后视读数");
      sight = elevation + back;
      out.Backsight = Metres(back);
      out.InstrumentHeight = Metres(sight);
      out.TurnPointElevation = Metres(elevation);
      if (const auto found = design.find(NameKey(row.Point)); found != design.end()) {
        out.DesignElevation = found->second;
      }
      ++setUp;
      if (hasDistances) backDistance = needDistance(row.BackDistance, 'E', row, i);
      continue;
    }
    if (row.Backsight) {
      throw Refuse(Where(row, i) + "有后视而没有前视：转点的前视和下一测站的后视记在同一行（" + Cell('D', row, i) + " 为空）");
    }
    if (!row.MidSight) {
      throw Refuse(Where(row, i) + "没有读数：中间点记中视（C 列），转点记前视和后视（D、B 列）");
    }
    FieldBookRow& out = book.Rows.emplace_back(Kind::PointRow, TrimSpaces(row.Point));
    const std::int64_t mid = Micrometres(*row.MidSight, "中视读数");
    out.MidSight = Metres(mid);
    out.MeasuredElevation = Metres(sight - mid);
    if (const auto found = design.find(NameKey(row.Point)); found != design.end()) {
      out.DesignElevation = found->second;
    }
    observed.SetUpOfRow.push_back(setUp);
  }
  book.StationCount = setUp;
  if (hasDistances) book.RouteMetres = routeMetres;
  return observed;
}

}  // namespace gaocheng
