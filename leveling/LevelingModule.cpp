#include "leveling/LevelingModule.h"

#include <string>

#include "leveling/FieldBook.h"
#include "leveling/FieldBookOutput.h"
#include "leveling/LevelingError.h"
#include "leveling/ProfileSheet.h"
#include "leveling/ToleranceClass.h"
#include "workbook/SpreadsheetError.h"

namespace gaocheng {
namespace {

constexpr const char* kErrorTitle = "Error";

std::string ErrorText(int number, const std::string& description) {
  std::string text = std::to_string(number);
  if (!description.empty()) text += "\n" + description;
  return text;
}

}  // namespace

std::string ClosureExceedsText(double closureMm, int limitMm) {
  const long long closure = static_cast<long long>(closureMm);
  std::string signedClosure = closure > 0 ? "+" + std::to_string(closure) : std::to_string(closure);
  return "闭合差 " + signedClosure + " mm 超过限差 ±" + std::to_string(limitMm) + " mm";
}

void LevelingModule::SetDefaultSettings() { gaocheng::SetDefaultSettings(settings_); }

bool LevelingModule::ReadRouteInput(spreadsheet::SpreadsheetHost& host, RandomEngine& engine,
                                    MessageSink& messages) {
  try {
    gaocheng::ReadRouteInput(host, settings_, engine, route_);
    return true;
  } catch (const spreadsheet::NumberedError& error) {
    messages.Show(ErrorText(error.Number(), error.Description()), kErrorTitle);
  }
  return false;
}

FieldBookResult LevelingModule::GenerateFieldBook(spreadsheet::SpreadsheetHost& host,
                                                  std::uint64_t seed, MessageSink& messages,
                                                  const std::function<void()>& routeRead) {
  FieldBookResult result;
  result.Seed = seed;
  const auto fail = [&](int number, const std::string& description) {
    result.FailureNumber = number;
    result.FailureDescription = description;
    messages.Show(ErrorText(number, description), kErrorTitle);
    return result;
  };
  // A simulated book has no sight distances: a √L limit is refused before anything is read
  // or written, saying what can be done about it here.
  if (NeedsRouteLength(settings_.ClosureToleranceFormula)) {
    return fail(LevelingError::kInvalidInput,
                "限差公式 ±" + ToleranceFormulaText(settings_.ClosureToleranceFormula) +
                    " 需要路线长度，而模拟生成的水准表没有视距：请在水准设置中选择按测站数计算的限差公式"
                    "（6√n 或 12√n），或用“实测计算”计算记有视距的观测记录");
  }
  RandomEngine engine(seed);
  FieldBook book;
  try {
    gaocheng::ReadRouteInput(host, settings_, engine, route_);
    book = BuildFieldBook(route_, settings_, engine);
    CheckFieldBook(book, settings_);
  } catch (const spreadsheet::NumberedError& error) {
    return fail(error.Number(), error.Description());
  }
  if (routeRead) routeRead();
  result.Check = WriteFieldBook(host, book, settings_, seed, route_.SimulatedPoints);
  WriteProjectFields(host, route_.Project);
  WriteProfileSheet(host, book, settings_);
  result.Written = true;
  result.Points = static_cast<int>(route_.Points.size());
  result.SetUps = book.StationCount;
  result.TurningPoints = book.StationCount - 1;
  if (route_.DataBelowEnd) result.Notices.push_back(DataBelowEndText(route_.EndRow, route_.FirstLeftBehind));
  if (!result.Check.WithinLimit) {
    result.Notices.push_back(ClosureExceedsText(result.Check.ClosureMm, result.Check.LimitMm));
  }
  return result;
}

}  // namespace gaocheng

