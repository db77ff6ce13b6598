#include "leveling/LevelingModule.h"

#include <string>

#include "leveling/FieldBook.h"
#include "leveling/FieldBookOutput.h"
#include "leveling/LevelingError.h"
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

void LevelingModule::GenerateFieldBook(spreadsheet::SpreadsheetHost& host, RandomEngine& engine,
                                       MessageSink& messages) {
  if (!ReadRouteInput(host, engine, messages) || route_.Points.empty()) return;
  FieldBook book;
  try {
    book = BuildFieldBook(route_, settings_, engine);
  } catch (const LevelingError& error) {
    messages.Show(ErrorText(error.Number(), error.Description()), kErrorTitle);
    return;
  }
  WriteFieldBook(host, book, settings_);
}

}  // namespace gaocheng

